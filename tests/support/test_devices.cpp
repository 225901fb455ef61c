#include "support/test_devices.h"

#include "device/simulated/demo_devices.h"

namespace merovane::test {

VirtualDevice Divider(std::u16string serial, BYTE mode) {
    return VirtualDevice{.version = 0x0123,
                         .serial = std::move(serial),
                         .manufacturer = u"ACME",
                         .product = u"Divider",
                         .mode = mode};
}

VirtualDevice Keyboard() {
    return KeyboardReceiver();
}

VirtualDevice SystemKeyboard() {
    VirtualDevice keyboard = KeyboardReceiver();
    keyboard.grantsReadWrite = false;
    return keyboard;
}

} // namespace merovane::test
