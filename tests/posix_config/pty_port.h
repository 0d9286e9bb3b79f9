// A pseudo-terminal pair whose slave serves as the serial port under test.
#ifndef QUENLEX_TESTS_PTY_PORT_H
#define QUENLEX_TESTS_PTY_PORT_H

#include <string>

#include "serial_device/posix/termios2.h"
#include "serial_device/serial_device.h"

namespace quenlex::test {

class PtyPort {
  public:
    PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;
    ~PtyPort();

    const std::string &name() const { return name_; }
    // The port opened as the library opens it (read and write, exclusive).
    HANDLE open();
    // What the line discipline holds for the port now.
    termios2 modes() const;

  private:
    int master_ = -1;
    int observer_ = -1;  // a descriptor of the test's own on the slave, for reading its modes
    std::string name_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// The speed termios reports: the Bnnn code's rate, or the free rate of BOTHER.
unsigned long reported_speed(const termios2 &modes);

}  // namespace quenlex::test

#endif
