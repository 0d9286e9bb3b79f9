#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace quenlex_test {

PtyPeer::PtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
        throw std::runtime_error("no pseudo-terminal");
    }
    port_ = ptsname(master_);
    keeper_ = open(port_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (keeper_ < 0 || tcgetattr(keeper_, &raw) != 0) {
        throw std::runtime_error("cannot open " + port_);
    }
    cfmakeraw(&raw);
    tcsetattr(keeper_, TCSANOW, &raw);
}

PtyPeer::~PtyPeer() {
    stop();
    hang_up();
}

void PtyPeer::write(const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t count = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw std::runtime_error("write to the pty master failed");
        }
        done += static_cast<std::size_t>(count);
    }
}

std::string PtyPeer::read(std::size_t count, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limit;
    std::string bytes;
    while (bytes.size() < count && Clock::now() < deadline && !stop_) {
        pollfd fd = {master_, POLLIN, 0};
        if (poll(&fd, 1, 20) <= 0 || (fd.revents & POLLIN) == 0) {
            continue;
        }
        char buffer[256];
        ssize_t got = ::read(master_, buffer, std::min(sizeof buffer, count - bytes.size()));
        if (got > 0) {
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
    }
    return bytes;
}

void PtyPeer::run(std::function<void(const std::atomic<bool> &stop)> work) {
    stop_ = false;
    worker_ = std::thread([this, work] { work(stop_); });
}

void PtyPeer::stop() {
    stop_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void PtyPeer::hang_up() {
    if (keeper_ >= 0) {
        close(keeper_);
        keeper_ = -1;
    }
    if (master_ >= 0) {
        close(master_);
        master_ = -1;
    }
}

}  // namespace quenlex_test
