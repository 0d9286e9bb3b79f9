// Every system call the POSIX layer makes goes through this one table, so tests can
// replace an entry and make the Nth call fail with a chosen errno.
#ifndef QUENLEX_POSIX_SYSCALLS_H
#define QUENLEX_POSIX_SYSCALLS_H

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

namespace quenlex::posix {

struct Syscalls {
    int (*open)(const char *path, int flags, mode_t mode);
    int (*close)(int fd);
    ssize_t (*read)(int fd, void *buffer, size_t count);
    ssize_t (*write)(int fd, const void *buffer, size_t count);
    int (*ppoll)(struct pollfd *fds, nfds_t count, const struct timespec *timeout,
                 const sigset_t *mask);
    int (*ioctl)(int fd, unsigned long request, void *argument);
    int (*flock)(int fd, int operation);
    int (*fstat)(int fd, struct stat *status);
    int (*stat)(const char *path, struct stat *status);
    pid_t (*getpid)();
    int (*clock_gettime)(clockid_t clock, struct timespec *now);
};

// The live table. Its initial entries are thin wrappers over libc; tests may overwrite
// them and must put the originals back (see default_syscalls()).
extern Syscalls sys;

// The table as the library starts with it.
const Syscalls &default_syscalls();

}  // namespace quenlex::posix

#endif
