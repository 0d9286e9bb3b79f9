// SetCommTimeouts / GetCommTimeouts and SetupComm. The time-outs are kept with the handle
// for ReadFile and WriteFile to use. Linux sizes a terminal's buffers itself, so SetupComm
// only checks and records the sizes asked for.
#include "serial_device/posix/port.h"

using quenlex::posix::Port;
using quenlex::posix::port_from_handle;

namespace {

// The comm requests below make sense only on a terminal, as on Windows only on a comm device.
Port *comm_port(HANDLE handle) {
    Port *port = port_from_handle(handle);
    if (port != nullptr && !port->is_terminal) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return nullptr;
    }
    return port;
}

}  // namespace

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    Port *port = comm_port(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    if (lpCommTimeouts == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    port->timeouts = *lpCommTimeouts;
    return TRUE;
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    Port *port = comm_port(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    if (lpCommTimeouts == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *lpCommTimeouts = port->timeouts;
    return TRUE;
}

BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    Port *port = comm_port(hFile);
    if (port == nullptr) {
        return FALSE;
    }
    if (dwInQueue == 0 || dwOutQueue == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    port->in_queue = dwInQueue;
    port->out_queue = dwOutQueue;
    return TRUE;
}
