#include "cli/ctl_arguments.h"

#include "cli/terminal_text.h"
#include "device/feature_protocol.h"

#include <map>

namespace merovane {

namespace {

const std::map<std::string, CtlCommand> Commands = {
    {"list", CtlCommand::List}, {"get", CtlCommand::Get},     {"set", CtlCommand::Set},
    {"aux", CtlCommand::Aux},   {"watch", CtlCommand::Watch},
};

CtlUsageError Usage(const std::string& what) {
    return {what + " (see merovane-ctl --help)"};
}

} // namespace

std::string CtlUsageText() {
    return R"(Usage: merovane-ctl [--simulate] COMMAND [OPTIONS]

Reads and sets the output mode of Merovane clock dividers attached over USB.

Commands:
  list [--json]           list the attached dividers: serial, manufacturer,
                          product, version, current mode and device path; a
                          divider that does not answer within about a second
                          shows the mode "not answering" ("answering": false
                          in JSON, with mode and mode_code null)
  get [--serial S]        print the current output mode
  set [--serial S] MODE   set the output mode, then read it back
  aux [--serial S]        send the auxiliary command
  watch                   print a line whenever a divider is attached or
                          removed or its mode changes, until interrupted

MODE is "Pass Through", "Divide By 2", "Divide By 4" or "Divide By 8" (any
case), a short form (pass, div2, div4, div8) or the code 0 to 3.
Without --serial, exactly one divider must be attached.

Options go anywhere on the line, each at most once; -- ends them.
  --serial S    the divider with serial number S
  --json        list as JSON, for scripts
  --simulate    use the built-in virtual devices instead of real ones; they
                start afresh on every run, so a set is not seen by a later get
  -h, --help    show this help
  -V, --version show the version

Control characters in device strings and in echoed arguments are shown
escaped, as \x1b; a backslash as \\.

Exit status: 0 done, 1 no such device, 2 usage error, 3 permission denied,
4 the device refused or failed the transfer or did not answer it, 5 the output could not be
written (a set or aux may have been done all the same).
)";
}

std::variant<CtlInvocation, CtlUsageError> ParseCtlArguments(const std::vector<std::string>& args) {
    CtlInvocation invocation;
    std::optional<CtlCommand> command;
    std::string commandName;
    std::vector<std::string> operands;
    bool help = false;
    bool version = false;
    // The options without a value, each under every name it has.
    const std::map<std::string, bool*> flags = {
        {"-h", &help},
        {"--help", &help},
        {"-V", &version},
        {"--version", &version},
        {"--json", &invocation.json},
        {"--simulate", &invocation.simulate},
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        const auto flag = flags.find(arg);
        if (!option) {
            if (command) {
                operands.push_back(arg);
                continue;
            }
            const auto known = Commands.find(arg);
            if (known == Commands.end())
                return Usage("unknown command " + Quoted(arg));
            command = known->second;
            commandName = arg;
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (flag != flags.end()) {
            if (*flag->second)
                return Usage(arg + " given twice");
            *flag->second = true;
        } else if (arg == "--serial" || arg.starts_with("--serial=")) {
            std::string value;
            if (arg == "--serial") {
                if (i + 1 == args.size())
                    return Usage("--serial needs a serial number");
                value = args[++i];
            } else {
                value = arg.substr(std::string("--serial=").size());
            }
            if (invocation.serial)
                return Usage("--serial given twice");
            if (value.empty())
                return Usage("--serial needs a serial number, not an empty text");
            invocation.serial = value;
        } else {
            return Usage("unknown option " + Quoted(arg));
        }
    }
    if (help || version) {
        invocation.command = help ? CtlCommand::Help : CtlCommand::Version;
        return invocation;
    }
    if (!command)
        return Usage("no command given");
    invocation.command = *command;
    if (invocation.json && invocation.command != CtlCommand::List)
        return Usage("--json goes with list only");
    if (invocation.serial &&
        (invocation.command == CtlCommand::List || invocation.command == CtlCommand::Watch))
        return Usage("--serial does not go with " + commandName);
    if (invocation.command == CtlCommand::Set) {
        if (operands.empty())
            return Usage("set needs a MODE");
        if (operands.size() > 1)
            return Usage("set takes one MODE, not " + std::to_string(operands.size()));
        invocation.mode = ParseOutputMode(operands.front());
        if (!invocation.mode)
            return Usage("unknown mode " + Quoted(operands.front()));
    } else if (!operands.empty()) {
        return Usage("unexpected " + Quoted(operands.front()));
    }
    return invocation;
}

} // namespace merovane
