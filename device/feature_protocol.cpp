#include "device/feature_protocol.h"

#include <algorithm>
#include <cctype>

namespace merovane {

namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<BYTE> ParseOutputMode(std::string_view name) {
    for (BYTE mode = 0; mode <= HighestOutputMode; ++mode) {
        if (SameIgnoringCase(name, OutputModeTexts[mode]) ||
            SameIgnoringCase(name, OutputModeShortNames[mode]) ||
            (name.size() == 1 && name[0] == static_cast<char>('0' + mode)))
            return mode;
    }
    return std::nullopt;
}

std::string_view OutputModeText(BYTE mode) {
    return OutputModeTexts[std::min(mode, HighestOutputMode)];
}

std::vector<BYTE> EmptyFeatureReport(std::size_t length) {
    return std::vector<BYTE>(length, 0);
}

std::optional<std::vector<BYTE>> CommandReport(std::size_t length, Command command, BYTE argument) {
    if (length < MinCommandReportLength)
        return std::nullopt;
    std::vector<BYTE> report = EmptyFeatureReport(length);
    report[ReportIdByte] = FeatureReportId;
    report[CommandByte] = static_cast<BYTE>(command);
    report[ArgumentByte] = argument;
    return report;
}

std::optional<BYTE> OutputModeOfReport(const std::vector<BYTE>& report) {
    if (report.size() < MinModeReportLength)
        return std::nullopt;
    return std::min(report[ModeByte], HighestOutputMode);
}

} // namespace merovane
