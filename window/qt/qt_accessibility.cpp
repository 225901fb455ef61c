#include "window/qt/qt_accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <mutex>

namespace merovane {

namespace {

// The widget property that holds a widget's labeller.
constexpr char LabellerProperty[] = "merovaneLabelledBy";

bool Labelled(QObject* object) {
    return object->property(LabellerProperty).isValid();
}

QWidget* LabellerOf(QObject* object) {
    return qobject_cast<QWidget*>(object->property(LabellerProperty).value<QObject*>());
}

QString CaptionOf(QWidget* labeller) {
    if (const auto* label = qobject_cast<QLabel*>(labeller))
        return label->text();
    if (const auto* box = qobject_cast<QGroupBox*>(labeller))
        return box->title();
    return {};
}

// A widget that shows one line of read-only text, named or labelled by its
// labeller, with that text behind the text interface.
class LabelledText : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    LabelledText(QWidget* widget, QAccessible::Role role, QWidget* labeller)
        : QAccessibleWidget(widget, role), labeller_(labeller) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override {
        auto related = QAccessibleWidget::relations(match & ~QAccessible::Label);
        if ((match & QAccessible::Label) && labeller_ != nullptr)
            related.append(
                {QAccessible::queryAccessibleInterface(labeller_.data()), QAccessible::Label});
        return related;
    }

    // The text interface, over Shown().
    QString text(int start, int end) const override { return Shown().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(Shown().size()); }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }
    using QAccessibleWidget::text;

protected:
    virtual QString Shown() const = 0;
    QString Caption() const { return CaptionOf(labeller_.data()); }

private:
    QPointer<QWidget> labeller_;
};

// A list: named by its caption, its selected item its value.
class AccessibleList final : public LabelledText {
public:
    AccessibleList(QComboBox* box, QWidget* labeller)
        : LabelledText(box, QAccessible::ComboBox, labeller) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return Caption();
        if (kind == QAccessible::Value)
            return Shown();
        // Never the tooltip, which repeats the value.
        if (kind == QAccessible::Description)
            return widget()->accessibleDescription();
        return LabelledText::text(kind);
    }
    // Its one child is the list it drops.
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == Box()->view() ? 0 : -1;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction())
            Box()->showPopup();
        else
            QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* Box() const { return static_cast<QComboBox*>(widget()); }
    QString Shown() const override { return Box()->currentText(); }
};

// A value label: read as its text, labelled by its caption label.
class AccessibleValue final : public LabelledText {
public:
    AccessibleValue(QLabel* label, QWidget* labeller)
        : LabelledText(label, QAccessible::StaticText, labeller) {}

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name)
            return Shown();
        return LabelledText::text(kind);
    }

private:
    QString Shown() const override { return static_cast<QLabel*>(widget())->text(); }
};

QAccessibleInterface* MakeInterface(const QString&, QObject* object) {
    if (!Labelled(object))
        return nullptr;
    QWidget* labeller = LabellerOf(object);
    if (auto* box = qobject_cast<QComboBox*>(object))
        return new AccessibleList(box, labeller);
    if (auto* label = qobject_cast<QLabel*>(object))
        return new AccessibleValue(label, labeller);
    return nullptr;
}

} // namespace

void LabelForScreenReaders(QWidget* widget, QWidget* labeller) {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(&MakeInterface); });
    widget->setProperty(LabellerProperty, QVariant::fromValue<QObject*>(labeller));
    // A caption label then reports the widget as the one it labels.
    if (auto* label = qobject_cast<QLabel*>(labeller))
        label->setBuddy(widget);
}

} // namespace merovane
