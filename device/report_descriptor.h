// Report lengths from a HID report descriptor.
//
// The descriptor comes from the device and is untrusted: the parser reads it
// once, front to back, never past its end, with bounded nesting, bounded
// Push depth and bounded report sizes, in time linear in its length and with
// memory bounded by the number of distinct report IDs (at most 255 per type).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace merovane {

struct ReportLengths {
    // The longest report of each type in bytes, the report-ID byte counted
    // also when the descriptor declares no report IDs; 0 for a type the
    // descriptor has no main item of.
    std::uint16_t input = 0;
    std::uint16_t output = 0;
    std::uint16_t feature = 0;
    // True when the descriptor declares report IDs, so that every report
    // starts with its ID on the wire.
    bool usesReportIds = false;
};

struct ReportDescriptorResult {
    std::optional<ReportLengths> lengths; // empty when the descriptor is refused
    std::string error;                    // why it was refused, with the byte offset
};

// Longest data part of a report that is accepted: its length with the
// report-ID byte still fits 16 bits.
inline constexpr std::uint32_t MaxReportDataBytes = 65534;

// The report lengths of `descriptor`. A report is every field of one type
// and report ID, wherever it sits among the collections. Refused, with the
// byte offset in the error text: an item or long item running past the end,
// End Collection without Collection, a collection left open, nesting deeper
// than 64, Pop without Push, Push deeper than 16, Report ID 0 or above 255,
// reports with and without report ID in one descriptor, and a report longer
// than MaxReportDataBytes. An empty descriptor gives 0, 0, 0.
ReportDescriptorResult ParseReportDescriptor(std::span<const std::uint8_t> descriptor);

} // namespace merovane
