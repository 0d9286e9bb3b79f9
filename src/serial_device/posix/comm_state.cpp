// GetCommState and SetCommState: the line state between the Win32 record and termios2.
//
// What termios expresses (speed, framing, parity checking, flow control, the XON/XOFF
// characters) is read from the device each time; everything else (DTR/RTS control, the
// limits and special characters of the Windows driver) is kept with the handle, so
// GetCommState gives back what SetCommState set. A record is checked completely before
// the device is touched, and a device that does not take it is put back as it was.
#include "serial_device/posix/comm_state.h"

#include <cerrno>

#include "serial_device/posix/dcb_termios.h"
#include "serial_device/posix/eintr.h"
#include "serial_device/posix/errors.h"
#include "serial_device/posix/modem_lines.h"
#include "serial_device/posix/syscalls.h"

namespace quenlex::posix {
namespace {

// Flow-control limits of a freshly opened Windows port; Linux sets its own thresholds, so
// these are only kept and reported.
constexpr WORD kDefaultXonLim = 2048;
constexpr WORD kDefaultXoffLim = 512;

// The c_cflag bits a device must take as asked for the record to be in force.
constexpr tcflag_t kCheckedBits = kFramingBits | CRTSCTS;

bool get_termios(int fd, termios2 &tio) { return retry_eintr(sys.ioctl, fd, TCGETS2, &tio) == 0; }

bool set_termios(int fd, const termios2 &tio) {
    return retry_eintr(sys.ioctl, fd, TCSETS2, const_cast<termios2 *>(&tio)) == 0;
}

// Puts the device back as it was after a request it did not take, keeping errno.
void restore_termios(int fd, const termios2 &old) {
    int saved = errno;
    set_termios(fd, old);
    errno = saved;
}

// Whether the device runs the framing and flow control it was asked for. A device without
// modem lines (a pseudo-terminal) has no wire to frame: it reports 8 data bits without
// parity whatever it is given, so what it reports there is no refusal.
bool took_framing(int fd, const termios2 &asked, const termios2 &applied) {
    if (((asked.c_cflag ^ applied.c_cflag) & kCheckedBits) == 0) {
        return true;
    }
    int lines = 0;
    return !get_modem_lines(fd, lines) && no_modem_lines(errno);
}

}  // namespace

void load_line_state(Port &port, const termios2 &tio) {
    DCB defaults{};
    defaults.XonLim = kDefaultXonLim;
    defaults.XoffLim = kDefaultXoffLim;
    // The kernel raises DTR and RTS on open; where the lines can be read, say what they are.
    defaults.fDtrControl = DTR_CONTROL_ENABLE;
    defaults.fRtsControl = RTS_CONTROL_ENABLE;
    int saved = errno;
    int lines = 0;
    if (get_modem_lines(port.fd, lines)) {
        defaults.fDtrControl = (lines & TIOCM_DTR) != 0 ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        defaults.fRtsControl = (lines & TIOCM_RTS) != 0 ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    errno = saved;
    port.dcb = dcb_from_termios(tio, defaults);
    port.framing_cflag = tio.c_cflag;
}

}  // namespace quenlex::posix

using quenlex::posix::Port;
using quenlex::posix::port_from_handle;

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    Port *port = port_from_handle(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    if (lpDCB == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    termios2 tio{};
    if (!quenlex::posix::get_termios(port->fd, tio)) {
        quenlex::posix::set_last_error_from_errno();  // ENOTTY: no serial device
        return FALSE;
    }
    DCB dcb = quenlex::posix::dcb_from_termios(tio, port->dcb);
    // A device that cannot hold the framing (a pseudo-terminal) reports what was set, as long
    // as nobody has changed its framing since.
    if ((tio.c_cflag & quenlex::posix::kFramingBits) ==
        (port->framing_cflag & quenlex::posix::kFramingBits)) {
        dcb.ByteSize = port->dcb.ByteSize;
        dcb.Parity = port->dcb.Parity;
        dcb.StopBits = port->dcb.StopBits;
    }
    *lpDCB = dcb;
    return TRUE;
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    Port *port = port_from_handle(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    if (lpDCB == nullptr || !quenlex::posix::dcb_is_valid(*lpDCB)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DCB dcb = *lpDCB;
    dcb.DCBlength = sizeof(DCB);
    dcb.fBinary = TRUE;  // the only mode there is, on Windows as here

    termios2 old{};
    if (!quenlex::posix::get_termios(port->fd, old)) {
        quenlex::posix::set_last_error_from_errno();  // ENOTTY: no serial device
        return FALSE;
    }
    termios2 asked = old;
    quenlex::posix::termios_from_dcb(dcb, asked);
    if (!quenlex::posix::set_termios(port->fd, asked)) {
        quenlex::posix::set_last_error_from_errno();  // EINVAL: a speed the driver refuses
        return FALSE;
    }

    termios2 applied{};
    if (!quenlex::posix::get_termios(port->fd, applied)) {
        quenlex::posix::set_last_error_from_errno();
        quenlex::posix::restore_termios(port->fd, old);
        return FALSE;
    }
    // Linux drivers quietly fall back to framing they can do; Windows drivers refuse.
    if (!quenlex::posix::took_framing(port->fd, asked, applied)) {
        quenlex::posix::restore_termios(port->fd, old);
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!quenlex::posix::set_modem_lines(port->fd, dcb)) {
        quenlex::posix::set_last_error_from_errno();
        quenlex::posix::restore_termios(port->fd, old);
        return FALSE;
    }

    port->dcb = dcb;
    port->framing_cflag = applied.c_cflag;
    return TRUE;
}
