// What a screen reader reads of the form's lists and value labels. Qt names a
// combo box by its selected item on Linux and a label by its accessible name,
// with no text of its own; here instead each list is named by the caption
// that labels it and shows its selected item as its value and text, and each
// value label reads as its own text, labelled by its caption label.
#pragma once

class QWidget;

namespace merovane {

// Makes a list (QComboBox) or a value label (QLabel) read as described above,
// labelled by `labeller`: a caption QLabel (which then labels it), the
// QGroupBox that holds it, or nullptr for a value nothing labels. Both live
// as long as each other.
void LabelForScreenReaders(QWidget* widget, QWidget* labeller);

} // namespace merovane
