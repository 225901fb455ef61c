// The window driver over the Qt backend: the user's input as Qt delivers it.
#include "support/window_driver.h"
#include "window/qt/qt_form.h"

#include <QApplication>
#include <QScreen>
#include <QTest>

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
        form_.activateWindow();
        QApplication::setActiveWindow(&form_);
        form_.Widget(control)->setFocus();
    }
    void Type(Key key) override {
        static constexpr Qt::Key keys[] = {Qt::Key_Tab, Qt::Key_Space, Qt::Key_Down};
        QWidget* target = QApplication::focusWidget();
        if (target == nullptr) {
            // Keys go to the active window.
            QApplication::setActiveWindow(&form_);
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
        return {r.left(), r.top(), r.width(), r.height()};
    }
    double Dpi() const override { return QGuiApplication::primaryScreen()->logicalDotsPerInch(); }

private:
    QComboBox* Box(Control list) const { return static_cast<QComboBox*>(form_.Widget(list)); }

    QtForm& form_;
};

} // namespace

std::unique_ptr<WindowDriver> MakeWindowDriver(FormView& form) {
    return std::make_unique<QtWindowDriver>(dynamic_cast<QtForm&>(form));
}

} // namespace merovane::test
