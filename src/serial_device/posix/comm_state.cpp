// Placeholder until the line-state mapping lands: every request is refused.
#include "serial_device/posix/port.h"

BOOL GetCommState(HANDLE, LPDCB) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL SetCommState(HANDLE, LPDCB) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
