// The message loop of the Wine figures' programs: a window's loop that also
// counts the WM_TIMER messages it dispatches to one window, and marks the
// measured stretch in a file for the measuring script:
//   after WARMUP seconds it writes "start"; WINDOW seconds later
//   "ticks T walks W opens O" (what came in the stretch; walks and opens as
//   SystemCallCounter counts them, for a program that makes such calls; -1
//   otherwise), waits a second (for the script to read the CPU times) and
//   ends.
#pragma once

#include <windows.h>

namespace merovane::bench {

// Reads WARMUP WINDOW FILE from the command line; false when they are missing.
bool ReadStretch(double& warmup, double& window, char* file, int fileSize);

// Runs the loop; returns the program's exit status.
int RunCountedLoop(HWND timerWindow, bool countSystemCalls, double warmup, double window,
                   const char* file);

} // namespace merovane::bench
