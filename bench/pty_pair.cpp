#include "pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>

namespace bench {

PtyPair::PtyPair() {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    slave_path_ = ttyname(slave_);
    // Every wait on the master is bounded, so a contender that fails cannot hang the run.
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (slave_ >= 0) {
        close(slave_);
    }
    if (master_ >= 0) {
        close(master_);
    }
}

namespace {

// Waits up to `timeout_ms` for `events` on `fd`; false on time-out or failure.
bool wait_for(int fd, short events, int timeout_ms) {
    for (;;) {
        pollfd entry{fd, events, 0};
        int ready = poll(&entry, 1, timeout_ms);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        return ready > 0 && (entry.revents & events) != 0;
    }
}

}  // namespace

bool PtyPair::send(const char *data, std::size_t size) const {
    std::size_t sent = 0;
    while (sent < size) {
        ssize_t n = write(master_, data + sent, size - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!wait_for(master_, POLLOUT, 5000)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

bool PtyPair::receive(char *into, std::size_t size, int timeout_ms) const {
    std::size_t got = 0;
    while (got < size) {
        ssize_t n = read(master_, into + got, size - got);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            if (!wait_for(master_, POLLIN, timeout_ms)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace bench
