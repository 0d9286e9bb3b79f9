// Modem lines for pseudo-terminals, in the libserialport worker only.
//
// A pseudo-terminal has no modem lines: TIOCMGET and its kin fail with ENOTTY, and
// libserialport 0.1.1 then refuses to open the port. This definition of ioctl() takes the
// place of the C library's for the worker's process (an executable's symbols come first);
// it passes every request to the kernel unchanged and only answers those four requests on
// a terminal that lacks the lines, as a port with all lines up would. Reads, writes and
// waits never pass through here.
#include <asm/termios.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>

namespace {

// The lines of every port without its own: DTR and RTS as set, the inputs up.
int emulated_lines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;

bool is_modem_request(unsigned long request) {
    return request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC;
}

bool is_terminal(int fd) {
    struct termios2 tio {};
    return syscall(SYS_ioctl, fd, TCGETS2, &tio) == 0;
}

int answer(unsigned long request, int *arg) {
    constexpr int kOutputs = TIOCM_DTR | TIOCM_RTS;
    switch (request) {
        case TIOCMGET:
            *arg = emulated_lines;
            break;
        case TIOCMSET:
            emulated_lines = (emulated_lines & ~kOutputs) | (*arg & kOutputs);
            break;
        case TIOCMBIS:
            emulated_lines |= *arg & kOutputs;
            break;
        default:  // TIOCMBIC
            emulated_lines &= ~(*arg & kOutputs);
            break;
    }
    return 0;
}

}  // namespace

// Visible, although the build hides symbols by default: the dynamic linker must see it.
extern "C" __attribute__((visibility("default"))) int ioctl(int fd, unsigned long request,
                                                            ...) noexcept {
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    long result = syscall(SYS_ioctl, fd, request, arg);
    if (result != 0 && errno == ENOTTY && is_modem_request(request) && arg != nullptr &&
        is_terminal(fd)) {
        return answer(request, static_cast<int *>(arg));
    }
    return static_cast<int>(result);
}
