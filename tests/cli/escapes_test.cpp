// C escapes in TEXT: what each stands for, and the ones refused.
#include "escapes.h"

#include <gtest/gtest.h>

namespace quenlex_cli {
namespace {

TEST(Escapes, StandForTheirBytes) {
    const std::pair<std::string, std::string> rows[] = {
        {"plain", "plain"},
        {"AT\\r\\n", "AT\r\n"},
        {"\\a\\b\\e\\f\\t\\v", "\a\b\x1b\f\t\v"},
        {"\\\\ \\' \\\" \\?", "\\ ' \" ?"},
        {"\\x02data\\x03",
         "\x02"
         "data\x03"},
        {"\\xff\\xFF\\x7", "\xff\xff\x07"},
        {"\\x414", "A4"},  // at most two hex digits
        {"\\101\\7\\0101", std::string("A\x07\x08"
                                       "1")},
        {"\\377", "\xff"},
        {"\\0", std::string(1, '\0')},
        {"", ""},
    };
    for (const auto &[typed, bytes] : rows) {
        Unescaped result = unescape(typed);
        EXPECT_TRUE(result.ok) << typed << ": " << result.error;
        EXPECT_EQ(result.bytes, bytes) << typed;
    }
}

TEST(Escapes, RefusesWhatStandsForNothing) {
    const std::pair<std::string, std::string> rows[] = {
        {"\\q", "unknown escape \\q"},
        {"ok\\", "a backslash at the end starts no escape"},
        {"\\x", "\\x needs one or two hex digits"},
        {"\\xZ1", "\\x needs one or two hex digits"},
        {"\\400", "octal escape \\400 is above \\377"},
        {"\\8", "unknown escape \\8"},
    };
    for (const auto &[typed, error] : rows) {
        Unescaped result = unescape(typed);
        EXPECT_FALSE(result.ok) << typed;
        EXPECT_EQ(result.error, error) << typed;
    }
}

TEST(Escapes, QuotedBytesReadBackTheSame) {
    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    std::string quoted = quote_bytes(all);
    ASSERT_EQ(quoted.front(), '"');
    ASSERT_EQ(quoted.back(), '"');
    Unescaped back = unescape(quoted.substr(1, quoted.size() - 2));
    ASSERT_TRUE(back.ok) << back.error;
    EXPECT_EQ(back.bytes, all);
    EXPECT_EQ(quote_bytes("OK\r\n"), "\"OK\\r\\n\"");
}

}  // namespace
}  // namespace quenlex_cli
