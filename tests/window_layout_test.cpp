// The window as it is created: geometry, states and tab order, on whichever
// toolkit backend the tests are built with.
#include "support/window_scenario.h"

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
