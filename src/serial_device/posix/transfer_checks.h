// What ReadFile and WriteFile check before they move a byte.
#ifndef QUENLEX_POSIX_TRANSFER_CHECKS_H
#define QUENLEX_POSIX_TRANSFER_CHECKS_H

#include "serial_device/posix/port.h"

namespace quenlex::posix {

// Zeroes *count (when given), then checks the handle, the arguments (no buffer for a
// nonzero size, no count, an OVERLAPPED record: ERROR_INVALID_PARAMETER), the access the
// handle was opened with (ERROR_ACCESS_DENIED) and an error left pending by the previous
// transfer, which is reported now and cleared. Returns the port, or nullptr with the last
// error set.
Port *begin_transfer(HANDLE handle, const void *buffer, DWORD size, LPDWORD count,
                     const OVERLAPPED *overlapped, DWORD access_needed);

// Milliseconds of a total time-out, multiplier x size + constant, without overflow.
inline std::uint64_t total_timeout_ms(DWORD multiplier, DWORD size, DWORD constant) {
    return static_cast<std::uint64_t>(multiplier) * size + constant;
}

}  // namespace quenlex::posix

#endif
