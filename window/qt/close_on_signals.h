// Ends the program as its window's close button does when the process is
// asked to end: SIGINT from a terminal's Ctrl+C, SIGTERM from the session or
// a service manager. The window unloads, closing the device, and the program
// returns from its event loop instead of dying mid-call.
#pragma once

class QWidget;

namespace merovane {

// Installs the handlers; call once, with the window the program ends with.
void CloseOnTerminationSignals(QWidget& window);

} // namespace merovane
