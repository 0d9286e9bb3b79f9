// Placeholder until reads and writes with time-outs land: every request is refused.
#include "serial_device/posix/port.h"

BOOL ReadFile(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
BOOL WriteFile(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) { SetLastError(ERROR_NOT_SUPPORTED); return FALSE; }
