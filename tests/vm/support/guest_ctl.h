// merovane-ctl as a user runs it inside the guest: the built program in a
// child process, its output and exit status captured, as root or as the user
// nobody, with the locale variables the scenario chooses.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace merovane::guest {

// How the program is started.
struct CtlSettings {
    // As the user nobody (no supplementary groups, no capabilities); as root otherwise.
    bool asNobody = false;
    // Runs the window, merovane-config (as root, off screen), instead: it
    // closes on SIGINT as on its close button.
    bool window = false;
    // Environment changes on top of this process's environment: a value sets
    // the variable, nothing removes it.
    std::map<std::string, std::optional<std::string>> environment;
};

// Removes every variable that chooses a locale: the C library then runs in
// the "C" locale unless the program picks another itself.
CtlSettings WithoutLocale();

struct CtlOutcome {
    // The exit status; 128 + N when ended by signal N.
    int status = -1;
    std::string out;
    std::string err;

    // The standard output split into lines, without their line ends.
    std::vector<std::string> OutLines() const;
};

// Runs merovane-ctl with `args` to its end.
CtlOutcome RunCtlProgram(const std::vector<std::string>& args, const CtlSettings& settings = {});

// A merovane-ctl that keeps running (watch): the test reads its output as it
// comes, then interrupts it as Ctrl-C would.
class RunningCtl {
public:
    explicit RunningCtl(const std::vector<std::string>& args, const CtlSettings& settings = {});
    // Ends the program if it still runs.
    ~RunningCtl();
    RunningCtl(const RunningCtl&) = delete;
    RunningCtl& operator=(const RunningCtl&) = delete;

    // Waits until the program has printed a line equal to `line` (now or
    // before), and returns true; false when the program ended without
    // printing it. A program that does neither for two minutes makes this throw.
    bool AwaitOutputLine(const std::string& line);
    // The same for a line that holds each of `pieces` somewhere.
    bool AwaitOutputLineWith(const std::vector<std::string>& pieces);
    // Sends SIGINT.
    void Interrupt();
    // Reads the rest of the output and waits for the program's end.
    CtlOutcome Finish();

private:
    // Reads what is there, waiting for something; false once both outputs ended.
    bool ReadMore();
    bool AwaitOutputLineThat(const std::function<bool(const std::string&)>& wanted);

    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
    CtlOutcome outcome_;
};

} // namespace merovane::guest
