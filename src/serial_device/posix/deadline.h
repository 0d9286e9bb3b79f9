// Moments on CLOCK_MONOTONIC for the read and write time-outs: a change of the wall clock
// neither shortens nor stretches a wait. Kept as timespecs, so no time is lost to rounding
// to milliseconds between the caller's values and ppoll().
#ifndef QUENLEX_POSIX_DEADLINE_H
#define QUENLEX_POSIX_DEADLINE_H

#include <time.h>

#include <cstdint>

#include "serial_device/posix/syscalls.h"

namespace quenlex::posix {

constexpr long kNanosPerSecond = 1000000000L;

inline timespec monotonic_now() {
    timespec now{};
    sys.clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

inline bool earlier_than(const timespec &a, const timespec &b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// A moment by which a wait must end, or none at all.
class Deadline {
  public:
    static Deadline never() { return Deadline{}; }

    // `ms` milliseconds after `from`. The full 64-bit range of MAXDWORD x MAXDWORD + MAXDWORD
    // fits: it is about 1.8e16 seconds, far below what time_t holds.
    static Deadline after_ms(const timespec &from, std::uint64_t ms) {
        Deadline deadline;
        deadline.never_ = false;
        deadline.at_.tv_sec = from.tv_sec + static_cast<time_t>(ms / 1000);
        deadline.at_.tv_nsec = from.tv_nsec + static_cast<long>(ms % 1000) * 1000000L;
        if (deadline.at_.tv_nsec >= kNanosPerSecond) {
            deadline.at_.tv_sec += 1;
            deadline.at_.tv_nsec -= kNanosPerSecond;
        }
        return deadline;
    }

    bool is_never() const { return never_; }

    // Whichever of the two comes first.
    static Deadline earlier(const Deadline &a, const Deadline &b) {
        if (a.never_) {
            return b;
        }
        if (b.never_) {
            return a;
        }
        return earlier_than(a.at_, b.at_) ? a : b;
    }

    // The time from `now` until the deadline, for one ppoll(); false once it has passed.
    // A single wait is capped at a day: the caller waits again after it, so the kernel
    // never sees a time-out near the end of its range.
    bool time_left(const timespec &now, timespec *left) const {
        if (never_) {
            return true;
        }
        if (!earlier_than(now, at_)) {
            return false;
        }
        left->tv_sec = at_.tv_sec - now.tv_sec;
        left->tv_nsec = at_.tv_nsec - now.tv_nsec;
        if (left->tv_nsec < 0) {
            left->tv_sec -= 1;
            left->tv_nsec += kNanosPerSecond;
        }
        constexpr time_t kLongestWait = time_t{24} * 60 * 60;
        if (left->tv_sec >= kLongestWait) {
            left->tv_sec = kLongestWait;
            left->tv_nsec = 0;
        }
        return true;
    }

  private:
    bool never_ = true;
    timespec at_{};
};

}  // namespace quenlex::posix

#endif
