#include "counted_loop.h"

#include "tests/wine/guest/system_calls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace merovane::bench {

bool ReadStretch(double& warmup, double& window, char* file, int fileSize) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 4)
        return false;
    warmup = _wtof(arguments[1]);
    window = _wtof(arguments[2]);
    WideCharToMultiByte(CP_ACP, 0, arguments[3], -1, file, fileSize, nullptr, nullptr);
    LocalFree(arguments);
    return warmup > 0 && window > 0;
}

int RunCountedLoop(HWND timerWindow, bool countSystemCalls, double warmup, double window,
                   const char* file) {
    std::optional<wine::SystemCallCounter> system;
    if (countSystemCalls)
        system.emplace();
    const ULONGLONG begin = GetTickCount64();
    const auto start = begin + static_cast<ULONGLONG>(warmup * 1000);
    const auto end = start + static_cast<ULONGLONG>(window * 1000);
    bool started = false;
    long ticks = 0;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.hwnd == timerWindow && started)
            ++ticks;
        TranslateMessage(&message);
        DispatchMessageW(&message);
        const ULONGLONG now = GetTickCount64();
        if (!started && now >= start) {
            started = true;
            if (system)
                system->Reset();
            FILE* out = std::fopen(file, "w");
            std::fputs("start\n", out);
            std::fclose(out);
        } else if (started && now >= end) {
            const wine::SystemCallCount count =
                system ? system->Count() : wine::SystemCallCount{-1, -1};
            FILE* out = std::fopen(file, "a");
            std::fprintf(out, "ticks %ld walks %d opens %d\n", ticks, count.walks, count.opens);
            std::fclose(out);
            Sleep(1000);
            return 0;
        }
    }
    return 1;
}

} // namespace merovane::bench
