// A DLL planted beside the programs, as a download might leave one: loaded,
// it writes the file MARKER (C:\planted-NAME.txt). It exports the names the
// programs take from hid.dll and comctl32.dll, so that a static import of
// either would bind to it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        HANDLE file = CreateFileA(MARKER, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written;
            WriteFile(file, "planted\r\n", 9, &written, nullptr);
            CloseHandle(file);
        }
    }
    return TRUE;
}

#define STUB(name)                                                                                 \
    extern "C" __declspec(dllexport) BOOL WINAPI name() {                                          \
        SetLastError(ERROR_GEN_FAILURE);                                                           \
        return FALSE;                                                                              \
    }
STUB(HidD_GetHidGuid)
STUB(HidD_GetAttributes)
STUB(HidD_GetSerialNumberString)
STUB(HidD_GetManufacturerString)
STUB(HidD_GetProductString)
STUB(HidD_GetPreparsedData)
STUB(HidD_FreePreparsedData)
STUB(HidP_GetCaps)
STUB(HidD_GetFeature)
STUB(HidD_SetFeature)
STUB(SetWindowSubclass)
STUB(DefSubclassProc)
STUB(RemoveWindowSubclass)
STUB(InitCommonControls)
STUB(InitCommonControlsEx)
