// What the tool tells a person: failures of library calls with their Win32 codes in words,
// and received bytes as hex.
#ifndef QUENLEX_TOOLS_REPORT_H
#define QUENLEX_TOOLS_REPORT_H

#include <string>

namespace quenlex_cli {

// Prints "quenlex: OPERATION failed: Win32 error N (NAME: words)" to standard error.
void report_failure(const std::string &operation, int win32_error);

// Prints "quenlex: WHAT" to standard error, for failures that have no Win32 code.
void report_problem(const std::string &what);

// "4f 4b 0d 0a": each byte as two hex digits, separated by spaces.
std::string hex_bytes(const std::string &bytes);

}  // namespace quenlex_cli

#endif
