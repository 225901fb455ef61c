#include "system_calls.h"

#include <cstring>
#include <stdexcept>
#include <string_view>
#include <windows.h>
// setupapi.h needs windows.h first.
#include <setupapi.h>

namespace merovane::wine {
namespace {

using ClassDevs = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using CreateFile = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                   HANDLE);

SystemCallCount counted;
ClassDevs systemClassDevs = nullptr;
CreateFile systemCreateFile = nullptr;

HDEVINFO WINAPI CountedClassDevs(const GUID* guid, PCSTR enumerator, HWND parent, DWORD flags) {
    ++counted.walks;
    return systemClassDevs(guid, enumerator, parent, flags);
}

HANDLE WINAPI CountedCreateFile(LPCSTR name, DWORD access, DWORD share,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE model) {
    if (name != nullptr && _strnicmp(name, "\\\\?\\hid#", 8) == 0)
        ++counted.opens;
    return systemCreateFile(name, access, share, security, disposition, flags, model);
}

// The program's import-table entry of `function` from `dll`.
void** ImportEntry(const char* dll, const char* function) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(
        base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         module->Name != 0; ++module) {
        if (_stricmp(reinterpret_cast<const char*>(base + module->Name), dll) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->OriginalFirstThunk);
        auto* entries = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++entries) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            const auto* byName =
                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&entries->u1.Function);
        }
    }
    throw std::runtime_error(std::string("the program does not import ") + function);
}

// Puts `replacement` in the entry; returns what was there.
void* Replace(void** entry, void* replacement) {
    DWORD protection = 0;
    VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection);
    void* before = *entry;
    *entry = replacement;
    VirtualProtect(entry, sizeof *entry, protection, &protection);
    return before;
}

} // namespace

SystemCallCounter::SystemCallCounter() {
    counted = {};
    systemClassDevs =
        reinterpret_cast<ClassDevs>(Replace(ImportEntry("setupapi.dll", "SetupDiGetClassDevsA"),
                                            reinterpret_cast<void*>(CountedClassDevs)));
    systemCreateFile = reinterpret_cast<CreateFile>(Replace(
        ImportEntry("kernel32.dll", "CreateFileA"), reinterpret_cast<void*>(CountedCreateFile)));
}

SystemCallCounter::~SystemCallCounter() {
    Replace(ImportEntry("setupapi.dll", "SetupDiGetClassDevsA"),
            reinterpret_cast<void*>(systemClassDevs));
    Replace(ImportEntry("kernel32.dll", "CreateFileA"), reinterpret_cast<void*>(systemCreateFile));
}

SystemCallCount SystemCallCounter::Count() const {
    return counted;
}

void SystemCallCounter::Reset() {
    counted = {};
}

void WaitTakingMessages(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left.count()), QS_ALLINPUT);
    }
}

int ListedInterfaces(const char* name) {
    // The HID interface class (what HidD_GetHidGuid gives).
    const GUID hid = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
    const HDEVINFO set =
        SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return 0;
    int listed = 0;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hid, index, &data); ++index) {
        DWORD buffer[256] = {};
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
        detail->cbSize = sizeof *detail;
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr) &&
            std::string_view(detail->DevicePath).find(name) != std::string_view::npos)
            ++listed;
    }
    SetupDiDestroyDeviceInfoList(set);
    return listed;
}

} // namespace merovane::wine
