// A fault injector over the POSIX layer's system call table.
//
// While a FaultInjector lives, every entry of quenlex::posix::sys is wrapped: each call is
// counted (per entry and overall), optionally recorded, and may be made to fail with a chosen
// errno: the Nth call overall or the Nth call of one entry, once or from then on. Actions can
// also run just before a given call (to hang up a peer at an exact point). The destructor puts
// the library's own table back. Only one injector may live at a time; it is not thread-safe
// (the library is driven from one thread; peers in other threads use libc directly).
#ifndef QUENLEX_TEST_FAULT_INJECTOR_H
#define QUENLEX_TEST_FAULT_INJECTOR_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace quenlex::test {

// The entries of the system call table, in its order.
enum class Sys {
    open,
    close,
    read,
    write,
    ppoll,
    ioctl,
    flock,
    fstat,
    stat,
    getpid,
    clock_gettime,
    count
};
constexpr std::size_t kSysCount = static_cast<std::size_t>(Sys::count);

const char *sys_name(Sys entry);

// False for calls that cannot fail (getpid, and clock_gettime of the monotonic clock, which
// fails only for a bad clock or address): they are counted and recorded, never failed.
bool can_fail(Sys entry);

// One call as the injector saw it. `request` is the ioctl request (0 for other entries).
struct SysCall {
    Sys entry;
    unsigned long request;
    bool failed;                // the injector made it fail
    std::string label() const;  // "ioctl TCGETS2", "read", ...
};

enum class Persist { once, from_then_on };

class FaultInjector {
  public:
    FaultInjector();
    ~FaultInjector();
    FaultInjector(const FaultInjector &) = delete;
    FaultInjector &operator=(const FaultInjector &) = delete;

    // Makes the nth call (1-based, counted from the last reset) fail with `error`.
    void fail_nth_call(std::size_t n, int error, Persist persist = Persist::once);
    // The same, counting only calls of one entry; `from_then_on` then covers that entry only.
    void fail_nth_call_of(Sys entry, std::size_t n, int error, Persist persist = Persist::once);
    // Every call from the next one on fails (a device that went away).
    void fail_from_next_call(int error) {
        fail_nth_call(calls() + 1, error, Persist::from_then_on);
    }
    // Runs `action` just before the nth call (overall, or of `entry`) is made or failed.
    void before_nth_call(std::size_t n, std::function<void()> action);
    void before_nth_call_of(Sys entry, std::size_t n, std::function<void()> action);

    // Drops every fault and action; counting goes on.
    void clear();
    // Drops faults and actions, zeroes the counts and empties the record.
    void reset();

    void record(bool on) { recording_ = on; }
    const std::vector<SysCall> &recorded() const { return recorded_; }

    std::size_t calls() const { return total_; }
    std::size_t calls_of(Sys entry) const { return per_entry_[static_cast<std::size_t>(entry)]; }
    std::size_t faults_injected() const { return injected_; }

    // Called by the wrappers: counts the call, runs actions, and returns the errno to fail
    // it with (0: let it through).
    int on_call(Sys entry, unsigned long request);

  private:
    struct Rule {
        bool any_entry;
        Sys entry;
        std::size_t n;
        int error;
        Persist persist;
        bool done;  // a once rule that has fired
    };
    struct Action {
        bool any_entry;
        Sys entry;
        std::size_t n;
        std::function<void()> run;
    };

    std::vector<Rule> rules_;
    std::vector<Action> actions_;
    std::vector<SysCall> recorded_;
    std::size_t per_entry_[kSysCount] = {};
    std::size_t total_ = 0;
    std::size_t injected_ = 0;
    bool recording_ = false;
};

// "EINTR", "EIO", ... for the errno values the tests inject.
const char *errno_name(int error);

// The name of an ioctl request the layer uses ("TCGETS2"), or its number in hex.
std::string ioctl_name(unsigned long request);

}  // namespace quenlex::test

#endif
