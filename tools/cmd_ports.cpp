// quenlex ports [DEVICE...]: the serial devices present, and whether each can be opened.
#include <cstdio>

#include "commands.h"
#include "port_names.h"
#include "quenlex.h"
#include "win32_errors.h"

namespace quenlex_cli {
namespace {

const char kHelp[] =
    "usage: quenlex ports [DEVICE...]\n"
    "\n"
    "Lists the serial devices present and whether each can be opened now\n"
    "(quenlex_available). Linux: the /dev/serial/by-id links and the ttyS, ttyUSB, ttyACM\n"
    "and ttyAMA devices; Windows: COM1 to COM256, those that exist. Devices named on the\n"
    "command line, such as pseudo-terminals (/dev/pts/3), are listed too.\n"
    "A port held by another open is \"not available\" with Win32 error 5 on Linux.\n"
    "\n"
    "exit status: 0 listed (whatever the ports' state); 2 bad usage.\n";

void show(const PortCandidate &port) {
    std::string status;
    if (quenlex_available(device_path(port.name).c_str()) != 0) {
        status = "available";
    } else {
        int error = quenlex_getError();
        status = "not available: " + describe_win32_error(error);
    }
    std::printf("%-24s %s%s%s\n", port.name.c_str(), status.c_str(), port.note.empty() ? "" : "  ",
                port.note.c_str());
}

int run(const ParsedArgs &args) {
    for (const std::string &name : args.positionals) {
        if (name.empty()) {
            throw UsageError("an empty DEVICE name");
        }
    }
    std::vector<PortCandidate> ports = list_serial_ports();
    for (const std::string &name : args.positionals) {
        ports.push_back({name, ""});
    }
    if (ports.empty()) {
        std::printf("no serial devices found\n");
    }
    for (const PortCandidate &port : ports) {
        show(port);
    }
    return kExitOk;
}

}  // namespace

const Command kPortsCommand = {
    "ports", "list the serial devices and whether each can be opened", kHelp, {}, run};

}  // namespace quenlex_cli
