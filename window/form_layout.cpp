#include "window/form_layout.h"

#include <algorithm>
#include <cmath>

namespace merovane {

int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / TwipsPerInch));
}

int CaptionWidth(const ControlLayout& control, int textWidth, double dotsPerInch) {
    const int designed = TwipsToPixels(control.place.width, dotsPerInch);
    const int room = TwipsToPixels(control.roomWidth, dotsPerInch);
    return std::max(designed, std::min(textWidth, room));
}

namespace {

constexpr FontLayout DefaultFont{nullptr, nullptr, 0, 400, 0};
constexpr FontLayout FrameFont{"MS Sans Serif", "Microsoft Sans Serif", 9.75, 400, 0};
constexpr FontLayout ListAndLabelFont{"Arial", "Arial", 9.75, 400, 204};

using enum Control;
using enum LabelLook;
constexpr auto CommandButton = ControlKind::CommandButton;
constexpr auto Frame = ControlKind::Frame;
constexpr auto DropDownList = ControlKind::DropDownList;
constexpr auto Label = ControlKind::Label;
constexpr std::optional<Control> InForm;
constexpr std::optional<Control> Unlabelled;
constexpr const char* AuxCommand = "Sends the divider's auxiliary command";

} // namespace

// clang-format off
const FormLayout MainForm{
    "frmMain", "Merovane Config", 4335, 3645, 50, {{
    // id               name               kind           frame   place (twips)                caption           labelled by description font               look     tab focus  enabled onTop  room
    // Below the client area: never seen, yet reachable with Tab.
    {Command1,        "Command1",        CommandButton, InForm, {600, 3840, 3255, 975},  "Command1",       Unlabelled, AuxCommand, &DefaultFont,      None,    12, true,  true,  false, 0},
    {Frame3,          "Frame3",          Frame,         InForm, {120, 2280, 4095, 1215}, "Output signal",  Unlabelled, nullptr,    &FrameFont,        None,    10, false, false, false, 0},
    {Enc1,            "Enc1",            DropDownList,  Frame3, {240, 480, 2520, 360},   "",               Frame3,     nullptr,    &ListAndLabelFont, None,     1, true,  false, false, 0},
    {Frame1,          "Frame1",          Frame,         InForm, {120, 120, 4095, 1935},  "Device details", Unlabelled, nullptr,    &FrameFont,        None,     0, false, false, false, 0},
    // The list lies above the caption label it overlaps, and may grow up to
    // the frame's right edge, short of its margin.
    {SerNo,           "SerNo",           DropDownList,  Frame1, {1800, 1380, 1320, 360}, "",               Label3,     nullptr,    &ListAndLabelFont, None,    11, true,  false, true,  2175},
    {Control::Timer,  "Timer",           ControlKind::Timer, Frame1, {0, 0, 0, 0},       "",               Unlabelled, nullptr,    &DefaultFont,      None,    -1, false, false, false, 0},
    // Beneath lblProduct, in the same rectangle, and never written.
    {lblSerialNumber, "lblSerialNumber", Label,         Frame1, {1680, 360, 3300, 330},  "",               Unlabelled, nullptr,    &ListAndLabelFont, Value,    9, false, true,  false, 0},
    {lblVersion,      "lblVersion",      Label,         Frame1, {1680, 1080, 3300, 330}, "",               Label2,     nullptr,    &ListAndLabelFont, Value,    8, false, true,  false, 0},
    {lblProduct,      "lblProduct",      Label,         Frame1, {1680, 360, 3300, 330},  "",               Label5,     nullptr,    &ListAndLabelFont, Value,    7, false, true,  false, 0},
    {lblManuf,        "lblManuf",        Label,         Frame1, {1680, 720, 3300, 330},  "",               Label4,     nullptr,    &ListAndLabelFont, Value,    6, false, true,  false, 0},
    // A caption may grow up to the value column (1680).
    {Label2,          "Label2",          Label,         Frame1, {240, 1080, 1455, 285},  "Version",        Unlabelled, nullptr,    &ListAndLabelFont, Caption,  5, false, true,  false, 0},
    {Label5,          "Label5",          Label,         Frame1, {240, 360, 1215, 285},   "Product name",   Unlabelled, nullptr,    &ListAndLabelFont, Caption,  4, false, true,  false, 1440},
    {Label4,          "Label4",          Label,         Frame1, {240, 720, 1215, 285},   "Made by",        Unlabelled, nullptr,    &ListAndLabelFont, Caption,  3, false, true,  false, 1440},
    {Label3,          "Label3",          Label,         Frame1, {240, 1440, 1815, 285},  "Serial Number",  Unlabelled, nullptr,    &ListAndLabelFont, Caption,  2, false, true,  false, 0},
}}};
// clang-format on

} // namespace merovane
