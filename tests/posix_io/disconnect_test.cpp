// A device that goes away: the call fails at once with a nonzero code, never hangs or
// spins, and bytes taken from the device before the failure are returned first.
#include <cerrno>

#include "pty_port.h"
#include "serial_device/posix/syscalls.h"

namespace quenlex::test {
namespace {

using quenlex::posix::sys;

constexpr DWORD M = MAXDWORD;

// The codes a vanished device is reported with.
bool is_disconnect_code(DWORD code) {
    return code == ERROR_DEVICE_NOT_CONNECTED || code == ERROR_GEN_FAILURE;
}

struct HangUpCase {
    const char *name;
    COMMTIMEOUTS timeouts;
    DWORD size;
};

std::ostream &operator<<(std::ostream &out, const HangUpCase &c) { return out << c.name; }

// Every kind of wait a read can be in when the peer hangs up, each far longer than the
// bound on how soon it must end.
const HangUpCase kWaits[] = {
    {"NoTimeout", {0, 0, 0, 0, 0}, 10},
    {"TotalTimeout", {0, 0, 8000, 0, 0}, 10},
    {"FirstByteTimeout", {M, M, 8000, 0, 0}, 10},
    {"LibraryTimeouts", {500, 3, 2, 3, 2}, 4000},
};

class HangUpWhileReading : public PtyPort, public ::testing::WithParamInterface<HangUpCase> {};

TEST_P(HangUpWhileReading, FailsPromptly) {
    set_timeouts(GetParam().timeouts);
    std::vector<char> buffer(GetParam().size);
    DWORD count = 0;
    Clock::time_point start = start_peer({{100, "", true}});
    BOOL ok = ReadFile(handle_, buffer.data(), GetParam().size, &count, nullptr);
    long took = ms_since(start);

    EXPECT_FALSE(ok);
    EXPECT_TRUE(is_disconnect_code(GetLastError())) << GetLastError();
    EXPECT_EQ(count, 0u);
    EXPECT_GE(took, 95);
    EXPECT_LE(took, 2000);
}

INSTANTIATE_TEST_SUITE_P(Waits, HangUpWhileReading, ::testing::ValuesIn(kWaits),
                         [](const auto &info) { return std::string(info.param.name); });

using Disconnect = PtyPort;

TEST_F(Disconnect, BytesBeforeTheHangUpComeFirst) {
    set_timeouts({0, 0, 0, 0, 0});
    char buffer[10] = {};
    DWORD count = 0;
    Clock::time_point start = start_peer({{50, "abc"}, {200, "", true}});
    EXPECT_TRUE(ReadFile(handle_, buffer, sizeof buffer, &count, nullptr)) << GetLastError();
    EXPECT_EQ(std::string(buffer, count), "abc");
    join_peer();

    // The next call fails with the error, and so does the one after it: neither waits.
    for (int call = 0; call < 2; ++call) {
        EXPECT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &count, nullptr));
        EXPECT_TRUE(is_disconnect_code(GetLastError())) << GetLastError();
        EXPECT_EQ(count, 0u);
    }
    EXPECT_LE(ms_since(start), 3000);
}

TEST_F(Disconnect, ReadAfterTheHangUpFailsAtOnce) {
    hang_up();
    set_timeouts({0, 0, 0, 0, 0});
    char buffer[4];
    DWORD count = 0;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(ReadFile(handle_, buffer, sizeof buffer, &count, nullptr));
    EXPECT_TRUE(is_disconnect_code(GetLastError())) << GetLastError();
    EXPECT_LE(ms_since(start), 2000);
}

TEST_F(Disconnect, WriteToAHungUpPeerFails) {
    hang_up();
    set_timeouts({0, 0, 0, 0, 0});
    DWORD count = 99;
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(WriteFile(handle_, "hello", 5, &count, nullptr));
    EXPECT_TRUE(is_disconnect_code(GetLastError())) << GetLastError();
    EXPECT_EQ(count, 0u);
    EXPECT_LE(ms_since(start), 2000);
}

// A read error right after bytes were taken: they come back with success, the error is
// reported by the next call (of either kind) and only once.
int reads_seen = 0;
ssize_t read_then_fail(int fd, void *buffer, size_t count) {
    if (++reads_seen == 2) {
        errno = EIO;
        return -1;
    }
    return quenlex::posix::default_syscalls().read(fd, buffer, count);
}

class PendingError : public PtyPort {
  protected:
    void TearDown() override {
        sys.read = quenlex::posix::default_syscalls().read;
        PtyPort::TearDown();
    }
};

TEST_F(PendingError, ComesWithTheNextCallOnce) {
    set_timeouts({0, 0, 2000, 0, 0});
    reads_seen = 0;
    sys.read = read_then_fail;
    // The first read takes "abc"; the one after "d" arrives fails.
    start_peer({{-1, "abc"}, {50, "d"}});

    char buffer[10] = {};
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(handle_, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "abc");
    join_peer();

    count = 99;
    EXPECT_FALSE(WriteFile(handle_, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    EXPECT_EQ(count, 0u);

    // Reported once: the port works again, and "d" was kept for this read.
    set_timeouts({M, 0, 0, 0, 0});
    EXPECT_TRUE(ReadFile(handle_, buffer, sizeof buffer, &count, nullptr)) << GetLastError();
    EXPECT_EQ(std::string(buffer, count), "d");
}

}  // namespace
}  // namespace quenlex::test
