#include "window/form_layout.h"

#include <cmath>

namespace merovane {

int TwipsToPixels(int twips, double dotsPerInch) {
    return static_cast<int>(std::lround(twips * dotsPerInch / TwipsPerInch));
}

namespace {

constexpr FontLayout DefaultFont{nullptr, 0, 400, 0};
constexpr FontLayout FrameFont{"MS Sans Serif", 9.75, 400, 0};
constexpr FontLayout ListAndLabelFont{"Arial", 9.75, 400, 204};

using enum Control;
using enum LabelLook;
constexpr auto CommandButton = ControlKind::CommandButton;
constexpr auto Frame = ControlKind::Frame;
constexpr auto DropDownList = ControlKind::DropDownList;
constexpr auto Label = ControlKind::Label;
constexpr std::optional<Control> InForm;

} // namespace

// clang-format off
const FormLayout MainForm{
    "frmMain", "Merovane Config", 4335, 3645, 50, {{
    // id               name               kind           frame   place (twips)                caption           accessible name   font               look     tab focus  enabled onTop
    // Below the client area: never seen, yet reachable with Tab.
    {Command1,        "Command1",        CommandButton, InForm, {600, 3840, 3255, 975},  "Command1",       nullptr,          &DefaultFont,      None,    12, true,  true,  false},
    {Frame3,          "Frame3",          Frame,         InForm, {120, 2280, 4095, 1215}, "Output signal",  nullptr,          &FrameFont,        None,    10, false, false, false},
    {Enc1,            "Enc1",            DropDownList,  Frame3, {240, 480, 2520, 360},   "",               "Output signal",  &ListAndLabelFont, None,     1, true,  false, false},
    {Frame1,          "Frame1",          Frame,         InForm, {120, 120, 4095, 1935},  "Device details", nullptr,          &FrameFont,        None,     0, false, false, false},
    // The list lies above the caption label it overlaps.
    {SerNo,           "SerNo",           DropDownList,  Frame1, {1800, 1380, 1320, 360}, "",               "Serial Number",  &ListAndLabelFont, None,    11, true,  false, true},
    {Control::Timer,  "Timer",           ControlKind::Timer, Frame1, {0, 0, 0, 0},       "",               nullptr,          &DefaultFont,      None,    -1, false, false, false},
    // Beneath lblProduct, in the same rectangle, and never written.
    {lblSerialNumber, "lblSerialNumber", Label,         Frame1, {1680, 360, 3300, 330},  "",               "Serial Number",  &ListAndLabelFont, Value,    9, false, true,  false},
    {lblVersion,      "lblVersion",      Label,         Frame1, {1680, 1080, 3300, 330}, "",               "Version",        &ListAndLabelFont, Value,    8, false, true,  false},
    {lblProduct,      "lblProduct",      Label,         Frame1, {1680, 360, 3300, 330},  "",               "Product name",   &ListAndLabelFont, Value,    7, false, true,  false},
    {lblManuf,        "lblManuf",        Label,         Frame1, {1680, 720, 3300, 330},  "",               "Made by",        &ListAndLabelFont, Value,    6, false, true,  false},
    {Label2,          "Label2",          Label,         Frame1, {240, 1080, 1455, 285},  "Version",        nullptr,          &ListAndLabelFont, Caption,  5, false, true,  false},
    {Label5,          "Label5",          Label,         Frame1, {240, 360, 1215, 285},   "Product name",   nullptr,          &ListAndLabelFont, Caption,  4, false, true,  false},
    {Label4,          "Label4",          Label,         Frame1, {240, 720, 1215, 285},   "Made by",        nullptr,          &ListAndLabelFont, Caption,  3, false, true,  false},
    {Label3,          "Label3",          Label,         Frame1, {240, 1440, 1815, 285},  "Serial Number",  nullptr,          &ListAndLabelFont, Caption,  2, false, true,  false},
}}};
// clang-format on

} // namespace merovane
