#include "window/qt/eliding_combo_box.h"

#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace merovane {

QString ElidingComboBox::ShownText() const {
    return fontMetrics().elidedText(currentText(), Qt::ElideMiddle, ShownTextRoom());
}

int ElidingComboBox::ShownTextRoom() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    // The style draws the label a pixel in from each side of the field.
    return field.width() - 2;
}

void ElidingComboBox::paintEvent(QPaintEvent*) {
    // As QComboBox paints a closed, non-editable box, with the text elided.
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = ShownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace merovane
