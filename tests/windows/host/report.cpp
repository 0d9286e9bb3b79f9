#include "report.h"

#include <cstdarg>
#include <cstdio>

bool Report::check(const std::string &name, bool ok, const std::string &detail) {
    if (ok) {
        std::printf("pass %s\n", name.c_str());
    } else {
        ++failures_;
        std::printf("fail %s: %s\n", name.c_str(), detail.c_str());
    }
    std::fflush(stdout);
    return ok;
}

void Report::note(const std::string &text) {
    std::printf("# %s\n", text.c_str());
    std::fflush(stdout);
}

std::string format(const char *fmt, ...) {
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    return text;
}
