// A pseudo-terminal whose slave is opened through CreateFileA, with the master as the peer
// that sends, receives or hangs up; and a clock for the durations the tests check.
#ifndef QUENLEX_TESTS_POSIX_IO_PTY_PORT_H
#define QUENLEX_TESTS_POSIX_IO_PTY_PORT_H

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "serial_device/serial_device.h"

namespace quenlex::test {

using Clock = std::chrono::steady_clock;

inline long ms_since(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

// What the peer does `at_ms` after the start of a call: send bytes, or hang up. A negative
// time means the bytes are already waiting when the call starts.
struct Send {
    int at_ms;
    std::string bytes;
    bool hang_up = false;
};

class PtyPort : public ::testing::Test {
  protected:
    void SetUp() override { open_port(GENERIC_READ | GENERIC_WRITE); }

    void TearDown() override {
        join_peer();
        if (handle_ != INVALID_HANDLE_VALUE) {
            CloseHandle(handle_);
        }
        hang_up();
    }

    void open_port(DWORD access) {
        int slave = -1;
        ASSERT_EQ(openpty(&master_, &slave, nullptr, nullptr, nullptr), 0);
        name_ = ttyname(slave);
        handle_ = CreateFileA(name_.c_str(), access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        // Only our handle holds the slave now, as a device the peer can hang up on.
        close(slave);
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE) << GetLastError();
    }

    void set_timeouts(const COMMTIMEOUTS &timeouts) {
        COMMTIMEOUTS copy = timeouts;
        ASSERT_TRUE(SetCommTimeouts(handle_, &copy));
    }

    // Puts the negative-time bytes in waiting, then carries out the other steps, each at its
    // time after the returned start, from a thread of its own.
    Clock::time_point start_peer(const std::vector<Send> &steps) {
        std::vector<Send> later;
        for (const Send &step : steps) {
            if (step.at_ms < 0) {
                write_to_port(step.bytes);
            } else {
                later.push_back(step);
            }
        }
        if (later.size() != steps.size()) {
            // Let the waiting bytes reach the slave's input before the call starts.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Clock::time_point start = Clock::now();
        peer_ = std::thread([this, later, start] {
            for (const Send &step : later) {
                std::this_thread::sleep_until(start + std::chrono::milliseconds(step.at_ms));
                if (step.hang_up) {
                    hang_up();
                } else {
                    write_to_port(step.bytes);
                }
            }
        });
        return start;
    }

    void write_to_port(const std::string &bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    void hang_up() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    void join_peer() {
        if (peer_.joinable()) {
            peer_.join();
        }
    }

    int master_ = -1;
    std::string name_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    std::thread peer_;
};

}  // namespace quenlex::test

#endif
