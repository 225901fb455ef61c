// merovane-config-demo: the window on simulated devices, with the bench that
// changes those devices beside it.
#include "device/simulated/demo_devices.h"
#include "device/simulated/simulated_host.h"
#include "window/frm_main.h"
#include "window/qt/close_on_signals.h"
#include "window/qt/device_bench.h"
#include "window/qt/qt_form.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("merovane-config-demo");
    merovane::SimulatedHost host;
    merovane::PlugDemoDevices(host);
    merovane::frmMain window(host);
    auto& form = dynamic_cast<merovane::QtForm&>(window.View());
    // Before the window shows: a request to end is then never missed.
    merovane::CloseOnTerminationSignals(form);
    window.Load();
    // Made once the window is on screen, destroyed before it and the host. It
    // never keeps the program running: closing the window ends it.
    merovane::DeviceBench bench(host);
    bench.show();
    merovane::PlaceBeside(form, bench);
    return QApplication::exec();
}
