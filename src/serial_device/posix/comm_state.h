// The line state of a terminal as the comm operations see it.
#ifndef QUENLEX_POSIX_COMM_STATE_H
#define QUENLEX_POSIX_COMM_STATE_H

#include "serial_device/posix/port.h"
#include "serial_device/posix/termios2.h"

namespace quenlex::posix {

// Fills port.dcb from what the terminal reports right after the open (tio), so that a
// GetCommState straight after CreateFileA describes the device as it is. The fields
// termios lacks get the defaults of a freshly opened Windows port.
void load_line_state(Port &port, const termios2 &tio);

}  // namespace quenlex::posix

#endif
