#include "device/feature_protocol.h"

#include <algorithm>

namespace merovane {

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
