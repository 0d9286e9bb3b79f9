#include "terminal_child/terminal_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <stdexcept>

namespace quenlex::test {
namespace {

using Clock = std::chrono::steady_clock;

int remaining_ms(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void check(bool ok, const char *what) {
    if (!ok) {
        throw std::runtime_error(std::string(what) + ": " + std::strerror(errno));
    }
}

// Reads what is there without waiting; false once the other end is gone for good.
bool drain(int fd, std::string &into) {
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && errno == EAGAIN;
    }
}

void close_fd(int &fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

void write_all(int fd, const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN) {
            pollfd wait{fd, POLLOUT, 0};
            ::poll(&wait, 1, 100);
            continue;
        }
        if (n <= 0) {
            return;
        }
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

TerminalChild::TerminalChild() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    check(master_ >= 0, "posix_openpt");
    check(::grantpt(master_) == 0 && ::unlockpt(master_) == 0, "unlockpt");
    char name[128];
    check(::ptsname_r(master_, name, sizeof name) == 0, "ptsname_r");
    slave_name_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    check(slave_ >= 0, "open pty slave");
    check(::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK) == 0, "fcntl");
}

TerminalChild::~TerminalChild() {
    if (child_ > 0) {
        ::kill(child_, SIGKILL);
        int status = 0;
        while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    close_fd(result_pipe_);
    close_fd(output_pipe_);
    close_fd(master_);
    close_fd(slave_);
}

void TerminalChild::start(const std::function<std::string()> &body, Tty tty) {
    int result[2];
    int output[2];
    check(::pipe2(result, O_CLOEXEC) == 0 && ::pipe2(output, O_CLOEXEC) == 0, "pipe2");
    pid_t pid = ::fork();
    check(pid >= 0, "fork");
    if (pid == 0) {
        // The child: a session of its own, away from the suite's terminal.
        ::close(master_);
        ::close(slave_);
        ::close(result[0]);
        ::close(output[0]);
        int null = ::open("/dev/null", O_RDONLY);
        if (::setsid() < 0 || null < 0 || ::dup2(null, 0) < 0 || ::dup2(output[1], 1) < 0 ||
            ::dup2(output[1], 2) < 0) {
            ::_exit(2);
        }
        if (tty == Tty::kControlling) {
            int fd = ::open(slave_name_.c_str(), O_RDWR);
            if (fd < 0 || ::ioctl(fd, TIOCSCTTY, 0) != 0) {
                ::_exit(2);
            }
        }
        std::string bytes;
        try {
            bytes = body();
        } catch (...) {
            ::_exit(3);
        }
        write_all(result[1], bytes);
        ::_exit(0);
    }
    child_ = pid;
    ::close(result[1]);
    ::close(output[1]);
    result_pipe_ = result[0];
    output_pipe_ = output[0];
    ::fcntl(output_pipe_, F_SETFL, ::fcntl(output_pipe_, F_GETFL) | O_NONBLOCK);
}

void TerminalChild::pump(int timeout_ms) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {output_pipe_, POLLIN, 0}};
    ::poll(fds, 2, timeout_ms);
    if (master_ >= 0) {
        drain(master_, screen_);
    }
    if (output_pipe_ >= 0) {
        drain(output_pipe_, standard_output_);
    }
}

bool TerminalChild::expect(const std::string &text) {
    auto deadline = Clock::now() + kPatience;
    bool ended = false;
    for (;;) {
        std::size_t found = screen_.find(text, consumed_);
        if (found != std::string::npos) {
            consumed_ = found + text.size();
            return true;
        }
        if (master_ < 0 || Clock::now() >= deadline || ended) {
            return false;
        }
        // Once the child has ended, what it showed is all there is: one last look.
        pollfd result{result_pipe_, 0, 0};
        ended = ::poll(&result, 1, 0) > 0 && (result.revents & POLLHUP) != 0;
        pump(ended ? 0 : std::min(remaining_ms(deadline), 100));
    }
}

void TerminalChild::type(const std::string &keys) {
    if (master_ >= 0) {
        write_all(master_, keys);
    }
}

bool TerminalChild::wait_until_settled() {
    auto deadline = Clock::now() + kPatience;
    std::string path = "/proc/" + std::to_string(child_) + "/status";
    while (Clock::now() < deadline) {
        std::ifstream status(path);
        bool asleep = false;
        bool pending = false;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("State:", 0) == 0) {
                if (line.find('Z', 6) != std::string::npos) {
                    return false;  // it has ended
                }
                asleep = line.find('S', 6) != std::string::npos;
            } else if (line.rfind("SigPnd:", 0) == 0 || line.rfind("ShdPnd:", 0) == 0) {
                pending = pending || line.find_first_not_of("0\t ", 7) != std::string::npos;
            }
        }
        if (asleep && !pending) {
            return true;
        }
        ::usleep(1000);
    }
    return false;
}

void TerminalChild::resize(unsigned short rows, unsigned short columns) {
    winsize size{};
    size.ws_row = rows;
    size.ws_col = columns;
    check(::ioctl(master_, TIOCSWINSZ, &size) == 0, "TIOCSWINSZ");
}

void TerminalChild::hang_up() { close_fd(master_); }

bool TerminalChild::finish(std::string &result) {
    auto deadline = Clock::now() + kPatience;
    // The result pipe ends when the child does.
    for (;;) {
        pollfd fds[3] = {
            {result_pipe_, POLLIN, 0}, {master_, POLLIN, 0}, {output_pipe_, POLLIN, 0}};
        int ready = ::poll(fds, 3, remaining_ms(deadline));
        if (master_ >= 0) {
            drain(master_, screen_);
        }
        drain(output_pipe_, standard_output_);
        if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP)) != 0) {
            char buffer[4096];
            ssize_t n = ::read(result_pipe_, buffer, sizeof buffer);
            if (n > 0) {
                result.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0) {
                break;
            }
        }
        if (Clock::now() >= deadline) {
            return false;  // the destructor kills the child
        }
    }
    int status = 0;
    pid_t reaped;
    while ((reaped = ::waitpid(child_, &status, 0)) < 0 && errno == EINTR) {
    }
    child_ = -1;
    pump(0);
    return reaped > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

termios2 TerminalChild::modes() const {
    termios2 modes{};
    check(::ioctl(slave_, TCGETS2, &modes) == 0, "TCGETS2");
    return modes;
}

}  // namespace quenlex::test
