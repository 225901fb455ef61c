// DLLs that are not KnownDLLs, loaded from System32 and nowhere else.
//
// Windows looks for a DLL that is not a KnownDLL in the program's own folder
// first, so a planted hid.dll beside the program would run as the user. The
// programs import only KnownDLLs statically and load everything else through
// SystemLibrary.
#pragma once

#include <windows.h>

namespace merovane {

// The module of System32's DLL `name` (for example L"hid.dll"), loaded from
// System32 only; nullptr when it is not there. The module stays loaded for the
// life of the process.
HMODULE SystemLibrary(const wchar_t* name);

// The function `name` that `module` exports, as a pointer of type F; nullptr
// when the module is nullptr or does not export it.
template <class F> F SystemFunction(HMODULE module, const char* name) {
    if (module == nullptr)
        return nullptr;
    // Through the generic function type, which -Wcast-function-type allows.
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace merovane
