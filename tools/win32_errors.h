// Win32 error codes, as quenlex_getError reports them, put into words for people.
#ifndef QUENLEX_TOOLS_WIN32_ERRORS_H
#define QUENLEX_TOOLS_WIN32_ERRORS_H

#include <string>

namespace quenlex_cli {

// The code's symbolic name, e.g. "ERROR_FILE_NOT_FOUND", or "" for a code not in the table.
const char *win32_error_name(int code);

// What the code means, in a few words, e.g. "the device or file does not exist".
const char *win32_error_words(int code);

// "Win32 error 2 (ERROR_FILE_NOT_FOUND: the device or file does not exist)".
std::string describe_win32_error(int code);

}  // namespace quenlex_cli

#endif
