// Test helpers: a pseudo-terminal pair standing in for a serial line, a temporary folder,
// and a spy in the layer's system call table.
#ifndef QUENLEX_TESTS_POSIX_LAYER_PSEUDO_TERMINAL_H
#define QUENLEX_TESTS_POSIX_LAYER_PSEUDO_TERMINAL_H

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial_device/posix/port.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/termios2.h"
#include "serial_device/serial_device.h"

namespace quenlex_test {

// A pseudo-terminal: the layer opens the slave by its name, the master plays the far end of
// the line. The pair starts in the kernel's default cooked mode.
class PseudoTerminal {
  public:
    PseudoTerminal() {
        if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed: errno " << errno;
            return;
        }
        char name[PATH_MAX];
        if (ttyname_r(slave_, name, sizeof name) == 0) {
            name_ = name;
        }
    }
    ~PseudoTerminal() {
        if (slave_ >= 0) {
            close(slave_);
        }
        if (master_ >= 0) {
            close(master_);
        }
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    const char *name() const { return name_.c_str(); }
    int master() const { return master_; }
    // A descriptor of the slave of our own, for looking at the device from outside the layer.
    int slave() const { return slave_; }

    // The device's terminal state, as any program would read it.
    termios2 state() const {
        termios2 tio{};
        EXPECT_EQ(ioctl(slave_, TCGETS2, &tio), 0);
        return tio;
    }
    void set_state(const termios2 &tio) const { EXPECT_EQ(ioctl(slave_, TCSETS2, &tio), 0); }
    // Whether the device is in exclusive mode (TIOCEXCL).
    bool exclusive() const {
        int flag = -1;
        EXPECT_EQ(ioctl(slave_, TIOCGEXCL, &flag), 0);
        return flag != 0;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string name_;
};

// A folder of our own under TMPDIR (or /tmp), removed with what is in it.
class TempFolder {
  public:
    TempFolder() {
        const char *base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/quenlex-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed: errno " << errno;
            return;
        }
        path_ = buffer.data();
    }
    ~TempFolder() {
        for (const std::string &file : files_) {
            unlink(file.c_str());
        }
        rmdir(path_.c_str());
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;

    const std::string &path() const { return path_; }
    // Creates an ordinary file in the folder and gives its path.
    std::string file(const std::string &name) {
        std::string path = path_ + "/" + name;
        FILE *f = std::fopen(path.c_str(), "w");
        EXPECT_NE(f, nullptr);
        if (f != nullptr) {
            std::fclose(f);
        }
        files_.push_back(path);
        return path;
    }

  private:
    std::string path_;
    std::vector<std::string> files_;
};

// The descriptor behind a handle of the layer.
inline int fd_of(HANDLE handle) { return static_cast<quenlex::posix::Port *>(handle)->fd; }

// Reads exactly `count` bytes from a non-blocking or blocking descriptor, waiting at most
// a generous time for them; returns what arrived.
inline std::vector<unsigned char> read_bytes(int fd, size_t count, int timeout_ms = 10000) {
    std::vector<unsigned char> bytes;
    while (bytes.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, timeout_ms) <= 0) {
            break;
        }
        unsigned char buffer[512];
        size_t want = std::min(sizeof buffer, count - bytes.size());
        ssize_t got = read(fd, buffer, want);
        if (got <= 0) {
            if (got < 0 && (errno == EAGAIN || errno == EINTR)) {
                continue;
            }
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

// Spies on the layer's ioctl requests while in scope, and can make a device look as if it
// had modem lines or make a request fail. The original table comes back at the end.
class IoctlSpy {
  public:
    IoctlSpy() {
        saved_ = quenlex::posix::sys;
        current_ = this;
        quenlex::posix::sys.ioctl = &IoctlSpy::ioctl;
    }
    ~IoctlSpy() {
        quenlex::posix::sys = saved_;
        current_ = nullptr;
    }
    IoctlSpy(const IoctlSpy &) = delete;
    IoctlSpy &operator=(const IoctlSpy &) = delete;

    // Every request the layer made, in order.
    std::vector<unsigned long> requests;
    // The last record the layer wrote with TCSETS2.
    termios2 last_written{};
    // Answer TIOCMGET/TIOCMBIS/TIOCMBIC like a UART, over these line bits.
    bool emulate_modem_lines = false;
    int modem_bits = TIOCM_DTR | TIOCM_RTS;
    // Make every request `fail_request` fail with `fail_errno` (0: none).
    unsigned long fail_request = 0;
    int fail_errno = 0;

    bool made(unsigned long request) const {
        for (unsigned long r : requests) {
            if (r == request) {
                return true;
            }
        }
        return false;
    }

  private:
    static int ioctl(int fd, unsigned long request, void *argument) {
        IoctlSpy &spy = *current_;
        spy.requests.push_back(request);
        if (spy.fail_errno != 0 && request == spy.fail_request) {
            errno = spy.fail_errno;
            return -1;
        }
        if (request == TCSETS2) {
            spy.last_written = *static_cast<termios2 *>(argument);
        }
        if (spy.emulate_modem_lines) {
            int *bits = static_cast<int *>(argument);
            switch (request) {
                case TIOCMGET:
                    *bits = spy.modem_bits;
                    return 0;
                case TIOCMBIS:
                    spy.modem_bits |= *bits;
                    return 0;
                case TIOCMBIC:
                    spy.modem_bits &= ~*bits;
                    return 0;
                default:
                    break;
            }
        }
        return spy.saved_.ioctl(fd, request, argument);
    }

    static inline IoctlSpy *current_ = nullptr;
    quenlex::posix::Syscalls saved_{};
};

}  // namespace quenlex_test

#endif
