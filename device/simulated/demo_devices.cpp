#include "device/simulated/demo_devices.h"

namespace merovane {

VirtualDevice KeyboardReceiver() {
    return VirtualDevice{.vendorId = 0x046D,
                         .productId = 0xC534,
                         .version = 0x2901,
                         .serial = std::nullopt,
                         .manufacturer = u"Logitech",
                         .product = u"USB Receiver",
                         .inputReportLength = 9,
                         .featureReportLength = 0};
}

void PlugDemoDevices(SimulatedHost& host) {
    VirtualDevice keyboard = KeyboardReceiver();
    keyboard.interfaces = {"/dev/hidraw-demo0"};
    host.Plug(keyboard);
    host.Plug(VirtualDevice{.interfaces = {"/dev/hidraw-demo1"},
                            .version = 0x0123,
                            .serial = u"MV2B-00417",
                            .manufacturer = u"Merovane Instruments",
                            .product = u"Clock Divider CD-4",
                            .mode = 1});
    host.Plug(VirtualDevice{.interfaces = {"/dev/hidraw-demo2"},
                            .version = 0x0210,
                            .serial = u"MV2B-00988",
                            .manufacturer = u"Merovane Instruments",
                            .product = u"Clock Divider CD-4",
                            .mode = 2});
}

} // namespace merovane
