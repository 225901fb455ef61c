// The window driver over the Qt backend: the user's input as Qt delivers it.
#include "support/window_driver.h"
#include "window/qt/qt_form.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QScreen>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QWindow>
#include <cmath>
#include <stdexcept>

namespace merovane::test {
namespace {

std::string ToAnsi(const QString& text) {
    return text.toLatin1().toStdString();
}

class QtWindowDriver final : public WindowDriver {
public:
    explicit QtWindowDriver(QtForm& form) : form_(form) {}

    void Pick(Control list, int index) override {
        // What the combo box does for a pick with the mouse.
        QComboBox* box = Box(list);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void Press(Control button) override {
        // A click as the mouse makes it; Command1 lies outside the visible area.
        static_cast<QPushButton*>(form_.Widget(button))->click();
    }
    void Focus(Control control) override {
        Activate();
        form_.Widget(control)->setFocus();
    }
    void Type(Key key) override {
        static constexpr Qt::Key keys[] = {Qt::Key_Tab, Qt::Key_Space, Qt::Key_Down, Qt::Key_Up};
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) {
            // Keys go to the active window.
            Activate();
            target = &form_;
        }
        QTest::keyClick(target, keys[static_cast<int>(key)]);
    }
    std::optional<Control> Focused() const override {
        for (int i = 0; i < ControlCount; ++i) {
            const auto id = static_cast<Control>(i);
            if (form_.Widget(id) != nullptr && form_.Widget(id) == QApplication::focusWidget())
                return id;
        }
        return std::nullopt;
    }
    void Close() override { form_.close(); }

    std::vector<std::string> Items(Control list) const override {
        std::vector<std::string> items;
        for (int i = 0; i < Box(list)->count(); ++i)
            items.push_back(ToAnsi(Box(list)->itemText(i)));
        return items;
    }
    std::string Text(Control label) const override {
        return ToAnsi(static_cast<QLabel*>(form_.Widget(label))->text());
    }
    bool TakesInput(Control control) const override { return form_.Widget(control)->isEnabled(); }
    bool Visible() const override { return form_.isVisible(); }
    PixelRect Place(Control control) const override {
        const QRect r = form_.Widget(control)->geometry();
        return {Device(r.left()), Device(r.top()), Device(r.width()), Device(r.height())};
    }
    double Dpi() const override { return form_.logicalDpiY() * form_.devicePixelRatioF(); }
    void MoveToScale(int percent) override {
        // The test screens (tests/data/offscreen-screens.json) have one each.
        for (QScreen* screen : QGuiApplication::screens()) {
            if (std::lround(screen->devicePixelRatio() * 100) != percent)
                continue;
            form_.windowHandle()->setScreen(screen);
            form_.move(screen->availableGeometry().center() - form_.rect().center());
            QApplication::processEvents();
            return;
        }
        throw std::runtime_error("no test screen at " + std::to_string(percent) + " %");
    }
    ShownText Shown(Control control) const override {
        QWidget* widget = form_.Widget(control);
        if (auto* box = qobject_cast<ElidingComboBox*>(widget))
            return Measured(box, box->ShownText(), box->ShownTextRoom());
        if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
            QStyleOptionGroupBox option;
            option.initFrom(frame);
            option.text = frame->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, frame);
            return Measured(frame, frame->title(), frame->width() - 2 * title.left());
        }
        auto* label = static_cast<QLabel*>(widget);
        return Measured(label, label->text(), VisibleWidth(label));
    }
    std::string ToolTip(Control control) const override {
        return ToAnsi(form_.Widget(control)->toolTip());
    }
    std::vector<ShownText> ShownOpen(Control list) override {
        QComboBox* box = Box(list);
        box->showPopup();
        QApplication::processEvents();
        QAbstractItemView* view = box->view();
        std::vector<ShownText> shown;
        for (int i = 0; i < box->count(); ++i) {
            // What the item needs, its margins included, and the open list's width.
            const QModelIndex item = box->model()->index(i, box->modelColumn());
            shown.push_back({ToAnsi(box->itemText(i)), Device(view->sizeHintForIndex(item).width()),
                             Device(view->viewport()->width())});
        }
        box->hidePopup();
        QApplication::processEvents();
        return shown;
    }

private:
    // The platform makes the window active with its next events.
    void Activate() {
        form_.activateWindow();
        if (!QTest::qWaitForWindowActive(&form_))
            throw std::runtime_error("the window did not become active");
    }
    int Device(int logical) const {
        return static_cast<int>(std::lround(logical * form_.devicePixelRatioF()));
    }
    ShownText Measured(const QWidget* widget, const QString& text, int room) const {
        return {text.toStdString(), Device(widget->fontMetrics().horizontalAdvance(text)),
                Device(room)};
    }
    // The width of a label's line of text that its container does not clip
    // and no sibling above it covers.
    static int VisibleWidth(const QWidget* label) {
        QRect place = label->geometry();
        place.setHeight(label->fontMetrics().height());
        int right = std::min(place.right() + 1, label->parentWidget()->width());
        const QObjectList& siblings = label->parentWidget()->children();
        for (qsizetype i = siblings.indexOf(label) + 1; i < siblings.size(); ++i) {
            const auto* above = qobject_cast<const QWidget*>(siblings[i]);
            if (above != nullptr && above->isVisible() && above->geometry().intersects(place) &&
                above->x() > place.left())
                right = std::min(right, above->x());
        }
        return right - place.left();
    }

    QComboBox* Box(Control list) const { return static_cast<QComboBox*>(form_.Widget(list)); }

    QtForm& form_;
};

} // namespace

std::unique_ptr<WindowDriver> MakeWindowDriver(FormView& form) {
    return std::make_unique<QtWindowDriver>(dynamic_cast<QtForm&>(form));
}

} // namespace merovane::test
