#include "serial_device/posix/modem_lines.h"

#include <sys/ioctl.h>

#include <cerrno>

#include "serial_device/posix/dcb_termios.h"
#include "serial_device/posix/eintr.h"
#include "serial_device/posix/syscalls.h"

namespace quenlex::posix {

bool no_modem_lines(int error_number) { return error_number == ENOTTY || error_number == EINVAL; }

bool get_modem_lines(int fd, int &bits) { return retry_eintr(sys.ioctl, fd, TIOCMGET, &bits) == 0; }

bool set_modem_lines(int fd, const DCB &dcb) {
    int raise = 0;
    int lower = 0;
    // Linux has no DTR/DSR handshake: DTR handshake holds DTR raised, as Windows does while
    // its input queue has room.
    (dcb.fDtrControl == DTR_CONTROL_DISABLE ? lower : raise) |= TIOCM_DTR;
    if (!wants_crtscts(dcb)) {
        // Toggle mode's resting level is low. Raising RTS around each transmission is left
        // to the device (RS-485 drivers); this layer does not time it.
        bool rts_low =
            dcb.fRtsControl == RTS_CONTROL_DISABLE || dcb.fRtsControl == RTS_CONTROL_TOGGLE;
        (rts_low ? lower : raise) |= TIOCM_RTS;
    }
    if (raise != 0 && retry_eintr(sys.ioctl, fd, TIOCMBIS, &raise) != 0) {
        return no_modem_lines(errno);
    }
    if (lower != 0 && retry_eintr(sys.ioctl, fd, TIOCMBIC, &lower) != 0) {
        return no_modem_lines(errno);
    }
    return true;
}

}  // namespace quenlex::posix
