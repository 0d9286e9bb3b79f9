// quenlex_write over the recording fake: one write call of the string's bytes, and the
// result as the table of write outcomes says.
#include <string>

#include "core_fixture.h"

namespace core_test {
namespace {

struct WriteCase {
    const char *label;
    std::string text;  // may hold bytes of any value, but no zero byte
    Outcome write;
    int result;
    DWORD error;  // the last error afterwards
};

// Cases print as their labels in test output.
void PrintTo(const WriteCase &c, std::ostream *out) { *out << c.label; }

Outcome wrote(BOOL result, DWORD count) {
    Outcome outcome;
    outcome.result = result;
    outcome.written = count;
    return outcome;
}

Outcome write_failed(DWORD error, DWORD count) {
    Outcome outcome = failing(error);
    outcome.written = count;
    return outcome;
}

const WriteCase kWriteCases[] = {
    {"Command", "AT+GMR\r\n", wrote(TRUE, 8), 1, kUntouchedError},
    // The platform call's own nonzero result is handed on as it is.
    {"OwnNonzeroResult", "ping", wrote(7, 4), 7, kUntouchedError},
    {"EveryByteValue", "\x01\x7f\x80\xfe\xff", wrote(TRUE, 5), 1, kUntouchedError},
    {"Failed", "hello", write_failed(ERROR_GEN_FAILURE, 0), 0, ERROR_GEN_FAILURE},
    {"FailedAfterSomeBytes", "hello", write_failed(ERROR_GEN_FAILURE, 2), 0, ERROR_GEN_FAILURE},
    // The write time-out ran out: a truncated send is no success.
    {"ShortWrite", "hello", wrote(TRUE, 3), 0, ERROR_TIMEOUT},
    {"NothingHandedOver", "hello", wrote(TRUE, 0), 0, ERROR_TIMEOUT},
    // An empty string still makes its one write, and that call's result is the result.
    {"EmptyString", "", wrote(5, 0), 5, kUntouchedError},
    {"EmptyStringFailed", "", write_failed(ERROR_GEN_FAILURE, 0), 0, ERROR_GEN_FAILURE},
};

class Write : public CoreTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(Write, OneCallOfTheStringsBytes) {
    const WriteCase &c = GetParam();
    HANDLE port = open_port();
    fake::set_last_error(kUntouchedError);
    fake::script(Op::WriteFile, c.write);

    EXPECT_EQ(quenlex_write(c.text.c_str()), c.result);
    EXPECT_EQ(fake::last_error(), c.error);

    std::vector<fake::Call> writes = fake::calls_of(Op::WriteFile);
    ASSERT_EQ(fake::ops(true), std::vector<Op>{Op::WriteFile});
    const fake::Call &call = writes.at(0);
    EXPECT_EQ(call.handle, port);
    EXPECT_EQ(call.buffer, c.text.c_str());  // the caller's own string, not a copy
    EXPECT_EQ(call.count, c.text.size());    // without the terminator
    EXPECT_EQ(std::string(call.written.begin(), call.written.end()), c.text);
    EXPECT_NE(call.count_ptr, nullptr);
    EXPECT_EQ(call.overlapped, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Write, ::testing::ValuesIn(kWriteCases),
                         [](const ::testing::TestParamInfo<WriteCase> &info) {
                             return std::string(info.param.label);
                         });

}  // namespace
}  // namespace core_test
