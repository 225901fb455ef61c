// Presses Cancel in the installer's window, as a user changing their mind:
//   press_cancel.exe "TITLE"
// The window is a dialog whose title begins with TITLE. Waits up to a minute
// for it; exit status 0 once pressed, 1 when no such window appeared.
#include <cstring>
#include <windows.h>

namespace {

struct Search {
    const char* title;
    HWND found = nullptr;
};

BOOL CALLBACK Examine(HWND window, LPARAM search) {
    auto& wanted = *reinterpret_cast<Search*>(search);
    char kind[16] = {};
    char title[256] = {};
    GetClassNameA(window, kind, sizeof kind);
    GetWindowTextA(window, title, sizeof title);
    if (IsWindowVisible(window) && std::strcmp(kind, "#32770") == 0 &&
        std::strncmp(title, wanted.title, std::strlen(wanted.title)) == 0) {
        wanted.found = window;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    for (int waited = 0; waited < 600; ++waited) {
        Search search{argv[1]};
        EnumWindows(&Examine, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            const HWND cancel = GetDlgItem(search.found, IDCANCEL);
            PostMessageW(search.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                         reinterpret_cast<LPARAM>(cancel));
            return 0;
        }
        Sleep(100);
    }
    return 1;
}
