// merovane-ctl: the command line for scripts and machines without a display.
#include "app/ctl_system.h"
#include "cli/ctl_commands.h"
#include "device/simulated/demo_devices.h"
#include "device/simulated/simulated_host.h"

#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int) {
    interrupted = 1;
}

// watch looks twice a second until interrupted.
bool PauseUntilNextLook() {
    for (int slice = 0; slice < 10 && interrupted == 0; ++slice)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return interrupted == 0;
}

} // namespace

int main(int argc, char** argv) {
    merovane::LoadSystemLibrariesOnly();
    merovane::ReserveClosedStandardStreams();
    merovane::UseUtf8Output();
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    std::unique_ptr<merovane::HidHost> host;
    const auto makeHost = [&host](bool simulate) -> merovane::HidHost& {
        if (simulate) {
            auto simulated = std::make_unique<merovane::SimulatedHost>();
            merovane::PlugDemoDevices(*simulated);
            host = std::move(simulated);
        } else {
            host = merovane::MakeSystemHost();
        }
        return *host;
    };
    return merovane::CtlMain(std::vector<std::string>(argv + 1, argv + argc), makeHost, std::cout,
                             std::cerr, PauseUntilNextLook);
}
