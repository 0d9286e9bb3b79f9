// A long-running host opens and closes its port again and again, and opens fail again and
// again: 100 000 cycles of each (QUENLEX_LEAK_CYCLES overrides the count) must leave the
// process's descriptors and memory where they were.
#define GTEST_DONT_DEFINE_TEST 1
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fault_injector.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "quenlex.h"
#include "serial_device/serial_device.h"

namespace quenlex::test {
namespace {

// Bounds for "unchanged": a leak of even 8 bytes a cycle shows up as 800 000 bytes.
constexpr std::size_t kHeapSlack = 64 * 1024;
constexpr long kResidentSlackKib = 4 * 1024;

long cycles() {
    const char *text = std::getenv("QUENLEX_LEAK_CYCLES");
    long count = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return count > 0 ? count : 100000;
}

struct Snapshot {
    int fds = open_fd_count();
    std::size_t heap = heap_in_use();
    long resident = resident_kib();
    double wall = wall_seconds();
};

void expect_unchanged(const Snapshot &before, const char *what, long count) {
    Snapshot after;
    double seconds = after.wall - before.wall;
    std::printf(
        "[ cycles   ] %ld %s in %.2f s (%.1f us each); fds %+d, heap %+lld bytes, "
        "resident %+ld KiB\n",
        count, what, seconds, seconds * 1e6 / static_cast<double>(count), after.fds - before.fds,
        static_cast<long long>(after.heap) - static_cast<long long>(before.heap),
        after.resident - before.resident);
    EXPECT_EQ(after.fds, before.fds) << "descriptors leaked";
    EXPECT_LT(static_cast<long long>(after.heap) - static_cast<long long>(before.heap),
              static_cast<long long>(kHeapSlack))
        << "heap grew";
    if (!under_address_sanitizer()) {
        EXPECT_LT(after.resident - before.resident, kResidentSlackKib) << "resident memory grew";
    }
}

GTEST_TEST(Leaks, OpenAndCloseCycles) {
    PtyPeer peer;
    const long count = cycles();
    for (int i = 0; i < 200; ++i) {  // warm up allocator and caches
        quenlex_open(peer.path().c_str(), 9600);
        quenlex_close();
    }
    Snapshot before;
    long failures = 0;
    for (long i = 0; i < count; ++i) {
        // Speeds vary so the line settings are really written each time.
        failures += quenlex_open(peer.path().c_str(), i % 2 == 0 ? 9600 : 115200) != 1;
        quenlex_close();
    }
    EXPECT_EQ(failures, 0) << "opens failed, last error " << quenlex_getError();
    expect_unchanged(before, "open/close cycles", count);
}

GTEST_TEST(Leaks, FailedOpenCyclesAtEveryFailureStep) {
    PtyPeer peer;
    const long count = cycles();
    FaultInjector faults;
    // The steps at which an open can fail: the system calls of one open whose failure fails
    // it (reading the modem lines is best effort and getpid cannot fail).
    ASSERT_EQ(quenlex_open(peer.path().c_str(), 9600), 1);
    quenlex_close();
    faults.reset();
    ASSERT_EQ(quenlex_open(peer.path().c_str(), 9600), 1);
    const std::size_t calls = faults.calls();
    quenlex_close();
    std::vector<std::size_t> steps;
    for (std::size_t n = 1; n <= calls; ++n) {
        faults.reset();
        faults.fail_nth_call(n, EIO);
        if (quenlex_open(peer.path().c_str(), 9600) == 0) {
            steps.push_back(n);
        }
        quenlex_close();
    }
    ASSERT_FALSE(steps.empty());

    const int errors[] = {EIO, ENXIO, ENOMEM, EBADF};
    for (std::size_t i = 0; i < 2 * steps.size(); ++i) {  // warm up
        faults.reset();
        faults.fail_nth_call(steps[i % steps.size()], EIO);
        quenlex_open(peer.path().c_str(), 9600);
        quenlex_close();
    }
    Snapshot before;
    long opened = 0;
    for (long i = 0; i < count; ++i) {
        faults.reset();
        std::size_t k = static_cast<std::size_t>(i);
        faults.fail_nth_call(steps[k % steps.size()], errors[(k / steps.size()) % 4]);
        opened += quenlex_open(peer.path().c_str(), 9600);
        quenlex_close();
    }
    faults.reset();
    std::printf("[ steps    ] %zu failure steps of %zu calls, %ld failed opens at each\n",
                steps.size(), calls, count / static_cast<long>(steps.size()));
    EXPECT_EQ(opened, 0) << "an open succeeded although one of its calls failed";
    expect_unchanged(before, "failed opens", count);
}

}  // namespace
}  // namespace quenlex::test
