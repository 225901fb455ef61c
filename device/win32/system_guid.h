// The seam's GUID record and the system's, converted field by field.
#pragma once

#include "device/api_declarations.h"

#include <algorithm>
#include <iterator>
#include <windows.h>

namespace merovane {

inline ::GUID ToSystem(const GUID& guid) {
    ::GUID system{};
    system.Data1 = guid.Data1;
    system.Data2 = guid.Data2;
    system.Data3 = guid.Data3;
    std::copy(std::begin(guid.Data4), std::end(guid.Data4), std::begin(system.Data4));
    return system;
}

inline GUID FromSystem(const ::GUID& system) {
    GUID guid;
    guid.Data1 = system.Data1;
    guid.Data2 = system.Data2;
    guid.Data3 = system.Data3;
    std::copy(std::begin(system.Data4), std::end(system.Data4), std::begin(guid.Data4));
    return guid;
}

} // namespace merovane
