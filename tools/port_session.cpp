#include "port_session.h"

#include <climits>

#include "escapes.h"
#include "port_names.h"
#include "quenlex.h"
#include "report.h"

namespace quenlex_cli {

int baud_option(const ParsedArgs &args) {
    auto found = args.values.find("--baud");
    return found == args.values.end() ? kDefaultBaud
                                      : parse_number("--baud", found->second, 1, INT_MAX);
}

std::string port_argument(const ParsedArgs &args) {
    const std::string &port = args.positionals.at(0);
    if (port.empty()) {
        throw UsageError("PORT is empty");
    }
    return port;
}

std::string call_text(const char *function, const std::string &arguments) {
    return std::string(function) + "(" + arguments + ")";
}

PortSession::~PortSession() { close(); }

bool PortSession::resolve(const std::string &typed) {
    if (typed != kVirtualPortName) {
        device_ = device_path(typed);
        return true;
    }
    std::string why_not;
    virtual_device_ = VirtualDevice::start(why_not);
    if (virtual_device_ == nullptr) {
        report_problem("virtual device: " + why_not);
        return false;
    }
    device_ = virtual_device_->port_name();
    return true;
}

bool PortSession::open(int baud) {
    if (quenlex_open(device_.c_str(), baud) == 0) {
        int error = quenlex_getError();
        report_failure(
            call_text("quenlex_open", quote_bytes(device_) + ", " + std::to_string(baud)), error);
        return false;
    }
    open_ = true;
    return true;
}

void PortSession::close() {
    if (open_) {
        quenlex_close();
        open_ = false;
    }
}

}  // namespace quenlex_cli
