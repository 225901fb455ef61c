// merovane-ctl on Linux: hidapi (hidraw) and the C library's locale.
#include "app/ctl_system.h"
#include "device/hidapi_host.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>

namespace merovane {

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
