// What the tool says to the device: its identity, the feature-report layout,
// the command codes and the output modes with their texts. Every user of the
// protocol (the window, the command line) takes it from here.
#pragma once

#include "device/api_declarations.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace merovane {

inline constexpr USHORT TargetVendorId = 0x4F3A;
inline constexpr USHORT TargetProductId = 0x2B16;

// A feature report is L bytes (L counts the report-ID byte):
//   byte 0: report ID, always 0; byte 1: command code; byte 2: argument;
//   the rest: 0.
// In a report read from the device byte 1 is the current output mode.
inline constexpr std::size_t ReportIdByte = 0;
inline constexpr std::size_t CommandByte = 1;
inline constexpr std::size_t ArgumentByte = 2;
inline constexpr std::size_t ModeByte = 1;
inline constexpr BYTE FeatureReportId = 0;

// Shortest reports the layout fits: a command needs bytes 1 and 2, a mode read byte 1.
inline constexpr std::size_t MinCommandReportLength = 3;
inline constexpr std::size_t MinModeReportLength = 2;

enum class Command : BYTE {
    SetOutputMode = 1, // argument: the output mode code
    Auxiliary = 2,     // argument: AuxiliaryArgument
};
inline constexpr BYTE AuxiliaryArgument = 99;

// Output mode codes 0 to 3; a code is the index of its text in the mode list.
inline constexpr std::array<std::string_view, 4> OutputModeTexts = {"Pass Through", "Divide By 2",
                                                                    "Divide By 4", "Divide By 8"};
inline constexpr BYTE HighestOutputMode = OutputModeTexts.size() - 1;

// Short names of the output modes, for the command line: "pass", "div2", ...
inline constexpr std::array<std::string_view, 4> OutputModeShortNames = {"pass", "div2", "div4",
                                                                         "div8"};

// The output mode a user named: its text (any case), its short name or its
// code 0 to 3. Nothing for anything else.
std::optional<BYTE> ParseOutputMode(std::string_view name);

// The text the mode list shows for a mode code: codes above the highest mode
// show as the highest.
std::string_view OutputModeText(BYTE mode);

// A fresh, zero-filled report of `length` bytes.
std::vector<BYTE> EmptyFeatureReport(std::size_t length);

// The report that carries `command` and `argument`, `length` bytes long, or
// nothing when `length` leaves no room for the command and its argument.
std::optional<std::vector<BYTE>> CommandReport(std::size_t length, Command command, BYTE argument);

// The output mode a report read from the device names; a code above the
// highest mode counts as the highest. Nothing when the report has no mode byte.
std::optional<BYTE> OutputModeOfReport(const std::vector<BYTE>& report);

} // namespace merovane
