// quenlex_readChar over the recording fake: its loop of one-byte reads and the byte widened
// with its sign.
#include <string>

#include "core_fixture.h"

namespace core_test {
namespace {

struct ReadCharCase {
    const char *label;
    std::size_t empty_reads;  // successful reads that receive nothing, before the last one
    Outcome last;
    int result;
    DWORD error;  // the last error afterwards
};

// Cases print as their labels in test output.
void PrintTo(const ReadCharCase &c, std::ostream *out) { *out << c.label; }

Outcome byte(unsigned char value) {
    Outcome outcome;
    outcome.data = {value};
    return outcome;
}

Outcome failed_with_byte(unsigned char value) {
    Outcome outcome = failing(ERROR_GEN_FAILURE);
    outcome.data = {value};
    return outcome;
}

const ReadCharCase kReadCharCases[] = {
    {"Letter", 0, byte('A'), 'A', kUntouchedError},
    {"ZeroByte", 0, byte(0x00), 0, kUntouchedError},
    {"Byte7F", 0, byte(0x7F), 127, kUntouchedError},
    {"Byte80", 0, byte(0x80), -128, kUntouchedError},
    {"ByteFF", 0, byte(0xFF), -1, kUntouchedError},
    // Nothing within a read's time-out: the next read follows, as long as it takes.
    {"AfterFiveEmptyReads", 5, byte('Z'), 'Z', kUntouchedError},
    {"AfterManyEmptyReads", 2000, byte(0xFE), -2, kUntouchedError},
    // A byte ends the loop whatever the call's own result.
    {"FailedReadWithAByte", 0, failed_with_byte(0x80), -128, ERROR_GEN_FAILURE},
    {"FailedReadWithoutAByte", 0, failing(ERROR_GEN_FAILURE), 0, ERROR_GEN_FAILURE},
    {"FailedReadAfterEmptyReads", 3, failing(ERROR_DEVICE_NOT_CONNECTED), 0,
     ERROR_DEVICE_NOT_CONNECTED},
};

class ReadChar : public CoreTest, public ::testing::WithParamInterface<ReadCharCase> {};

TEST_P(ReadChar, LoopsUntilAByteOrAFailure) {
    const ReadCharCase &c = GetParam();
    HANDLE port = open_port();
    fake::set_last_error(kUntouchedError);
    fake::script_repeated(Op::ReadFile, Outcome{}, c.empty_reads);
    fake::script(Op::ReadFile, c.last);
    // Should the loop go on past its last scripted read, the next one would end it with a
    // byte the table never expects.
    fake::set_default(Op::ReadFile, failed_with_byte('!'));

    EXPECT_EQ(quenlex_readChar(), c.result);
    EXPECT_EQ(fake::last_error(), c.error);

    std::vector<fake::Call> reads = fake::calls_of(Op::ReadFile);
    EXPECT_EQ(reads.size(), c.empty_reads + 1);
    EXPECT_EQ(fake::ops(true).size(), reads.size()) << "a call other than ReadFile was made";
    for (const fake::Call &read : reads) {
        EXPECT_EQ(read.handle, port);
        EXPECT_EQ(read.count, 1u);
        EXPECT_NE(read.buffer, nullptr);
        EXPECT_NE(read.count_ptr, nullptr);
        EXPECT_EQ(read.overlapped, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(Outcomes, ReadChar, ::testing::ValuesIn(kReadCharCases),
                         [](const ::testing::TestParamInfo<ReadCharCase> &info) {
                             return std::string(info.param.label);
                         });

}  // namespace
}  // namespace core_test
