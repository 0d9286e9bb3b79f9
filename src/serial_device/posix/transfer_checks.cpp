#include "serial_device/posix/transfer_checks.h"

namespace quenlex::posix {

Port *begin_transfer(HANDLE handle, const void *buffer, DWORD size, LPDWORD count,
                     const OVERLAPPED *overlapped, DWORD access_needed) {
    // Callers may look at the count whatever the outcome; it never holds an old value.
    if (count != nullptr) {
        *count = 0;
    }
    Port *port = port_from_handle(handle);
    if (port == nullptr) {
        return nullptr;
    }
    // Handles are opened for plain synchronous I/O only, so an OVERLAPPED record is a mistake.
    if (count == nullptr || overlapped != nullptr || (buffer == nullptr && size > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((port->access & access_needed) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (port->pending_error != ERROR_SUCCESS) {
        SetLastError(port->pending_error);
        port->pending_error = ERROR_SUCCESS;
        return nullptr;
    }
    return port;
}

}  // namespace quenlex::posix
