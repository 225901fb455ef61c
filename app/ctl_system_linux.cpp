// merovane-ctl on Linux: hidapi (hidraw) and the C library's locale.
#include "app/ctl_system.h"
#include "device/hidapi/hidapi_host.h"

#include <cerrno>
#include <clocale>
#include <cstring>
#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

namespace merovane {

// The dynamic linker takes libraries from the system's paths only.
void LoadSystemLibrariesOnly() {}

// A closed standard stream would be the descriptor that the next open gets, a
// divider's device node among them, and what is printed would go to the
// divider. Each closed one is taken by /dev/null, opened so that writing to it
// fails.
void ReserveClosedStandardStreams() {
    for (const int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(stream, F_GETFD) == -1 && errno == EBADF)
            open("/dev/null", stream == STDIN_FILENO ? O_WRONLY : O_RDONLY);
}

// hidapi turns device strings into text through the C library's multibyte
// conversion, which in the "C" locale gives an empty string for anything
// beyond ASCII; the output is UTF-8 in any case.
void UseUtf8Output() {
    if (std::setlocale(LC_CTYPE, "") == nullptr || std::strcmp(nl_langinfo(CODESET), "UTF-8") != 0)
        std::setlocale(LC_CTYPE, "C.UTF-8");
}

std::unique_ptr<HidHost> MakeSystemHost() {
    return std::make_unique<HidapiHost>();
}

} // namespace merovane
