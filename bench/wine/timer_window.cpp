// The floor of the Wine figures: a bare window whose one 50 ms SetTimer
// ticks and does nothing, in the same counting loop:
//   timer_window.exe WARMUP WINDOW FILE
#include "counted_loop.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    double warmup = 0;
    double window = 0;
    char file[MAX_PATH] = {};
    if (!merovane::bench::ReadStretch(warmup, window, file, sizeof file))
        return 2;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"TimerWindow";
    RegisterClassW(&windowClass);
    const HWND timerWindow =
        CreateWindowExW(0, L"TimerWindow", L"Timer Window", WS_OVERLAPPEDWINDOW, 40, 40, 400, 300,
                        nullptr, nullptr, instance, nullptr);
    ShowWindow(timerWindow, show);
    SetTimer(timerWindow, 1, 50, nullptr);
    return merovane::bench::RunCountedLoop(timerWindow, false, warmup, window, file);
}
