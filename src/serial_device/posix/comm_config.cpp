// Placeholder until the configuration record and its dialog land: every request is refused.
#include "serial_device/posix/port.h"

BOOL GetCommConfig(HANDLE, LPCOMMCONFIG, LPDWORD) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL SetCommConfig(HANDLE, LPCOMMCONFIG, DWORD) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL CommConfigDialogA(LPCSTR, HWND, LPCOMMCONFIG) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
