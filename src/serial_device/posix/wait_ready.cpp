#include "serial_device/posix/wait_ready.h"

#include <poll.h>

#include <cerrno>

namespace quenlex::posix {

WaitResult wait_ready(int fd, short events, const Deadline &deadline) {
    for (;;) {
        timespec left{};
        if (!deadline.time_left(monotonic_now(), &left)) {
            return WaitResult::timed_out;
        }
        pollfd entry{fd, events, 0};
        int count = sys.ppoll(&entry, 1, deadline.is_never() ? nullptr : &left, nullptr);
        if (count < 0) {
            if (errno == EINTR) {
                continue;  // re-armed with the remaining time by the next time_left()
            }
            return WaitResult::failed;
        }
        if (count == 0) {
            continue;  // the deadline (or a day-long slice of it) passed: checked above
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
