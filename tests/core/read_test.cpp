// quenlex_read over the recording fake: a table of (first read, second read) outcomes and
// what each leaves in a poisoned buffer.
#include <optional>
#include <string>

#include "core_fixture.h"

namespace core_test {
namespace {

constexpr unsigned char kPoison = 0xCC;
constexpr std::size_t kGuard = 8;  // poisoned bytes behind the buffer, to see overruns

Outcome received(const std::string &bytes) {
    Outcome outcome;
    outcome.data.assign(bytes.begin(), bytes.end());
    return outcome;
}

Outcome failed_after(DWORD error, const std::string &bytes) {
    Outcome outcome = failing(error);
    outcome.data.assign(bytes.begin(), bytes.end());
    return outcome;
}

struct ReadCase {
    const char *label;
    int buffer_size;
    Outcome first;
    std::optional<Outcome> second;  // none: no second read may be made
    int result;
    std::string stored;  // the buffer's bytes from index 0 on; everything after stays poisoned
    DWORD error;         // the last error afterwards
};

// Cases print as their labels in test output.
void PrintTo(const ReadCase &c, std::ostream *out) { *out << c.label; }

const ReadCase kReadCases[] = {
    {"FirstFails", 16, failing(ERROR_GEN_FAILURE), std::nullopt, 0, "", ERROR_GEN_FAILURE},
    // A failed first call is a failure even if it stored a byte; the library adds nothing.
    {"FirstFailsWithAByte", 16, failed_after(ERROR_GEN_FAILURE, "Q"), std::nullopt, 0, "Q",
     ERROR_GEN_FAILURE},
    {"FirstEmpty", 16, received(""), std::nullopt, 0, "", kUntouchedError},
    {"SecondFails", 16, received("A"), failing(ERROR_GEN_FAILURE), 1, std::string("A\0", 2),
     ERROR_GEN_FAILURE},
    // What a failed second call stored is not counted; the terminator goes over its first byte.
    {"SecondFailsAfterStoring", 16, received("A"), failed_after(ERROR_GEN_FAILURE, "xyz"), 1,
     std::string("A\0yz", 4), ERROR_GEN_FAILURE},
    {"SecondEmpty", 16, received("A"), received(""), 1, std::string("A\0", 2), kUntouchedError},
    {"SecondOneByte", 16, received("A"), received("B"), 2, std::string("AB\0", 3), kUntouchedError},
    {"SecondSome", 16, received("O"), received("K\r\n"), 4, std::string("OK\r\n\0", 5),
     kUntouchedError},
    // A full burst: the terminator lands in the buffer's last byte.
    {"SecondFillsTheBuffer", 16, received("0"), received("123456789abcde"), 15,
     std::string("0123456789abcde\0", 16), kUntouchedError},
    // Received zero bytes are stored and counted like any other.
    {"ZeroBytesCounted", 16, received(std::string("\0", 1)), received(std::string("\0\x01\0", 3)),
     4, std::string("\0\0\x01\0\0", 5), kUntouchedError},
    {"HighBytes", 16, received("\xff"), received("\x80\xfe"), 3, std::string("\xff\x80\xfe\0", 4),
     kUntouchedError},
    // The smallest buffer: the second read asks for 0 bytes; 1 whatever it does.
    {"SizeTwo", 2, received("A"), received(""), 1, std::string("A\0", 2), kUntouchedError},
    {"SizeTwoSecondFails", 2, received("A"), failing(ERROR_GEN_FAILURE), 1, std::string("A\0", 2),
     ERROR_GEN_FAILURE},
    {"SizeThree", 3, received("A"), received("B"), 2, std::string("AB\0", 3), kUntouchedError},
};

class Read : public CoreTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(Read, CallsAndBuffer) {
    const ReadCase &c = GetParam();
    HANDLE port = open_port();
    fake::set_last_error(kUntouchedError);
    fake::script(Op::ReadFile, c.first);
    if (c.second) {
        fake::script(Op::ReadFile, *c.second);
    }
    std::vector<unsigned char> memory(c.buffer_size + kGuard, kPoison);
    char *buffer = reinterpret_cast<char *>(memory.data());

    EXPECT_EQ(quenlex_read(buffer, c.buffer_size), c.result);
    EXPECT_EQ(fake::last_error(), c.error);

    // First one byte at index 0, then bufferSize - 2 bytes from index 1.
    std::vector<fake::Call> reads = fake::calls_of(Op::ReadFile);
    ASSERT_EQ(reads.size(), c.second ? 2u : 1u);
    EXPECT_EQ(fake::ops(true).size(), reads.size()) << "a call other than ReadFile was made";
    EXPECT_EQ(reads[0].buffer, buffer);
    EXPECT_EQ(reads[0].count, 1u);
    if (c.second) {
        EXPECT_EQ(reads[1].buffer, buffer + 1);
        EXPECT_EQ(reads[1].count, static_cast<DWORD>(c.buffer_size - 2));
    }
    for (const fake::Call &read : reads) {
        EXPECT_EQ(read.handle, port);
        EXPECT_NE(read.count_ptr, nullptr);
        EXPECT_EQ(read.overlapped, nullptr);
    }

    std::string expected = c.stored;
    expected.resize(memory.size(), static_cast<char>(kPoison));
    EXPECT_EQ(std::string(memory.begin(), memory.end()), expected);
}

INSTANTIATE_TEST_SUITE_P(Outcomes, Read, ::testing::ValuesIn(kReadCases),
                         [](const ::testing::TestParamInfo<ReadCase> &info) {
                             return std::string(info.param.label);
                         });

}  // namespace
}  // namespace core_test
