#include "support/guest_ctl.h"

#include "support/guest_process.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace merovane::guest {
namespace {

// How long the program may stay silent before the test gives up on it. Only a
// program that hangs ever gets near it.
constexpr int SilenceDeadlineMs = 120000;

// The program, copied once into a directory of its own that every user may
// enter, so that nobody can run it whatever the rights on the build directory.
const std::string& ProgramPath() {
    static const std::string path = [] {
        char directory[] = "/tmp/merovane-ctl.XXXXXX";
        if (::mkdtemp(directory) == nullptr)
            throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
        namespace fs = std::filesystem;
        const fs::path copy = fs::path(directory) / "merovane-ctl";
        fs::copy_file(MEROVANE_CTL_PROGRAM, copy);
        const auto everyone = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec;
        fs::permissions(directory, everyone);
        fs::permissions(copy, everyone);
        return copy.string();
    }();
    return path;
}

std::string VariableName(const std::string& entry) {
    return entry.substr(0, entry.find('='));
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

} // namespace

CtlSettings WithoutLocale() {
    CtlSettings settings;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG", "LANGUAGE"})
        settings.environment[name] = std::nullopt;
    return settings;
}

std::vector<std::string> CtlOutcome::OutLines() const {
    return SplitLines(out);
}

RunningCtl::RunningCtl(const std::vector<std::string>& args, const CtlSettings& settings) {
    // Everything the child needs is made before the fork: after it, only
    // system calls until the exec.
    std::vector<std::string> arguments = {settings.window ? MEROVANE_CONFIG_PROGRAM
                                                          : ProgramPath()};
    arguments.insert(arguments.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (!settings.environment.contains(VariableName(*entry)))
            environment.emplace_back(*entry);
    for (const auto& [name, value] : settings.environment)
        if (value)
            environment.push_back(name + "=" + *value);
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);

    // Close-on-exec pipes and input: the child gets them only as its
    // standard descriptors, and no other child ever holds them.
    int out[2];
    int err[2];
    const int nothing = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (nothing < 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    const bool asNobody = settings.asNobody;

    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
        if (::dup2(nothing, STDIN_FILENO) < 0 || ::dup2(out[1], STDOUT_FILENO) < 0 ||
            ::dup2(err[1], STDERR_FILENO) < 0)
            ::_exit(126);
        if (asNobody && (::setgroups(0, nullptr) != 0 || ::setgid(UnprivilegedId) != 0 ||
                         ::setuid(UnprivilegedId) != 0))
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(nothing);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
}

RunningCtl::~RunningCtl() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (out_ >= 0)
        ::close(out_);
    if (err_ >= 0)
        ::close(err_);
}

bool RunningCtl::ReadMore() {
    std::vector<pollfd> watched;
    for (const int fd : {out_, err_})
        if (fd >= 0)
            watched.push_back({fd, POLLIN, 0});
    if (watched.empty())
        return false;
    const int ready = ::poll(watched.data(), watched.size(), SilenceDeadlineMs);
    if (ready < 0 && errno == EINTR)
        return true;
    if (ready <= 0)
        throw std::runtime_error("merovane-ctl said nothing more and did not end");
    for (const pollfd& one : watched) {
        if (one.revents == 0)
            continue;
        char chunk[4096];
        const ssize_t got = ::read(one.fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        int& fd = one.fd == out_ ? out_ : err_;
        std::string& text = one.fd == out_ ? outcome_.out : outcome_.err;
        if (got <= 0) {
            ::close(fd);
            fd = -1;
        } else {
            text.append(chunk, static_cast<std::size_t>(got));
        }
    }
    return true;
}

bool RunningCtl::AwaitOutputLine(const std::string& line) {
    return AwaitOutputLineThat([&](const std::string& printed) { return printed == line; });
}

bool RunningCtl::AwaitOutputLineWith(const std::vector<std::string>& pieces) {
    return AwaitOutputLineThat([&](const std::string& printed) {
        return std::all_of(pieces.begin(), pieces.end(), [&](const std::string& piece) {
            return printed.find(piece) != std::string::npos;
        });
    });
}

bool RunningCtl::AwaitOutputLineThat(const std::function<bool(const std::string&)>& wanted) {
    for (;;) {
        // Only whole lines count: those a line end follows.
        const std::string whole = outcome_.out.substr(0, outcome_.out.rfind('\n') + 1);
        const std::vector<std::string> lines = SplitLines(whole);
        if (std::any_of(lines.begin(), lines.end(), wanted))
            return true;
        if (out_ < 0 || !ReadMore())
            return false;
    }
}

void RunningCtl::Interrupt() {
    if (pid_ > 0)
        ::kill(pid_, SIGINT);
}

CtlOutcome RunningCtl::Finish() {
    if (pid_ <= 0)
        return outcome_;
    while (ReadMore()) {
    }
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    outcome_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome_;
}

CtlOutcome RunCtlProgram(const std::vector<std::string>& args, const CtlSettings& settings) {
    return RunningCtl(args, settings).Finish();
}

} // namespace merovane::guest
