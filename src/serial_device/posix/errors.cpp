// The thread's last error code, and errno translated to Win32 codes in one table.
#include "serial_device/posix/errors.h"

#include <cerrno>

namespace quenlex::posix {
namespace {

thread_local DWORD last_error = ERROR_SUCCESS;

struct ErrnoMapping {
    int error_number;
    DWORD win32_error;
};

// clang-format off
constexpr ErrnoMapping kErrnoTable[] = {
    {ENOENT,       ERROR_FILE_NOT_FOUND},
    {ENOTDIR,      ERROR_PATH_NOT_FOUND},
    {ELOOP,        ERROR_PATH_NOT_FOUND},
    {EMFILE,       ERROR_TOO_MANY_OPEN_FILES},
    {ENFILE,       ERROR_TOO_MANY_OPEN_FILES},
    {EACCES,       ERROR_ACCESS_DENIED},
    {EPERM,        ERROR_ACCESS_DENIED},
    {EBUSY,        ERROR_ACCESS_DENIED},
    {EWOULDBLOCK,  ERROR_ACCESS_DENIED},         // from flock(): the port is held by another open
    {EROFS,        ERROR_ACCESS_DENIED},
    {EISDIR,       ERROR_ACCESS_DENIED},
    {EBADF,        ERROR_INVALID_HANDLE},
    {ENOMEM,       ERROR_NOT_ENOUGH_MEMORY},
    {EINVAL,       ERROR_INVALID_PARAMETER},
    {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
    {ENOTTY,       ERROR_INVALID_FUNCTION},      // a comm request on something that is no terminal
    {EIO,          ERROR_GEN_FAILURE},
    {ENXIO,        ERROR_DEVICE_NOT_CONNECTED},
    {ENODEV,       ERROR_DEVICE_NOT_CONNECTED},
    {ETIMEDOUT,    ERROR_TIMEOUT},
    {EOPNOTSUPP,   ERROR_NOT_SUPPORTED},
    {ECANCELED,    ERROR_OPERATION_ABORTED},
};
// clang-format on

}  // namespace

DWORD win32_error_from_errno(int error_number) {
    for (const ErrnoMapping &mapping : kErrnoTable) {
        if (mapping.error_number == error_number) {
            return mapping.win32_error;
        }
    }
    return ERROR_GEN_FAILURE;
}

void set_last_error_from_errno(int error_number) {
    last_error = win32_error_from_errno(error_number);
}

void set_last_error_from_errno() { set_last_error_from_errno(errno); }

}  // namespace quenlex::posix

DWORD GetLastError() { return quenlex::posix::last_error; }

void SetLastError(DWORD dwErrCode) { quenlex::posix::last_error = dwErrCode; }
