// merovane-config-demo: the window on simulated devices.
#include "device/demo_devices.h"
#include "device/simulated_host.h"
#include "window/frm_main.h"
#include "window/window_look.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("merovane-config-demo");
    merovane::InstallFontFallbacks();
    merovane::SimulatedHost host;
    merovane::PlugDemoDevices(host);
    merovane::frmMain window(host);
    window.Load();
    return QApplication::exec();
}
