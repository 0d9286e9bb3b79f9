#include "posix_config/pty_port.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace quenlex::test {

PtyPort::PtyPort() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
    }
    name_ = name;
    observer_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (observer_ < 0) {
        throw std::runtime_error(std::string("open ") + name_ + ": " + std::strerror(errno));
    }
}

PtyPort::~PtyPort() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
    }
    ::close(observer_);
    ::close(master_);
}

HANDLE PtyPort::open() {
    handle_ = CreateFileA(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr);
    return handle_;
}

termios2 PtyPort::modes() const {
    termios2 modes{};
    if (::ioctl(observer_, TCGETS2, &modes) != 0) {
        throw std::runtime_error(std::string("TCGETS2: ") + std::strerror(errno));
    }
    return modes;
}

unsigned long reported_speed(const termios2 &modes) {
    struct Code {
        tcflag_t code;
        unsigned long rate;
    };
    static const Code kCodes[] = {
        {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
        {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
        {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
        {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
        {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
        {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
        {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
        {B3500000, 3500000}, {B4000000, 4000000},
    };
    tcflag_t code = modes.c_cflag & CBAUD;
    if (code == BOTHER) {
        return modes.c_ospeed;
    }
    for (const Code &entry : kCodes) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

}  // namespace quenlex::test
