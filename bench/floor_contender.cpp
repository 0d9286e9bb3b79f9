// The floor of the comparison: the same work as quenlex with nothing but system calls, and
// the same deadlines computed by hand on the monotonic clock. It opens the device the way
// quenlex does (non-blocking, locked, TIOCEXCL, raw 8N1 at the speed asked for), reads or
// writes whatever the terminal takes at once, and waits in ppoll() with nanosecond
// deadlines only when it takes nothing.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "comparison_work.h"
#include "contenders.h"

namespace bench {
namespace {

struct FloorState {
    int fd = -1;
    std::vector<char> payload;  // one chunk and a terminator
    std::vector<char> doubled;  // two chunks back to back, to check any piece of the stream
};

speed_t speed_of(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        default:
            return B115200;
    }
}

int open_device(const char *path, int baud) {
    int fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    termios tio{};
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0 || tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return -1;
    }
    cfmakeraw(&tio);
    cfsetspeed(&tio, speed_of(baud));
    tio.c_cflag &= ~(CSTOPB | PARENB);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    if (tcsetattr(fd, TCSANOW, &tio) != 0) {
        ioctl(fd, TIOCNXCL);
        ::close(fd);
        return -1;
    }
    return fd;
}

void close_device(int fd) {
    ioctl(fd, TIOCNXCL);
    ::close(fd);
}

bool floor_open(void *state, const char *path, int baud) {
    auto *floor = static_cast<FloorState *>(state);
    floor->fd = open_device(path, baud);
    return floor->fd >= 0;
}

void floor_close(void *state) {
    auto *floor = static_cast<FloorState *>(state);
    if (floor->fd >= 0) {
        close_device(floor->fd);
        floor->fd = -1;
    }
}

timespec to_timespec(std::int64_t ns) {
    return {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

// Waits until `events` or `deadline_ns` (CLOCK_MONOTONIC); 1 ready, 0 timed out, -1 failed.
int wait_until(int fd, short events, std::int64_t deadline_ns) {
    for (;;) {
        std::int64_t left = deadline_ns - now_ns();
        if (left <= 0) {
            return 0;
        }
        pollfd entry{fd, events, 0};
        timespec wait = to_timespec(left);
        int ready = ppoll(&entry, 1, &wait, nullptr);
        if (ready > 0) {
            return (entry.revents & events) != 0 ? 1 : -1;
        }
        if (ready < 0 && errno != EINTR) {
            return -1;
        }
    }
}

// Up to n bytes within `timeouts`: the total from the start, the interval from the last byte.
long read_within(int fd, char *buffer, std::size_t n, ReadTimeouts timeouts) {
    const std::int64_t start = now_ns();
    const std::int64_t total = start + static_cast<std::int64_t>(timeouts.total_ms * 1e6);
    const std::int64_t interval = static_cast<std::int64_t>(timeouts.interval_ms * 1e6);
    std::size_t got = 0;
    std::int64_t last = 0;
    while (got < n) {
        // Whatever is waiting first; only an empty queue is waited for.
        ssize_t k = ::read(fd, buffer + got, n - got);
        if (k > 0) {
            got += static_cast<std::size_t>(k);
            last = now_ns();
            continue;
        }
        if (k == 0 || (errno != EAGAIN && errno != EINTR)) {
            return -1;
        }
        std::int64_t deadline = total;
        if (interval > 0 && got > 0 && last + interval < deadline) {
            deadline = last + interval;
        }
        int ready = wait_until(fd, POLLIN, deadline);
        if (ready == 0) {
            break;
        }
        if (ready < 0) {
            return -1;
        }
    }
    return static_cast<long>(got);
}

long floor_timed_read(void *state, ReadKind kind, char *buffer, std::size_t n, Span *span) {
    auto *floor = static_cast<FloorState *>(state);
    span->start_ns = now_ns();
    long got = read_within(floor->fd, buffer, n, timeouts_for(kind, n));
    span->end_ns = now_ns();
    return got;
}

double process_cpu_seconds() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

int floor_wait_byte(void *state, bool polling, double *cpu_seconds, Span *span) {
    auto *floor = static_cast<FloorState *>(state);
    char byte = 0;
    double cpu_before = process_cpu_seconds();
    span->start_ns = now_ns();
    bool ok;
    if (polling) {
        long got;
        do {
            got = read_within(floor->fd, &byte, 1, timeouts_for(ReadKind::idle, 1));
        } while (got == 0);
        ok = got == 1;
    } else {
        pollfd entry{floor->fd, POLLIN, 0};
        ok = ppoll(&entry, 1, nullptr, nullptr) == 1 && ::read(floor->fd, &byte, 1) == 1;
    }
    span->end_ns = now_ns();
    *cpu_seconds = process_cpu_seconds() - cpu_before;
    return ok ? static_cast<unsigned char>(byte) : -1;
}

void make_payload(FloorState *floor, std::size_t chunk) {
    if (floor->payload.size() == chunk + 1) {
        return;
    }
    floor->payload.assign(chunk + 1, '\0');
    floor->doubled.resize(2 * chunk);
    for (std::size_t i = 0; i < chunk; ++i) {
        floor->payload[i] = floor->doubled[i] = floor->doubled[chunk + i] = payload_byte(i);
    }
}

bool floor_send_stream(void *state, std::size_t chunk, std::size_t chunks, Span *span) {
    auto *floor = static_cast<FloorState *>(state);
    make_payload(floor, chunk);
    const std::int64_t timeout = static_cast<std::int64_t>(write_timeout_ms(chunk) * 1e6);
    span->start_ns = now_ns();
    for (std::size_t c = 0; c < chunks; ++c) {
        const std::int64_t deadline = now_ns() + timeout;
        std::size_t sent = 0;
        while (sent < chunk) {
            ssize_t k = ::write(floor->fd, floor->payload.data() + sent, chunk - sent);
            if (k > 0) {
                sent += static_cast<std::size_t>(k);
                continue;
            }
            if (k < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            }
            if (wait_until(floor->fd, POLLOUT, deadline) != 1) {
                return false;
            }
        }
    }
    span->end_ns = now_ns();
    return true;
}

bool floor_receive_stream(void *state, std::size_t chunk, std::size_t chunks, Span *span) {
    auto *floor = static_cast<FloorState *>(state);
    make_payload(floor, chunk);
    std::vector<char> buffer(chunk);
    const std::size_t total = chunk * chunks;
    const ReadTimeouts timeouts = timeouts_for(ReadKind::burst, chunk);
    std::size_t received = 0;
    span->start_ns = now_ns();
    while (received < total) {
        long k = read_within(floor->fd, buffer.data(), std::min(chunk, total - received), timeouts);
        const std::size_t at = received % chunk;
        if (k <= 0 || std::memcmp(buffer.data(), floor->doubled.data() + at,
                                  static_cast<std::size_t>(k)) != 0) {
            return false;
        }
        received += static_cast<std::size_t>(k);
    }
    span->end_ns = now_ns();
    return true;
}

bool floor_cycles(void *, const char *path, int baud, int cycles, Span *span) {
    span->start_ns = now_ns();
    for (int i = 0; i < cycles; ++i) {
        int fd = open_device(path, baud);
        if (fd < 0) {
            return false;
        }
        close_device(fd);
    }
    span->end_ns = now_ns();
    return true;
}

const char *floor_describe(void *) { return "read/write/ppoll on the raw terminal"; }

FloorState floor_state;

}  // namespace

Contender floor_contender() {
    Contender contender{};
    contender.name = "floor";
    contender.state = &floor_state;
    contender.open = floor_open;
    contender.close = floor_close;
    contender.timed_read = floor_timed_read;
    contender.timed_wait_byte = floor_wait_byte;
    contender.send_stream = floor_send_stream;
    contender.receive_stream = floor_receive_stream;
    contender.open_close_cycles = floor_cycles;
    contender.describe = floor_describe;
    return contender;
}

}  // namespace bench
