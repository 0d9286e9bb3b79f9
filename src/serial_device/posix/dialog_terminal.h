// The controlling terminal as the settings dialog uses it: opened as /dev/tty, switched to
// a mode in which the dialog edits lines itself, and put back as it was when the dialog ends.
#ifndef QUENLEX_POSIX_DIALOG_TERMINAL_H
#define QUENLEX_POSIX_DIALOG_TERMINAL_H

#include <cstddef>

#include "serial_device/posix/termios2.h"

namespace quenlex::posix::dialog {

enum class LineEnd {
    kLine,         // the user pressed Enter
    kInterrupted,  // the user pressed the interrupt key (Ctrl-C)
    kEndOfInput,   // Ctrl-D on an empty line, a hang-up or a read error
};

class Terminal {
  public:
    Terminal() = default;
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;
    // Restores the terminal's own modes and closes it.
    ~Terminal();

    // Opens the controlling terminal and switches it to the dialog's mode. False when the
    // process has none (or it cannot be used); then nothing was shown or changed.
    bool open();

    // Writes text as it is; "\n" starts a new line.
    void say(const char *text);

    // Reads one line into line (size bytes, terminated, spaces trimmed at both ends),
    // echoing what is typed. Lines longer than the buffer are cut at its size.
    LineEnd read_line(char *line, std::size_t size);

  private:
    bool read_byte(unsigned char &byte);
    void echo_erase(std::size_t count);

    int fd_ = -1;
    bool modes_changed_ = false;
    termios2 saved_{};
    // The user's own editing keys, taken from the saved modes (Ctrl-C and Ctrl-D work too).
    unsigned char interrupt_ = 0x03;
    unsigned char end_of_file_ = 0x04;
    unsigned char erase_ = 0x7f;
    unsigned char kill_ = 0x15;
    // A CR ended the last line, so an LF right behind it belongs to that line end.
    bool after_cr_ = false;
};

}  // namespace quenlex::posix::dialog

#endif
