// Handle numbers for the hosts over real devices, which stand for the
// system's own objects by a number.
#pragma once

#include "device/api_declarations.h"

#include <limits>

namespace merovane {

// The number after `last` that `taken` (a map keyed by handle) does not hold:
// positive numbers in turn, starting over at 1 after the largest, so never
// NO_HANDLE or INVALID_HANDLE_VALUE.
template <typename HandleMap> HANDLE NextFreeHandle(HANDLE last, const HandleMap& taken) {
    HANDLE candidate = last;
    do {
        candidate = candidate == std::numeric_limits<HANDLE>::max() ? 1 : candidate + 1;
    } while (taken.contains(candidate));
    return candidate;
}

} // namespace merovane
