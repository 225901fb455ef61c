// What merovane-ctl does with a command line it has read.
#pragma once

#include "cli/ctl_arguments.h"

#include <functional>
#include <ostream>

namespace merovane {

enum CtlExit {
    CtlDone = 0,
    CtlNoSuchDevice = 1,
    CtlUsage = 2,
    CtlPermissionDenied = 3,
    CtlTransferFailed = 4,
    CtlOutputFailed = 5,
};

// Between two looks of `watch`: waits, and says whether to look again.
using WatchPause = std::function<bool()>;

// Runs the command on `host`: results on `out`, errors on `err` (one line
// each, "merovane-ctl: ..."); returns the exit status. Output that cannot be
// written (`out` fails, at the end or after any look of `watch`) ends the
// command with CtlOutputFailed and a message on `err`.
int RunCtl(const CtlInvocation& invocation, HidHost& host, std::ostream& out, std::ostream& err,
           const WatchPause& pause);

// Gives the host a command runs on, made only once the command line was read
// and found good: real devices, or the virtual ones when `simulate`.
using HostFactory = std::function<HidHost&(bool simulate)>;

// The whole program: reads the arguments after the program name, then runs
// them. A bad command line gets a usage error and no host is made.
int CtlMain(const std::vector<std::string>& args, const HostFactory& host, std::ostream& out,
            std::ostream& err, const WatchPause& pause);

} // namespace merovane
