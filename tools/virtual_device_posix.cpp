// The virtual device on a POSIX pseudo-terminal pair. The responder thread owns the master
// side; the library opens the slave side by its name. This process also keeps the slave
// open itself (raw, never read), so that the master sees no hang-up between the library's
// opens and closes, and nothing typed into the terminal is echoed back before the library
// has opened it.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include "virtual_device.h"

namespace quenlex_cli {
namespace {

// A line this long without a line end is answered as it stands.
constexpr std::size_t kMaxLine = 1024;

bool set_flags(int fd, int fd_flags, int status_flags) {
    int current = fcntl(fd, F_GETFD);
    int status = fcntl(fd, F_GETFL);
    return current >= 0 && status >= 0 && fcntl(fd, F_SETFD, current | fd_flags) == 0 &&
           fcntl(fd, F_SETFL, status | status_flags) == 0;
}

void close_if_open(int &fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

class PtyDevice : public VirtualDevice {
  public:
    ~PtyDevice() override {
        if (responder_.joinable()) {
            char stop = 0;
            while (write(wake_[1], &stop, 1) < 0 && errno == EINTR) {
            }
            responder_.join();
        }
        close_if_open(master_);
        close_if_open(keeper_);
        close_if_open(wake_[0]);
        close_if_open(wake_[1]);
    }

    const std::string &port_name() const override { return name_; }

    bool init(std::string &why_not) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
            !set_flags(master_, FD_CLOEXEC, O_NONBLOCK)) {
            why_not = std::string("no pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        const char *name = ptsname(master_);
        if (name == nullptr) {
            why_not = std::string("no pseudo-terminal name: ") + std::strerror(errno);
            return false;
        }
        name_ = name;

        keeper_ = open(name_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        if (keeper_ < 0 || tcgetattr(keeper_, &raw) != 0) {
            why_not = name_ + ": " + std::strerror(errno);
            return false;
        }
        cfmakeraw(&raw);
        if (tcsetattr(keeper_, TCSANOW, &raw) != 0) {
            why_not = name_ + ": " + std::strerror(errno);
            return false;
        }

        if (pipe(wake_) != 0 || !set_flags(wake_[0], FD_CLOEXEC, 0) ||
            !set_flags(wake_[1], FD_CLOEXEC, 0)) {
            why_not = std::string("no pipe: ") + std::strerror(errno);
            return false;
        }
        return start_responder(why_not);
    }

  private:
    // Signals go to the tool's own thread, which decides what to do about them.
    bool start_responder(std::string &why_not) {
        sigset_t all;
        sigset_t previous;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, &previous);
        try {
            responder_ = std::thread([this] { respond(); });
        } catch (const std::system_error &error) {
            why_not = std::string("no responder thread: ") + error.what();
        }
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return responder_.joinable();
    }

    void respond() {
        std::string line;
        char buffer[256];
        for (;;) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return;
            }
            if (fds[1].revents != 0) {
                return;
            }
            if ((fds[0].revents & POLLIN) == 0) {
                return;  // the terminal broke: nothing more to answer
            }
            ssize_t count = read(master_, buffer, sizeof buffer);
            if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
                continue;
            }
            if (count <= 0) {
                return;
            }
            for (ssize_t i = 0; i < count; ++i) {
                char c = buffer[i];
                if (c == '\r' || c == '\n') {
                    if (!line.empty()) {
                        answer_with(virtual_device_answer(line));
                    }
                    line.clear();
                    continue;
                }
                line += c;
                if (line.size() == kMaxLine) {
                    answer_with(virtual_device_answer(line));
                    line.clear();
                }
            }
        }
    }

    // Hands the answer to the terminal. When nobody reads the other end and its queue is
    // full, the rest of the answer is dropped, as a real line would lose it: the responder
    // must never block, or stopping it would wait forever.
    void answer_with(const std::string &answer) {
        std::size_t done = 0;
        while (done < answer.size()) {
            ssize_t count = write(master_, answer.data() + done, answer.size() - done);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count <= 0) {
                return;
            }
            done += static_cast<std::size_t>(count);
        }
    }

    int master_ = -1;
    int keeper_ = -1;
    int wake_[2] = {-1, -1};
    std::string name_;
    std::thread responder_;
};

}  // namespace

std::unique_ptr<VirtualDevice> VirtualDevice::start(std::string &why_not) {
    auto device = std::make_unique<PtyDevice>();
    if (!device->init(why_not)) {
        return nullptr;
    }
    return device;
}

}  // namespace quenlex_cli
