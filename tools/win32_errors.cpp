// The codes a caller of the library can meet, on Windows and from the POSIX layer alike.
#include "win32_errors.h"

namespace quenlex_cli {
namespace {

struct ErrorText {
    int code;
    const char *name;
    const char *words;
};

constexpr ErrorText kErrors[] = {
    {0, "ERROR_SUCCESS", "no error was recorded"},
    {1, "ERROR_INVALID_FUNCTION", "the request does not apply: the device is no serial port"},
    {2, "ERROR_FILE_NOT_FOUND", "the device or file does not exist"},
    {3, "ERROR_PATH_NOT_FOUND", "a folder in the device's path does not exist"},
    {4, "ERROR_TOO_MANY_OPEN_FILES", "the process has too many files open"},
    {5, "ERROR_ACCESS_DENIED", "access denied: no permission, or the port is held by another open"},
    {6, "ERROR_INVALID_HANDLE", "the handle is not open"},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {13, "ERROR_INVALID_DATA", "the data is invalid"},
    {21, "ERROR_NOT_READY", "the device is not ready"},
    {22, "ERROR_BAD_COMMAND", "the device does not accept the request"},
    {31, "ERROR_GEN_FAILURE", "the device reported an input/output error"},
    {32, "ERROR_SHARING_VIOLATION", "the port is held by another program"},
    {50, "ERROR_NOT_SUPPORTED", "the request is not supported here"},
    {87, "ERROR_INVALID_PARAMETER", "a setting or argument is invalid (for example the speed)"},
    {121, "ERROR_SEM_TIMEOUT", "the device did not answer in time"},
    {122, "ERROR_INSUFFICIENT_BUFFER", "a record is too small for the device's data"},
    {123, "ERROR_INVALID_NAME", "the name is not a valid device name"},
    {206, "ERROR_FILENAME_EXCED_RANGE", "the device name is too long"},
    {995, "ERROR_OPERATION_ABORTED", "the operation was aborted"},
    {1117, "ERROR_IO_DEVICE", "the device reported an input/output error"},
    {1167, "ERROR_DEVICE_NOT_CONNECTED", "the device is not connected (it went away)"},
    {1223, "ERROR_CANCELLED", "the user cancelled the operation"},
    {1460, "ERROR_TIMEOUT", "the operation ran out of time"},
};

const ErrorText *find(int code) {
    for (const ErrorText &entry : kErrors) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const char *win32_error_name(int code) {
    const ErrorText *entry = find(code);
    return entry != nullptr ? entry->name : "";
}

const char *win32_error_words(int code) {
    const ErrorText *entry = find(code);
    return entry != nullptr ? entry->words : "an error code this tool has no words for";
}

std::string describe_win32_error(int code) {
    std::string text = "Win32 error " + std::to_string(code) + " (";
    const char *name = win32_error_name(code);
    if (*name != '\0') {
        text += name;
        text += ": ";
    }
    text += win32_error_words(code);
    text += ")";
    return text;
}

}  // namespace quenlex_cli
