// CreateFileA and CloseHandle: opening a device (or file) and giving it up.
//
// A serial port on Windows is exclusive when opened with sharing 0 and has no line
// discipline. Here exclusivity is an flock() that every open of ours takes (root is not
// exempt from it) plus TIOCEXCL, which also keeps out other programs that do not lock; and
// a terminal is switched to raw mode as soon as it is opened.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "serial_device/posix/errors.h"
#include "serial_device/posix/port.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/termios2.h"

namespace quenlex::posix {
namespace {

// Closes a descriptor, keeping errno as it was: it is used on failure paths.
void close_quietly(int fd) {
    int saved = errno;
    sys.close(fd);
    errno = saved;
}

int open_flags(DWORD access) {
    // Never wait for a modem line in open(); I/O waits in poll(), never in read().
    int flags = O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
    bool reading = (access & GENERIC_READ) != 0;
    bool writing = (access & GENERIC_WRITE) != 0;
    if (reading && writing) {
        flags |= O_RDWR;
    } else if (writing) {
        flags |= O_WRONLY;
    } else {
        flags |= O_RDONLY;  // reading, or a query-only probe
    }
    return flags;
}

// Takes the device for this open alone. flock() fails with EWOULDBLOCK when another open
// (of any process, root's too) holds it; TIOCEXCL then refuses opens of programs that do
// not lock.
bool take_exclusively(int fd, bool set_excl) {
    if (sys.flock(fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    if (set_excl && sys.ioctl(fd, TIOCEXCL, nullptr) != 0 && errno != ENOTTY &&
        errno != EINVAL) {
        return false;
    }
    return true;
}

// No line discipline: no echo, no canonical lines, no CR/LF translation, no signal or
// flow characters acted on, 8 bits through unchanged. Speed and framing are left as they
// are; SetCommState sets those.
bool make_raw(int fd) {
    termios2 tio{};
    if (sys.ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE |
                                          ECHOK | ECHOCTL | ECHOKE);
    tio.c_cflag |= CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return sys.ioctl(fd, TCSETS2, &tio) == 0;
}

}  // namespace

Port *port_from_handle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    Port *port = static_cast<Port *>(handle);
    if (port->magic != kPortMagic) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return port;
}

}  // namespace quenlex::posix

using quenlex::posix::Port;
using quenlex::posix::sys;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/, DWORD dwCreationDisposition,
                   DWORD /*dwFlagsAndAttributes*/, HANDLE /*hTemplateFile*/) {
    if (lpFileName == nullptr || dwCreationDisposition != OPEN_EXISTING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (lpFileName[0] == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }

    Port *port = new (std::nothrow) Port{};
    if (port == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }

    int fd;
    do {
        fd = sys.open(lpFileName, quenlex::posix::open_flags(dwDesiredAccess), 0);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        quenlex::posix::set_last_error_from_errno();
        delete port;
        return INVALID_HANDLE_VALUE;
    }

    termios2 tio{};
    bool is_terminal = sys.ioctl(fd, TCGETS2, &tio) == 0;
    bool exclusive = dwShareMode == 0;
    // A query-only probe takes the lock only to see whether it is free; it leaves the
    // terminal's own exclusivity alone, so closing it cannot lift another open's TIOCEXCL.
    bool set_excl = is_terminal && dwDesiredAccess != 0;
    bool ok = (!exclusive || quenlex::posix::take_exclusively(fd, set_excl)) &&
              (!is_terminal || dwDesiredAccess == 0 || quenlex::posix::make_raw(fd));
    if (!ok) {
        quenlex::posix::set_last_error_from_errno();
        quenlex::posix::close_quietly(fd);
        delete port;
        return INVALID_HANDLE_VALUE;
    }

    port->magic = quenlex::posix::kPortMagic;
    port->fd = fd;
    port->is_terminal = is_terminal;
    port->access = dwDesiredAccess;
    port->holds_excl = exclusive && set_excl;
    return port;
}

BOOL CloseHandle(HANDLE hObject) {
    Port *port = quenlex::posix::port_from_handle(hObject);
    if (port == nullptr) {
        return FALSE;
    }
    // Lift TIOCEXCL so the next open of the device succeeds; the lock goes with the
    // descriptor (never LOCK_UN: a forked child closing its copy must not free our port).
    if (port->holds_excl) {
        int saved = errno;
        sys.ioctl(port->fd, TIOCNXCL, nullptr);
        errno = saved;
    }
    int fd = port->fd;
    port->magic = 0;
    delete port;
    if (sys.close(fd) != 0 && errno != EINTR) {
        quenlex::posix::set_last_error_from_errno();
        return FALSE;
    }
    return TRUE;
}
