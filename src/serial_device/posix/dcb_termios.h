// The mapping between the Win32 line-state record and Linux's termios2. Pure functions: no
// device and no system call, so each rule can be read (and tested) on its own.
#ifndef QUENLEX_POSIX_DCB_TERMIOS_H
#define QUENLEX_POSIX_DCB_TERMIOS_H

#include "serial_device/posix/termios2.h"
#include "serial_device/serial_device.h"

namespace quenlex::posix {

// The c_cflag bits that carry the character framing: data bits, parity and stop bits.
constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

// Whether some device could take the record. SetCommState refuses the others before it
// touches the device.
bool dcb_is_valid(const DCB &dcb);

// Whether the record asks for the kernel's RTS/CTS flow control (CRTSCTS): output waits for
// CTS and the kernel drives RTS. Asked for by fOutxCtsFlow with RTS handshake or enable.
bool wants_crtscts(const DCB &dcb);

// No line discipline: no echo, no canonical lines, no CR/LF or case translation, no signal
// or flow characters, no byte stripped, marked or dropped. Speed and framing are untouched.
void apply_raw_mode(termios2 &tio);

// Writes into tio what the record says about speed, framing, flow control and the XON/XOFF
// characters, over raw mode. Every other bit of tio (HUPCL, the other control characters)
// stays as it was.
void termios_from_dcb(const DCB &dcb, termios2 &tio);

// The record as the device reports it: `kept` (the fields termios cannot express) with
// every field that termios does express replaced by what tio says.
DCB dcb_from_termios(const termios2 &tio, const DCB &kept);

// The output speed tio sets, in bits per second.
DWORD baud_rate_from_termios(const termios2 &tio);

}  // namespace quenlex::posix

#endif
