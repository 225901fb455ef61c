// The virtual devices the demo starts with: two clock dividers with different
// serial numbers, both streaming input reports, and a keyboard that is not a
// target.
#pragma once

#include "device/simulated/simulated_host.h"

namespace merovane {

void PlugDemoDevices(SimulatedHost& host);

// A USB keyboard receiver: a HID interface that is not a target.
VirtualDevice KeyboardReceiver();

} // namespace merovane
