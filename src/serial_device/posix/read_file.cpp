// ReadFile. On a terminal a read ends by the five COMMTIMEOUTS rules, measured on the
// monotonic clock, waiting in ppoll() and never spinning; on anything else it is a plain read.
#include <poll.h>

#include <cerrno>
#include <cstdint>

#include "serial_device/posix/deadline.h"
#include "serial_device/posix/errors.h"
#include "serial_device/posix/port.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/transfer_checks.h"
#include "serial_device/posix/wait_ready.h"

namespace quenlex::posix {
namespace {

// When one read of a terminal ends, besides having all the bytes asked for.
struct ReadLimits {
    Deadline total;             // the whole call's time-out
    bool has_interval;          // a gap after a received byte ends the call
    std::uint64_t interval_ms;  // the gap; 0: as soon as nothing more is waiting
};

ReadLimits read_limits(const COMMTIMEOUTS &timeouts, DWORD size, const timespec &start) {
    const DWORD interval = timeouts.ReadIntervalTimeout;
    const DWORD multiplier = timeouts.ReadTotalTimeoutMultiplier;
    const DWORD constant = timeouts.ReadTotalTimeoutConstant;
    // MAXDWORD, 0, 0: take what is waiting and return at once, even with nothing.
    if (interval == MAXDWORD && multiplier == 0 && constant == 0) {
        return {Deadline::after_ms(start, 0), false, 0};
    }
    // MAXDWORD, MAXDWORD, 0 < C < MAXDWORD: wait up to C for a first byte, then return at
    // once with what is waiting.
    if (interval == MAXDWORD && multiplier == MAXDWORD && constant != 0 && constant != MAXDWORD) {
        return {Deadline::after_ms(start, constant), true, 0};
    }
    // Otherwise: a total time-out unless both of its values are 0, an interval time-out
    // unless it is 0; all three 0 waits for the whole count.
    ReadLimits limits{Deadline::never(), interval != 0, interval};
    if (multiplier != 0 || constant != 0) {
        limits.total = Deadline::after_ms(start, total_timeout_ms(multiplier, size, constant));
    }
    return limits;
}

// A read that met `error` after taking `received` bytes from the device: those bytes are
// returned with success, and the error waits for the next call on the port.
BOOL end_with_error(Port *port, DWORD received, LPDWORD count, DWORD error) {
    *count = received;
    if (received > 0) {
        port->pending_error = error;
        return TRUE;
    }
    SetLastError(error);
    return FALSE;
}

// read() gives 0 on a terminal whose other end is gone, but also with VMIN 0 when nothing
// is waiting; only a hang-up reported by poll() tells them apart.
bool hung_up(int fd) {
    pollfd entry{fd, POLLIN, 0};
    const timespec now{0, 0};
    return sys.ppoll(&entry, 1, &now, nullptr) > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0;
}

BOOL read_terminal(Port *port, BYTE *buffer, DWORD size, LPDWORD count) {
    const timespec start = monotonic_now();
    const ReadLimits limits = read_limits(port->timeouts, size, start);
    DWORD received = 0;
    timespec last_byte{};
    // After a read that found nothing (a caller polling a quiet line) the next one waits
    // before it reads: while the line stays quiet each call costs one ppoll() and no read().
    // A read that may not wait at all reads first, so it still sees what is waiting.
    timespec left{};
    bool read_now = !port->line_was_quiet || !limits.total.time_left(start, &left);
    port->line_was_quiet = false;
    for (;;) {
        if (read_now) {
            ssize_t got = sys.read(port->fd, buffer + received, size - received);
            if (got > 0) {
                received += static_cast<DWORD>(got);
                if (received == size) {
                    *count = received;
                    return TRUE;
                }
                last_byte = monotonic_now();
                // A terminal's read() hands over all it holds, so asking again at once
                // would only fail with EAGAIN: wait for more instead.
            } else if (got == 0 && hung_up(port->fd)) {
                return end_with_error(port, received, count, ERROR_DEVICE_NOT_CONNECTED);
            } else if (got < 0 && errno == EINTR) {
                continue;
            } else if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
                return end_with_error(port, received, count, win32_error_from_errno(errno));
            }
        }
        read_now = true;

        // Nothing (more) waiting: sleep until more comes or the nearer time-out passes.
        Deadline until = limits.total;
        if (limits.has_interval && received > 0) {
            until = Deadline::earlier(until, Deadline::after_ms(last_byte, limits.interval_ms));
        }
        switch (wait_ready(port->fd, POLLIN, until)) {
            case WaitResult::ready:
                break;
            case WaitResult::timed_out:
                port->line_was_quiet = received == 0;
                *count = received;
                return TRUE;
            case WaitResult::hung_up:
                return end_with_error(port, received, count, ERROR_DEVICE_NOT_CONNECTED);
            case WaitResult::failed:
                return end_with_error(port, received, count, win32_error_from_errno(errno));
        }
    }
}

// A file, pipe or other device: read as Win32 does there, up to the count or the end of
// the file; a pipe that has given something and has nothing more waiting ends the call.
BOOL read_plain(Port *port, BYTE *buffer, DWORD size, LPDWORD count) {
    DWORD received = 0;
    while (received < size) {
        ssize_t got = sys.read(port->fd, buffer + received, size - received);
        if (got > 0) {
            received += static_cast<DWORD>(got);
            continue;
        }
        if (got == 0) {
            break;  // end of file
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno != EAGAIN && errno != EWOULDBLOCK) {
            return end_with_error(port, received, count, win32_error_from_errno(errno));
        }
        if (received > 0) {
            break;
        }
        WaitResult waited = wait_ready(port->fd, POLLIN, Deadline::never());
        if (waited == WaitResult::hung_up) {
            break;  // a pipe without writers: its end
        }
        if (waited == WaitResult::failed) {
            return end_with_error(port, received, count, win32_error_from_errno(errno));
        }
    }
    *count = received;
    return TRUE;
}

}  // namespace
}  // namespace quenlex::posix

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    using namespace quenlex::posix;
    Port *port = begin_transfer(hFile, lpBuffer, nNumberOfBytesToRead, lpNumberOfBytesRead,
                                lpOverlapped, GENERIC_READ);
    if (port == nullptr) {
        return FALSE;
    }
    if (nNumberOfBytesToRead == 0) {
        return TRUE;
    }
    BYTE *buffer = static_cast<BYTE *>(lpBuffer);
    return port->is_terminal
               ? read_terminal(port, buffer, nNumberOfBytesToRead, lpNumberOfBytesRead)
               : read_plain(port, buffer, nNumberOfBytesToRead, lpNumberOfBytesRead);
}
