#include "window/win32/win32_form.h"

#include "device/win32/system_library.h"
#include "window/win32/win32_accessible.h"

#include <algorithm>
#include <cmath>
#include <commctrl.h>
#include <utility>
#include <vector>

namespace merovane {

std::unique_ptr<FormView> MakeFormView(const FormLayout& layout) {
    return std::make_unique<Win32Form>(layout);
}

namespace {

// comctl32.dll is not a KnownDLL: its two subclassing calls are taken from
// System32's copy at run time, never from the program's folder. Without them
// the controls keep their own procedures (no Tab order, no frame messages).
struct Comctl32 {
    decltype(&::SetWindowSubclass) SetWindowSubclass = nullptr;
    decltype(&::DefSubclassProc) DefSubclassProc = nullptr;
};

const Comctl32& Subclassing() {
    static const Comctl32 comctl32 = [] {
        const HMODULE module = SystemLibrary(L"comctl32.dll");
        Comctl32 loaded;
        loaded.SetWindowSubclass =
            SystemFunction<decltype(&::SetWindowSubclass)>(module, "SetWindowSubclass");
        loaded.DefSubclassProc =
            SystemFunction<decltype(&::DefSubclassProc)>(module, "DefSubclassProc");
        if (loaded.SetWindowSubclass == nullptr || loaded.DefSubclassProc == nullptr)
            loaded = Comctl32{};
        return loaded;
    }();
    return comctl32;
}

constexpr wchar_t FormClass[] = L"MerovaneForm";
constexpr UINT_PTR TimerId = 1;
constexpr int FirstControlId = 100;
// The form's own style: fixed single border, a title bar with a close button only.
constexpr DWORD FormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;

Control ControlOf(WORD id) {
    return static_cast<Control>(id - FirstControlId);
}

std::wstring Widen(const char* text) {
    return FromLatin1(text != nullptr ? text : "");
}

void RegisterFormClass() {
    WNDCLASSEXW form{};
    if (GetClassInfoExW(GetModuleHandleW(nullptr), FormClass, &form) != FALSE)
        return;
    form.cbSize = sizeof form;
    form.lpfnWndProc = &DefWindowProcW;
    form.hInstance = GetModuleHandleW(nullptr);
    form.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    form.lpszClassName = FormClass;
    RegisterClassExW(&form);
}

// The resolution of the monitor the window is on: per window since Windows
// 10 1607, where a per-monitor aware program's monitors may differ.
int DpiOf(HWND window) {
    using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        SystemFunction<GetDpiForWindowFunction>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
    if (getDpiForWindow != nullptr)
        if (const UINT dpi = getDpiForWindow(window); dpi > 0)
            return static_cast<int>(dpi);
    const HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

// The outer size of a form whose client area is client at dpi.
SIZE FormSize(SIZE client, int dpi) {
    using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = SystemFunction<AdjustForDpiFunction>(
        GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi");
    RECT frame{0, 0, client.cx, client.cy};
    if (adjustForDpi != nullptr)
        adjustForDpi(&frame, FormStyle, FALSE, 0, static_cast<UINT>(dpi));
    else
        AdjustWindowRectEx(&frame, FormStyle, FALSE, 0);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// The width of text in font, in pixels.
int TextWidth(HWND window, HFONT font, const std::wstring& text) {
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, font);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

} // namespace

Win32Form::Win32Form(const FormLayout& layout) : layout_(layout) {
    RegisterFormClass();
    form_ = CreateWindowExW(0, FormClass, Widen(layout.caption).c_str(), FormStyle, 0, 0, 0, 0,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(form_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(form_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FormProc));
    dpi_ = DpiOf(form_);
    icons_.Apply(form_, dpi_);
    const SIZE size = SizeAt(dpi_);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(form_, nullptr, work.left + (work.right - work.left - size.cx) / 2,
                 work.top + (work.bottom - work.top - size.cy) / 2, size.cx, size.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    for (const ControlLayout& control : layout.controls)
        Create(control);
    Stack();
    LayOut();
}

Win32Form::~Win32Form() {
    views_ = {};
    SetWindowLongPtrW(form_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DefWindowProcW));
    DestroyWindow(form_);
    for (const auto& [layout, font] : fonts_)
        DeleteObject(font);
}

void Win32Form::Create(const ControlLayout& control) {
    Views& views = At(control.id);
    if (control.kind == ControlKind::Timer) {
        views.timer = std::make_unique<Win32IntervalTimer>(form_, TimerId);
        return;
    }
    const HWND container = control.frame ? Handle(*control.frame) : form_;
    const wchar_t* windowClass = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD extended = 0;
    switch (control.kind) {
    case ControlKind::CommandButton:
        windowClass = L"BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    case ControlKind::Frame:
        windowClass = L"BUTTON";
        style |= BS_GROUPBOX;
        extended = WS_EX_CONTROLPARENT;
        break;
    case ControlKind::DropDownList:
        windowClass = L"COMBOBOX";
        // Owner-drawn, to elide a selected item too wide for the closed box.
        style |= CBS_DROPDOWNLIST | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL;
        break;
    case ControlKind::Label:
        // Never wrapped: a caption is laid out wide enough for its text, and
        // a value too long for the frame is cut at the frame's edge.
        style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
        break;
    case ControlKind::Timer:
        break;
    }
    if (control.takesFocus)
        style |= WS_TABSTOP;
    // Placed and given its font by LayOut.
    const HWND window = CreateWindowExW(extended, windowClass, Widen(control.caption).c_str(),
                                        style, 0, 0, 0, 0, container,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(
                                            FirstControlId + static_cast<int>(control.id))),
                                        GetModuleHandleW(nullptr), nullptr);
    handles_[static_cast<int>(control.id)] = window;
    if (Subclassing().SetWindowSubclass != nullptr)
        Subclassing().SetWindowSubclass(window, &ControlProc, 0, reinterpret_cast<DWORD_PTR>(this));

    switch (control.kind) {
    case ControlKind::CommandButton:
        views.button = std::make_unique<Win32CommandButton>(window);
        break;
    case ControlKind::Frame:
        views.frame = std::make_unique<Win32Frame>(window);
        break;
    case ControlKind::DropDownList: {
        views.list =
            std::make_unique<Win32DropDownList>(window, *At(*control.frame).frame, control);
        At(*control.frame).frame->Hold(*views.list);
        break;
    }
    case ControlKind::Label:
        views.label = std::make_unique<Win32Label>(window, control.look == LabelLook::Value);
        break;
    case ControlKind::Timer:
        break;
    }
}

void Win32Form::Stack() {
    // A later sibling lies above an earlier one; those marked lie above all.
    for (const bool marked : {false, true})
        for (const ControlLayout& control : layout_.controls)
            if (control.kind != ControlKind::Timer && control.onTop == marked)
                SetWindowPos(Handle(control.id), HWND_TOP, 0, 0, 0, 0,
                             SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void Win32Form::LayOut() {
    const auto pixels = [this](int twips) {
        return TwipsToPixels(twips, dpi_);
    };
    const std::map<const FontLayout*, HFONT> old = std::exchange(fonts_, {});
    for (const ControlLayout& control : layout_.controls) {
        if (control.kind == ControlKind::Timer)
            continue;
        const HWND window = Handle(control.id);
        const HFONT font = FontFor(*control.font);
        SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        const TwipsRect& place = control.place;
        const int width =
            CaptionWidth(control, TextWidth(window, font, Widen(control.caption)), dpi_);
        int height = pixels(place.height);
        Win32DropDownList* list = At(control.id).list.get();
        if (list != nullptr) {
            // The box keeps its designed height; the window's height is that
            // of the list it drops.
            SendMessageW(window, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), height - 6);
            height *= 8;
        }
        SetWindowPos(window, nullptr, pixels(place.left), pixels(place.top), width, height,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        if (list != nullptr)
            list->Fit(dpi_);
    }
    for (const auto& [layout, font] : old)
        DeleteObject(font);
    RedrawWindow(form_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32Form::MoveToDpi(int dpi, const RECT& suggested) {
    dpi_ = dpi;
    SetWindowPos(form_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    icons_.Apply(form_, dpi_);
    LayOut();
}

SIZE Win32Form::SizeAt(int dpi) const {
    return FormSize(
        {TwipsToPixels(layout_.clientWidth, dpi), TwipsToPixels(layout_.clientHeight, dpi)}, dpi);
}

HFONT Win32Form::FontFor(const FontLayout& layout) {
    if (layout.family == nullptr)
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HFONT& font = fonts_[&layout];
    if (font == nullptr)
        font = CreateFontW(-static_cast<int>(std::lround(layout.points * dpi_ / 72)), 0, 0, 0,
                           layout.weight, FALSE, FALSE, FALSE, static_cast<DWORD>(layout.charset),
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, Widen(layout.scalableFamily).c_str());
    return font;
}

DropDownListView& Win32Form::List(Control id) {
    return *At(id).list;
}

LabelView& Win32Form::Label(Control id) {
    return *At(id).label;
}

FrameView& Win32Form::Frame(Control id) {
    return *At(id).frame;
}

CommandButton& Win32Form::Button(Control id) {
    return *At(id).button;
}

IntervalTimer& Win32Form::Timer(Control id) {
    return *At(id).timer;
}

void Win32Form::Show() {
    ShowWindow(form_, SW_SHOW);
    UpdateWindow(form_);
}

bool Win32Form::Visible() const {
    return IsWindowVisible(form_) != FALSE;
}

void Win32Form::Close() {
    SendMessageW(form_, WM_CLOSE, 0, 0);
}

bool Win32Form::TakesInput(const ControlLayout& control) const {
    const HWND window = Handle(control.id);
    const bool frameEnabled = !control.frame || IsWindowEnabled(Handle(*control.frame)) != FALSE;
    return frameEnabled && IsWindowEnabled(window) != FALSE && IsWindowVisible(window) != FALSE;
}

void Win32Form::Tab(bool backwards) {
    std::vector<const ControlLayout*> order;
    for (const ControlLayout& control : layout_.controls)
        if (control.takesFocus)
            order.push_back(&control);
    std::ranges::sort(order, {}, &ControlLayout::tabIndex);
    if (backwards)
        std::ranges::reverse(order);
    const HWND focus = GetFocus();
    const auto from = std::ranges::find_if(
        order, [&](const ControlLayout* control) { return Handle(control->id) == focus; });
    const std::size_t start = from == order.end() ? order.size() - 1 : from - order.begin();
    for (std::size_t step = 1; step <= order.size(); ++step) {
        const ControlLayout* next = order[(start + step) % order.size()];
        if (TakesInput(*next)) {
            SetFocus(Handle(next->id));
            return;
        }
    }
}

void Win32Form::Command(WORD id, WORD code) {
    if (id < FirstControlId || id >= FirstControlId + ControlCount)
        return;
    Views& views = At(ControlOf(id));
    if (views.list)
        views.list->Notify(code);
    else if (views.button && code == BN_CLICKED)
        views.button->Clicked();
}

void Win32Form::Draw(const DRAWITEMSTRUCT& item) {
    if (item.CtlID < FirstControlId || item.CtlID >= FirstControlId + ControlCount)
        return;
    if (const Win32DropDownList* list = At(ControlOf(static_cast<WORD>(item.CtlID))).list.get())
        list->Draw(item);
}

LRESULT Win32Form::ColourStatic(HDC dc, HWND control) {
    const auto id = static_cast<WORD>(GetDlgCtrlID(control));
    if (id < FirstControlId || id >= FirstControlId + ControlCount)
        return 0;
    if (layout_[ControlOf(id)].look == LabelLook::Value) {
        // Window text over whatever lies beneath.
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<LRESULT>(GetStockObject(HOLLOW_BRUSH));
    }
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

LRESULT Win32Form::Accessible(HWND window, WPARAM wParam, LPARAM lParam) {
    const ControlLayout& control = layout_[ControlOf(static_cast<WORD>(GetDlgCtrlID(window)))];
    AccessibleText text;
    // A list is named by its caption; its value is its selected item.
    if (control.kind == ControlKind::DropDownList && control.labelledBy) {
        text.name = Widen(layout_[*control.labelledBy].caption);
        text.value = [list = At(control.id).list.get()] {
            return list->SelectedText();
        };
    }
    text.description = Widen(control.description);
    if (text.name.empty() && text.description.empty())
        return 0;
    return AnswerGetObject(window, wParam, lParam, text);
}

LRESULT CALLBACK Win32Form::FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = reinterpret_cast<Win32Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return form->Handle(message, wParam, lParam);
}

LRESULT Win32Form::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        Command(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_DRAWITEM:
        Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (const LRESULT brush =
                ColourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)))
            return brush;
        break;
    case WM_GETDPISCALEDSIZE:
        // Windows would scale the outer size, border included, and miss the
        // designed client area by a pixel or so: the exact size at the new dpi.
        *reinterpret_cast<SIZE*>(lParam) = SizeAt(static_cast<int>(wParam));
        return TRUE;
    case WM_DPICHANGED:
        // Moved to a monitor of another scale: the window takes the size
        // Windows suggests and lays its controls out again for the new dpi.
        MoveToDpi(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_TIMER:
        if (wParam == TimerId && At(Control::Timer).timer)
            At(Control::Timer).timer->Tick();
        return 0;
    case WM_KEYDOWN:
        // Tab with no control focused: the first of the tab order takes the focus.
        if (wParam == VK_TAB) {
            Tab(GetKeyState(VK_SHIFT) < 0);
            return 0;
        }
        break;
    case WM_CLOSE:
        // Never refused: the window unloads and leaves the screen.
        if (unload_)
            unload_();
        ShowWindow(form_, SW_HIDE);
        if (quitOnClose_)
            PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(form_, message, wParam, lParam);
}

LRESULT CALLBACK Win32Form::ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR form) {
    auto* self = reinterpret_cast<Win32Form*>(form);
    switch (message) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
        // A frame passes on what the controls it holds tell it.
        if (GetParent(window) == self->form_ &&
            self->layout_[ControlOf(static_cast<WORD>(GetDlgCtrlID(window)))].kind ==
                ControlKind::Frame)
            return self->Handle(message, wParam, lParam);
        break;
    case WM_KEYDOWN:
        if (wParam == VK_TAB) {
            self->Tab(GetKeyState(VK_SHIFT) < 0);
            return 0;
        }
        break;
    case WM_GETOBJECT:
        if (const LRESULT answer = self->Accessible(window, wParam, lParam))
            return answer;
        break;
    default:
        break;
    }
    return Subclassing().DefSubclassProc(window, message, wParam, lParam);
}

} // namespace merovane
