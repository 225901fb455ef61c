// The window as it is created, as data every toolkit backend reads: the form,
// and its controls in the order it creates them (each container before its
// contents) with their places in twips, captions, fonts, looks, tab indexes
// and first states.
#pragma once

#include <array>
#include <optional>

namespace merovane {

inline constexpr int TwipsPerInch = 1440;

// Twips (1440 to the inch) to pixels at dotsPerInch, rounded to the nearest.
int TwipsToPixels(int twips, double dotsPerInch);

// The controls, in creation order; the value is the index in FormLayout::controls.
enum class Control {
    Command1,
    Frame3,
    Enc1,
    Frame1,
    SerNo,
    Timer,
    lblSerialNumber,
    lblVersion,
    lblProduct,
    lblManuf,
    Label2,
    Label5,
    Label4,
    Label3,
};
inline constexpr int ControlCount = 14;

enum class ControlKind { CommandButton, Frame, DropDownList, Timer, Label };

struct FontLayout {
    const char* family; // nullptr: the toolkit's default font
    // The scalable face the font is drawn with: the family itself, or its
    // TrueType twin where the family holds bitmaps only (a few fixed sizes
    // that look rough at any other display scale).
    const char* scalableFamily;
    double points;
    int weight;
    int charset;
};

// How a label paints itself.
enum class LabelLook {
    None,    // not a label
    Caption, // button text on a drawn button-face background
    Value,   // window text on no background: its container shows through
};

struct TwipsRect {
    int left, top, width, height;
};

struct ControlLayout {
    Control id;
    const char* name;
    ControlKind kind;
    std::optional<Control> frame; // the frame that holds it; none: the form
    TwipsRect place;
    const char* caption;
    // For a screen reader: the control whose caption names this list, or
    // labels this value.
    std::optional<Control> labelledBy;
    // For a screen reader: what the control does, where its caption does not say.
    const char* description;
    const FontLayout* font;
    LabelLook look;
    int tabIndex; // -1: no place in the tab order
    bool takesFocus;
    bool enabled;
    // Stacking among siblings: a later sibling lies above an earlier one, and
    // a control marked here lies above every sibling that is not.
    bool onTop;
    // How wide a caption label may grow, up to the value beside it, so that
    // its text stays whole at every display scale, or a list, so that its
    // closed box shows its widest item whole; 0: it keeps its width.
    int roomWidth;
};

struct FormLayout {
    const char* name;
    const char* caption;
    int clientWidth, clientHeight; // twips
    int timerInterval;             // ms, until the first probe
    std::array<ControlLayout, ControlCount> controls;

    const ControlLayout& operator[](Control id) const { return controls[static_cast<int>(id)]; }
};

// The width in pixels at dotsPerInch of a control that needs textWidth pixels
// to show its text whole (a caption, or a list's widest item with the box
// around it): its designed width, grown as far as its room allows when the
// text needs more.
int CaptionWidth(const ControlLayout& control, int textWidth, double dotsPerInch);

// frmMain, as designed.
extern const FormLayout MainForm;

} // namespace merovane
