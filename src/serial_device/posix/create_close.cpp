// CreateFileA and CloseHandle: opening a device (or file) and giving it up.
//
// A serial port on Windows is exclusive when opened with sharing 0 and has no line
// discipline. Here exclusivity is an flock() that every open of ours takes (root is not
// exempt from it) plus TIOCEXCL, which also keeps out other programs that do not lock; and
// a terminal is switched to raw mode as soon as it is opened.
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "serial_device/posix/comm_state.h"
#include "serial_device/posix/dcb_termios.h"
#include "serial_device/posix/eintr.h"
#include "serial_device/posix/errors.h"
#include "serial_device/posix/port.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/termios2.h"

namespace quenlex::posix {
namespace {

// The XON and XOFF characters of a Windows port that was never set up.
constexpr cc_t kDefaultXon = 0x11;
constexpr cc_t kDefaultXoff = 0x13;

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

// Windows tells a missing file (ERROR_FILE_NOT_FOUND) from a missing folder on the way
// (ERROR_PATH_NOT_FOUND); Linux says ENOENT for both. The folder that should hold the
// name decides.
DWORD not_found_error(const char *path) {
    char folder[PATH_MAX];
    size_t length = strnlen(path, sizeof folder);
    if (length == sizeof folder) {
        return ERROR_FILE_NOT_FOUND;  // cannot happen: open() says ENAMETOOLONG first
    }
    std::memcpy(folder, path, length + 1);
    while (length > 1 && folder[length - 1] == '/') {  // "dir/name/" names "dir/name"
        --length;
    }
    while (length > 0 && folder[length - 1] != '/') {
        --length;
    }
    if (length == 0) {
        return ERROR_FILE_NOT_FOUND;  // a bare name: the current folder exists
    }
    folder[length] = '\0';  // keeps the slash, so "/name" asks about "/"
    struct stat status {};
    if (sys.stat(folder, &status) != 0 || !S_ISDIR(status.st_mode)) {
        return ERROR_PATH_NOT_FOUND;
    }
    return ERROR_FILE_NOT_FOUND;
}

// A terminal that another open holds with TIOCEXCL. The kernel already refuses such an
// open to everyone but root; this refuses it to root too, as Windows refuses a second open
// of a port to administrators, and so root's close cannot lift another program's TIOCEXCL.
// 1 held, 0 not (or a kernel too old to tell), -1 with errno when the device fails.
int held_by_another(int fd) {
    int exclusive = 0;
    if (retry_eintr(sys.ioctl, fd, TIOCGEXCL, &exclusive) != 0) {
        return errno == ENOTTY || errno == EINVAL ? 0 : -1;
    }
    return exclusive != 0 ? 1 : 0;
}

// Takes the device for this open alone. flock() fails with EWOULDBLOCK when another open
// (of any process, root's too) holds it; TIOCEXCL then refuses opens of programs that do
// not lock.
bool take_exclusively(int fd, bool set_excl) {
    if (retry_eintr(sys.flock, fd, LOCK_EX | LOCK_NB) != 0) {
        return false;
    }
    if (set_excl && retry_eintr(sys.ioctl, fd, TIOCEXCL, nullptr) != 0 && errno != ENOTTY &&
        errno != EINVAL) {
        return false;
    }
    return true;
}

// Raw mode from the open on. HUPCL drops DTR and RTS when the port is given up, as closing
// a port on Windows does. XON/XOFF characters get their usual values when the device has
// none that could work. tio receives the state the device then reports.
bool prepare_terminal(int fd, termios2 &tio) {
    apply_raw_mode(tio);
    tio.c_cflag |= HUPCL;
    if (tio.c_cc[VSTART] == tio.c_cc[VSTOP]) {
        tio.c_cc[VSTART] = kDefaultXon;
        tio.c_cc[VSTOP] = kDefaultXoff;
    }
    return retry_eintr(sys.ioctl, fd, TCSETS2, &tio) == 0 &&
           retry_eintr(sys.ioctl, fd, TCGETS2, &tio) == 0;
}

// Gives up a descriptor that failed to become a port, keeping errno: lifts the TIOCEXCL this
// open set, which a pseudo-terminal would otherwise keep after the close.
int give_up(int fd, bool holds_excl) {
    int saved = errno;
    if (holds_excl) {
        retry_eintr(sys.ioctl, fd, TIOCNXCL, nullptr);
    }
    sys.close(fd);
    errno = saved;
    return -1;
}

// Opens the device and makes it ours; the descriptor, or -1 with errno set.
int open_device(const char *path, DWORD access, bool exclusive, bool &is_terminal, bool &holds_excl,
                termios2 &tio) {
    int fd;
    do {
        fd = sys.open(path, open_flags(access), 0);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return -1;
    }

    // A folder is no device (Windows refuses to open one this way).
    struct stat status {};
    if (retry_eintr(sys.fstat, fd, &status) != 0) {
        return give_up(fd, false);
    }
    if (S_ISDIR(status.st_mode)) {
        errno = EISDIR;
        return give_up(fd, false);
    }

    // Only "no terminal" (ENOTTY, EINVAL) makes a plain file of it; a device that fails the
    // question (EIO from a line that went away) fails the open.
    is_terminal = retry_eintr(sys.ioctl, fd, TCGETS2, &tio) == 0;
    if (!is_terminal && errno != ENOTTY && errno != EINVAL) {
        return give_up(fd, false);
    }
    if (exclusive && is_terminal) {
        int held = held_by_another(fd);
        if (held != 0) {
            if (held > 0) {
                errno = EBUSY;
            }
            return give_up(fd, false);
        }
    }
    // A query-only probe takes the lock only to see whether it is free; it leaves the
    // terminal's own exclusivity and settings alone, so it disturbs no holder.
    bool set_excl = exclusive && is_terminal && access != 0;
    if (exclusive && !take_exclusively(fd, set_excl)) {
        return give_up(fd, false);
    }
    holds_excl = set_excl;
    if (is_terminal && access != 0 && !prepare_terminal(fd, tio)) {
        return give_up(fd, holds_excl);
    }
    return fd;
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

    bool is_terminal = false;
    bool holds_excl = false;
    termios2 tio{};
    int fd = quenlex::posix::open_device(lpFileName, dwDesiredAccess, dwShareMode == 0, is_terminal,
                                         holds_excl, tio);
    if (fd < 0) {
        if (errno == ENOENT) {
            SetLastError(quenlex::posix::not_found_error(lpFileName));
        } else {
            quenlex::posix::set_last_error_from_errno();
        }
        delete port;
        return INVALID_HANDLE_VALUE;
    }

    port->magic = quenlex::posix::kPortMagic;
    port->fd = fd;
    port->is_terminal = is_terminal;
    port->access = dwDesiredAccess;
    port->holds_excl = holds_excl;
    port->owner_pid = sys.getpid();
    if (is_terminal) {
        quenlex::posix::load_line_state(*port, tio);
    }
    return port;
}

BOOL CloseHandle(HANDLE hObject) {
    Port *port = quenlex::posix::port_from_handle(hObject);
    if (port == nullptr) {
        return FALSE;
    }
    // Lift TIOCEXCL so the next open of the device succeeds. Only the opening process does:
    // TIOCEXCL belongs to the device, and a forked child closing its copy of the handle must
    // not free the parent's port. The lock goes with the descriptor (never LOCK_UN, for the
    // same reason).
    if (port->holds_excl && port->owner_pid == sys.getpid()) {
        int saved = errno;
        quenlex::posix::retry_eintr(sys.ioctl, port->fd, TIOCNXCL, nullptr);
        errno = saved;
    }
    int fd = port->fd;
    port->magic = 0;
    delete port;
    // Linux releases the descriptor even when close() reports an error (EIO from a device
    // that went away, EINTR), so the handle is closed either way. Reporting that as a
    // failure would only overwrite the error code of whatever failure led to the close.
    int saved = errno;
    sys.close(fd);
    errno = saved;
    return TRUE;
}
