#include "cli/ctl_commands.h"

#include "cli/device_catalog.h"
#include "cli/terminal_text.h"
#include "device/feature_protocol.h"
#include "device/version_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace merovane {

namespace {

constexpr const char* Program = "merovane-ctl: ";
// What the user can do when the system refuses this user the divider.
#ifdef _WIN32
// Windows lets every user open a HID device unless a device policy says
// otherwise; a divider another program holds is still opened (access 0).
constexpr const char* PermissionHint =
    "a Windows device policy may keep this user from it: ask the administrator, or plug the "
    "divider in again";
#else
constexpr const char* PermissionHint =
    "install the udev rule 60-merovane-config.rules (see merovane-ctl(1)), then plug the "
    "divider in again";
#endif

std::string Or(const std::optional<std::string>& text, const char* missing = "-") {
    return text.value_or(missing);
}

std::string VersionOf(const TargetInterface& target) {
    return VersionText(target.version).substr(1); // without the caption's leading blank
}

constexpr const char* NotAnswering = "not answering";

std::string ModeOf(const TargetInterface& target) {
    if (target.notAnswering)
        return NotAnswering;
    return target.mode ? std::string(OutputModeText(*target.mode)) : std::string("-");
}

std::string OpenFailure(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
        return std::string("permission denied: ") + PermissionHint;
    case ERROR_SHARING_VIOLATION:
        return "in use by another program";
    case ERROR_FILE_NOT_FOUND:
        return "gone";
    case ERROR_BUSY:
        return "held up by a divider that did not answer; try again in a few seconds";
    default:
        return "cannot be opened";
    }
}

// Why a feature transfer on `device` failed, after the device's name:
// ": the divider did not answer the <what>" and the like.
std::string TransferFailure(const OpenDevice& device, const std::string& what) {
    if (device.HeldUp())
        return ": cannot reach it now: " + OpenFailure(ERROR_BUSY);
    return (device.DidNotAnswer() ? ": the divider did not answer the "
                                  : ": the divider refused the ") +
           what;
}

// Names a device in the lines of watch: its serial and path.
std::string LineName(const TargetInterface& target) {
    return TerminalSafe(Or(target.serial, "?")) + " (" + TerminalSafe(target.path) + ")";
}

// Names a device in messages: its serial quoted, as typed values are, and its path.
std::string MessageName(const TargetInterface& target) {
    return (target.serial ? Quoted(*target.serial) : "?") + " (" + TerminalSafe(target.path) + ")";
}

// Characters in UTF-8 text, for lining up columns.
std::size_t Width(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string JsonString(const std::optional<std::string>& text) {
    if (!text)
        return "null";
    std::string json = "\"";
    for (const char c : *text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

int List(HidHost& host, bool json, std::ostream& out, std::ostream& err) {
    const std::vector<TargetInterface> targets = ListTargets(host);
    const bool denied = std::any_of(targets.begin(), targets.end(), [](const TargetInterface& t) {
        return t.openError == ERROR_ACCESS_DENIED;
    });
    if (json) {
        out << "[";
        for (std::size_t i = 0; i < targets.size(); ++i) {
            const TargetInterface& t = targets[i];
            const bool opened = t.Opened();
            out << (i == 0 ? "\n" : ",\n") << "  {\"serial\": " << JsonString(t.serial)
                << ", \"manufacturer\": " << JsonString(t.manufacturer)
                << ", \"product\": " << JsonString(t.product) << ", \"version\": "
                << JsonString(opened ? std::optional(VersionOf(t)) : std::nullopt) << ", \"mode\": "
                << JsonString(t.mode ? std::optional(std::string(OutputModeText(*t.mode)))
                                     : std::nullopt)
                << ", \"mode_code\": "
                << (t.mode ? std::to_string(std::min(*t.mode, HighestOutputMode)) : "null")
                << ", \"answering\": "
                << (!opened          ? "null"
                    : t.notAnswering ? "false"
                                     : "true")
                << ", \"path\": " << JsonString(t.path) << ", \"error\": "
                << JsonString(opened ? std::nullopt : std::optional(OpenFailure(t.openError)))
                << "}";
        }
        out << (targets.empty() ? "]\n" : "\n]\n");
    } else if (!targets.empty()) {
        std::vector<std::vector<std::string>> rows = {
            {"SERIAL", "MANUFACTURER", "PRODUCT", "VERSION", "MODE", "PATH"}};
        for (const TargetInterface& t : targets) {
            if (t.Opened())
                rows.push_back({TerminalSafe(Or(t.serial)), TerminalSafe(Or(t.manufacturer)),
                                TerminalSafe(Or(t.product)), VersionOf(t), ModeOf(t),
                                TerminalSafe(t.path)});
            else
                rows.push_back(
                    {"-", "-", "-", "-", "-",
                     TerminalSafe(t.path) + "  (cannot open: " + OpenFailure(t.openError) + ")"});
        }
        std::vector<std::size_t> widths(rows.front().size(), 0);
        for (const auto& row : rows)
            for (std::size_t c = 0; c < row.size(); ++c)
                widths[c] = std::max(widths[c], Width(row[c]));
        for (const auto& row : rows) {
            for (std::size_t c = 0; c + 1 < row.size(); ++c)
                out << row[c] << std::string(widths[c] - Width(row[c]) + 2, ' ');
            out << row.back() << "\n";
        }
    }
    if (targets.empty()) {
        err << Program << "no Merovane clock divider attached\n";
        return CtlNoSuchDevice;
    }
    return denied ? CtlPermissionDenied : CtlDone;
}

// The one device a command acts on, or the exit status that says why there is none.
struct Choice {
    std::optional<TargetInterface> target;
    int exit = CtlDone;
};

Choice Choose(HidHost& host, const std::optional<std::string>& serial, std::ostream& err) {
    const std::vector<TargetInterface> targets = ListTargets(host, false);
    std::vector<TargetInterface> denied;
    std::copy_if(targets.begin(), targets.end(), std::back_inserter(denied),
                 [](const TargetInterface& t) { return t.openError == ERROR_ACCESS_DENIED; });
    if (serial) {
        // The first interface with that serial, as the window's search picks it.
        const auto match =
            std::find_if(targets.begin(), targets.end(),
                         [&](const TargetInterface& t) { return t.serial == serial; });
        if (match != targets.end())
            return {*match, CtlDone};
        if (!denied.empty()) {
            err << Program << "no divider with serial " << Quoted(*serial)
                << " among those this user may open; " << denied.size()
                << " could not be opened: permission denied: " << PermissionHint << "\n";
            return {std::nullopt, CtlPermissionDenied};
        }
        err << Program << "no divider with serial " << Quoted(*serial) << " attached\n";
        return {std::nullopt, CtlNoSuchDevice};
    }
    // One device may show several interfaces with one serial: it counts once.
    std::vector<TargetInterface> devices;
    for (const TargetInterface& t : targets) {
        if (!t.Opened() ||
            std::none_of(devices.begin(), devices.end(), [&](const TargetInterface& d) {
                return d.Opened() && d.serial == t.serial;
            }))
            devices.push_back(t);
    }
    if (devices.empty()) {
        err << Program << "no Merovane clock divider attached\n";
        return {std::nullopt, CtlNoSuchDevice};
    }
    if (devices.size() > 1) {
        err << Program << devices.size() << " dividers attached; choose one with --serial:";
        for (const TargetInterface& d : devices)
            err << " " << MessageName(d);
        err << "\n";
        return {std::nullopt, CtlUsage};
    }
    return {devices.front(), CtlDone};
}

int Act(const CtlInvocation& invocation, HidHost& host, std::ostream& out, std::ostream& err) {
    const Choice choice = Choose(host, invocation.serial, err);
    if (!choice.target)
        return choice.exit;
    const TargetInterface& target = *choice.target;
    OpenDevice device(host, target.path);
    if (!device.Opened()) {
        err << Program << MessageName(target) << ": cannot open: " << OpenFailure(device.Error())
            << "\n";
        return device.Error() == ERROR_ACCESS_DENIED ? CtlPermissionDenied : CtlTransferFailed;
    }
    switch (invocation.command) {
    case CtlCommand::Get: {
        const auto mode = device.ReadMode();
        if (!mode) {
            err << Program << MessageName(target) << TransferFailure(device, "mode read") << "\n";
            return CtlTransferFailed;
        }
        out << OutputModeText(*mode) << "\n";
        return CtlDone;
    }
    case CtlCommand::Set: {
        const BYTE wanted = *invocation.mode;
        if (!device.WriteMode(wanted)) {
            err << Program << MessageName(target)
                << TransferFailure(device, "mode " + std::string(OutputModeText(wanted))) << "\n";
            return CtlTransferFailed;
        }
        const auto now = device.ReadMode();
        if (!now && device.DidNotAnswer()) {
            err << Program << MessageName(target)
                << ": the divider did not answer the mode read after the mode "
                << OutputModeText(wanted) << " was sent\n";
            return CtlTransferFailed;
        }
        if (now != wanted) {
            err << Program << MessageName(target) << ": the divider did not take the mode "
                << OutputModeText(wanted) << "; it reports "
                << (now ? std::string(OutputModeText(*now)) : std::string("nothing")) << "\n";
            return CtlTransferFailed;
        }
        out << TerminalSafe(Or(target.serial, "?")) << ": " << OutputModeText(wanted) << "\n";
        return CtlDone;
    }
    case CtlCommand::Aux:
        if (!device.SendAuxiliary()) {
            err << Program << MessageName(target) << TransferFailure(device, "auxiliary command")
                << "\n";
            return CtlTransferFailed;
        }
        out << TerminalSafe(Or(target.serial, "?")) << ": auxiliary command sent\n";
        return CtlDone;
    default:
        return CtlUsage;
    }
}

int Help(std::ostream& out) {
    out << CtlUsageText();
    return CtlDone;
}

int Version(std::ostream& out) {
    out << "merovane-ctl " << MEROVANE_VERSION << "\n";
    return CtlDone;
}

// Flushes `out`; when not all that was written to it got through, says so on
// `err` and gives false.
bool Delivered(std::ostream& out, std::ostream& err) {
    errno = 0;
    if (out.flush())
        return true;
    const int reason = errno;
    err << Program << "cannot write the output";
    if (reason != 0)
        err << ": " << std::strerror(reason);
    err << "\n";
    return false;
}

// A command's exit status once its output is written: a failed write turns
// any status into CtlOutputFailed, since the caller did not get what the
// status describes.
int Finish(int status, std::ostream& out, std::ostream& err) {
    return status == CtlOutputFailed || Delivered(out, err) ? status : CtlOutputFailed;
}

int Watch(HidHost& host, std::ostream& out, std::ostream& err, const WatchPause& pause) {
    std::map<std::string, TargetInterface> seen;
    do {
        std::map<std::string, TargetInterface> now;
        for (TargetInterface& t : ListTargets(host)) {
            // Held up by another divider's unanswered request, this one was
            // not asked: it stays as last seen, and a new one waits for the
            // next look.
            if (t.openError == ERROR_BUSY) {
                if (const auto before = seen.find(t.path); before != seen.end())
                    now.emplace(t.path, before->second);
                continue;
            }
            now.emplace(t.path, std::move(t));
        }
        for (const auto& [path, t] : seen) {
            if (!now.contains(path))
                out << "removed " << LineName(t) << "\n";
        }
        for (const auto& [path, t] : now) {
            const auto before = seen.find(path);
            const std::string state =
                t.Opened() ? ModeOf(t) : "cannot open: " + OpenFailure(t.openError);
            if (before == seen.end())
                out << "attached " << LineName(t) << ": " << state << "\n";
            else if (t.Opened() && (before->second.mode != t.mode ||
                                    before->second.notAnswering != t.notAnswering))
                out << "mode " << LineName(t) << ": " << ModeOf(before->second) << " -> " << state
                    << "\n";
        }
        if (!Delivered(out, err))
            return CtlOutputFailed;
        seen = std::move(now);
    } while (pause());
    return CtlDone;
}

int Dispatch(const CtlInvocation& invocation, HidHost& host, std::ostream& out, std::ostream& err,
             const WatchPause& pause) {
    switch (invocation.command) {
    case CtlCommand::Help:
        return Help(out);
    case CtlCommand::Version:
        return Version(out);
    case CtlCommand::List:
        return List(host, invocation.json, out, err);
    case CtlCommand::Watch:
        return Watch(host, out, err, pause);
    case CtlCommand::Get:
    case CtlCommand::Set:
    case CtlCommand::Aux:
        return Act(invocation, host, out, err);
    }
    return CtlUsage;
}

} // namespace

int RunCtl(const CtlInvocation& invocation, HidHost& host, std::ostream& out, std::ostream& err,
           const WatchPause& pause) {
    return Finish(Dispatch(invocation, host, out, err, pause), out, err);
}

int CtlMain(const std::vector<std::string>& args, const HostFactory& host, std::ostream& out,
            std::ostream& err, const WatchPause& pause) {
    const auto parsed = ParseCtlArguments(args);
    if (const auto* error = std::get_if<CtlUsageError>(&parsed)) {
        err << Program << error->message << "\n";
        return CtlUsage;
    }
    const auto& invocation = std::get<CtlInvocation>(parsed);
    if (invocation.command == CtlCommand::Help)
        return Finish(Help(out), out, err);
    if (invocation.command == CtlCommand::Version)
        return Finish(Version(out), out, err);
    return RunCtl(invocation, host(invocation.simulate), out, err, pause);
}

} // namespace merovane
