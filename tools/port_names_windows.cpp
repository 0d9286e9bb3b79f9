#include <cctype>

#include "port_names.h"
#include "quenlex.h"

namespace quenlex_cli {
namespace {

constexpr int kLastComPort = 256;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;

bool is_com_name(const std::string &name) {
    if (name.size() < 4 || name.size() > 6) {
        return false;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) {
            return false;
        }
    }
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<PortCandidate> list_serial_ports() {
    // A port that does not exist fails to open with "not found"; any other answer (it opens,
    // or it is held by another program) means the device is there.
    std::vector<PortCandidate> ports;
    for (int n = 1; n <= kLastComPort; ++n) {
        std::string name = "COM" + std::to_string(n);
        if (quenlex_available(device_path(name).c_str()) == 0) {
            int error = quenlex_getError();
            if (error == kFileNotFound || error == kPathNotFound) {
                continue;
            }
        }
        ports.push_back({name, ""});
    }
    return ports;
}

std::string device_path(const std::string &name) {
    return is_com_name(name) ? "\\\\.\\" + name : name;
}

}  // namespace quenlex_cli
