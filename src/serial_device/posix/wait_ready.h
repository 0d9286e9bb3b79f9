// Waiting for a descriptor to become readable or writable, up to a deadline.
#ifndef QUENLEX_POSIX_WAIT_READY_H
#define QUENLEX_POSIX_WAIT_READY_H

#include "serial_device/posix/deadline.h"

namespace quenlex::posix {

enum class WaitResult {
    ready,      // the events asked for (possibly together with a hang-up: try the I/O first)
    timed_out,  // the deadline passed
    hung_up,    // the device went away (POLLHUP or POLLERR without the events asked for)
    failed,     // ppoll() itself failed; errno tells why
};

// Blocks in ppoll() until `events` (POLLIN or POLLOUT) are reported on `fd` or the deadline
// passes. A signal does not end the wait: it goes on with the time that is left.
WaitResult wait_ready(int fd, short events, const Deadline &deadline);

}  // namespace quenlex::posix

#endif
