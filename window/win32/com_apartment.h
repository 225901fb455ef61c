// COM on the calling thread, apartment-threaded, for the life of the object.
// A screen reader may ask a window for its accessible objects before it was
// ever activated; handing them over (LresultFromObject) needs COM on the
// window's thread.
#pragma once

#include <objbase.h>

namespace merovane {

class ComApartment {
public:
    ComApartment() : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    // Left only if entered here: a thread already in a multithreaded
    // apartment keeps it.
    ~ComApartment() {
        if (entered_)
            CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool entered_;
};

} // namespace merovane
