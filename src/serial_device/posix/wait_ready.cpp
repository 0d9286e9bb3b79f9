#include "serial_device/posix/wait_ready.h"

#include <poll.h>

#include <cerrno>
#include <cstdint>

namespace quenlex::posix {
namespace {

// The kernel lets a ppoll() time-out fire late by 0.1 % of its length (0.5 % in a thread
// with a positive nice value) or by the thread's timer slack (50 us), whichever is more:
// 0.5 ms on a 500 ms interval time-out. A wait longer than this therefore asks for its
// time less that allowance, and what is left is waited again; the last wait is short
// enough for the timer slack alone to apply.
constexpr std::int64_t kLongWaitNs = 10000000;  // 10 ms

timespec allowing_for_lateness(const timespec &left) {
    std::int64_t ns = static_cast<std::int64_t>(left.tv_sec) * kNanosPerSecond + left.tv_nsec;
    if (ns <= kLongWaitNs) {
        return left;
    }
    ns -= ns / 200;
    return {static_cast<time_t>(ns / kNanosPerSecond), static_cast<long>(ns % kNanosPerSecond)};
}

}  // namespace

WaitResult wait_ready(int fd, short events, const Deadline &deadline) {
    for (;;) {
        timespec left{};
        if (!deadline.time_left(monotonic_now(), &left)) {
            return WaitResult::timed_out;
        }
        left = allowing_for_lateness(left);
        pollfd entry{fd, events, 0};
        int count = sys.ppoll(&entry, 1, deadline.is_never() ? nullptr : &left, nullptr);
        if (count < 0) {
            if (errno == EINTR) {
                continue;  // re-armed with the remaining time by the next time_left()
            }
            return WaitResult::failed;
        }
        if (count == 0) {
            continue;  // the deadline, a day-long slice of it or a first part of it passed
        }
        if ((entry.revents & events) != 0) {
            return WaitResult::ready;
        }
        if ((entry.revents & POLLNVAL) != 0) {
            errno = EBADF;
            return WaitResult::failed;
        }
        if ((entry.revents & (POLLHUP | POLLERR)) != 0) {
            return WaitResult::hung_up;
        }
    }
}

}  // namespace quenlex::posix
