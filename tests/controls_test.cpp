// The controls over their Qt views: Qt widgets with the list, label, frame and timer
// semantics the window's logic relies on.
#include "support/window_scenario.h"
#include "window/qt/qt_controls.h"

#include <QApplication>
#include <QListView>
#include <QTest>
#include <QWidget>

namespace merovane::test {
namespace {

class Controls : public ::testing::Test {
protected:
    Controls() {
        window.resize(300, 200);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        list.OnClick([this] {
            // What a handler sees at the moment the Click arrives.
            clicks.push_back({list.ListIndex(), list.Text()});
        });
    }

    QWidget window;
    QGroupBox* box = new QGroupBox(&window);
    QtFrame frameView{box};
    Frame frame{frameView};
    QtDropDownList listView{new ElidingComboBox(box)};
    DropDownList list{listView};
    std::vector<std::pair<int, std::string>> clicks;
};

TEST_F(Controls, AddItemAndClearNeverSelectAndNeverClick) {
    list.AddItem("first");
    list.AddItem("second");
    list.AddItem("between", 1);
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.Text(), "");
    EXPECT_EQ(list.ListCount(), 3);
    EXPECT_EQ(listView.Widget()->itemText(1), "between");

    list.SetListIndex(2);
    list.AddItem("zeroth", 0); // the selection moves along with its item
    EXPECT_EQ(list.Text(), "second");
    EXPECT_EQ(list.ListIndex(), 3);

    list.Clear();
    EXPECT_EQ(list.ListIndex(), -1);
    EXPECT_EQ(list.Text(), "");
    EXPECT_EQ(list.ListCount(), 0);
    EXPECT_EQ(clicks, (decltype(clicks){{2, "second"}}));
}

TEST_F(Controls, SettingListIndexClicksBeforeItReturnsWithTheNewSelectionInPlace) {
    for (const char* item : {"a", "b", "c"})
        list.AddItem(item);
    list.SetListIndex(1);
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks.back(), (std::pair<int, std::string>{1, "b"}));
    list.SetListIndex(2);
    EXPECT_EQ(clicks.back(), (std::pair<int, std::string>{2, "c"}));
}

TEST_F(Controls, PicksWithTheKeyboardAndTheMouseClick) {
    for (const char* item : {"a", "b", "c"})
        list.AddItem(item);
    list.SetListIndex(0);
    clicks.clear();
    listView.Widget()->setFocus();

    QTest::keyClick(listView.Widget(), Qt::Key_Down);
    EXPECT_EQ(clicks, (decltype(clicks){{1, "b"}}));

    // The popup: a click on the item already selected is a pick as well.
    listView.Widget()->showPopup();
    auto* view = listView.Widget()->view();
    const QRect item = view->visualRect(view->model()->index(1, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_EQ(clicks, (decltype(clicks){{1, "b"}, {1, "b"}}));
}

TEST_F(Controls, ADisabledFrameBlocksTheListWhateverTheListsOwnSetting) {
    for (const char* item : {"a", "b"})
        list.AddItem(item);
    list.SetListIndex(0);
    clicks.clear();

    list.SetEnabled(true);
    frame.SetEnabled(false);
    EXPECT_TRUE(list.Enabled());
    EXPECT_FALSE(listView.Widget()->isEnabled());
    QTest::keyClick(listView.Widget(), Qt::Key_Down);
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(list.ListIndex(), 0);

    // Enabling the frame gives back exactly what each control was set to.
    list.SetEnabled(false);
    frame.SetEnabled(true);
    EXPECT_FALSE(listView.Widget()->isEnabled());
    list.SetEnabled(true);
    EXPECT_TRUE(listView.Widget()->isEnabled());
    listView.Widget()->setFocus();
    QTest::keyClick(listView.Widget(), Qt::Key_Down);
    EXPECT_EQ(clicks, (decltype(clicks){{1, "b"}}));
}

TEST_F(Controls, TextsAreSingleByteAndShownAsPlainText) {
    const std::string latin1 = "Gr\xFC\xDF <b>bold</b>";
    list.AddItem(latin1);
    list.SetListIndex(0);
    EXPECT_EQ(list.Text(), latin1);

    QtLabel labelView(new QLabel(&window));
    Label label(labelView);
    label.SetCaption(latin1);
    EXPECT_EQ(label.Caption(), latin1);
    EXPECT_EQ(labelView.Widget()->text(), QString::fromUtf8("Grüß <b>bold</b>"));
    EXPECT_EQ(labelView.Widget()->textFormat(), Qt::PlainText);
}

TEST_F(Controls, InABatchTheListChangesForTheLogicAndTheWidgetFollowsWhenItCloses) {
    for (const char* item : {"a", "b"})
        list.AddItem(item);
    list.SetListIndex(1);
    clicks.clear();
    {
        const DropDownList::Batch batch(list);
        list.Clear();
        list.SetEnabled(false);
        list.AddItem("c");
        list.SetListIndex(0);
        // The logic and the Click see the new state; the widget still shows the old one.
        EXPECT_EQ(clicks, (decltype(clicks){{0, "c"}}));
        EXPECT_EQ(list.ListCount(), 1);
        EXPECT_FALSE(list.Enabled());
        EXPECT_EQ(listView.Widget()->count(), 2);
        EXPECT_TRUE(listView.Widget()->isEnabled());
    }
    EXPECT_EQ(listView.Widget()->count(), 1);
    EXPECT_EQ(listView.Widget()->itemText(0), "c");
    EXPECT_EQ(listView.Widget()->currentIndex(), 0);
    EXPECT_FALSE(listView.Widget()->isEnabled());
}

TEST_F(Controls, ABatchThatEndsWhereItBeganLeavesTheWidgetsUntouched) {
    for (const char* item : {"a", "b", "c"})
        list.AddItem(item);
    list.SetListIndex(2);
    listView.Widget()->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), listView.Widget());
    int modelChanges = 0;
    const auto count = [&] {
        ++modelChanges;
    };
    QObject::connect(listView.Widget()->model(), &QAbstractItemModel::rowsInserted, count);
    QObject::connect(listView.Widget()->model(), &QAbstractItemModel::rowsRemoved, count);
    QObject::connect(listView.Widget()->model(), &QAbstractItemModel::modelReset, count);
    {
        const DropDownList::Batch listBatch(list);
        const Frame::Batch frameBatch(frame);
        list.Clear();
        list.SetEnabled(false);
        frame.SetEnabled(false);
        for (const char* item : {"a", "b", "c"})
            list.AddItem(item);
        list.SetListIndex(2);
        frame.SetEnabled(true);
        list.SetEnabled(true);
    }
    EXPECT_EQ(modelChanges, 0);
    EXPECT_EQ(listView.Widget()->currentIndex(), 2);
    // Disabling the list for a moment would have sent the focus elsewhere.
    EXPECT_EQ(QApplication::focusWidget(), listView.Widget());
}

TEST(IntervalTimerTest, StartsStopsAndKeepsItsInterval) {
    QtIntervalTimer timer;
    int ticks = 0;
    timer.OnTick([&] { ++ticks; });
    timer.SetInterval(5);
    EXPECT_FALSE(timer.Enabled());
    timer.SetEnabled(true);
    EXPECT_TRUE(timer.Enabled());
    EXPECT_EQ(timer.Interval(), 5);
    // Ticks arrive from the event loop only.
    EXPECT_EQ(ticks, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 2; }, 5000));
    timer.SetEnabled(false);
    const int stopped = ticks;
    QTest::qWait(30);
    EXPECT_EQ(ticks, stopped);
}

} // namespace
} // namespace merovane::test
