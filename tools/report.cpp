#include "report.h"

#include <cstdio>

#include "win32_errors.h"

namespace quenlex_cli {

void report_failure(const std::string &operation, int win32_error) {
    std::fprintf(stderr, "quenlex: %s failed: %s\n", operation.c_str(),
                 describe_win32_error(win32_error).c_str());
}

void report_problem(const std::string &what) {
    std::fprintf(stderr, "quenlex: %s\n", what.c_str());
}

std::string hex_bytes(const std::string &bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0f];
    }
    return text;
}

}  // namespace quenlex_cli
