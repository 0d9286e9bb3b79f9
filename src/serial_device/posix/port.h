// What a HANDLE of the POSIX serial device layer points to.
#ifndef QUENLEX_POSIX_PORT_H
#define QUENLEX_POSIX_PORT_H

#include <cstdint>

#include "serial_device/serial_device.h"

namespace quenlex::posix {

// One open device. CreateFileA allocates it and CloseHandle frees it; the HANDLE given to
// callers is its address. Fields termios cannot express live here, so GetCommState gives
// back what SetCommState set.
struct Port {
    std::uint32_t magic;  // kPortMagic while open: catches stale and foreign handles
    int fd;
    bool is_terminal;  // a tty: the comm operations work on it
    DWORD access;      // GENERIC_READ / GENERIC_WRITE as opened; 0 for a query-only probe
    bool holds_excl;   // this open set TIOCEXCL and lifts it on close
    int owner_pid;     // the process that opened it; a forked child's close leaves TIOCEXCL
    DCB dcb;           // the last line state set (or read at open), for the fields termios lacks
    std::uint32_t framing_cflag;  // the device's c_cflag right after dcb was set or read
    COMMTIMEOUTS timeouts;
    DWORD in_queue;  // sizes accepted by SetupComm (Linux keeps its own buffers)
    DWORD out_queue;
    DWORD pending_error;  // an error met after bytes were returned; reported by the next I/O call
    bool line_was_quiet;  // the last read ended with nothing received: the next waits first
};

constexpr std::uint32_t kPortMagic = 0x51554e58u;  // "QUNX"

// The Port behind a handle, or nullptr (with ERROR_INVALID_HANDLE set) for a handle that
// is not one of ours.
Port *port_from_handle(HANDLE handle);

}  // namespace quenlex::posix

#endif
