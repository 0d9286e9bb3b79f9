// The five read time-out values on a pseudo-terminal: one row per rule and special case.
// Durations have wide upper bounds (a loaded machine is slow, never early); each row's
// timing is laid out so that a wrong rule would end the read far outside them.
#include <cstring>

#include "pty_port.h"

namespace quenlex::test {
namespace {

struct ReadCase {
    const char *name;
    COMMTIMEOUTS timeouts;  // only the three read values matter here
    std::vector<Send> peer;
    DWORD size;            // bytes asked for
    std::string expected;  // bytes received
    long min_ms;           // the read may not end earlier ...
    long max_ms;           // ... nor later
};

std::ostream &operator<<(std::ostream &out, const ReadCase &c) { return out << c.name; }

constexpr DWORD M = MAXDWORD;

const ReadCase kCases[] = {
    // Ends once the count is in, long before the total time-out.
    {"CountReached", {0, 0, 8000, 0, 0}, {{50, "abcd"}}, 4, "abcd", 40, 4000},
    // multiplier x n + constant with nothing received: success with 0 bytes.
    {"TotalNothingReceived", {0, 10, 200, 0, 0}, {}, 10, "", 300, 3000},
    // The multiplier alone counts per byte asked for.
    {"TotalMultiplierOnly", {0, 100, 0, 0, 0}, {}, 3, "", 300, 3000},
    // The total time-out ends a read that has some bytes but not the count.
    {"TotalAfterSomeBytes", {0, 0, 300, 0, 0}, {{50, "ab"}}, 10, "ab", 300, 3000},
    // The interval ends a burst: 100 ms after its last byte, far before the total.
    {"IntervalEndsBurst", {100, 0, 10000, 0, 0}, {{50, "ab"}, {100, "cd"}}, 10, "abcd", 195, 5000},
    // Each byte restarts the interval: gaps of 100 ms under an interval of 150 ms.
    {"IntervalRestartedByEachByte",
     {150, 0, 10000, 0, 0},
     {{50, "a"}, {150, "b"}, {250, "c"}, {350, "d"}},
     10,
     "abcd",
     495,
     5000},
    // The interval only counts from the first byte: none before it, so nothing ends the wait
    // for the first byte.
    {"IntervalStartsAtFirstByte", {100, 0, 0, 0, 0}, {{400, "a"}}, 10, "a", 495, 5000},
    // All zero: no time-out; only the count ends the read.
    {"AllZeroWaitsForCount", {0, 0, 0, 0, 0}, {{50, "abc"}, {600, "def"}}, 6, "abcdef", 595, 6000},
    // MAXDWORD, 0, 0: what is waiting, at once ...
    {"ImmediateWithBytesWaiting",
     {M, 0, 0, 0, 0},
     {{-1, "xyz"}, {1000, "later"}},
     10,
     "xyz",
     0,
     900},
    // ... and at once with nothing too.
    {"ImmediateWithNothing", {M, 0, 0, 0, 0}, {}, 10, "", 0, 900},
    // MAXDWORD, MAXDWORD, C: bytes waiting come back at once ...
    {"FirstByteWithBytesWaiting", {M, M, 2000, 0, 0}, {{-1, "ab"}, {1000, "cd"}}, 10, "ab", 0, 900},
    // ... else the first byte to arrive within C ends the read with what is there ...
    {"FirstByteArrives", {M, M, 3000, 0, 0}, {{100, "a"}, {1100, "b"}}, 10, "a", 95, 1000},
    // ... and with none within C it is success with 0 bytes.
    {"FirstByteNeverComes", {M, M, 300, 0, 0}, {}, 10, "", 300, 3000},
    // multiplier x n is computed in 64 bits: 0x80000000 x 2 wraps to 0 in 32 bits, which
    // would end the read after the 100 ms constant with nothing.
    {"MultiplierTimesCountDoesNotWrap",
     {0, 0x80000000u, 100, 0, 0},
     {{400, "ab"}},
     2,
     "ab",
     395,
     4000},
};

class ReadTimeouts : public PtyPort, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadTimeouts, EndsByTheRule) {
    const ReadCase &c = GetParam();
    set_timeouts(c.timeouts);

    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    DWORD count = 12345;
    Clock::time_point start = start_peer(c.peer);
    BOOL ok = ReadFile(handle_, buffer, c.size, &count, nullptr);
    long took = ms_since(start);
    join_peer();

    EXPECT_TRUE(ok) << GetLastError();
    EXPECT_EQ(std::string(buffer, count), c.expected);
    EXPECT_EQ(buffer[count], '#') << "a byte stored past the count";
    EXPECT_GE(took, c.min_ms);
    EXPECT_LE(took, c.max_ms);
}

INSTANTIATE_TEST_SUITE_P(AllRules, ReadTimeouts, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// A read that found nothing makes the next one wait before it reads; bytes that are already
// waiting must still come back, at once, under every kind of time-out.
struct QuietCase {
    const char *name;
    COMMTIMEOUTS timeouts;
    DWORD size;
};

std::ostream &operator<<(std::ostream &out, const QuietCase &c) { return out << c.name; }

const QuietCase kQuietCases[] = {
    {"Immediate", {M, 0, 0, 0, 0}, 10},
    {"FirstByte", {M, M, 100, 0, 0}, 10},
    {"Total", {0, 0, 100, 0, 0}, 2},
    {"Interval", {50, 0, 100, 0, 0}, 10},
};

class AfterAnEmptyRead : public PtyPort, public ::testing::WithParamInterface<QuietCase> {};

TEST_P(AfterAnEmptyRead, WaitingBytesStillComeBack) {
    set_timeouts(GetParam().timeouts);
    char buffer[16] = {};
    DWORD count = 99;
    ASSERT_TRUE(ReadFile(handle_, buffer, GetParam().size, &count, nullptr));
    ASSERT_EQ(count, 0u);

    Clock::time_point start = start_peer({{-1, "xy"}});
    EXPECT_TRUE(ReadFile(handle_, buffer, GetParam().size, &count, nullptr)) << GetLastError();
    EXPECT_EQ(std::string(buffer, count), "xy");
    EXPECT_LE(ms_since(start), 900);  // every case returns long before that
}

INSTANTIATE_TEST_SUITE_P(TimeOuts, AfterAnEmptyRead, ::testing::ValuesIn(kQuietCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenlex::test
