// Report lengths computed from HID report descriptors: real devices' descriptors
// against their known lengths, broken descriptors refused at the right item, and
// small hand-written descriptors for each rule of the walk.
#include "device/report_descriptor.h"
#include "support/hex_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

namespace merovane {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::filesystem::path DescriptorDir =
    std::filesystem::path(MEROVANE_TEST_DATA_DIR) / "descriptors";
const std::filesystem::path MalformedDir = DescriptorDir / "malformed";

Bytes LoadHex(const std::filesystem::path& path) {
    const auto bytes = test::ReadHexFile(path);
    EXPECT_TRUE(bytes.has_value()) << "cannot read " << path;
    return bytes.value_or(Bytes{});
}

ReportDescriptorResult Parse(const Bytes& bytes) {
    return ParseReportDescriptor(bytes);
}

std::set<std::string> HexFilesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.is_regular_file() && entry.path().extension() == ".hex") {
            names.insert(entry.path().filename().string());
        }
    }
    return names;
}

// ---------------------------------------------------------------------------
// Real descriptors, one case per row of expected.tsv.

struct ExpectedRow {
    std::string file;
    int input = -1;
    int output = -1;
    int feature = -1;
};

std::vector<ExpectedRow> LoadExpectedTable() {
    std::vector<ExpectedRow> rows;
    std::ifstream table(DescriptorDir / "expected.tsv");
    std::string line;
    std::getline(table, line); // header
    while (std::getline(table, line)) {
        if (line.empty()) {
            continue;
        }
        std::istringstream fields(line);
        ExpectedRow row;
        std::string input, output, feature;
        std::getline(fields, row.file, '\t');
        std::getline(fields, input, '\t');
        std::getline(fields, output, '\t');
        std::getline(fields, feature, '\t');
        row.input = std::stoi(input);
        row.output = std::stoi(output);
        row.feature = std::stoi(feature);
        rows.push_back(row);
    }
    return rows;
}

std::string TestNameOf(const std::string& file) {
    std::string name = std::filesystem::path(file).stem().string();
    std::replace_if(
        name.begin(), name.end(),
        [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
    return name;
}

class RealDescriptor : public testing::TestWithParam<ExpectedRow> {};

TEST_P(RealDescriptor, GivesItsKnownLengths) {
    const ExpectedRow& row = GetParam();
    const Bytes bytes = LoadHex(DescriptorDir / row.file);
    ASSERT_FALSE(bytes.empty());
    const ReportDescriptorResult result = Parse(bytes);
    ASSERT_TRUE(result.lengths.has_value()) << result.error;
    EXPECT_TRUE(result.error.empty());
    EXPECT_EQ(result.lengths->input, row.input);
    EXPECT_EQ(result.lengths->output, row.output);
    EXPECT_EQ(result.lengths->feature, row.feature);
}

INSTANTIATE_TEST_SUITE_P(ExpectedTsv, RealDescriptor, testing::ValuesIn(LoadExpectedTable()),
                         [](const testing::TestParamInfo<ExpectedRow>& info) {
                             return TestNameOf(info.param.file);
                         });

// The table above is read at start-up; make sure it really covers every file,
// so that a missing or truncated table cannot pass as zero cases.
TEST(RealDescriptorTable, ListsEveryDescriptorFile) {
    const std::vector<ExpectedRow> rows = LoadExpectedTable();
    std::set<std::string> listed;
    for (const ExpectedRow& row : rows) {
        listed.insert(row.file);
    }
    EXPECT_EQ(rows.size(), 14u);
    EXPECT_EQ(listed.size(), rows.size()) << "a file is listed twice";
    EXPECT_EQ(listed, HexFilesIn(DescriptorDir));
}

struct ReportIdCase {
    const char* file;
    bool usesReportIds;
};

// Decided by reading each descriptor: the keyboard, the FIDO key and the Razer
// mouse have no Report ID item (85); the headset starts with 85 01, the Xbox
// controller over Bluetooth and the DualShock 4 tag every report.
TEST(RealDescriptorReportIds, MatchTheDescriptorBytes) {
    const ReportIdCase cases[] = {
        {"keyboard_logitech_c534.hex", false},  {"fido_yubikey5.hex", false},
        {"mouse_razer_cobra.hex", false},       {"headset_logitech_h540.hex", true},
        {"gamepad_xbox_one_s_bt.hex", true},    {"gamepad_dualshock4_usb.hex", true},
        {"vendor_steam_controller.hex", false}, {"touchscreen_sitronix_1403_5001.hex", true},
    };
    for (const ReportIdCase& c : cases) {
        SCOPED_TRACE(c.file);
        const ReportDescriptorResult result = Parse(LoadHex(DescriptorDir / c.file));
        ASSERT_TRUE(result.lengths.has_value()) << result.error;
        EXPECT_EQ(result.lengths->usesReportIds, c.usesReportIds);
    }
}

// ---------------------------------------------------------------------------
// Malformed descriptors: each refused, with the offset of the offending item.

struct MalformedCase {
    const char* file;
    const char* errorPart; // a piece the error text must contain
};

TEST(MalformedDescriptor, EachIsRefusedAtTheOffendingItem) {
    const MalformedCase cases[] = {
        {"truncated_item.hex", "0x97 at 8: 4 data bytes declared, 1 present"},
        {"end_collection_without_collection.hex", "End Collection at 0"},
        {"collection_never_closed.hex", "1 collection(s) not closed"},
        {"nested_200_deep.hex", "Collection at 133"},
        {"pop_without_push.hex", "Pop at 7"},
        {"push_100.hex", "Push at 23"},
        {"report_size_count_overflow.hex", "at 17: report longer than 65534 bytes"},
        {"report_id_zero.hex", "report ID 0 at 7"},
        {"report_id_mixed.hex", "at 17: reports with and without report ID"},
        {"long_item_past_end.hex", "long item at 13: 16 data bytes declared, 3 present"},
    };
    std::set<std::string> covered{"empty.hex"};
    for (const MalformedCase& c : cases) {
        SCOPED_TRACE(c.file);
        covered.insert(c.file);
        const Bytes bytes = LoadHex(MalformedDir / c.file);
        ASSERT_FALSE(bytes.empty());
        const ReportDescriptorResult result = Parse(bytes);
        EXPECT_FALSE(result.lengths.has_value());
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
    }
    EXPECT_EQ(covered, HexFilesIn(MalformedDir)) << "a malformed file has no case here";
}

TEST(MalformedDescriptor, EmptyDescriptorHasNoReports) {
    const auto bytes = test::ReadHexFile(MalformedDir / "empty.hex");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_TRUE(bytes->empty());
    const ReportDescriptorResult result = Parse(*bytes);
    ASSERT_TRUE(result.lengths.has_value()) << result.error;
    EXPECT_EQ(result.lengths->input, 0);
    EXPECT_EQ(result.lengths->output, 0);
    EXPECT_EQ(result.lengths->feature, 0);
    EXPECT_FALSE(result.lengths->usesReportIds);
}

// Same bytes as malformed/gen_repeated_input.py writes: 1 MiB either of one
// input report growing a byte per Input item, or of 149,796 one-item top-level
// collections whose report IDs cycle through 1..255.
Bytes RepeatedInputDescriptor(bool collections) {
    Bytes data;
    data.reserve(std::size_t{1} << 20);
    if (collections) {
        data = {0x75, 0x08, 0x95, 0x01};
        for (int i = 0; i < 149796; ++i) {
            const auto id = static_cast<std::uint8_t>(i % 255 + 1);
            data.insert(data.end(), {0xA1, 0x01, 0x85, id, 0x81, 0x02, 0xC0});
        }
    } else {
        data = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x01};
        for (int i = 0; i < 524282; ++i) {
            data.insert(data.end(), {0x81, 0x02});
        }
        data.push_back(0xC0);
    }
    return data;
}

TEST(MalformedDescriptor, MebibyteOfInputItemsIsRefusedWhenTheReportOutgrowsTheLimit) {
    const Bytes bytes = RepeatedInputDescriptor(false);
    ASSERT_EQ(bytes.size(), std::size_t{1} << 20);
    const ReportDescriptorResult result = Parse(bytes);
    EXPECT_FALSE(result.lengths.has_value());
    // The 65,535th Input item, at 11 + 2 * 65534, is the first byte too many.
    EXPECT_NE(result.error.find("at 131079: report longer than 65534 bytes"), std::string::npos)
        << result.error;
}

TEST(MalformedDescriptor, MebibyteOfSmallCollectionsIsAccepted) {
    const Bytes bytes = RepeatedInputDescriptor(true);
    ASSERT_EQ(bytes.size(), std::size_t{1} << 20);
    const ReportDescriptorResult result = Parse(bytes);
    ASSERT_TRUE(result.lengths.has_value()) << result.error;
    // 149,796 collections over 255 IDs: IDs 1..111 get 588 bytes, the rest 587.
    EXPECT_EQ(result.lengths->input, 589);
    EXPECT_EQ(result.lengths->output, 0);
    EXPECT_EQ(result.lengths->feature, 0);
    EXPECT_TRUE(result.lengths->usesReportIds);
}

// ---------------------------------------------------------------------------
// Hand-written descriptors, one rule each.

struct SmallCase {
    const char* name;
    Bytes bytes;
    int input;
    int output;
    int feature;
    bool usesReportIds;
};

TEST(SmallDescriptor, GivesTheLengthsOfItsFields) {
    const SmallCase cases[] = {
        // Pop restores Report Size and Count pushed before the 160-bit field:
        // 160 + 32 bits. Ignoring Pop would give 160 + 160.
        {"pop restores size and count",
         {0x75, 0x08, 0x95, 0x04, 0xA1, 0x01, 0xA4, 0x75, 0x10, 0x95, 0x0A, 0x81, 0x02, 0xB4,
          0x81, 0x02, 0xC0},
         25, 0, 0, false},
        // Pop restores Report ID 1 after a field of ID 2: ID 1 gets 2 + 2 bytes.
        {"pop restores the report id",
         {0x75, 0x08, 0x95, 0x02, 0xA1, 0x01, 0x85, 0x01, 0xA4, 0x85, 0x02, 0x81, 0x02, 0xB4,
          0x81, 0x02, 0x81, 0x02, 0xC0},
         5, 0, 0, true},
        // Nested pushes come back in reverse order: 8*1 + 8*2 + 8*3 bits.
        {"nested push and pop",
         {0x75, 0x08, 0x95, 0x01, 0xA1, 0x01, 0xA4, 0x95, 0x02, 0xA4, 0x95, 0x03, 0x81, 0x02,
          0xB4, 0x81, 0x02, 0xB4, 0x81, 0x02, 0xC0},
         7, 0, 0, false},
        // Report ID 1 in two top-level collections is one report: 3 + 3 bytes,
        // while the Report Size and Count carry over from the first collection.
        {"report spread over two collections",
         {0x75, 0x08, 0x95, 0x03, 0xA1, 0x01, 0x85, 0x01, 0x81, 0x02, 0xC0, 0xA1, 0x01, 0x81,
          0x02, 0xC0},
         7, 0, 0, true},
        // Reports without ID in two collections add up the same way.
        {"no-id report spread over two collections",
         {0x75, 0x08, 0x95, 0x03, 0xA1, 0x01, 0x81, 0x02, 0xC0, 0xA1, 0x01, 0x91, 0x02, 0x81,
          0x02, 0xC0},
         7, 4, 0, false},
        // The longest report of a type wins, and types count apart: ID 1 has
        // 4 input bytes, ID 2 has 2 input and 5 feature bytes.
        {"longest report per type",
         {0x75, 0x08, 0xA1, 0x01, 0x85, 0x01, 0x95, 0x04, 0x81, 0x02, 0x85, 0x02, 0x95, 0x02,
          0x81, 0x02, 0x95, 0x05, 0xB1, 0x02, 0xC0},
         5, 0, 6, true},
        // Bits add up across fields before rounding: 3 + 5 + 1 bits is 2 bytes.
        {"bits rounded up per report",
         {0xA1, 0x01, 0x75, 0x01, 0x95, 0x03, 0x81, 0x02, 0x95, 0x05, 0x81, 0x03, 0x95, 0x01,
          0x81, 0x02, 0xC0},
         3, 0, 0, false},
        // Items without data bytes: `a0` Collection, `80` Input, `94` Report
        // Count 0 (so the `90` Output has no bits yet still makes a 1-byte
        // report), `c0`.
        {"items without data bytes",
         {0x75, 0x08, 0x95, 0x02, 0xA0, 0x80, 0x94, 0x90, 0xC0}, 3, 1, 0, false},
        // Long items are skipped whole, even when their data looks like items:
        // here an Input, an End Collection and a Pop.
        {"long item skipped",
         {0x75, 0x08, 0x95, 0x01, 0xA1, 0x01, 0xFE, 0x05, 0x00, 0x81, 0x02, 0xC0, 0xB4, 0xC0,
          0x81, 0x02, 0xFE, 0x00, 0x10, 0xC0},
         2, 0, 0, false},
        // A 4-byte Report Count of 0x00010001 one-bit fields is 8193 bytes;
        // reading only its low 2 bytes would give 1 bit.
        {"4-byte report count",
         {0xA1, 0x01, 0x75, 0x01, 0x97, 0x01, 0x00, 0x01, 0x00, 0x81, 0x02, 0xC0}, 8194, 0, 0,
         false},
        // A 2-byte Report Size of 0x0101 bits read unsigned.
        {"2-byte report size",
         {0xA1, 0x01, 0x76, 0x01, 0x01, 0x95, 0x01, 0xB1, 0x02, 0xC0}, 0, 0, 34, false},
        // Report Count 0x80 in one byte is 128, not -128.
        {"report count read unsigned",
         {0xA1, 0x01, 0x75, 0x08, 0x95, 0x80, 0x91, 0x02, 0xC0}, 0, 129, 0, false},
        // Report ID 0xF3 in one byte is 243; its report counts like any other.
        {"report id above 127",
         {0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, 0x85, 0xF3, 0xB1, 0x02, 0xC0}, 0, 0, 3, true},
        // The largest accepted report: 65534 data bytes, length 65535.
        {"largest report",
         {0xA1, 0x01, 0x75, 0x08, 0x96, 0xFE, 0xFF, 0x81, 0x02, 0xC0}, 65535, 0, 0, false},
        // Exactly 65534 bytes reached by two fields.
        {"largest report in two fields",
         {0xA1, 0x01, 0x75, 0x08, 0x96, 0xFF, 0x7F, 0x81, 0x02, 0x96, 0xFF, 0x7F, 0x81, 0x02,
          0xC0},
         65535, 0, 0, false},
        // Reserved main tags (a stray 00 after the last End Collection, d0),
        // local items and reserved-type items (0d c0: its data byte is not an
        // End Collection) change nothing.
        {"reserved and local items ignored",
         {0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x09, 0x30, 0x19, 0x01, 0x29, 0x08, 0xD1, 0x05,
          0x0D, 0xC0, 0x81, 0x02, 0xC0, 0x00},
         2, 0, 0, false},
        // Other globals (usage page, logical range, unit) leave the lengths alone.
        {"other globals ignored",
         {0x05, 0x01, 0x15, 0x81, 0x27, 0xFF, 0xFF, 0xFF, 0x7F, 0x65, 0x11, 0xA1, 0x01, 0x75,
          0x08, 0x95, 0x01, 0x81, 0x02, 0xC0},
         2, 0, 0, false},
        // 64 nested collections are allowed.
        {"64 nested collections",
         [] {
             Bytes b{0x75, 0x08, 0x95, 0x01};
             for (int i = 0; i < 64; ++i) {
                 b.insert(b.end(), {0xA1, 0x00});
             }
             b.insert(b.end(), {0x81, 0x02});
             b.insert(b.end(), 64, 0xC0);
             return b;
         }(),
         2, 0, 0, false},
        // 16 pushes are allowed, and the 16th Pop gives back the first state.
        {"16 pushes",
         [] {
             Bytes b{0x75, 0x08, 0x95, 0x01, 0xA1, 0x01};
             b.insert(b.end(), 16, 0xA4);
             b.insert(b.end(), {0x95, 0x09});
             b.insert(b.end(), 16, 0xB4);
             b.insert(b.end(), {0x81, 0x02, 0xC0});
             return b;
         }(),
         2, 0, 0, false},
        // Main items outside any collection still count.
        {"fields outside collections", {0x75, 0x08, 0x95, 0x02, 0x81, 0x02}, 3, 0, 0, false},
    };
    for (const SmallCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportDescriptorResult result = Parse(c.bytes);
        ASSERT_TRUE(result.lengths.has_value()) << result.error;
        EXPECT_EQ(result.lengths->input, c.input);
        EXPECT_EQ(result.lengths->output, c.output);
        EXPECT_EQ(result.lengths->feature, c.feature);
        EXPECT_EQ(result.lengths->usesReportIds, c.usesReportIds);
    }
}

struct RefusedCase {
    const char* name;
    Bytes bytes;
    const char* errorPart;
};

TEST(SmallDescriptor, IsRefusedWhenBroken) {
    const RefusedCase cases[] = {
        {"1 data byte missing", {0xA1, 0x01, 0x05}, "0x05 at 2: 1 data bytes declared, 0 present"},
        {"2 data bytes cut", {0xA1, 0x01, 0x06, 0x00}, "0x06 at 2: 2 data bytes declared, 1"},
        {"4 data bytes cut", {0x07, 0x00, 0x00, 0x00}, "0x07 at 0: 4 data bytes declared, 3"},
        {"long item prefix alone", {0xFE}, "long item at 0"},
        {"long item without tag", {0xFE, 0x00}, "long item at 0"},
        {"long item data cut", {0xFE, 0x02, 0x00, 0x00}, "2 data bytes declared, 1 present"},
        // One bit past 65534 bytes is refused.
        {"report one bit too long",
         {0xA1, 0x01, 0x75, 0x01, 0x97, 0xF1, 0xFF, 0x07, 0x00, 0x81, 0x02, 0xC0},
         "at 9: report longer than 65534 bytes"},
        // Two fields of 2^32-1 x 2^32-1 bits: the first must already be refused.
        {"size and count at their maximum",
         {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0xB1, 0x02},
         "at 10: report longer"},
        // Fields that are each fine but together pass the limit.
        {"limit passed by the second field",
         {0x75, 0x08, 0x96, 0xFF, 0x7F, 0x91, 0x02, 0x96, 0x00, 0x80, 0x91, 0x02},
         "at 10: report longer"},
        {"report id 0 without data", {0x84}, "report ID 0 at 0"},
        {"report id above 255", {0x86, 0x00, 0x01}, "report ID 256 at 0"},
        // A Pop back to "no report ID" after fields with an ID mixes both.
        {"pop back to no report id",
         {0x75, 0x08, 0x95, 0x01, 0xA4, 0x85, 0x01, 0x81, 0x02, 0xB4, 0x81, 0x02},
         "at 10: reports with and without report ID"},
        // Mixing counts across report types too.
        {"mixed across types",
         {0x75, 0x08, 0x95, 0x01, 0x91, 0x02, 0x85, 0x01, 0xB1, 0x02},
         "at 8: reports with and without report ID"},
        {"65 nested collections",
         [] {
             Bytes b;
             for (int i = 0; i < 65; ++i) {
                 b.insert(b.end(), {0xA1, 0x00});
             }
             b.insert(b.end(), 65, 0xC0);
             return b;
         }(),
         "Collection at 128: nesting deeper than 64"},
        {"17 pushes", Bytes(17, 0xA4), "Push at 16: stack deeper than 16"},
        {"more pops than pushes", {0xA4, 0xA4, 0xB4, 0xB4, 0xB4}, "Pop at 4 without Push"},
        {"end collection after balanced ones",
         {0xA1, 0x01, 0xC0, 0xA1, 0x01, 0xC0, 0xC0},
         "End Collection at 6 without Collection"},
        {"two collections never closed", {0xA1, 0x01, 0xA0}, "2 collection(s) not closed"},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ReportDescriptorResult result = Parse(c.bytes);
        EXPECT_FALSE(result.lengths.has_value());
        EXPECT_NE(result.error.find(c.errorPart), std::string::npos) << result.error;
    }
}

// The parser must stop at the end of the span it is given, not at the end of
// the buffer behind it: the same bytes cut short are refused.
TEST(SmallDescriptor, ReadsOnlyTheGivenSpan) {
    const Bytes buffer{0xA1, 0x01, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02, 0xC0};
    const std::span<const std::uint8_t> whole(buffer);
    ASSERT_TRUE(ParseReportDescriptor(whole).lengths.has_value());
    EXPECT_FALSE(ParseReportDescriptor(whole.first(buffer.size() - 1)).lengths.has_value());
    const ReportDescriptorResult cut = ParseReportDescriptor(whole.first(5));
    EXPECT_FALSE(cut.lengths.has_value());
    EXPECT_NE(cut.error.find("0x95 at 4: 1 data bytes declared, 0 present"), std::string::npos)
        << cut.error;
}

} // namespace
} // namespace merovane
