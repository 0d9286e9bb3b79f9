// What send, listen and configure share: the port named on the command line (the virtual
// device when it is "virtual"), the speed option, and the one open port of the library,
// closed on every way out of a command.
#ifndef QUENLEX_TOOLS_PORT_SESSION_H
#define QUENLEX_TOOLS_PORT_SESSION_H

#include <memory>
#include <string>

#include "options.h"
#include "virtual_device.h"

namespace quenlex_cli {

constexpr int kDefaultBaud = 115200;

// --baud N, a positive integer, or the default.
int baud_option(const ParsedArgs &args);

// The PORT argument, checked (not empty) before anything is opened.
std::string port_argument(const ParsedArgs &args);

// A C call written out for messages: call_text("quenlex_open", {"\"COM1\"", "9600"}).
std::string call_text(const char *function, const std::string &arguments);

class PortSession {
  public:
    PortSession() = default;
    PortSession(const PortSession &) = delete;
    PortSession &operator=(const PortSession &) = delete;
    ~PortSession();

    // Resolves the typed name: starts the virtual device for "virtual". Reports a problem
    // and returns false when that fails.
    bool resolve(const std::string &typed);

    // The name handed to the library.
    const std::string &device() const { return device_; }

    // quenlex_open(device, baud); reports the failure with its Win32 code.
    bool open(int baud);

    // quenlex_close, once; the destructor does it too. The port goes before the virtual
    // device does.
    void close();

  private:
    std::unique_ptr<VirtualDevice> virtual_device_;
    std::string device_;
    bool open_ = false;
};

}  // namespace quenlex_cli

#endif
