// Long waits and the kernel's lateness. ppoll() may fire up to 0.1 % of its time-out late
// (0.5 % for a niced thread, and never more than 100 ms), or the timer slack of 50 us,
// whichever is more: 0.5 ms on a 500 ms interval. These cases run wait_ready() on a virtual clock
// against a ppoll() that is always as late as the kernel allows, so they take no real time and
// cannot flake.
#include <gtest/gtest.h>
#include <poll.h>

#include <algorithm>
#include <cstdint>

#include "serial_device/posix/deadline.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/wait_ready.h"

namespace quenlex::test {
namespace {

using quenlex::posix::Deadline;
using quenlex::posix::sys;
using quenlex::posix::WaitResult;

constexpr std::int64_t kSlackNs = 50000;
constexpr std::int64_t kMostLatenessNs = 100000000;

std::int64_t virtual_now = 0;
std::int64_t lateness_divisor = 1000;
int waits = 0;

int virtual_clock(clockid_t, timespec *now) {
    now->tv_sec = static_cast<time_t>(virtual_now / 1000000000);
    now->tv_nsec = static_cast<long>(virtual_now % 1000000000);
    return 0;
}

// Nothing ever becomes ready; every wait ends as late as the kernel may end it.
int latest_ppoll(pollfd *fds, nfds_t, const timespec *timeout, const sigset_t *) {
    ++waits;
    fds[0].revents = 0;
    std::int64_t asked = static_cast<std::int64_t>(timeout->tv_sec) * 1000000000 + timeout->tv_nsec;
    virtual_now += asked + std::max(kSlackNs, std::min(kMostLatenessNs, asked / lateness_divisor));
    return 0;
}

struct LongWaitCase {
    const char *name;
    std::uint64_t wait_ms;
    std::int64_t divisor;  // 1000, or 200 for a niced thread
};

std::ostream &operator<<(std::ostream &out, const LongWaitCase &c) { return out << c.name; }

const LongWaitCase kCases[] = {
    {"ShortWait", 5, 1000},
    {"IntervalTimeout", 500, 1000},
    {"IntervalTimeoutNiced", 500, 200},
    {"LongTotalTimeoutNiced", 3076, 200},
    {"Hours", 3 * 3600 * 1000, 1000},
};

class LongWait : public ::testing::TestWithParam<LongWaitCase> {
  protected:
    void SetUp() override {
        virtual_now = 1000000000;
        waits = 0;
        sys.clock_gettime = virtual_clock;
        sys.ppoll = latest_ppoll;
    }
    void TearDown() override {
        sys.clock_gettime = quenlex::posix::default_syscalls().clock_gettime;
        sys.ppoll = quenlex::posix::default_syscalls().ppoll;
    }
};

TEST_P(LongWait, EndsWithinTheTimerSlackOfItsDeadline) {
    const LongWaitCase &c = GetParam();
    lateness_divisor = c.divisor;
    const std::int64_t start = virtual_now;
    const Deadline deadline = Deadline::after_ms(quenlex::posix::monotonic_now(), c.wait_ms);
    EXPECT_EQ(quenlex::posix::wait_ready(0, POLLIN, deadline), WaitResult::timed_out);
    const std::int64_t late = virtual_now - start - static_cast<std::int64_t>(c.wait_ms) * 1000000;
    EXPECT_GE(late, 0);
    EXPECT_LE(late, kSlackNs);
    EXPECT_LE(waits, 8);  // a few waits, no spinning
}

INSTANTIATE_TEST_SUITE_P(Waits, LongWait, ::testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quenlex::test
