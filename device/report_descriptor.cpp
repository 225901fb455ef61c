// HID report descriptor walk: one pass over the items, summing the bits of
// every Input, Output and Feature field per (report type, report ID).
//
// Short item layout: a prefix byte holding the data size (bits 0-1: 0, 1, 2
// or 4 bytes), the item type (bits 2-3: main, global, local, reserved) and
// the tag (bits 4-7), followed by that many little-endian data bytes. The
// prefix 0xFE starts a long item: a data size byte, a tag byte and that many
// data bytes; no long item tag is defined, so they are skipped.
#include "device/report_descriptor.h"

#include <array>
#include <cstddef>
#include <utility>

namespace merovane {
namespace {

constexpr std::size_t MaxCollectionDepth = 64;
constexpr std::size_t MaxPushDepth = 16;
constexpr std::uint64_t MaxReportDataBits = std::uint64_t{MaxReportDataBytes} * 8;
// Report IDs are one byte on the wire; index 0 holds reports without an ID.
constexpr std::size_t ReportIdSlots = 256;

constexpr std::uint8_t LongItemPrefix = 0xFE;

enum ItemType : std::uint8_t { MainItem = 0, GlobalItem = 1, LocalItem = 2, ReservedItem = 3 };

enum MainTag : std::uint8_t {
    InputTag = 0x8,
    OutputTag = 0x9,
    CollectionTag = 0xA,
    FeatureTag = 0xB,
    EndCollectionTag = 0xC,
};

enum GlobalTag : std::uint8_t {
    ReportSizeTag = 0x7,
    ReportIdTag = 0x8,
    ReportCountTag = 0x9,
    PushTag = 0xA,
    PopTag = 0xB,
};

enum ReportType : std::size_t { Input = 0, Output = 1, Feature = 2, ReportTypeCount = 3 };

// The part of the global state that decides report lengths; the other
// globals (usage page, logical range, units) do not, so they are not kept.
struct Globals {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0; // 0 until a Report ID item is seen
};

std::string Hex(std::uint8_t value) {
    constexpr char digits[] = "0123456789abcdef";
    std::string text = "0x";
    text += digits[value >> 4];
    text += digits[value & 0xF];
    return text;
}

ReportDescriptorResult Refuse(std::string error) {
    return ReportDescriptorResult{std::nullopt, std::move(error)};
}

} // namespace

ReportDescriptorResult ParseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    // Bits per report, by type and ID. Each entry stays at most
    // MaxReportDataBits, so 32 bits hold it.
    std::array<std::array<std::uint32_t, ReportIdSlots>, ReportTypeCount> bits{};
    std::array<bool, ReportTypeCount> typeSeen{};
    bool seenWithId = false;
    bool seenWithoutId = false;

    Globals globals;
    std::array<Globals, MaxPushDepth> pushStack{};
    std::size_t pushDepth = 0;
    std::size_t collectionDepth = 0;

    const std::size_t size = descriptor.size();
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t offset = pos;
        const std::uint8_t prefix = descriptor[pos];
        const std::size_t remaining = size - pos - 1; // bytes after the prefix

        if (prefix == LongItemPrefix) {
            if (remaining < 2) {
                return Refuse("long item at " + std::to_string(offset) + ": header cut short by " +
                              "the end of the descriptor");
            }
            const std::size_t dataSize = descriptor[pos + 1];
            const std::size_t present = remaining - 2;
            if (dataSize > present) {
                return Refuse("long item at " + std::to_string(offset) + ": " +
                              std::to_string(dataSize) + " data bytes declared, " +
                              std::to_string(present) + " present");
            }
            pos += 3 + dataSize;
            continue;
        }

        const std::size_t sizeCode = prefix & 0x3;
        const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
        if (dataSize > remaining) {
            return Refuse("item " + Hex(prefix) + " at " + std::to_string(offset) + ": " +
                          std::to_string(dataSize) + " data bytes declared, " +
                          std::to_string(remaining) + " present");
        }
        // Unsigned little-endian value; an item without data bytes has value 0.
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i) {
            value |= std::uint32_t{descriptor[pos + 1 + i]} << (8 * i);
        }
        pos += 1 + dataSize;

        const auto type = static_cast<ItemType>((prefix >> 2) & 0x3);
        const std::uint8_t tag = prefix >> 4;

        if (type == MainItem) {
            ReportType reportType = ReportTypeCount;
            switch (tag) {
            case InputTag:
                reportType = Input;
                break;
            case OutputTag:
                reportType = Output;
                break;
            case FeatureTag:
                reportType = Feature;
                break;
            case CollectionTag:
                if (collectionDepth == MaxCollectionDepth) {
                    return Refuse("Collection at " + std::to_string(offset) +
                                  ": nesting deeper than " + std::to_string(MaxCollectionDepth));
                }
                ++collectionDepth;
                break;
            case EndCollectionTag:
                if (collectionDepth == 0) {
                    return Refuse("End Collection at " + std::to_string(offset) +
                                  " without Collection");
                }
                --collectionDepth;
                break;
            default:
                // Reserved main tags (a stray 00 byte among them) carry no field.
                break;
            }
            if (reportType == ReportTypeCount) {
                continue;
            }

            const bool withId = globals.reportId != 0;
            (withId ? seenWithId : seenWithoutId) = true;
            if (seenWithId && seenWithoutId) {
                return Refuse("item at " + std::to_string(offset) +
                              ": reports with and without report ID");
            }
            // 64-bit product: both factors are below 2^32, so it cannot wrap.
            const std::uint64_t fieldBits =
                std::uint64_t{globals.reportSize} * std::uint64_t{globals.reportCount};
            std::uint32_t& reportBits = bits[reportType][globals.reportId];
            if (fieldBits > MaxReportDataBits - reportBits) {
                return Refuse("item at " + std::to_string(offset) + ": report longer than " +
                              std::to_string(MaxReportDataBytes) + " bytes");
            }
            reportBits += static_cast<std::uint32_t>(fieldBits);
            typeSeen[reportType] = true;
        } else if (type == GlobalItem) {
            switch (tag) {
            case ReportSizeTag:
                globals.reportSize = value;
                break;
            case ReportCountTag:
                globals.reportCount = value;
                break;
            case ReportIdTag:
                if (value == 0) {
                    return Refuse("report ID 0 at " + std::to_string(offset));
                }
                if (value >= ReportIdSlots) {
                    return Refuse("report ID " + std::to_string(value) + " at " +
                                  std::to_string(offset) + ": above 255");
                }
                globals.reportId = value;
                break;
            case PushTag:
                if (pushDepth == MaxPushDepth) {
                    return Refuse("Push at " + std::to_string(offset) + ": stack deeper than " +
                                  std::to_string(MaxPushDepth));
                }
                pushStack[pushDepth++] = globals;
                break;
            case PopTag:
                if (pushDepth == 0) {
                    return Refuse("Pop at " + std::to_string(offset) + " without Push");
                }
                globals = pushStack[--pushDepth];
                break;
            default:
                // Usage page, logical and physical ranges, units: no effect on lengths.
                break;
            }
        }
        // Local items and reserved item types do not affect lengths.
    }

    if (collectionDepth != 0) {
        return Refuse(std::to_string(collectionDepth) + " collection(s) not closed at " +
                      std::to_string(size) + " (end of descriptor)");
    }

    ReportLengths lengths;
    lengths.usesReportIds = seenWithId;
    std::array<std::uint16_t*, ReportTypeCount> out{&lengths.input, &lengths.output,
                                                    &lengths.feature};
    for (std::size_t type = 0; type < ReportTypeCount; ++type) {
        if (!typeSeen[type]) {
            continue;
        }
        std::uint32_t longest = 0;
        for (const std::uint32_t reportBits : bits[type]) {
            longest = reportBits > longest ? reportBits : longest;
        }
        // Whole bytes, plus the report-ID byte; at most 65534 + 1.
        *out[type] = static_cast<std::uint16_t>((longest + 7) / 8 + 1);
    }
    return ReportDescriptorResult{lengths, {}};
}

} // namespace merovane
