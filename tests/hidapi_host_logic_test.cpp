// The hidapi host's own logic, without HID hardware: device strings into a
// caller's buffer, the interface-detail record, hidraw paths, the report
// descriptor read from a sysfs tree, input reports placed report ID first,
// and what HidapiHost does on a machine where no device can be opened.
#include "device/hidapi/hidapi_host.h"
#include "device/hidapi/hidraw_sysfs.h"
#include "device/hidapi/hidraw_watch.h"
#include "device/host_strings.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace merovane {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t Guard = 0xAA;
constexpr std::size_t GuardBytes = 8;

// A buffer of `told` bytes followed by a guard region, all filled with Guard.
Bytes GuardedBuffer(std::size_t told) {
    return Bytes(told + GuardBytes, Guard);
}

// The bytes of a UTF-16LE text.
Bytes Le(std::initializer_list<std::uint16_t> units) {
    Bytes bytes;
    for (const std::uint16_t unit : units) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// Checks that `buffer` starts with `expected` and holds Guard everywhere after it.
void ExpectWrittenThenGuard(const Bytes& buffer, const Bytes& expected) {
    ASSERT_LE(expected.size(), buffer.size());
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected);
    for (std::size_t i = expected.size(); i < buffer.size(); ++i) {
        EXPECT_EQ(buffer[i], Guard) << "byte " << i << " was written";
    }
}

// ---- UTF-16LE conversion ----------------------------------------------------

struct Utf32Case {
    const char* name;
    std::u32string text;
    std::size_t told; // bytes the caller tells
    Bytes expected;   // what is written, terminator included
};

void PrintTo(const Utf32Case& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class Utf32ToUtf16leTest : public testing::TestWithParam<Utf32Case> {};

TEST_P(Utf32ToUtf16leTest, WritesWholeUnitsWithinTheToldLength) {
    const Utf32Case& c = GetParam();
    Bytes buffer = GuardedBuffer(c.told);
    const std::size_t written = Utf32ToUtf16le(c.text, std::span(buffer.data(), c.told));
    EXPECT_EQ(written, c.expected.size());
    ExpectWrittenThenGuard(buffer, c.expected);
}

TEST_P(Utf32ToUtf16leTest, ExactSizeBufferIsEnough) {
    // The told length is the whole allocation: a write past it is caught by
    // the address sanitizer in sanitized builds.
    const Utf32Case& c = GetParam();
    Bytes buffer(c.told, Guard);
    EXPECT_EQ(Utf32ToUtf16le(c.text, buffer), c.expected.size());
    EXPECT_TRUE(std::equal(c.expected.begin(), c.expected.end(), buffer.begin()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf32ToUtf16leTest,
    testing::Values(Utf32Case{"Ascii", U"Ab", 10, Le({'A', 'b', 0})},
                    Utf32Case{"LatinExtended", U"\u0100", 4, Le({0x0100, 0})},
                    Utf32Case{"AboveBmpBecomesPair", U"\U0001F600", 6, Le({0xD83D, 0xDE00, 0})},
                    Utf32Case{"FirstAndLastSupplementary", U"\U00010000\U0010FFFF", 10,
                              Le({0xD800, 0xDC00, 0xDBFF, 0xDFFF, 0})},
                    Utf32Case{"BmpTop", U"\uFFFF", 4, Le({0xFFFF, 0})},
                    Utf32Case{"SurrogateCodePointReplaced", std::u32string{0xD800, U'x', 0xDFFF}, 8,
                              Le({0xFFFD, 'x', 0xFFFD, 0})},
                    Utf32Case{"AboveUnicodeReplaced", std::u32string{0x110000, 0xFFFFFFFF}, 6,
                              Le({0xFFFD, 0xFFFD, 0})},
                    Utf32Case{"EvenCutFillsWithoutTerminator", U"Abc", 6, Le({'A', 'b', 'c'})},
                    Utf32Case{"EvenCutMidText", U"Abcdef", 4, Le({'A', 'b'})},
                    Utf32Case{"OddCutLeavesLastByte", U"Abc", 5, Le({'A', 'b'})},
                    Utf32Case{"OddRoomAfterTextNoTerminator", U"Abc", 7, Le({'A', 'b', 'c'})},
                    Utf32Case{"TerminatorExactlyFits", U"Ab", 6, Le({'A', 'b', 0})},
                    Utf32Case{"PairNotSplitTerminatorFits", U"A\U0001F600", 4, Le({'A', 0})},
                    Utf32Case{"PairNotSplitOddLength", U"A\U0001F600", 5, Le({'A', 0})},
                    Utf32Case{"PairNotSplitNoRoomForTerminator", U"A\U0001F600", 3, Le({'A'})},
                    Utf32Case{"PairFillsBuffer", U"\U0001F600B", 4, Le({0xD83D, 0xDE00})},
                    Utf32Case{"EmptyTextTerminatorOnly", U"", 2, Le({0})},
                    Utf32Case{"EmptyTextOneByte", U"", 1, Bytes{}},
                    Utf32Case{"ZeroLength", U"Ab", 0, Bytes{}},
                    Utf32Case{"OneByte", U"Ab", 1, Bytes{}}),
    [](const testing::TestParamInfo<Utf32Case>& info) { return std::string(info.param.name); });

struct Utf16Case {
    const char* name;
    std::u16string text;
    std::size_t told;
    Bytes expected;
};

void PrintTo(const Utf16Case& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class Utf16ToUtf16leTest : public testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf16leTest, CopiesUnitsRepairingLoneSurrogates) {
    const Utf16Case& c = GetParam();
    Bytes buffer = GuardedBuffer(c.told);
    const std::size_t written = Utf16ToUtf16le(c.text, std::span(buffer.data(), c.told));
    EXPECT_EQ(written, c.expected.size());
    ExpectWrittenThenGuard(buffer, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ToUtf16leTest,
    testing::Values(
        Utf16Case{"Ascii", u"Ab", 8, Le({'A', 'b', 0})},
        Utf16Case{"PairKept", std::u16string{0xD83D, 0xDE00}, 6, Le({0xD83D, 0xDE00, 0})},
        Utf16Case{"LoneHighAtEnd", std::u16string{u'a', 0xD83D}, 8, Le({'a', 0xFFFD, 0})},
        Utf16Case{"LoneLow", std::u16string{0xDE00, u'a'}, 8, Le({0xFFFD, 'a', 0})},
        Utf16Case{"HighThenNonLow", std::u16string{0xD83D, u'a'}, 8, Le({0xFFFD, 'a', 0})},
        Utf16Case{"PairNotSplit", std::u16string{u'a', 0xD83D, 0xDE00}, 4, Le({'a', 0})},
        Utf16Case{"OddCut", u"abc", 3, Le({'a'})}),
    [](const testing::TestParamInfo<Utf16Case>& info) { return std::string(info.param.name); });

TEST(WideToUtf16leTest, WideTextOfThisPlatformConverts) {
    Bytes buffer = GuardedBuffer(10);
    const std::size_t written = WideToUtf16le(L"A\u00E9\U0001F600", std::span(buffer.data(), 10));
    EXPECT_EQ(written, 10u);
    ExpectWrittenThenGuard(buffer, Le({'A', 0x00E9, 0xD83D, 0xDE00, 0}));
}

TEST(WideToUtf8Test, EncodesEachLengthClass) {
    EXPECT_EQ(WideToUtf8(L"A"), "A");
    EXPECT_EQ(WideToUtf8(L"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(WideToUtf8(L"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(WideToUtf8(L"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(WideToUtf8Test, InvalidCodePointBecomesReplacement) {
    if constexpr (sizeof(wchar_t) == 4) {
        const std::wstring text{static_cast<wchar_t>(0xD800), L'x', static_cast<wchar_t>(0x110000)};
        EXPECT_EQ(WideToUtf8(text), "\xEF\xBF\xBDx\xEF\xBF\xBD");
    } else {
        GTEST_SKIP() << "wchar_t is 16 bits here";
    }
}

// ---- Interface-detail record ------------------------------------------------

Bytes DetailBuffer(std::size_t allocated, DWORD sizeField) {
    Bytes buffer(allocated, Guard);
    for (std::size_t i = 0; i < 4 && i < allocated; ++i) {
        buffer[i] = static_cast<std::uint8_t>(sizeField >> (8 * i));
    }
    return buffer;
}

struct DetailCase {
    const char* name;
    DWORD sizeField;
    DWORD told;
    bool withBuffer;
    BOOL expected;
};

void PrintTo(const DetailCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class InterfaceDetailTest : public testing::TestWithParam<DetailCase> {};

constexpr std::string_view DetailPath = "/dev/hidraw7";
constexpr DWORD DetailRequired = 4 + 12 + 1;

TEST_P(InterfaceDetailTest, FollowsTheSizeRules) {
    const DetailCase& c = GetParam();
    Bytes buffer = DetailBuffer(c.told + GuardBytes, c.sizeField);
    const Bytes before = buffer;
    DWORD required = 0xDEADBEEF;
    const BOOL result =
        WriteInterfaceDetail(DetailPath, c.withBuffer ? buffer.data() : nullptr, c.told, &required);
    EXPECT_EQ(result != 0, c.expected != 0);
    EXPECT_EQ(required, DetailRequired);
    if (result == 0) {
        EXPECT_EQ(buffer, before) << "a failed call wrote into the buffer";
        return;
    }
    Bytes expected = before;
    std::copy(DetailPath.begin(), DetailPath.end(), expected.begin() + 4);
    expected[4 + DetailPath.size()] = 0;
    EXPECT_EQ(buffer, expected);
}

TEST_P(InterfaceDetailTest, SameResultWithAnExactSizeBuffer) {
    // Allocated exactly as told: the sanitizers catch a read or write past it.
    const DetailCase& c = GetParam();
    Bytes buffer = DetailBuffer(c.told, c.sizeField);
    EXPECT_EQ(WriteInterfaceDetail(DetailPath, c.withBuffer ? buffer.data() : nullptr, c.told,
                                   nullptr) != 0,
              c.expected != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InterfaceDetailTest,
    testing::Values(DetailCase{"NoBuffer", 5, 0, false, 0},
                    DetailCase{"NoBufferWithLength", 5, 64, false, 0},
                    DetailCase{"ExactSize", 5, DetailRequired, true, 1},
                    DetailCase{"LargerBuffer", 5, 64, true, 1},
                    DetailCase{"OneByteShort", 5, DetailRequired - 1, true, 0},
                    DetailCase{"TooSmallForSizeField", 5, 3, true, 0},
                    DetailCase{"SizeFieldOfA64BitLayout", 8, 64, true, 0},
                    DetailCase{"SizeFieldZero", 0, 64, true, 0},
                    DetailCase{"SizeFieldBigEndianFive", 0x05000000, 64, true, 0}),
    [](const testing::TestParamInfo<DetailCase>& info) { return std::string(info.param.name); });

TEST(InterfaceDetailTest, RequiredSizeIsOptional) {
    Bytes buffer = DetailBuffer(32, SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE);
    EXPECT_NE(WriteInterfaceDetail("/dev/hidraw0", buffer.data(), 32, nullptr), 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.data() + 4)), "/dev/hidraw0");
    EXPECT_EQ(WriteInterfaceDetail("/dev/hidraw0", nullptr, 0, nullptr), 0);
}

TEST(InterfaceDetailTest, PathWithZeroByteRefusedUntouched) {
    Bytes buffer = DetailBuffer(32, SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE);
    const Bytes before = buffer;
    DWORD required = 0xDEADBEEF;
    using namespace std::string_view_literals;
    EXPECT_EQ(WriteInterfaceDetail("/dev/hid\0raw0"sv, buffer.data(), 32, &required), 0);
    EXPECT_EQ(required, 0xDEADBEEFu);
    EXPECT_EQ(buffer, before);
}

// ---- hidraw node names ------------------------------------------------------

struct NodeCase {
    std::string path;
    std::optional<std::string> node;
};

void PrintTo(const NodeCase& c, std::ostream* os) {
    *os << '"' << c.path << '"';
}

class HidrawNodeNameTest : public testing::TestWithParam<NodeCase> {};

TEST_P(HidrawNodeNameTest, AcceptsOnlyDevHidrawNumber) {
    EXPECT_EQ(HidrawNodeName(GetParam().path), GetParam().node) << "path: " << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HidrawNodeNameTest,
    testing::Values(
        NodeCase{"/dev/hidraw0", "hidraw0"}, NodeCase{"/dev/hidraw12", "hidraw12"},
        NodeCase{"/dev/hidraw123456789", "hidraw123456789"},
        NodeCase{"/dev/hidraw1234567890", std::nullopt}, NodeCase{"/dev/hidraw", std::nullopt},
        NodeCase{"/dev/hidraw01", std::nullopt}, NodeCase{"/dev/hidraw1a", std::nullopt},
        NodeCase{"/dev/hidraw-1", std::nullopt}, NodeCase{"/dev/hidraw+1", std::nullopt},
        NodeCase{"/dev/hidraw1/", std::nullopt},
        NodeCase{"/dev/hidraw1/../../etc/passwd", std::nullopt},
        NodeCase{"/dev/../dev/hidraw1", std::nullopt}, NodeCase{"/dev//hidraw1", std::nullopt},
        NodeCase{"dev/hidraw1", std::nullopt}, NodeCase{"hidraw1", std::nullopt},
        NodeCase{" /dev/hidraw1", std::nullopt}, NodeCase{"/dev/hidraw1 ", std::nullopt},
        NodeCase{std::string("/dev/hidraw1\0", 13), std::nullopt},
        NodeCase{"/DEV/hidraw1", std::nullopt}, NodeCase{"/dev/usb/hiddev0", std::nullopt},
        NodeCase{"", std::nullopt}));

// ---- Report descriptor from sysfs -------------------------------------------

class SysfsTree : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "hidraw_sysfs_XXXXXX");
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    std::filesystem::path DescriptorFile(const std::string& node) const {
        return root_ / "class" / "hidraw" / node / "device" / "report_descriptor";
    }

    static void WriteFile(const std::filesystem::path& file, const Bytes& bytes) {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        ASSERT_TRUE(out.good());
    }

    std::filesystem::path root_;
};

// A small descriptor holding zero and 0xFF bytes, so text reading would show.
const Bytes SampleDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26,
                                0xFF, 0x00, 0x75, 0x08, 0x95, 0x08, 0xB1, 0x02, 0xC0};

TEST_F(SysfsTree, ReadsTheNodesDescriptor) {
    WriteFile(DescriptorFile("hidraw3"), SampleDescriptor);
    WriteFile(DescriptorFile("hidraw4"), Bytes{0x01});
    const HidrawDescriptorResult result = ReadHidrawReportDescriptor("/dev/hidraw3", root_);
    ASSERT_TRUE(result.descriptor.has_value()) << result.error;
    EXPECT_EQ(*result.descriptor, SampleDescriptor);
}

TEST_F(SysfsTree, FollowsSymlinkedNodeDirectoryAsTheKernelLaysItOut) {
    const std::filesystem::path device = root_ / "devices" / "usb1" / "0003:4F3A:2B16.0001";
    WriteFile(device / "report_descriptor", SampleDescriptor);
    std::filesystem::create_directories(root_ / "devices" / "hidraw5");
    std::filesystem::create_directory_symlink(device, root_ / "devices" / "hidraw5" / "device");
    std::filesystem::create_directories(root_ / "class" / "hidraw");
    std::filesystem::create_directory_symlink(root_ / "devices" / "hidraw5",
                                              root_ / "class" / "hidraw" / "hidraw5");
    const HidrawDescriptorResult result = ReadHidrawReportDescriptor("/dev/hidraw5", root_);
    ASSERT_TRUE(result.descriptor.has_value()) << result.error;
    EXPECT_EQ(*result.descriptor, SampleDescriptor);
}

TEST_F(SysfsTree, MissingNodeFails) {
    WriteFile(DescriptorFile("hidraw3"), SampleDescriptor);
    const HidrawDescriptorResult result = ReadHidrawReportDescriptor("/dev/hidraw4", root_);
    EXPECT_FALSE(result.descriptor.has_value());
    EXPECT_FALSE(result.error.empty());
}

TEST_F(SysfsTree, OddPathsRefusedEvenWhereAFileWouldBeFound) {
    // Each refused path would reach a real descriptor file of the tree if it
    // were joined to the sysfs path as it stands.
    WriteFile(DescriptorFile("hidraw03"), SampleDescriptor);
    WriteFile(root_ / "class" / "hidraw3" / "device" / "report_descriptor", SampleDescriptor);
    WriteFile(DescriptorFile("hidraw3x"), SampleDescriptor);
    WriteFile(DescriptorFile("hidraw"), SampleDescriptor);
    for (const char* path :
         {"/dev/hidraw03", "/dev/hidraw0/../../hidraw3", "/dev/hidraw3x", "/dev/hidraw",
          "/dev/../dev/hidraw03", "hidraw03", "/sys/class/hidraw/hidraw03"}) {
        const HidrawDescriptorResult result = ReadHidrawReportDescriptor(path, root_);
        EXPECT_FALSE(result.descriptor.has_value()) << path;
        EXPECT_FALSE(result.error.empty()) << path;
    }
}

TEST_F(SysfsTree, SizeBounds) {
    struct Case {
        const char* node;
        std::size_t size;
        bool accepted;
    };
    const Case cases[] = {{"hidraw0", 1, true},
                          {"hidraw1", MaxReportDescriptorBytes, true},
                          {"hidraw2", MaxReportDescriptorBytes + 1, false},
                          {"hidraw3", 1 << 20, false},
                          {"hidraw4", 0, false}};
    for (const Case& c : cases) {
        Bytes content(c.size);
        for (std::size_t i = 0; i < content.size(); ++i) {
            content[i] = static_cast<std::uint8_t>(i * 7);
        }
        WriteFile(DescriptorFile(c.node), content);
        const HidrawDescriptorResult result =
            ReadHidrawReportDescriptor(std::string("/dev/") + c.node, root_);
        EXPECT_EQ(result.descriptor.has_value(), c.accepted) << c.node << ": " << result.error;
        if (result.descriptor) {
            EXPECT_EQ(*result.descriptor, content) << c.node;
        }
    }
}

TEST_F(SysfsTree, NonRegularFilesRefused) {
    std::filesystem::create_directories(DescriptorFile("hidraw0")); // a directory
    std::filesystem::create_directories(DescriptorFile("hidraw1").parent_path());
    ASSERT_EQ(::mkfifo(DescriptorFile("hidraw1").c_str(), 0600), 0); // would block a plain open
    for (const char* path : {"/dev/hidraw0", "/dev/hidraw1"}) {
        const HidrawDescriptorResult result = ReadHidrawReportDescriptor(path, root_);
        EXPECT_FALSE(result.descriptor.has_value()) << path;
        EXPECT_FALSE(result.error.empty()) << path;
    }
}

// ---- Input reports, report ID first -----------------------------------------

struct InputCase {
    const char* name;
    Bytes wire;
    bool usesReportIds;
    std::size_t told;
    Bytes expected;
};

void PrintTo(const InputCase& c, std::ostream* os) {
    *os << '"' << c.name << '"';
}

class InputReportToCallerTest : public testing::TestWithParam<InputCase> {};

TEST_P(InputReportToCallerTest, PlacesReportIdFirstWithinTheBuffer) {
    const InputCase& c = GetParam();
    Bytes buffer = GuardedBuffer(c.told);
    const std::size_t placed =
        InputReportToCaller(c.wire, c.usesReportIds, std::span(buffer.data(), c.told));
    EXPECT_EQ(placed, c.expected.size());
    ExpectWrittenThenGuard(buffer, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputReportToCallerTest,
    testing::Values(InputCase{"WithIdsAsRead", {5, 1, 2}, true, 8, {5, 1, 2}},
                    InputCase{"WithIdsCut", {5, 1, 2, 3}, true, 2, {5, 1}},
                    InputCase{"WithoutIdsZeroFirst", {1, 2, 3}, false, 8, {0, 1, 2, 3}},
                    InputCase{"WithoutIdsExactFit", {1, 2, 3}, false, 4, {0, 1, 2, 3}},
                    InputCase{"WithoutIdsCut", {1, 2, 3}, false, 3, {0, 1, 2}},
                    InputCase{"WithoutIdsOneByte", {1, 2, 3}, false, 1, {0}},
                    InputCase{"NoRoom", {1, 2, 3}, false, 0, {}},
                    InputCase{"NoRoomWithIds", {1, 2, 3}, true, 0, {}}),
    [](const testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

// ---- Notice of hidraw node changes -------------------------------------------

using HidrawNodeWatchTest = SysfsTree; // a fresh directory stands for /dev

TEST_F(HidrawNodeWatchTest, TellsEachCreationDeletionAndAttributeChangeOfAHidrawNodeOnce) {
    HidrawNodeWatch watch(root_.c_str());
    ASSERT_TRUE(watch.Available());
    EXPECT_FALSE(watch.Changed());

    const std::filesystem::path node = root_ / "hidraw7";
    WriteFile(node, Bytes{});
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Changed()); // the notice was consumed
    ASSERT_EQ(::chmod(node.c_str(), 0600), 0);
    EXPECT_TRUE(watch.Changed());
    // Other nodes do not count.
    WriteFile(root_ / "ttyS0", Bytes{});
    ASSERT_EQ(::chmod((root_ / "ttyS0").c_str(), 0600), 0);
    EXPECT_FALSE(watch.Changed());
    std::filesystem::remove(node);
    EXPECT_TRUE(watch.Changed());
    // Once the directory itself is gone, every question goes to the system.
    std::filesystem::remove_all(root_);
    EXPECT_TRUE(watch.Changed());
    EXPECT_FALSE(watch.Available());
    EXPECT_TRUE(watch.Changed());
}

// ---- HidapiHost without devices ---------------------------------------------

GUID HidGuidOf(HidHost& host) {
    GUID guid;
    host.HidD_GetHidGuid(guid);
    return guid;
}

TEST(HidapiHostTest, HidGuidIsTheHidInterfaceClass) {
    HidapiHost host;
    const GUID guid = HidGuidOf(host);
    EXPECT_EQ(guid.Data1, 0x4D1E55B2u);
    EXPECT_EQ(guid.Data2, 0xF16F);
    EXPECT_EQ(guid.Data3, 0x11CF);
    const std::array<std::uint8_t, 8> tail = {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30};
    EXPECT_TRUE(std::equal(tail.begin(), tail.end(), std::begin(guid.Data4)));
}

TEST(HidapiHostTest, EnumerationListsEachPresentInterfaceThenEnds) {
    // Holds on any machine: every member found has a hidraw path whose detail
    // record follows the size rules, and the index after the last one fails.
    // With no HID device present the set is empty and index 0 already fails.
    HidapiHost host;
    const GUID hid = HidGuidOf(host);
    const HANDLE set =
        host.SetupDiGetClassDevsA(hid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    ASSERT_NE(set, NO_HANDLE);
    std::int32_t index = 0;
    for (; index < 4096; ++index) {
        SP_DEVICE_INTERFACE_DATA data;
        data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
        if (host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, index, data) == 0) {
            break;
        }
        EXPECT_EQ(data.cbSize, 28u);
        DWORD required = 0;
        EXPECT_EQ(host.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr),
                  0);
        ASSERT_GT(required, 5u);
        Bytes record = DetailBuffer(required, SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE);
        ASSERT_NE(host.SetupDiGetDeviceInterfaceDetailA(set, data, record.data(), required, nullptr,
                                                        nullptr),
                  0);
        const std::string path(reinterpret_cast<const char*>(record.data() + 4));
        EXPECT_EQ(required, 4 + path.size() + 1);
        EXPECT_TRUE(HidrawNodeName(path).has_value()) << path;
    }
    EXPECT_LT(index, 4096);
    SP_DEVICE_INTERFACE_DATA past;
    past.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    EXPECT_EQ(host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, index, past), 0);
    EXPECT_EQ(host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, -1, past), 0);
    EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);
}

TEST(HidapiHostTest, EmptySetFailsFirstEnumerationAndDetailWithoutWriting) {
    if (!std::filesystem::is_directory("/dev") ||
        std::any_of(std::filesystem::directory_iterator("/dev"), {}, [](const auto& entry) {
            return entry.path().filename().string().starts_with("hidraw");
        })) {
        GTEST_SKIP() << "hidraw nodes present: the set is not empty";
    }
    HidapiHost host;
    const GUID hid = HidGuidOf(host);
    const HANDLE set =
        host.SetupDiGetClassDevsA(hid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);

    SP_DEVICE_INTERFACE_DATA data;
    data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    data.Flags = 0x5A5A5A5A;
    data.Reserved = 0x12345678;
    EXPECT_EQ(host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, 0, data), 0);
    EXPECT_EQ(data.Flags, 0x5A5A5A5Au);
    EXPECT_EQ(data.Reserved, 0x12345678u);

    // A record naming member 0 (as if it had been filled) still finds nothing.
    data.Reserved = 0;
    DWORD required = 0xDEADBEEF;
    Bytes record = DetailBuffer(64, SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE);
    const Bytes before = record;
    EXPECT_EQ(host.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr), 0);
    EXPECT_EQ(required, 0xDEADBEEFu);
    EXPECT_EQ(
        host.SetupDiGetDeviceInterfaceDetailA(set, data, record.data(), 64, &required, nullptr), 0);
    EXPECT_EQ(required, 0xDEADBEEFu);
    EXPECT_EQ(record, before);
    EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);
}

TEST(HidapiHostTest, SetIsDestroyedOnce) {
    HidapiHost host;
    const GUID hid = HidGuidOf(host);
    const HANDLE set =
        host.SetupDiGetClassDevsA(hid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);
    EXPECT_EQ(host.SetupDiDestroyDeviceInfoList(set), 0);
    SP_DEVICE_INTERFACE_DATA data;
    data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    EXPECT_EQ(host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, 0, data), 0);
}

TEST(HidapiHostTest, OpeningWhatIsNoHidDeviceGivesInvalidHandle) {
    HidapiHost host;
    // /dev/null and /dev/zero open fine as files but are no hidraw nodes.
    for (const char* path : {"/dev/hidraw4095", "/nonexistent/hidraw0", "/dev/null", "/dev/zero",
                             "/dev/hidraw0/../null", "", "/tmp"}) {
        EXPECT_EQ(host.CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OVERLAPPED, NO_HANDLE),
                  INVALID_HANDLE_VALUE)
            << path;
        EXPECT_FALSE(host.LastError().empty()) << path;
    }
    EXPECT_EQ(host.CreateFileA(nullptr, 0, 0, nullptr, OPEN_EXISTING, 0, NO_HANDLE),
              INVALID_HANDLE_VALUE);
}

TEST(HidapiHostTest, ClosingTheInvalidHandleFailsAndClosesNothing) {
    HidapiHost host;
    const HANDLE event = host.CreateEventA(nullptr, 1, 0, nullptr);
    ASSERT_NE(event, NO_HANDLE);
    EXPECT_EQ(host.CloseHandle(INVALID_HANDLE_VALUE), 0);
    EXPECT_EQ(host.CloseHandle(NO_HANDLE), 0);
    EXPECT_NE(host.CloseHandle(event), 0); // still open until now
}

TEST(HidapiHostTest, EventsAreDistinctAndEachClosesOnce) {
    HidapiHost host;
    std::set<HANDLE> events;
    for (int i = 0; i < 100; ++i) {
        const HANDLE event = host.CreateEventA(nullptr, 1, 0, nullptr);
        EXPECT_NE(event, NO_HANDLE);
        EXPECT_NE(event, INVALID_HANDLE_VALUE);
        EXPECT_TRUE(events.insert(event).second) << "handle " << event << " handed out twice";
    }
    for (const HANDLE event : events) {
        EXPECT_NE(host.CloseHandle(event), 0);
        EXPECT_EQ(host.CloseHandle(event), 0);
    }
}

TEST(HidapiHostTest, StaleHandleDoesNotReachANewObject) {
    HidapiHost host;
    const HANDLE first = host.CreateEventA(nullptr, 1, 0, nullptr);
    ASSERT_NE(host.CloseHandle(first), 0);
    const HANDLE second = host.CreateEventA(nullptr, 1, 0, nullptr);
    EXPECT_NE(second, first);
    EXPECT_EQ(host.CloseHandle(first), 0);
    EXPECT_NE(host.CloseHandle(second), 0);
}

// Every operation that takes a handle, with its outputs prefilled so that a
// write shows. `accepts` names the handle kind the operation works on.
enum class Kind { Set, Event, Other };

struct HandleOperation {
    const char* name;
    Kind accepts;
    // Runs the operation on `handle`; returns its result and whether its
    // outputs kept their prefilled values.
    std::function<std::pair<BOOL, bool>(HidapiHost&, HANDLE)> run;
};

std::vector<HandleOperation> HandleOperations() {
    const auto stringRead = [](auto member) {
        return [member](HidapiHost& host, HANDLE handle) {
            Bytes buffer(64, Guard);
            const BOOL result = (host.*member)(handle, buffer.data(), 32);
            return std::pair{result, std::all_of(buffer.begin(), buffer.end(),
                                                 [](std::uint8_t b) { return b == Guard; })};
        };
    };
    return {
        {"SetupDiEnumDeviceInterfaces", Kind::Set,
         [](HidapiHost& host, HANDLE handle) {
             SP_DEVICE_INTERFACE_DATA data;
             data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
             data.Reserved = 77;
             const BOOL result =
                 host.SetupDiEnumDeviceInterfaces(handle, nullptr, HidGuidOf(host), 0, data);
             return std::pair{result, data.Reserved == 77u};
         }},
        {"SetupDiGetDeviceInterfaceDetailA", Kind::Set,
         [](HidapiHost& host, HANDLE handle) {
             SP_DEVICE_INTERFACE_DATA data;
             data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
             Bytes record = DetailBuffer(64, SP_DEVICE_INTERFACE_DETAIL_DATA_A_SIZE);
             const Bytes before = record;
             DWORD required = 0xDEADBEEF;
             const BOOL result = host.SetupDiGetDeviceInterfaceDetailA(handle, data, record.data(),
                                                                       64, &required, nullptr);
             return std::pair{result, record == before && required == 0xDEADBEEFu};
         }},
        {"SetupDiDestroyDeviceInfoList", Kind::Set,
         [](HidapiHost& host, HANDLE handle) {
             return std::pair{host.SetupDiDestroyDeviceInfoList(handle), true};
         }},
        {"CloseHandle", Kind::Event,
         [](HidapiHost& host, HANDLE handle) {
             return std::pair{host.CloseHandle(handle), true};
         }},
        {"HidD_GetAttributes", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             HIDD_ATTRIBUTES attributes;
             attributes.Size = sizeof(HIDD_ATTRIBUTES);
             attributes.VendorID = 0x1111;
             attributes.ProductID = 0x2222;
             attributes.VersionNumber = 0x3333;
             const BOOL result = host.HidD_GetAttributes(handle, attributes);
             return std::pair{result, attributes.VendorID == 0x1111 &&
                                          attributes.ProductID == 0x2222 &&
                                          attributes.VersionNumber == 0x3333};
         }},
        {"HidD_GetSerialNumberString", Kind::Other,
         stringRead(&HidapiHost::HidD_GetSerialNumberString)},
        {"HidD_GetManufacturerString", Kind::Other,
         stringRead(&HidapiHost::HidD_GetManufacturerString)},
        {"HidD_GetProductString", Kind::Other, stringRead(&HidapiHost::HidD_GetProductString)},
        {"HidD_GetPreparsedData", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             HANDLE preparsed = 4242;
             const BOOL result = host.HidD_GetPreparsedData(handle, preparsed);
             return std::pair{result, preparsed == 4242};
         }},
        {"HidP_GetCaps", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             HIDP_CAPS caps;
             caps.InputReportByteLength = 11;
             caps.OutputReportByteLength = 22;
             caps.FeatureReportByteLength = 33;
             const BOOL result = host.HidP_GetCaps(handle, caps);
             return std::pair{result, caps.InputReportByteLength == 11 &&
                                          caps.OutputReportByteLength == 22 &&
                                          caps.FeatureReportByteLength == 33};
         }},
        {"HidD_FreePreparsedData", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             return std::pair{host.HidD_FreePreparsedData(handle), true};
         }},
        {"HidD_GetFeature", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             Bytes report(16, Guard);
             report[0] = 0;
             const Bytes before = report;
             const BOOL result = host.HidD_GetFeature(handle, report.data(), 8);
             return std::pair{result, report == before};
         }},
        {"HidD_SetFeature", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             const Bytes report = {0, 1, 2, 0};
             return std::pair{host.HidD_SetFeature(handle, report.data(), 4), true};
         }},
        {"ReadFile", Kind::Other,
         [](HidapiHost& host, HANDLE handle) {
             Bytes buffer(16, Guard);
             DWORD read = 0xDEADBEEF;
             OVERLAPPED overlapped;
             const BOOL result = host.ReadFile(handle, buffer.data(), 8, &read, &overlapped);
             return std::pair{result,
                              read == 0 && std::all_of(buffer.begin(), buffer.end(),
                                                       [](std::uint8_t b) { return b == Guard; })};
         }},
    };
}

TEST(HidapiHostTest, OperationsRefuseUnknownAndWrongKindHandlesChangingNothing) {
    HidapiHost host;
    const GUID hid = HidGuidOf(host);
    const HANDLE set =
        host.SetupDiGetClassDevsA(hid, nullptr, NO_HANDLE, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    const HANDLE event = host.CreateEventA(nullptr, 1, 0, nullptr);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    ASSERT_NE(event, NO_HANDLE);
    ASSERT_NE(set, event);

    struct Bad {
        const char* name;
        HANDLE handle;
        Kind kind;
    };
    const Bad bads[] = {{"invalid", INVALID_HANDLE_VALUE, Kind::Other},
                        {"none", NO_HANDLE, Kind::Other},
                        {"unknown", 12345, Kind::Other},
                        {"unknown negative", -7, Kind::Other},
                        {"set", set, Kind::Set},
                        {"event", event, Kind::Event}};
    for (const HandleOperation& operation : HandleOperations()) {
        for (const Bad& bad : bads) {
            if (bad.kind != Kind::Other && bad.kind == operation.accepts) {
                continue;
            }
            const auto [result, untouched] = operation.run(host, bad.handle);
            EXPECT_EQ(result, 0) << operation.name << " on the " << bad.name << " handle";
            EXPECT_TRUE(untouched)
                << operation.name << " on the " << bad.name << " handle wrote its outputs";
        }
    }
    // None of the refused calls released the set or the event.
    SP_DEVICE_INTERFACE_DATA data;
    data.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    host.SetupDiEnumDeviceInterfaces(set, nullptr, hid, 0, data);
    EXPECT_NE(host.SetupDiDestroyDeviceInfoList(set), 0);
    EXPECT_NE(host.CloseHandle(event), 0);
}

TEST(HidapiHostTest, AFailureLeavesAReason) {
    HidapiHost host;
    EXPECT_EQ(host.HidD_GetFeature(999, nullptr, 0), 0);
    const std::string first = host.LastError();
    EXPECT_NE(first.find("HidD_GetFeature"), std::string::npos) << first;
    EXPECT_EQ(host.CreateFileA("/dev/hidraw4095", 0, 0, nullptr, OPEN_EXISTING, 0, NO_HANDLE),
              INVALID_HANDLE_VALUE);
    EXPECT_NE(host.LastError().find("/dev/hidraw4095"), std::string::npos) << host.LastError();
    EXPECT_EQ(host.LastError(999), "");
}

TEST(HidapiHostTest, FailuresCarryAnErrorCode) {
    HidapiHost host;
    EXPECT_EQ(host.GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(host.HidD_GetFeature(999, nullptr, 0), 0);
    EXPECT_EQ(host.GetLastError(), ERROR_INVALID_HANDLE);
    host.CreateFileA("/dev/hidraw4095", 0, 0, nullptr, OPEN_EXISTING, 0, NO_HANDLE);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND);
    host.CreateFileA("/etc/passwd", 0, 0, nullptr, OPEN_EXISTING, 0, NO_HANDLE);
    EXPECT_EQ(host.GetLastError(), ERROR_FILE_NOT_FOUND);
}

} // namespace
} // namespace merovane
