#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace quenlex::test {
namespace {

[[noreturn]] void die(const char *what) {
    std::perror(what);
    std::abort();
}

}  // namespace

PtyPeer::PtyPeer() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        die("PtyPeer: openpty");
    }
    fcntl(master_, F_SETFD, FD_CLOEXEC);
    fcntl(slave_, F_SETFD, FD_CLOEXEC);
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        die("PtyPeer: ptsname_r");
    }
    path_ = name;
    // Raw from the start, so nothing the test sends before the library opens is altered.
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
}

PtyPeer::~PtyPeer() {
    join();
    hang_up();
}

void PtyPeer::send(const std::string &bytes) {
    std::size_t done = 0;
    while (done < bytes.size() && master_ >= 0) {
        ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            die("PtyPeer: write");
        }
        done += static_cast<std::size_t>(n);
    }
}

int PtyPeer::queued_for_device() const {
    int queued = 0;
    if (slave_ < 0 || ioctl(slave_, FIONREAD, &queued) != 0) {
        return -1;
    }
    return queued;
}

int PtyPeer::wait_queued(int count, int timeout_ms) {
    int queued = queued_for_device();
    for (int waited = 0; queued != count && waited < timeout_ms; ++waited) {
        usleep(1000);
        queued = queued_for_device();
    }
    return queued;
}

std::size_t PtyPeer::fill_towards_peer() {
    int flags = fcntl(slave_, F_GETFL);
    fcntl(slave_, F_SETFL, flags | O_NONBLOCK);
    std::size_t filled = 0;
    char chunk[256] = {};
    for (std::size_t size = sizeof chunk; size > 0;) {
        ssize_t n = ::write(slave_, chunk, size);
        if (n > 0) {
            filled += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            size /= 2;  // full for this size: try smaller ones down to a single byte
        }
    }
    fcntl(slave_, F_SETFL, flags);
    return filled;
}

void PtyPeer::send_settled(const std::string &bytes) {
    int before = queued_for_device();
    send(bytes);
    int want = before + static_cast<int>(bytes.size());
    for (int i = 0; i < 5000 && queued_for_device() < want; ++i) {
        usleep(1000);
    }
}

std::string PtyPeer::receive(std::size_t count, int timeout_ms) {
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (got.size() < count && master_ >= 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd pfd{master_, POLLIN, 0};
        int ready = poll(&pfd, 1, static_cast<int>(left.count()));
        if (ready <= 0) {
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        char chunk[4096];
        std::size_t want = count - got.size();
        ssize_t n = ::read(master_, chunk, want < sizeof chunk ? want : sizeof chunk);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            break;  // EIO: no slave open any more
        }
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

std::string PtyPeer::receive_all(int quiet_ms) {
    std::string got;
    for (;;) {
        std::string more = receive(4096, quiet_ms);
        if (more.empty()) {
            return got;
        }
        got += more;
    }
}

std::string PtyPeer::drain() {
    std::string got;
    char chunk[4096];
    pollfd pfd{master_, POLLIN, 0};
    while (master_ >= 0 && poll(&pfd, 1, 0) > 0 && (pfd.revents & POLLIN) != 0) {
        ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        got.append(chunk, static_cast<std::size_t>(n));
    }
    return got;
}

void PtyPeer::hang_up() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    if (slave_ >= 0) {
        ::close(slave_);
        slave_ = -1;
    }
}

void PtyPeer::hang_up_after(std::chrono::milliseconds delay) {
    join();
    hanger_ = std::thread([this, delay] {
        std::this_thread::sleep_for(delay);
        hang_up();
    });
}

void PtyPeer::join() {
    if (hanger_.joinable()) {
        hanger_.join();
    }
}

}  // namespace quenlex::test
