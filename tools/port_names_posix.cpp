#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "port_names.h"

namespace quenlex_cli {
namespace {

constexpr const char *kDevicePrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};

std::vector<std::string> entries(const std::string &folder) {
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(dir);
    return names;
}

bool is_serial_name(const std::string &name) {
    for (const char *prefix : kDevicePrefixes) {
        std::size_t length = std::strlen(prefix);
        if (name.size() > length && name.compare(0, length, prefix) == 0 &&
            std::all_of(name.begin() + static_cast<std::ptrdiff_t>(length), name.end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
            return true;
        }
    }
    return false;
}

// ttyS2 before ttyS10: by the letters first, then by the number.
bool natural_less(const std::string &a, const std::string &b) {
    std::size_t a_digits = a.find_first_of("0123456789");
    std::size_t b_digits = b.find_first_of("0123456789");
    std::string a_stem = a.substr(0, a_digits);
    std::string b_stem = b.substr(0, b_digits);
    if (a_stem != b_stem) {
        return a_stem < b_stem;
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

}  // namespace

std::vector<PortCandidate> list_serial_ports() {
    std::vector<PortCandidate> ports;

    const std::string by_id = "/dev/serial/by-id";
    std::vector<std::string> links = entries(by_id);
    std::sort(links.begin(), links.end());
    for (const std::string &link : links) {
        std::string path = by_id + "/" + link;
        char target[PATH_MAX];
        std::string note;
        if (realpath(path.c_str(), target) != nullptr) {
            note = std::string("-> ") + target;
        }
        ports.push_back({path, note});
    }

    std::vector<std::string> devices = entries("/dev");
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [](const std::string &name) { return !is_serial_name(name); }),
                  devices.end());
    std::sort(devices.begin(), devices.end(), natural_less);
    for (const std::string &device : devices) {
        ports.push_back({"/dev/" + device, ""});
    }
    return ports;
}

std::string device_path(const std::string &name) { return name; }

}  // namespace quenlex_cli
