// The floor: write() and read() on a raw, blocking terminal, as a program without any
// library would do it.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "contenders.h"

namespace bench {
namespace {

struct PlainState {
    int fd = -1;
};

bool plain_open(void *state, const char *path, int /*baud*/) {
    auto *plain = static_cast<PlainState *>(state);
    plain->fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (plain->fd < 0) {
        return false;
    }
    termios tio{};
    if (tcgetattr(plain->fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return tcsetattr(plain->fd, TCSANOW, &tio) == 0;
}

void plain_close(void *state) {
    auto *plain = static_cast<PlainState *>(state);
    if (plain->fd >= 0) {
        ::close(plain->fd);
        plain->fd = -1;
    }
}

bool plain_write(void *state, const char *data, std::size_t size) {
    auto *plain = static_cast<PlainState *>(state);
    std::size_t sent = 0;
    while (sent < size) {
        ssize_t n = ::write(plain->fd, data + sent, size - sent);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

long plain_read_burst(void *state, char *buffer, std::size_t capacity) {
    auto *plain = static_cast<PlainState *>(state);
    ssize_t n;
    do {
        n = ::read(plain->fd, buffer, capacity);
    } while (n < 0 && errno == EINTR);
    return n;
}

int plain_read_byte(void *state) {
    unsigned char byte = 0;
    return plain_read_burst(state, reinterpret_cast<char *>(&byte), 1) == 1 ? byte : -1;
}

PlainState plain_state;

}  // namespace

Contender plain_contender() {
    Contender contender{};
    contender.name = "write/read";
    contender.state = &plain_state;
    contender.open = plain_open;
    contender.close = plain_close;
    contender.write = plain_write;
    contender.read_burst = plain_read_burst;
    contender.burst_overhead = 0;
    contender.burst_timeout_ms = nullptr;  // blocking reads have no time-out to measure
    contender.read_byte = plain_read_byte;
    return contender;
}

}  // namespace bench
