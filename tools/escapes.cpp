#include "escapes.h"

#include <cstdio>

namespace quenlex_cli {
namespace {

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_octal(char c) { return c >= '0' && c <= '7'; }

// The byte a one-letter escape stands for, or -1.
int simple_escape(char c) {
    switch (c) {
        case 'a':
            return '\a';
        case 'b':
            return '\b';
        case 'e':
            return 0x1b;
        case 'f':
            return '\f';
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case 'v':
            return '\v';
        case '\\':
            return '\\';
        case '\'':
            return '\'';
        case '"':
            return '"';
        case '?':
            return '?';
        default:
            return -1;
    }
}

Unescaped failure(std::string error) {
    Unescaped result;
    result.error = std::move(error);
    return result;
}

}  // namespace

Unescaped unescape(const std::string &text) {
    Unescaped result;
    std::size_t i = 0;
    while (i < text.size()) {
        char c = text[i++];
        if (c != '\\') {
            result.bytes += c;
            continue;
        }
        if (i == text.size()) {
            return failure("a backslash at the end starts no escape");
        }
        char kind = text[i++];
        int simple = simple_escape(kind);
        if (simple >= 0) {
            result.bytes += static_cast<char>(simple);
        } else if (kind == 'x') {
            int value = 0;
            int digits = 0;
            while (digits < 2 && i < text.size() && hex_value(text[i]) >= 0) {
                value = value * 16 + hex_value(text[i++]);
                ++digits;
            }
            if (digits == 0) {
                return failure("\\x needs one or two hex digits");
            }
            result.bytes += static_cast<char>(value);
        } else if (is_octal(kind)) {
            int value = kind - '0';
            int digits = 1;
            while (digits < 3 && i < text.size() && is_octal(text[i])) {
                value = value * 8 + (text[i++] - '0');
                ++digits;
            }
            if (value > 0377) {
                return failure("octal escape \\" + text.substr(i - digits, digits) +
                               " is above \\377");
            }
            result.bytes += static_cast<char>(value);
        } else {
            return failure(std::string("unknown escape \\") + kind);
        }
    }
    result.ok = true;
    return result;
}

std::string quote_bytes(const std::string &bytes) {
    std::string text = "\"";
    for (char c : bytes) {
        unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\\':
                text += "\\\\";
                break;
            case '"':
                text += "\\\"";
                break;
            default:
                if (byte >= 0x20 && byte < 0x7f) {
                    text += c;
                } else {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", byte);
                    text += hex;
                }
        }
    }
    text += '"';
    return text;
}

}  // namespace quenlex_cli
