// WriteFile. Bytes are handed to the kernel, waiting in ppoll() for room up to the total
// write time-out on a terminal (without one elsewhere). The call does not wait for them to
// leave the wire: that would be tcdrain(), which Win32's WriteFile does not do either.
#include <poll.h>

#include <cerrno>

#include "serial_device/posix/deadline.h"
#include "serial_device/posix/errors.h"
#include "serial_device/posix/port.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/transfer_checks.h"
#include "serial_device/posix/wait_ready.h"

namespace quenlex::posix {
namespace {

// Multiplier x size + constant from now; both 0 (or no terminal) means no time-out.
Deadline write_deadline(const Port &port, DWORD size) {
    const DWORD multiplier = port.timeouts.WriteTotalTimeoutMultiplier;
    const DWORD constant = port.timeouts.WriteTotalTimeoutConstant;
    if (!port.is_terminal || (multiplier == 0 && constant == 0)) {
        return Deadline::never();
    }
    return Deadline::after_ms(monotonic_now(), total_timeout_ms(multiplier, size, constant));
}

// Bytes already handed over cannot be taken back: the count says how many went, the
// result says the write failed.
BOOL fail(DWORD sent, LPDWORD count, DWORD error) {
    *count = sent;
    SetLastError(error);
    return FALSE;
}

BOOL write_until(Port *port, const BYTE *data, DWORD size, LPDWORD count,
                 const Deadline &deadline) {
    DWORD sent = 0;
    while (sent < size) {
        ssize_t put = sys.write(port->fd, data + sent, size - sent);
        if (put > 0) {
            sent += static_cast<DWORD>(put);
            if (sent == size) {
                break;
            }
            // A short write means the kernel's buffer is full: wait for room rather than
            // fail with EAGAIN first.
        } else if (put < 0 && errno == EINTR) {
            continue;
        } else if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return fail(sent, count, win32_error_from_errno(errno));
        }
        switch (wait_ready(port->fd, POLLOUT, deadline)) {
            case WaitResult::ready:
                break;
            case WaitResult::timed_out:
                // Success with a short count is how Win32 reports a write time-out.
                *count = sent;
                return TRUE;
            case WaitResult::hung_up:
                return fail(sent, count, ERROR_DEVICE_NOT_CONNECTED);
            case WaitResult::failed:
                return fail(sent, count, win32_error_from_errno(errno));
        }
    }
    *count = sent;
    return TRUE;
}

}  // namespace
}  // namespace quenlex::posix

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    using namespace quenlex::posix;
    Port *port = begin_transfer(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                                lpOverlapped, GENERIC_WRITE);
    if (port == nullptr) {
        return FALSE;
    }
    if (nNumberOfBytesToWrite == 0) {
        return TRUE;
    }
    return write_until(port, static_cast<const BYTE *>(lpBuffer), nNumberOfBytesToWrite,
                       lpNumberOfBytesWritten, write_deadline(*port, nNumberOfBytesToWrite));
}
