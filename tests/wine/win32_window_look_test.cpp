// The Win32 window as it is created: its border, buttons, size, place,
// captions and fonts.
#include "support/window_scenario.h"
#include "window/win32/win32_form.h"

#include <cstdlib>
#include <set>
#include <string>
#include <utility>

namespace merovane::test {
namespace {

using WindowLook = WindowScenario;

std::wstring TextOf(::HWND window) {
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    return text;
}

LOGFONTW FontOf(::HWND window) {
    LOGFONTW font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    GetObjectW(handle, sizeof font, &font);
    return font;
}

// The face GDI draws the window's font with, and whether it is made of
// outlines (TrueType or vector) rather than bitmaps of a few sizes.
std::pair<std::wstring, bool> DrawnFaceOf(::HWND window) {
    const HDC dc = GetDC(window);
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return {face, (metrics.tmPitchAndFamily & (TMPF_TRUETYPE | TMPF_VECTOR)) != 0};
}

TEST_F(WindowLook, TheWindowIsFixedCentredAndOffersOnlyAClose) {
    Start();
    const Win32Form& form = dynamic_cast<Win32Form&>(Window().View());
    const ::HWND window = form.Handle();
    EXPECT_EQ(TextOf(window), L"Merovane Config");
    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));

    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, TwipsToPixels(4335, form.Dpi()));
    EXPECT_EQ(client.bottom, TwipsToPixels(3645, form.Dpi()));
    RECT outer;
    RECT work;
    GetWindowRect(window, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_LE(std::abs((outer.left + outer.right) - (work.left + work.right)), 2);
    EXPECT_LE(std::abs((outer.top + outer.bottom) - (work.top + work.bottom)), 2);
    // Command1 lies below the client area.
    EXPECT_GT(User().Place(Control::Command1).top, client.bottom);
}

// The side of an icon's image, in pixels.
int SideOf(HICON icon) {
    ICONINFO info{};
    BITMAP bitmap{};
    if (icon != nullptr && GetIconInfo(icon, &info) != FALSE) {
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    return bitmap.bmWidth;
}

// The sides of the images the program's icon holds (its group resource).
std::set<int> IconSides() {
    const auto* group = static_cast<const BYTE*>(LockResource(
        LoadResource(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_GROUP_ICON))));
    std::set<int> sides;
    for (int i = 0; group != nullptr && i < (group[4] | group[5] << 8); ++i)
        sides.insert(group[6 + 14 * i] == 0 ? 256 : group[6 + 14 * i]); // 0 stands for 256
    return sides;
}

TEST_F(WindowLook, AtAnotherScaleItAsksForItsDesignedClientAreaAndDrawsItsIconsUnscaled) {
    EXPECT_EQ(IconSides(), (std::set<int>{16, 20, 24, 32, 40, 48, 64, 256}));
    Start();
    Win32Form& form = dynamic_cast<Win32Form&>(Window().View());
    const auto style = static_cast<DWORD>(GetWindowLongW(form.Handle(), GWL_STYLE));
    for (const int percent : {125, 150, 175, 200, 100}) {
        // On the way to a monitor of that scale Windows asks the size there:
        // the designed client area within the frame at that dpi.
        const auto dpi = static_cast<UINT>(96 * percent / 100);
        SIZE size{};
        EXPECT_TRUE(
            SendMessageW(form.Handle(), WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(&size)));
        RECT frame{};
        AdjustWindowRectExForDpi(&frame, style, FALSE, 0, dpi);
        EXPECT_EQ(size.cx - (frame.right - frame.left), TwipsToPixels(4335, static_cast<int>(dpi)))
            << percent << " %";
        EXPECT_EQ(size.cy - (frame.bottom - frame.top), TwipsToPixels(3645, static_cast<int>(dpi)))
            << percent << " %";

        // There, the title bar's and the taskbar's icons are drawn at their sizes.
        User().MoveToScale(percent);
        const auto icon = [&](WPARAM kind) {
            return SideOf(
                reinterpret_cast<HICON>(SendMessageW(form.Handle(), WM_GETICON, kind, 0)));
        };
        EXPECT_EQ(icon(ICON_SMALL), GetSystemMetricsForDpi(SM_CXSMICON, dpi)) << percent << " %";
        EXPECT_EQ(icon(ICON_BIG), GetSystemMetricsForDpi(SM_CXICON, dpi)) << percent << " %";
    }
}

TEST_F(WindowLook, CaptionsAndFonts) {
    Start();
    const Win32Form& form = dynamic_cast<Win32Form&>(Window().View());
    EXPECT_EQ(TextOf(form.Handle(Control::Frame1)), L"Device details");
    EXPECT_EQ(TextOf(form.Handle(Control::Frame3)), L"Output signal");
    EXPECT_EQ(TextOf(form.Handle(Control::Command1)), L"Command1");
    EXPECT_EQ(User().Text(Control::Label3), "Serial Number");

    const LONG height = -MulDiv(975, form.Dpi(), 7200); // 9.75 pt
    const LOGFONTW frame = FontOf(form.Handle(Control::Frame1));
    // Drawn with the scalable twin of the design's bitmap-only "MS Sans Serif".
    EXPECT_STREQ(frame.lfFaceName, L"Microsoft Sans Serif");
    const auto [face, scalable] = DrawnFaceOf(form.Handle(Control::Frame1));
    EXPECT_TRUE(scalable) << "drawn with " << std::string(face.begin(), face.end());
    EXPECT_EQ(frame.lfHeight, height);
    EXPECT_EQ(frame.lfCharSet, 0);
    for (const Control id : {Control::SerNo, Control::lblManuf, Control::Label3}) {
        const LOGFONTW font = FontOf(form.Handle(id));
        EXPECT_STREQ(font.lfFaceName, L"Arial");
        EXPECT_EQ(font.lfHeight, height);
        EXPECT_EQ(font.lfWeight, 400);
        EXPECT_EQ(font.lfCharSet, 204);
        EXPECT_FALSE(font.lfItalic || font.lfUnderline || font.lfStrikeOut);
    }
}

TEST_F(WindowLook, TheTimerTicksFromTheMessageLoop) {
    Plug(Keyboard());
    Start();
    const auto scans = host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA);
    // With no divider, every tick (50 ms apart) scans and searches again.
    const DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < 400) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE)
            DispatchMessageW(&message);
        Sleep(10);
    }
    EXPECT_GE(host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA), scans + 4);

    Close();
    const auto closed = host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA);
    const DWORD after = GetTickCount();
    while (GetTickCount() - after < 200) {
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE)
            DispatchMessageW(&message);
        Sleep(10);
    }
    EXPECT_EQ(host.Ledger().Calls(HostOperation::SetupDiGetClassDevsA), closed);
}

} // namespace
} // namespace merovane::test
