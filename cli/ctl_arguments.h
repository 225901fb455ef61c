// The command line of merovane-ctl, read before any device is touched.
#pragma once

#include "device/api_declarations.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace merovane {

enum class CtlCommand { List, Get, Set, Aux, Watch, Help, Version };

struct CtlInvocation {
    CtlCommand command = CtlCommand::Help;
    std::optional<std::string> serial; // --serial
    std::optional<BYTE> mode;          // set's MODE
    bool json = false;                 // list --json
    bool simulate = false;             // the demo's virtual devices instead of real ones
};

// A command line that cannot be run; `message` says why in one line.
struct CtlUsageError {
    std::string message;
};

// Reads the arguments after the program name.
std::variant<CtlInvocation, CtlUsageError> ParseCtlArguments(const std::vector<std::string>& args);

// The text --help prints.
std::string CtlUsageText();

} // namespace merovane
