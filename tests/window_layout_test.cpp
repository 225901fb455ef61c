// The window as it is created: geometry, states and tab order, on whichever
// toolkit backend the tests are built with, and its layout and texts at every
// display scale.
#include "device/simulated/demo_devices.h"
#include "support/window_scenario.h"

#include <algorithm>
#include <cmath>

namespace merovane::test {
namespace {

using WindowLayout = WindowScenario;
using Key = WindowDriver::Key;

TEST(TwipsToPixels, FifteenTwipsMakeAPixelAt96DotsPerInch) {
    EXPECT_EQ(TwipsToPixels(4335, 96), 289);
    EXPECT_EQ(TwipsToPixels(3645, 96), 243);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(1440, 120), 120);
    EXPECT_EQ(TwipsToPixels(4335, 144), 434); // 433.5 rounds up
}

struct Placement {
    Control id;
    int left, top, width, height; // twips, in the container
};

using enum Control;

const Placement Placements[] = {
    {Command1, 600, 3840, 3255, 975},    {Frame3, 120, 2280, 4095, 1215},
    {Enc1, 240, 480, 2520, 360},         {Frame1, 120, 120, 4095, 1935},
    {SerNo, 1800, 1380, 1320, 360},      {lblSerialNumber, 1680, 360, 3300, 330},
    {lblVersion, 1680, 1080, 3300, 330}, {lblProduct, 1680, 360, 3300, 330},
    {lblManuf, 1680, 720, 3300, 330},    {Label2, 240, 1080, 1455, 285},
    {Label5, 240, 360, 1215, 285},       {Label4, 240, 720, 1215, 285},
    {Label3, 240, 1440, 1815, 285},
};

// At 96 dpi (the tests' screens), every backend gives the same rectangles.
TEST_F(WindowLayout, EveryControlSitsInItsContainerAtItsDesignedPlace) {
    Start();
    const double dpi = User().Dpi();
    EXPECT_EQ(dpi, 96);
    const auto pixels = [dpi](int twips) {
        return TwipsToPixels(twips, dpi);
    };
    for (const Placement& p : Placements) {
        SCOPED_TRACE(MainForm[p.id].name);
        EXPECT_EQ(User().Place(p.id),
                  (PixelRect{pixels(p.left), pixels(p.top), pixels(p.width), pixels(p.height)}));
    }
}

class AtDisplayScale : public WindowScenario, public testing::WithParamInterface<int> {};

constexpr char LongestWholeSerial[] = "MV2B-00988-04178";
constexpr char TooLongSerial[] = "MV2B-00988-0417-8812-XYZ";

// The demo's two dividers, one whose serial takes 16 characters and one of
// 24: the window opens the last one listed, the 24.
TEST_P(AtDisplayScale, TheLayoutKeepsItsProportionsAndEveryCaptionAndValueIsWhole) {
    PlugDemoDevices(host);
    Plug(Divider(u"MV2B-00988-04178"));
    VirtualDevice longSerial = Divider(u"MV2B-00988-0417-8812-XYZ", 3);
    longSerial.manufacturer = u"Merovane Instruments";
    longSerial.product = u"Clock Divider CD-4";
    Plug(longSerial);
    Start();
    User().MoveToScale(GetParam());
    const double dpi = 96.0 * GetParam() / 100;
    ASSERT_NEAR(User().Dpi(), dpi, 0.5);
    const std::vector<std::string> serials = Items(Window().SerNo);
    ASSERT_EQ(serials.back(), TooLongSerial);
    ASSERT_EQ(serials[serials.size() - 2], LongestWholeSerial);

    // Each pixel of a toolkit that lays out at 96 dots per inch and scales
    // the result may round once more.
    const int slack = static_cast<int>(std::ceil(GetParam() / 100.0));
    for (const Placement& p : Placements) {
        SCOPED_TRACE(MainForm[p.id].name);
        const PixelRect at = User().Place(p.id);
        EXPECT_NEAR(at.left, TwipsToPixels(p.left, dpi), slack);
        EXPECT_NEAR(at.top, TwipsToPixels(p.top, dpi), slack);
        EXPECT_NEAR(at.height, TwipsToPixels(p.height, dpi), slack);
        // A caption label may grow up to the value beside it, and the serial
        // list up to its frame's edge, to keep its text whole.
        EXPECT_GE(at.width, TwipsToPixels(p.width, dpi) - slack);
        EXPECT_LE(at.width,
                  TwipsToPixels(std::max(p.width, MainForm[p.id].roomWidth), dpi) + slack);
    }

    for (const Control id : {Frame1, Frame3, Label5, Label4, Label2, Label3, lblProduct, lblManuf,
                             lblVersion, Enc1, SerNo}) {
        const ShownText shown = User().Shown(id);
        SCOPED_TRACE(MainForm[id].name + std::string(" \"") + shown.text + "\"");
        EXPECT_FALSE(shown.text.empty());
        EXPECT_LE(shown.width, shown.room);
    }
    // Closed, the serial list elides a serial too long for it in the middle,
    // shows 16 characters whole, and holds either whole in its tooltip.
    const std::string elided = User().Shown(SerNo).text;
    EXPECT_TRUE(elided.starts_with("MV2B-0") && elided.ends_with("XYZ") &&
                elided.find("\u2026") != std::string::npos)
        << elided;
    EXPECT_EQ(User().ToolTip(SerNo), TooLongSerial);
    PickSerial(static_cast<int>(serials.size()) - 2);
    const ShownText whole = User().Shown(SerNo);
    EXPECT_EQ(whole.text, LongestWholeSerial);
    EXPECT_LE(whole.width, whole.room);
    EXPECT_EQ(User().ToolTip(SerNo), LongestWholeSerial);

    for (const Control list : {SerNo, Enc1}) {
        const std::vector<ShownText> items = User().ShownOpen(list);
        EXPECT_FALSE(items.empty());
        for (const ShownText& item : items) {
            SCOPED_TRACE("open list item \"" + item.text + "\"");
            EXPECT_LE(item.width, item.room);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Percent, AtDisplayScale, testing::Values(100, 125, 150, 175, 200));

TEST_F(WindowLayout, WithNoDeviceOnlyCommand1CanTakeTheFocus) {
    Start();

    EXPECT_FALSE(Window().Frame1.Enabled());
    EXPECT_FALSE(Window().Frame3.Enabled());
    EXPECT_FALSE(TakesInput(Window().SerNo));
    EXPECT_FALSE(TakesInput(Window().Enc1));
    EXPECT_EQ(Window().lblManuf.Caption(), "");
    EXPECT_EQ(Window().lblProduct.Caption(), "");
    EXPECT_EQ(Window().lblVersion.Caption(), "");
    EXPECT_EQ(Window().lblSerialNumber.Caption(), "");
    EXPECT_EQ(Window().Timer.Interval(), 50);
    EXPECT_TRUE(Window().Timer.Enabled());

    User().Type(Key::Tab);
    EXPECT_EQ(User().Focused(), Command1);
    User().Type(Key::Tab);
    EXPECT_EQ(User().Focused(), Command1);
}

TEST_F(WindowLayout, TabGoesFromTheModeListToTheSerialListToTheButtonAndRoundAgain) {
    Plug(Divider(u"T1"));
    Plug(Divider(u"T2"));
    Start();
    ASSERT_TRUE(TakesInput(Window().SerNo));
    ASSERT_TRUE(TakesInput(Window().Enc1));

    User().Focus(Enc1);
    std::vector<std::optional<Control>> visited;
    for (int i = 0; i < 3; ++i) {
        User().Type(Key::Tab);
        visited.push_back(User().Focused());
    }
    EXPECT_EQ(visited, (std::vector<std::optional<Control>>{SerNo, Command1, Enc1}));
}

} // namespace
} // namespace merovane::test
