// A combo box whose closed box draws its selected item elided in the middle
// when the item is wider than the box: the head and the tail stay readable,
// where Qt would cut the tail off. The item itself stays whole (the open list,
// currentText and what a screen reader reads).
#pragma once

#include <QComboBox>

namespace merovane {

class ElidingComboBox final : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    // The text the closed box draws.
    QString ShownText() const;
    // The width the closed box draws its text within.
    int ShownTextRoom() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace merovane
