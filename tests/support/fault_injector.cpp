#include "fault_injector.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "serial_device/posix/syscalls.h"
#include "serial_device/posix/termios2.h"

namespace quenlex::test {
namespace {

using quenlex::posix::Syscalls;

// A table entry added without a wrapper here would bypass the injector: refuse to build.
static_assert(sizeof(Syscalls) == kSysCount * sizeof(void (*)()),
              "the system call table changed: wrap the new entry in the fault injector");

FaultInjector *active = nullptr;

// Returns the errno to fail the call with, 0 to let it through.
int check(Sys entry, unsigned long request = 0) {
    return active == nullptr ? 0 : active->on_call(entry, request);
}

const Syscalls &real() { return quenlex::posix::default_syscalls(); }

int wrap_open(const char *path, int flags, mode_t mode) {
    if (int e = check(Sys::open)) {
        errno = e;
        return -1;
    }
    return real().open(path, flags, mode);
}

// Linux releases the descriptor whatever close() reports (EINTR and EIO included), so a
// failed close is faithfully the real close followed by the error.
int wrap_close(int fd) {
    int e = check(Sys::close);
    int result = real().close(fd);
    if (e != 0) {
        errno = e;
        return -1;
    }
    return result;
}

ssize_t wrap_read(int fd, void *buffer, size_t count) {
    if (int e = check(Sys::read)) {
        errno = e;
        return -1;
    }
    return real().read(fd, buffer, count);
}

ssize_t wrap_write(int fd, const void *buffer, size_t count) {
    if (int e = check(Sys::write)) {
        errno = e;
        return -1;
    }
    return real().write(fd, buffer, count);
}

int wrap_ppoll(struct pollfd *fds, nfds_t count, const struct timespec *timeout,
               const sigset_t *mask) {
    if (int e = check(Sys::ppoll)) {
        errno = e;
        return -1;
    }
    return real().ppoll(fds, count, timeout, mask);
}

int wrap_ioctl(int fd, unsigned long request, void *argument) {
    if (int e = check(Sys::ioctl, request)) {
        errno = e;
        return -1;
    }
    return real().ioctl(fd, request, argument);
}

int wrap_flock(int fd, int operation) {
    if (int e = check(Sys::flock)) {
        errno = e;
        return -1;
    }
    return real().flock(fd, operation);
}

int wrap_fstat(int fd, struct stat *status) {
    if (int e = check(Sys::fstat)) {
        errno = e;
        return -1;
    }
    return real().fstat(fd, status);
}

int wrap_stat(const char *path, struct stat *status) {
    if (int e = check(Sys::stat)) {
        errno = e;
        return -1;
    }
    return real().stat(path, status);
}

pid_t wrap_getpid() {
    check(Sys::getpid);
    return real().getpid();
}

int wrap_clock_gettime(clockid_t clock, struct timespec *now) {
    check(Sys::clock_gettime);
    return real().clock_gettime(clock, now);
}

constexpr Syscalls kWrapped = {
    wrap_open,  wrap_close, wrap_read, wrap_write,  wrap_ppoll,         wrap_ioctl,
    wrap_flock, wrap_fstat, wrap_stat, wrap_getpid, wrap_clock_gettime,
};

}  // namespace

const char *sys_name(Sys entry) {
    static const char *const kNames[kSysCount] = {
        "open",  "close", "read", "write",  "ppoll",         "ioctl",
        "flock", "fstat", "stat", "getpid", "clock_gettime",
    };
    std::size_t index = static_cast<std::size_t>(entry);
    return index < kSysCount ? kNames[index] : "?";
}

bool can_fail(Sys entry) { return entry != Sys::getpid && entry != Sys::clock_gettime; }

std::string ioctl_name(unsigned long request) {
    struct Known {
        unsigned long request;
        const char *name;
    };
    static const Known kKnown[] = {
        {TCGETS2, "TCGETS2"},     {TCSETS2, "TCSETS2"},       {TCGETS, "TCGETS"},
        {TCSETS, "TCSETS"},       {TIOCEXCL, "TIOCEXCL"},     {TIOCNXCL, "TIOCNXCL"},
        {TIOCMGET, "TIOCMGET"},   {TIOCMBIS, "TIOCMBIS"},     {TIOCMBIC, "TIOCMBIC"},
        {TIOCMSET, "TIOCMSET"},   {TIOCOUTQ, "TIOCOUTQ"},     {FIONREAD, "FIONREAD"},
        {TCFLSH, "TCFLSH"},       {TIOCGWINSZ, "TIOCGWINSZ"}, {TCSETSW2, "TCSETSW2"},
        {TCSETSF2, "TCSETSF2"},   {TCSETSW, "TCSETSW"},       {TCSETSF, "TCSETSF"},
        {TCXONC, "TCXONC"},       {TIOCSBRK, "TIOCSBRK"},     {TIOCCBRK, "TIOCCBRK"},
        {TIOCGEXCL, "TIOCGEXCL"},
    };
    for (const Known &k : kKnown) {
        if (k.request == request) {
            return k.name;
        }
    }
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", request);
    return text;
}

const char *errno_name(int error) {
    struct Known {
        int error;
        const char *name;
    };
    static const Known kKnown[] = {
        {EINTR, "EINTR"},   {EAGAIN, "EAGAIN"}, {EIO, "EIO"},       {ENXIO, "ENXIO"},
        {ENOMEM, "ENOMEM"}, {EBADF, "EBADF"},   {ENOENT, "ENOENT"}, {EACCES, "EACCES"},
        {EBUSY, "EBUSY"},   {ENOTTY, "ENOTTY"}, {EINVAL, "EINVAL"}, {EMFILE, "EMFILE"},
    };
    for (const Known &k : kKnown) {
        if (k.error == error) {
            return k.name;
        }
    }
    return "errno?";
}

std::string SysCall::label() const {
    std::string text = sys_name(entry);
    if (entry == Sys::ioctl) {
        text += " " + ioctl_name(request);
    }
    return text;
}

FaultInjector::FaultInjector() {
    if (active != nullptr) {
        std::fprintf(stderr, "FaultInjector: only one may live at a time\n");
        std::abort();
    }
    active = this;
    quenlex::posix::sys = kWrapped;
}

FaultInjector::~FaultInjector() {
    quenlex::posix::sys = quenlex::posix::default_syscalls();
    active = nullptr;
}

void FaultInjector::fail_nth_call(std::size_t n, int error, Persist persist) {
    rules_.push_back(Rule{true, Sys::open, n, error, persist, false});
}

void FaultInjector::fail_nth_call_of(Sys entry, std::size_t n, int error, Persist persist) {
    rules_.push_back(Rule{false, entry, n, error, persist, false});
}

void FaultInjector::before_nth_call(std::size_t n, std::function<void()> action) {
    actions_.push_back(Action{true, Sys::open, n, std::move(action)});
}

void FaultInjector::before_nth_call_of(Sys entry, std::size_t n, std::function<void()> action) {
    actions_.push_back(Action{false, entry, n, std::move(action)});
}

void FaultInjector::clear() {
    rules_.clear();
    actions_.clear();
}

void FaultInjector::reset() {
    clear();
    recorded_.clear();
    for (std::size_t &count : per_entry_) {
        count = 0;
    }
    total_ = 0;
    injected_ = 0;
}

int FaultInjector::on_call(Sys entry, unsigned long request) {
    std::size_t index = static_cast<std::size_t>(entry);
    ++total_;
    ++per_entry_[index];

    for (Action &action : actions_) {
        bool due = action.any_entry ? action.n == total_
                                    : action.entry == entry && action.n == per_entry_[index];
        if (due && action.run) {
            std::function<void()> run = std::move(action.run);
            action.run = nullptr;
            run();
        }
    }

    int error = 0;
    for (Rule &rule : rules_) {
        bool applies = (rule.any_entry || rule.entry == entry) && can_fail(entry);
        if (!applies) {
            continue;
        }
        std::size_t count = rule.any_entry ? total_ : per_entry_[index];
        if (!rule.done && count >= rule.n) {
            error = rule.error;
            rule.done = rule.persist == Persist::once;
            break;
        }
    }
    if (error != 0) {
        ++injected_;
    }
    if (recording_) {
        recorded_.push_back(SysCall{entry, request, error != 0});
    }
    return error;
}

}  // namespace quenlex::test
