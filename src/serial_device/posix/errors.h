// Win32 error codes on POSIX: the thread's last error and the one errno table.
#ifndef QUENLEX_POSIX_ERRORS_H
#define QUENLEX_POSIX_ERRORS_H

#include "serial_device/serial_device.h"

namespace quenlex::posix {

// The Win32 code for an errno value. ENOTTY maps to ERROR_INVALID_FUNCTION: it only
// reaches here from a comm request on something that is no serial device.
DWORD win32_error_from_errno(int error_number);

// Sets the thread's last error from errno (or from the given errno value).
void set_last_error_from_errno();
void set_last_error_from_errno(int error_number);

}  // namespace quenlex::posix

#endif
