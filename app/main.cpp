// merovane-config: the window on the host's real HID devices.
#include "device/hidapi/hidapi_host.h"
#include "window/frm_main.h"
#include "window/qt/close_on_signals.h"
#include "window/qt/qt_form.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("merovane-config");
    merovane::HidapiHost host;
    merovane::frmMain window(host);
    // Before the window shows: a request to end is then never missed.
    merovane::CloseOnTerminationSignals(dynamic_cast<merovane::QtForm&>(window.View()));
    window.Load();
    return QApplication::exec();
}
