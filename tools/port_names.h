// Which serial devices this machine has, and how a port name the user typed is handed to
// the library. The POSIX and Windows versions live in their own files.
#ifndef QUENLEX_TOOLS_PORT_NAMES_H
#define QUENLEX_TOOLS_PORT_NAMES_H

#include <string>
#include <vector>

namespace quenlex_cli {

struct PortCandidate {
    std::string name;  // what to hand to the library
    std::string note;  // e.g. where a /dev/serial/by-id link points; may be empty
};

// Candidates for serial ports that exist on this machine: on Linux the /dev/serial/by-id
// links and the ttyS, ttyUSB, ttyACM and ttyAMA devices; on Windows every COMn, n from 1
// to 256, whose device exists.
std::vector<PortCandidate> list_serial_ports();

// The device name the library is given for a name the user typed. On Windows "COM12"
// becomes "\\.\COM12" (names above COM9 only open in that form); elsewhere it is unchanged.
std::string device_path(const std::string &name);

}  // namespace quenlex_cli

#endif
