// Signals delivered while a read waits: ppoll() returns EINTR (it is never restarted), and
// the read must wait on with the time that is left, ending when and with what it would have
// without them.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>

#include "pty_port.h"
#include "serial_device/posix/syscalls.h"

namespace quenlex::test {
namespace {

using quenlex::posix::sys;

std::atomic<int> interrupted_waits{0};

// The layer's ppoll, counting the waits that a signal cut short.
int counting_ppoll(pollfd *fds, nfds_t count, const timespec *timeout, const sigset_t *mask) {
    int result = quenlex::posix::default_syscalls().ppoll(fds, count, timeout, mask);
    if (result < 0 && errno == EINTR) {
        ++interrupted_waits;
    }
    return result;
}

void ignore_signal(int) {}

struct InterruptCase {
    const char *name;
    COMMTIMEOUTS timeouts;
    std::vector<Send> peer;
    DWORD size;
    std::string expected;
    long min_ms;
    long max_ms;
};

std::ostream &operator<<(std::ostream &out, const InterruptCase &c) { return out << c.name; }

const InterruptCase kCases[] = {
    {"TotalTimeoutKeepsItsEnd", {0, 0, 300, 0, 0}, {}, 5, "", 300, 3000},
    {"IntervalKeepsItsEnd", {200, 0, 10000, 0, 0}, {{50, "ab"}}, 10, "ab", 245, 5000},
    {"NoTimeoutWaitsForTheCount", {0, 0, 0, 0, 0}, {{300, "abc"}}, 3, "abc", 295, 3000},
};

class InterruptedRead : public PtyPort, public ::testing::WithParamInterface<InterruptCase> {
  protected:
    void SetUp() override {
        PtyPort::SetUp();
        struct sigaction action {};
        action.sa_handler = ignore_signal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART
        ASSERT_EQ(sigaction(SIGALRM, &action, &saved_action_), 0);
        interrupted_waits = 0;
        sys.ppoll = counting_ppoll;
    }

    void TearDown() override {
        sys.ppoll = quenlex::posix::default_syscalls().ppoll;
        sigaction(SIGALRM, &saved_action_, nullptr);
        PtyPort::TearDown();
    }

    struct sigaction saved_action_ {};
};

TEST_P(InterruptedRead, WaitsOnWithTheTimeLeft) {
    const InterruptCase &c = GetParam();
    set_timeouts(c.timeouts);

    // Signals every 5 ms while the read runs (for at most 8 s, so a read that never ends
    // fails the duration check instead of hanging).
    std::atomic<bool> done{false};
    pthread_t reader = pthread_self();
    std::thread signaller([&] {
        Clock::time_point begin = Clock::now();
        while (!done && Clock::now() - begin < std::chrono::seconds(8)) {
            pthread_kill(reader, SIGALRM);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });

    char buffer[16] = {};
    DWORD count = 0;
    Clock::time_point start = start_peer(c.peer);
    BOOL ok = ReadFile(handle_, buffer, c.size, &count, nullptr);
    long took = ms_since(start);
    done = true;
    signaller.join();

    EXPECT_TRUE(ok) << GetLastError();
    EXPECT_EQ(std::string(buffer, count), c.expected);
    EXPECT_GE(took, c.min_ms);
    EXPECT_LE(took, c.max_ms);
    EXPECT_GT(interrupted_waits.load(), 0) << "no signal reached the wait";
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRead, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenlex::test
