// The DTR and RTS output lines. Pseudo-terminals and other devices without modem lines
// answer these requests with ENOTTY (older kernels: EINVAL); such a device is used as it
// is rather than refused.
#ifndef QUENLEX_POSIX_MODEM_LINES_H
#define QUENLEX_POSIX_MODEM_LINES_H

#include "serial_device/serial_device.h"

namespace quenlex::posix {

// Whether an errno from a modem-line request means "this device has no modem lines".
bool no_modem_lines(int error_number);

// Reads the TIOCM_* line bits. False (errno set) when the device has no modem lines or the
// request failed.
bool get_modem_lines(int fd, int &bits);

// Raises or lowers DTR and RTS as the record's fDtrControl and fRtsControl ask. RTS is left
// to the kernel while it does RTS/CTS flow control. False (errno set) only when the device
// has modem lines and refused.
bool set_modem_lines(int fd, const DCB &dcb);

}  // namespace quenlex::posix

#endif
