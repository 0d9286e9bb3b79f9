#include "serial_device/posix/syscalls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace quenlex::posix {
namespace {

int sys_open(const char *path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int sys_ioctl(int fd, unsigned long request, void *argument) {
    return ::ioctl(fd, request, argument);
}

constexpr Syscalls kDefaults = {
    sys_open, ::close, ::read, ::write,  ::ppoll,         sys_ioctl,
    ::flock,  ::fstat, ::stat, ::getpid, ::clock_gettime,
};

}  // namespace

Syscalls sys = kDefaults;

const Syscalls &default_syscalls() { return kDefaults; }

}  // namespace quenlex::posix
