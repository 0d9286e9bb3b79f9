// The built-in virtual device: a pseudo-terminal whose far end answers like a small modem,
// so the library can be tried with no hardware. The library opens the terminal's device
// (port_name()) like any serial port; a responder thread of this process works the other
// end and answers each line ending in CR or LF:
//   AT  -> OK
//   ATI -> an identification line
//   anything else -> the line echoed
// each answer ending in CR LF. Needs POSIX pseudo-terminals; on Windows start() fails.
#ifndef QUENLEX_TOOLS_VIRTUAL_DEVICE_H
#define QUENLEX_TOOLS_VIRTUAL_DEVICE_H

#include <memory>
#include <string>

namespace quenlex_cli {

// The name that stands for the virtual device where a port is expected.
constexpr const char *kVirtualPortName = "virtual";

// The answer the virtual device gives to one line (without its line end).
std::string virtual_device_answer(const std::string &line);

class VirtualDevice {
  public:
    virtual ~VirtualDevice() = default;

    // Creates the terminal pair and starts the responder; on failure returns null and
    // says why in why_not.
    static std::unique_ptr<VirtualDevice> start(std::string &why_not);

    // The device name the library opens, e.g. "/dev/pts/3".
    virtual const std::string &port_name() const = 0;
};

}  // namespace quenlex_cli

#endif
