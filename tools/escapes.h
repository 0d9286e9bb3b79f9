// C escapes in text typed on the command line: "AT\r\n", "\x02data\x03".
#ifndef QUENLEX_TOOLS_ESCAPES_H
#define QUENLEX_TOOLS_ESCAPES_H

#include <string>

namespace quenlex_cli {

struct Unescaped {
    bool ok = false;
    std::string bytes;  // the text with its escapes replaced, when ok
    std::string error;  // what is wrong, when not ok
};

// Replaces \a \b \e \f \n \r \t \v \\ \' \" \?, \xH or \xHH (one or two hex digits) and
// \o, \oo or \ooo (octal, at most 377) by the bytes they stand for. Anything else after a
// backslash, a backslash at the end, or an escape that is out of range is an error.
Unescaped unescape(const std::string &text);

// The bytes written as a C string literal: printable ASCII as is, the rest escaped.
std::string quote_bytes(const std::string &bytes);

}  // namespace quenlex_cli

#endif
