// The virtual device's replies, kept apart from the terminal plumbing so that every
// platform builds them.
#include <cctype>

#include "quenlex_version.h"
#include "virtual_device.h"

namespace quenlex_cli {

std::string virtual_device_answer(const std::string &line) {
    std::string command;
    for (char c : line) {
        command += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (command == "AT") {
        return "OK\r\n";
    }
    if (command == "ATI") {
        return "quenlex virtual device " QUENLEX_VERSION_STRING "\r\n";
    }
    return line + "\r\n";
}

}  // namespace quenlex_cli
