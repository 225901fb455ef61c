// The rules that turn device data into text, and the report layout.
#include "device/feature_protocol.h"
#include "device/hardware_id.h"
#include "device/version_text.h"
#include "device/wide_low_bytes.h"

#include <gtest/gtest.h>

namespace merovane {
namespace {

// The buffer as a string read told 100 bytes leaves it: the UTF-16LE units,
// cut to 100 bytes, zero-terminated when the terminator fits.
StringBuffer AfterStringRead(const std::u16string& text) {
    StringBuffer buffer{};
    const std::size_t units = std::min<std::size_t>(text.size(), StringReadLength / 2);
    for (std::size_t i = 0; i < units; ++i) {
        buffer[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        buffer[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    return buffer;
}

struct WideCase {
    std::u16string device;
    std::string shown;
};

TEST(WideLowBytes, KeepsTheLowByteOfEachUnitUpToAZeroLowByteAndAtMostFiftyCharacters) {
    const WideCase cases[] = {
        {u"", ""},
        {u"ACME", "ACME"},
        {u"Gr\u00FC\u00DFe", "Gr\xFC\xDF"
                             "e"},     // Latin-1 as it is
        {u"A\u0100B", "A"},            // a zero low byte ends the text
        {u"\u0141\u20AC", "\x41\xAC"}, // above U+00FF: the low byte alone
        {u"\U0001F600x", "="},         // a surrogate pair D83D DE00: 3D, then 00 ends
        {std::u16string(50, u'x'), std::string(50, 'x')},
        {std::u16string(200, u'y'), std::string(50, 'y')},
        {u"<b>&amp;\t\r\n", "<b>&amp;\t\r\n"}, // markup and control characters pass as they are
    };
    for (const WideCase& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(WideLowBytes(AfterStringRead(c.device)), c.shown);
    }
}

TEST(WideLowBytes, AShorterLaterStringEndsAtItsOwnTerminatorOverStaleBytes) {
    StringBuffer buffer = AfterStringRead(u"Manufacturer Name");
    const StringBuffer shorter = AfterStringRead(u"Pro");
    std::copy_n(shorter.begin(), 8, buffer.begin()); // "Pro" and its terminator
    EXPECT_EQ(WideLowBytes(buffer), "Pro");
}

TEST(VersionText, HighByteInDecimalLowByteInUpperCaseHexNeitherPadded) {
    const std::pair<std::uint16_t, const char*> cases[] = {
        {0x0100, " 1.0"},    {0x0123, " 1.23"}, {0x010A, " 1.A"},   {0x0210, " 2.10"},
        {0x0005, " 0.5"},    {0x0A0F, " 10.F"}, {0x1234, " 18.34"}, {0x8001, " 128.1"},
        {0xFFFF, " 255.FF"}, {0x0000, " 0.0"},
    };
    for (const auto& [version, text] : cases)
        EXPECT_EQ(VersionText(version), text) << std::hex << version;
}

TEST(FeatureProtocol, CommandReportsCarryCommandAndArgumentThenZeros) {
    using Bytes = std::vector<BYTE>;
    EXPECT_EQ(CommandReport(3, Command::SetOutputMode, 2), (Bytes{0, 1, 2}));
    EXPECT_EQ(CommandReport(6, Command::Auxiliary, AuxiliaryArgument), (Bytes{0, 2, 99, 0, 0, 0}));
    EXPECT_FALSE(CommandReport(2, Command::SetOutputMode, 1).has_value());
    EXPECT_FALSE(CommandReport(0, Command::Auxiliary, AuxiliaryArgument).has_value());
}

TEST(FeatureProtocol, TheModeIsByteOneAndCodesAboveThreeCountAsThree) {
    using Bytes = std::vector<BYTE>;
    EXPECT_EQ(OutputModeOfReport(Bytes{0, 0}), 0);
    EXPECT_EQ(OutputModeOfReport(Bytes{9, 2, 7}), 2);
    EXPECT_EQ(OutputModeOfReport(Bytes{0, 4}), 3);
    EXPECT_EQ(OutputModeOfReport(Bytes{0, 255}), 3);
    EXPECT_FALSE(OutputModeOfReport(Bytes{0}).has_value());
    EXPECT_EQ(OutputModeTexts[2], "Divide By 4");
}

} // namespace
} // namespace merovane
