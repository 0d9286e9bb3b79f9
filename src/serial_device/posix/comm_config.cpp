// GetCommConfig and SetCommConfig: the configuration record around the line state. A serial
// port has no provider data here, so the record is the line state with a fixed frame; both
// go through GetCommState and SetCommState, which own the mapping to the device.
#include <cstring>

#include "serial_device/serial_device.h"

namespace {

constexpr DWORD kRecordSize = sizeof(COMMCONFIG);
constexpr WORD kRecordVersion = 1;

}  // namespace

BOOL GetCommConfig(HANDLE hCommDev, LPCOMMCONFIG lpCC, LPDWORD lpdwSize) {
    if (lpCC == nullptr || lpdwSize == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (*lpdwSize < kRecordSize) {
        *lpdwSize = kRecordSize;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // Read into a record of our own first: on failure the caller's stays untouched.
    DCB dcb;
    if (!GetCommState(hCommDev, &dcb)) {
        return FALSE;
    }
    COMMCONFIG config;
    std::memset(&config, 0, sizeof config);
    config.dwSize = kRecordSize;
    config.wVersion = kRecordVersion;
    config.dcb = dcb;
    config.dwProviderSubType = PST_RS232;
    std::memcpy(lpCC, &config, sizeof config);
    *lpdwSize = kRecordSize;
    return TRUE;
}

BOOL SetCommConfig(HANDLE hCommDev, LPCOMMCONFIG lpCC, DWORD dwSize) {
    // The record must be whole, and say so itself.
    if (lpCC == nullptr || dwSize < kRecordSize || lpCC->dwSize < kRecordSize) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DCB dcb = lpCC->dcb;
    return SetCommState(hCommDev, &dcb);
}
