// Presses Cancel in the installer's window, as a user changing their mind:
//   press_cancel.exe "TITLE"   (the start of the window's title)
// Waits up to a minute for it; exit status 0 once pressed, 1 when none came.
#include <cstring>
#include <windows.h>

BOOL CALLBACK Cancel(HWND window, LPARAM title) {
    char shown[256] = {};
    GetWindowTextA(window, shown, sizeof shown);
    const auto* wanted = reinterpret_cast<const char*>(title);
    if (!IsWindowVisible(window) || std::strncmp(shown, wanted, std::strlen(wanted)) != 0)
        return TRUE;
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
    return FALSE;
}

int main(int argc, char** argv) {
    for (int waited = 0; argc == 2 && waited < 600; ++waited, Sleep(100))
        if (EnumWindows(&Cancel, reinterpret_cast<LPARAM>(argv[1])) == FALSE)
            return 0;
    return 1;
}
