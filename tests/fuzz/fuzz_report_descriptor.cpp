// libFuzzer target for the report descriptor parser.
//
// Besides the sanitizers catching any out-of-bounds read, overflow or
// undefined behaviour, each input is checked for properties every result
// must have:
//  - accepted: no error text, each length 0 or 1..65535 (the report-ID byte
//    plus at most MaxReportDataBytes);
//  - refused: an error text naming a byte offset within the descriptor;
//  - parsing again gives the same result;
//  - a zero-length long item in front changes nothing but the offsets, and a
//    reserved main item (00) appended to an accepted descriptor changes nothing.
#include "device/report_descriptor.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace {

void Fail(const char* what, const merovane::ReportDescriptorResult& result) {
    std::fprintf(stderr, "invariant broken: %s (error text: \"%s\")\n", what, result.error.c_str());
    std::abort();
}

bool SameResult(const merovane::ReportDescriptorResult& a,
                const merovane::ReportDescriptorResult& b) {
    if (a.lengths.has_value() != b.lengths.has_value()) {
        return false;
    }
    if (!a.lengths) {
        return true;
    }
    return a.lengths->input == b.lengths->input && a.lengths->output == b.lengths->output &&
           a.lengths->feature == b.lengths->feature &&
           a.lengths->usesReportIds == b.lengths->usesReportIds;
}

bool LengthInRange(std::uint32_t length) {
    return length == 0 || (length >= 1 && length - 1 <= merovane::MaxReportDataBytes);
}

// True when the error text holds " at N" with N no larger than the size.
bool NamesOffsetWithin(const std::string& error, std::size_t size) {
    for (std::size_t at = error.find(" at "); at != std::string::npos;
         at = error.find(" at ", at + 1)) {
        std::size_t i = at + 4;
        std::uint64_t offset = 0;
        bool digits = false;
        while (i < error.size() && error[i] >= '0' && error[i] <= '9' && offset <= size) {
            offset = offset * 10 + static_cast<std::uint64_t>(error[i] - '0');
            digits = true;
            ++i;
        }
        if (digits && offset <= size) {
            return true;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> descriptor(data, size);
    const merovane::ReportDescriptorResult result = merovane::ParseReportDescriptor(descriptor);

    if (result.lengths) {
        if (!result.error.empty()) {
            Fail("accepted with an error text", result);
        }
        if (!LengthInRange(result.lengths->input) || !LengthInRange(result.lengths->output) ||
            !LengthInRange(result.lengths->feature)) {
            Fail("length out of range", result);
        }
    } else {
        if (result.error.empty()) {
            Fail("refused without an error text", result);
        }
        if (!NamesOffsetWithin(result.error, size)) {
            Fail("error text names no offset within the descriptor", result);
        }
    }

    if (!SameResult(result, merovane::ParseReportDescriptor(descriptor)) ||
        result.error != merovane::ParseReportDescriptor(descriptor).error) {
        Fail("second parse differs", result);
    }

    std::vector<std::uint8_t> prefixed{0xFE, 0x00, 0x00};
    prefixed.insert(prefixed.end(), data, data + size);
    if (!SameResult(result, merovane::ParseReportDescriptor(prefixed))) {
        Fail("an empty long item in front changed the result", result);
    }

    if (result.lengths) {
        std::vector<std::uint8_t> padded(data, data + size);
        padded.push_back(0x00);
        if (!SameResult(result, merovane::ParseReportDescriptor(padded))) {
            Fail("a trailing 00 byte changed the result", result);
        }
    }
    return 0;
}
