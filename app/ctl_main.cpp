// merovane-ctl: the command line for scripts and machines without a display.
#include "cli/ctl_commands.h"
#include "device/demo_devices.h"
#include "device/hidapi_host.h"
#include "device/simulated_host.h"

#include <cerrno>
#include <chrono>
#include <clocale>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <langinfo.h>
#include <memory>
#include <thread>
#include <unistd.h>

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

// hidapi turns device strings into text through the C library's multibyte
// conversion, which in the "C" locale gives an empty string for anything
// beyond ASCII; the output is UTF-8 in any case.
void UseUtf8Strings() {
    if (std::setlocale(LC_CTYPE, "") == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

// A standard stream the caller closed would be the descriptor that the next
// open gets, a divider's device node among them, and what is printed would go
// to the divider. Each closed one is taken by /dev/null, opened so that
// writing to it fails and the failure is reported.
void ReserveClosedStandardStreams() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(stream, F_GETFD) == -1 && errno == EBADF)
            open("/dev/null", stream == STDIN_FILENO ? O_WRONLY : O_RDONLY);
}

} // namespace

int main(int argc, char** argv) {
    ReserveClosedStandardStreams();
    UseUtf8Strings();
    std::signal(SIGINT, Interrupt);
    std::signal(SIGTERM, Interrupt);
    std::unique_ptr<merovane::HidHost> host;
    const auto makeHost = [&host](bool simulate) -> merovane::HidHost& {
        if (simulate) {
            auto simulated = std::make_unique<merovane::SimulatedHost>();
            merovane::PlugDemoDevices(*simulated);
            host = std::move(simulated);
        } else {
            host = std::make_unique<merovane::HidapiHost>();
        }
        return *host;
    };
    return merovane::CtlMain(std::vector<std::string>(argv + 1, argv + argc), makeHost, std::cout,
                             std::cerr, PauseUntilNextLook);
}
