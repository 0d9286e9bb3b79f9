// Windows has no pseudo-terminals for the library to open as a port, so the built-in
// virtual device is not available there; a COM port pair (a null-modem driver or cable)
// does the same job.
#include "virtual_device.h"

namespace quenlex_cli {

std::unique_ptr<VirtualDevice> VirtualDevice::start(std::string &why_not) {
    why_not =
        "it needs a POSIX system (pseudo-terminals); on Windows, name a COM port, for example "
        "one end of a null-modem pair";
    return nullptr;
}

}  // namespace quenlex_cli
