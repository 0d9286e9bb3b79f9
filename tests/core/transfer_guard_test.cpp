// The data transfer calls that must not reach the platform: no port open, and arguments no
// read or write can be made with. Nothing may be written into the caller's memory.
#include <functional>
#include <string>

#include "core_fixture.h"

namespace core_test {
namespace {

constexpr unsigned char kPoison = 0xCC;
constexpr std::size_t kMemorySize = 32;

struct GuardCase {
    const char *label;
    bool port_open;
    std::function<int(char *memory)> call;
    DWORD error;  // the last error afterwards
};

// Cases print as their labels in test output.
void PrintTo(const GuardCase &c, std::ostream *out) { *out << c.label; }

const GuardCase kGuardCases[] = {
    // With no port the slot's rule comes first: 0, nothing touched, the error code kept.
    {"WriteNoPort", false, [](char *) { return quenlex_write("hello"); }, kUntouchedError},
    {"WriteNullNoPort", false, [](char *) { return quenlex_write(nullptr); }, kUntouchedError},
    {"ReadNoPort", false, [](char *m) { return quenlex_read(m, 16); }, kUntouchedError},
    {"ReadNullNoPort", false, [](char *) { return quenlex_read(nullptr, 16); }, kUntouchedError},
    {"ReadSizeOneNoPort", false, [](char *m) { return quenlex_read(m, 1); }, kUntouchedError},
    {"ReadCharNoPort", false, [](char *) { return quenlex_readChar(); }, kUntouchedError},
    // With a port open, arguments that no call could be made with.
    {"WriteNull", true, [](char *) { return quenlex_write(nullptr); }, ERROR_INVALID_PARAMETER},
    {"ReadNull", true, [](char *) { return quenlex_read(nullptr, 16); }, ERROR_INVALID_PARAMETER},
    {"ReadSizeOne", true, [](char *m) { return quenlex_read(m, 1); }, ERROR_INVALID_PARAMETER},
    {"ReadSizeZero", true, [](char *m) { return quenlex_read(m, 0); }, ERROR_INVALID_PARAMETER},
    {"ReadSizeNegative", true, [](char *m) { return quenlex_read(m, -5); },
     ERROR_INVALID_PARAMETER},
};

class TransferGuard : public CoreTest, public ::testing::WithParamInterface<GuardCase> {};

TEST_P(TransferGuard, NoPlatformCallAndNothingWritten) {
    const GuardCase &c = GetParam();
    if (c.port_open) {
        open_port();
    }
    fake::set_last_error(kUntouchedError);
    // A byte waiting on the port, should a read be made after all.
    fake::set_default(Op::ReadFile, [] {
        Outcome outcome;
        outcome.data = {'X'};
        return outcome;
    }());
    unsigned char memory[kMemorySize];
    std::memset(memory, kPoison, sizeof memory);

    EXPECT_EQ(c.call(reinterpret_cast<char *>(memory)), 0);

    EXPECT_EQ(fake::ops(true), std::vector<Op>{});
    EXPECT_EQ(fake::last_error(), c.error);
    for (unsigned char byte : memory) {
        ASSERT_EQ(byte, kPoison);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TransferGuard, ::testing::ValuesIn(kGuardCases),
                         [](const ::testing::TestParamInfo<GuardCase> &info) {
                             return std::string(info.param.label);
                         });

}  // namespace
}  // namespace core_test
