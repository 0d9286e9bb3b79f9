// The dialog's terminal. In the terminal's canonical mode Ctrl-C would raise SIGINT and end
// the host process with the terminal left in our mode; so the dialog reads with ISIG and
// ICANON off, gets Ctrl-C as a byte and treats it as cancel, and edits lines itself. The
// saved modes go back on every path, in the destructor.
#include "serial_device/posix/dialog_terminal.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

#include "serial_device/posix/syscalls.h"

namespace quenlex::posix::dialog {
namespace {

constexpr unsigned char kCtrlC = 0x03;
constexpr unsigned char kCtrlD = 0x04;
constexpr unsigned char kBackspace = 0x08;
constexpr unsigned char kDelete = 0x7f;
constexpr unsigned char kEscape = 0x1b;

// A control key from the saved modes, or the usual one when the terminal has it disabled.
unsigned char key_or(cc_t key, unsigned char usual) {
    return key == _POSIX_VDISABLE ? usual : static_cast<unsigned char>(key);
}

}  // namespace

Terminal::~Terminal() {
    if (fd_ < 0) {
        return;
    }
    if (modes_changed_) {
        int result;
        do {
            result = sys.ioctl(fd_, TCSETS2, &saved_);
        } while (result != 0 && errno == EINTR);
    }
    sys.close(fd_);
}

bool Terminal::open() {
    int fd;
    do {
        fd = sys.open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC, 0);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return false;
    }
    fd_ = fd;
    if (sys.ioctl(fd_, TCGETS2, &saved_) != 0) {
        return false;
    }
    interrupt_ = key_or(saved_.c_cc[VINTR], interrupt_);
    end_of_file_ = key_or(saved_.c_cc[VEOF], end_of_file_);
    erase_ = key_or(saved_.c_cc[VERASE], erase_);
    kill_ = key_or(saved_.c_cc[VKILL], kill_);

    // Byte by byte, no echo, no signals from keys, CR and LF as typed; output with the
    // usual newline translation whatever the terminal had. Flow control keys stay as set.
    termios2 mode = saved_;
    mode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
    mode.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | ISTRIP);
    mode.c_oflag |= OPOST | ONLCR;
    mode.c_cc[VMIN] = 1;
    mode.c_cc[VTIME] = 0;
    int result;
    do {
        result = sys.ioctl(fd_, TCSETS2, &mode);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return false;
    }
    modes_changed_ = true;
    return true;
}

void Terminal::say(const char *text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        ssize_t written = sys.write(fd_, text, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;  // the terminal is gone; the next read reports it
        }
        text += written;
        left -= static_cast<std::size_t>(written);
    }
}

bool Terminal::read_byte(unsigned char &byte) {
    for (;;) {
        ssize_t n = sys.read(fd_, &byte, 1);
        if (n == 1) {
            return true;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return false;  // end of file, hang-up (EIO) or another error
    }
}

void Terminal::echo_erase(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        say("\b \b");
    }
}

LineEnd Terminal::read_line(char *line, std::size_t size) {
    std::size_t length = 0;
    line[0] = '\0';
    bool escape = false;    // after ESC: a key's escape sequence may follow
    bool sequence = false;  // inside ESC [ ... or ESC O ...: swallowed up to its final byte
    for (;;) {
        unsigned char byte = 0;
        if (!read_byte(byte)) {
            say("\n");
            return LineEnd::kEndOfInput;
        }
        bool follows_cr = after_cr_;
        after_cr_ = false;
        if (sequence) {
            sequence = byte < 0x40 || byte > 0x7e;
            continue;
        }
        if (escape) {
            escape = false;
            if (byte == '[' || byte == 'O') {
                sequence = true;
                continue;
            }
        }
        if (byte == '\n' && follows_cr) {
            continue;  // the LF of a CR LF pair that already ended a line
        }
        if (byte == '\r' || byte == '\n') {
            after_cr_ = byte == '\r';
            say("\n");
            break;
        }
        if (byte == interrupt_ || byte == kCtrlC) {
            say("^C\n");
            return LineEnd::kInterrupted;
        }
        if (byte == end_of_file_ || byte == kCtrlD) {
            if (length == 0) {
                say("\n");
                return LineEnd::kEndOfInput;
            }
            continue;
        }
        if (byte == erase_ || byte == kDelete || byte == kBackspace) {
            if (length > 0) {
                --length;
                echo_erase(1);
            }
            continue;
        }
        if (byte == kill_) {
            echo_erase(length);
            length = 0;
            continue;
        }
        if (byte == kEscape) {
            escape = true;
            continue;
        }
        // Only printable ASCII goes into an answer; no answer needs anything else.
        if (byte >= 0x20 && byte < 0x7f && length + 1 < size) {
            line[length++] = static_cast<char>(byte);
            char echo[2] = {static_cast<char>(byte), '\0'};
            say(echo);
        }
    }

    // Trim spaces at both ends.
    line[length] = '\0';
    std::size_t start = 0;
    while (line[start] == ' ') {
        ++start;
    }
    while (length > start && line[length - 1] == ' ') {
        --length;
    }
    std::memmove(line, line + start, length - start);
    line[length - start] = '\0';
    return LineEnd::kLine;
}

}  // namespace quenlex::posix::dialog
