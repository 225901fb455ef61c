// What the program running the scenarios asks of Windows, seen at the
// boundary: its calls of SetupDiGetClassDevsA (each a SetupAPI walk) and its
// CreateFileA opens of HID interfaces, counted by replacing their entries in
// the program's import table with counting stand-ins that call the system's.
// And two things the scenarios do beside the program: wait as a window's
// thread waits, taking its messages, and ask Windows what it lists.
#pragma once

#include <chrono>

namespace merovane::wine {

struct SystemCallCount {
    int walks = 0; // SetupDiGetClassDevsA
    int opens = 0; // CreateFileA of a path "\\?\hid#..."
};

// Counts from its making to its end (one at a time).
class SystemCallCounter {
public:
    SystemCallCounter();
    ~SystemCallCounter();
    SystemCallCounter(const SystemCallCounter&) = delete;
    SystemCallCounter& operator=(const SystemCallCounter&) = delete;

    SystemCallCount Count() const;
    void Reset();
};

// Waits `time`, taking the thread's messages meanwhile (sent ones included).
void WaitTakingMessages(std::chrono::milliseconds time);

// How many HID interfaces Windows lists now whose path holds `name` (lower
// case, e.g. "vid_1234&pid_0001"), asked of SetupAPI directly.
int ListedInterfaces(const char* name);

} // namespace merovane::wine
