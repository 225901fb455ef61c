#include "support/test_devices.h"

namespace merovane::test {

VirtualDevice Divider(std::u16string serial, BYTE mode) {
    return VirtualDevice{.version = 0x0123,
                         .serial = std::move(serial),
                         .manufacturer = u"ACME",
                         .product = u"Divider",
                         .mode = mode};
}

VirtualDevice Keyboard() {
    return VirtualDevice{.vendorId = 0x046D,
                         .productId = 0xC534,
                         .version = 0x2901,
                         .serial = std::nullopt,
                         .manufacturer = u"Logitech",
                         .product = u"USB Receiver",
                         .inputReportLength = 9,
                         .featureReportLength = 0};
}

} // namespace merovane::test
