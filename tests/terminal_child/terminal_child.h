// A child process with a pseudo-terminal of the test's own as its controlling terminal, so
// code that talks to /dev/tty can be driven by the test: it reads the screen from the master
// and types into it. Nothing here touches the terminal the test suite itself runs in.
#ifndef QUENLEX_TESTS_TERMINAL_CHILD_H
#define QUENLEX_TESTS_TERMINAL_CHILD_H

#include <sys/types.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>

#include "serial_device/posix/termios2.h"

namespace quenlex::test {

// Generous: the machine may be busy; a passing run never comes near it.
constexpr std::chrono::seconds kPatience{10};

class TerminalChild {
  public:
    enum class Tty { kControlling, kNone };

    TerminalChild();
    TerminalChild(const TerminalChild &) = delete;
    TerminalChild &operator=(const TerminalChild &) = delete;
    // Kills a child that is still running, reaps it and closes everything.
    ~TerminalChild();

    // Runs body in a child process in a new session: with the pseudo-terminal as its
    // controlling terminal, or with none at all. Its stdout and stderr go to a pipe the test
    // can read; what body returns comes back through finish().
    void start(const std::function<std::string()> &body, Tty tty = Tty::kControlling);

    // Waits until the screen shows text after what earlier expects consumed.
    bool expect(const std::string &text);
    // Types keys into the terminal.
    void type(const std::string &keys);
    // Waits until the child is asleep with no signal pending: after a prompt, blocked
    // reading the answer, with every signal sent to it handled.
    bool wait_until_settled();
    // Changes the terminal's window size, as a terminal emulator does when its window is
    // resized: the child's foreground process group gets SIGWINCH.
    void resize(unsigned short rows, unsigned short columns);
    // Hangs the terminal up: closes the master.
    void hang_up();

    // Waits for the child to end. True when it returned normally within the patience; its
    // result is then in `result`.
    bool finish(std::string &result);

    // Everything the child showed on the terminal so far, and everything it wrote to its
    // stdout and stderr (available after finish()).
    const std::string &screen() const { return screen_; }
    const std::string &standard_output() const { return standard_output_; }

    // The terminal's modes as the line discipline holds them now.
    termios2 modes() const;

  private:
    void pump(int timeout_ms);

    int master_ = -1;
    int slave_ = -1;  // kept open by the test so the terminal outlives the child
    std::string slave_name_;
    pid_t child_ = -1;
    int result_pipe_ = -1;
    int output_pipe_ = -1;
    std::string screen_;
    std::size_t consumed_ = 0;
    std::string standard_output_;
};

// Packs a plain record into the string a child body returns, and back.
template <typename T>
std::string pack(const T &value) {
    return std::string(reinterpret_cast<const char *>(&value), sizeof value);
}

template <typename T>
bool unpack(const std::string &bytes, T &value) {
    if (bytes.size() != sizeof value) {
        return false;
    }
    std::memcpy(&value, bytes.data(), sizeof value);
    return true;
}

}  // namespace quenlex::test

#endif
