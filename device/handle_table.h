// The objects a host over real devices holds for its callers, each under a
// handle number: positive numbers handed out in turn, starting over at 1
// after the largest and passing any still in use, so never NO_HANDLE or
// INVALID_HANDLE_VALUE.
#pragma once

#include "device/api_declarations.h"

#include <limits>
#include <unordered_map>
#include <utility>
#include <variant>

namespace merovane {

// Object is a std::variant of the kinds of object a host holds.
template <typename Object> class HandleTable {
public:
    // The object under `handle` when it is of kind Kind; null otherwise.
    template <typename Kind> Kind* Find(HANDLE handle) {
        const auto found = objects_.find(handle);
        return found != objects_.end() ? std::get_if<Kind>(&found->second) : nullptr;
    }
    // The object under `handle`, of any kind; null when there is none.
    const Object* At(HANDLE handle) const {
        const auto found = objects_.find(handle);
        return found != objects_.end() ? &found->second : nullptr;
    }
    // Holds `object` under the next free number and returns that number.
    HANDLE Add(Object object) {
        do {
            last_ = last_ == std::numeric_limits<HANDLE>::max() ? 1 : last_ + 1;
        } while (objects_.contains(last_));
        objects_.emplace(last_, std::move(object));
        return last_;
    }
    // Destroys the object under `handle` and frees its number.
    void Erase(HANDLE handle) { objects_.erase(handle); }
    void Clear() { objects_.clear(); }

    auto begin() const { return objects_.begin(); }
    auto end() const { return objects_.end(); }
    auto begin() { return objects_.begin(); }
    auto end() { return objects_.end(); }

private:
    std::unordered_map<HANDLE, Object> objects_;
    HANDLE last_ = NO_HANDLE;
};

} // namespace merovane
