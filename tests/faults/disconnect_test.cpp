// Devices that go away: the far end of the line hangs up (the pseudo-terminal's master is
// closed) while the port is idle or while each transfer waits, and a USB adapter is unplugged
// (ENXIO or EIO from every system call on). Every call must come back promptly, without
// spinning, with a failure and a nonzero error code; the port must then close cleanly and a
// fresh one open.
#define GTEST_DONT_DEFINE_TEST 1
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "fault_injector.h"
#include "guard_buffer.h"
#include "port_slot.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "quenlex.h"
#include "serial_device/posix/errors.h"
#include "serial_device/serial_device.h"
#include "watchdog.h"

namespace quenlex::test {
namespace {

using namespace std::chrono_literals;

// Generous bounds: a busy 2-core machine must never make these flake. A call that notices a
// hang-up takes well under a millisecond; a spinning wait burns a whole core.
constexpr double kPromptSeconds = 2.0;
constexpr double kMaxCpuShare = 0.25;

struct Timed {
    int result;
    DWORD error;
    double wall;
    double cpu;
};

Timed timed(const std::string &what, const std::function<int()> &call) {
    Watchdog watchdog(30s, what);
    SetLastError(ERROR_SUCCESS);
    double wall = wall_seconds();
    double cpu = cpu_seconds();
    int result = call();
    DWORD error = GetLastError();
    Timed t{result, error, wall_seconds() - wall, cpu_seconds() - cpu};
    std::printf("[ measured ] %s: result %d, error %u after %.1f ms, CPU %.1f ms\n", what.c_str(),
                t.result, static_cast<unsigned>(t.error), t.wall * 1e3, t.cpu * 1e3);
    return t;
}

class Disconnect : public testing::Test {
  protected:
    void SetUp() override {
        fds_ = open_fd_count();
        peer_ = std::make_unique<PtyPeer>();
        ASSERT_EQ(quenlex_open(peer_->path().c_str(), 9600), 1) << quenlex_getError();
    }

    // The port closes, nothing leaks, and a fresh device opens.
    void TearDown() override {
        quenlex_close();
        EXPECT_EQ(port_slot(), Slot::empty);
        peer_.reset();
        EXPECT_EQ(open_fd_count(), fds_) << "descriptors leaked";
        PtyPeer fresh;
        EXPECT_EQ(quenlex_open(fresh.path().c_str(), 9600), 1) << quenlex_getError();
        quenlex_close();
    }

    void expect_prompt_failure(const Timed &t, const std::string &what) {
        EXPECT_EQ(t.result, 0) << what;
        EXPECT_NE(t.error, ERROR_SUCCESS) << what << ": no error code";
        EXPECT_LT(t.wall, kPromptSeconds) << what << ": not prompt";
    }

    std::unique_ptr<PtyPeer> peer_;
    int fds_ = 0;
};

TEST_F(Disconnect, WhileIdleEveryCallFailsAtOnce) {
    peer_->hang_up();
    GuardBuffer buffer(16);
    expect_prompt_failure(timed("write", [] { return quenlex_write("hello"); }), "write");
    expect_prompt_failure(timed("readChar", [] { return quenlex_readChar(); }), "readChar");
    Timed read = timed("read", [&] { return quenlex_read(buffer.data(), 16); });
    expect_prompt_failure(read, "read");
    EXPECT_TRUE(buffer.untouched_from(0, '\x5a')) << "read wrote into the buffer";
    std::string path = peer_->path();
    expect_prompt_failure(timed("configure", [&] { return quenlex_configure(path.c_str()); }),
                          "configure");
    EXPECT_NE(port_slot(), Slot::empty) << "a failed call closed the port";
}

TEST_F(Disconnect, DuringReadCharItReturnsWithoutSpinning) {
    peer_->hang_up_after(500ms);
    Timed t = timed("readChar", [] { return quenlex_readChar(); });
    peer_->join();
    expect_prompt_failure(t, "readChar");
    EXPECT_GE(t.wall, 0.4) << "readChar returned before the hang-up";
    EXPECT_LT(t.cpu, kMaxCpuShare * t.wall) << "cpu " << t.cpu << " s over " << t.wall << " s";
}

TEST_F(Disconnect, DuringTheFirstReadOfReadItFails) {
    // The hang-up lands inside the first read, just before its first system call.
    FaultInjector faults;
    faults.before_nth_call(1, [this] { peer_->hang_up(); });
    GuardBuffer buffer(16);
    Timed t = timed("read", [&] { return quenlex_read(buffer.data(), 16); });
    expect_prompt_failure(t, "read");
    EXPECT_TRUE(buffer.untouched_from(0, '\x5a')) << "read wrote into the buffer";
}

TEST_F(Disconnect, DuringTheSecondReadOfReadTheFirstByteIsKept) {
    // One byte, then the line goes dead while the second read waits for more: its total
    // time-out would be 3 x 998 + 2 ms; the hang-up must end it long before.
    peer_->send_settled("x");
    peer_->hang_up_after(300ms);
    GuardBuffer buffer(1000);
    Timed t = timed("read", [&] { return quenlex_read(buffer.data(), 1000); });
    peer_->join();
    EXPECT_EQ(t.result, 1);
    EXPECT_EQ(buffer.bytes(0, 2), std::string("x\0", 2));
    EXPECT_TRUE(buffer.untouched_from(2, '\x5a'));
    EXPECT_NE(t.error, ERROR_SUCCESS) << "the hang-up left no error code behind";
    EXPECT_LT(t.wall, kPromptSeconds);
    EXPECT_LT(t.cpu, kMaxCpuShare * t.wall) << "cpu " << t.cpu << " s over " << t.wall << " s";
}

TEST_F(Disconnect, DuringAWriteThatWaitsForRoomItFails) {
    // Far more than the line can buffer, with a peer that never reads: the write waits for
    // room (total time-out 3 ms per byte: minutes) until the line goes dead.
    const std::string text(256 * 1024, 'w');
    peer_->hang_up_after(300ms);
    Timed t = timed("write", [&] { return quenlex_write(text.c_str()); });
    peer_->join();
    expect_prompt_failure(t, "write");
    EXPECT_LT(t.cpu, kMaxCpuShare * t.wall) << "cpu " << t.cpu << " s over " << t.wall << " s";
}

// An unplugged USB adapter: from the next system call on, every call fails.
class Unplugged : public Disconnect, public testing::WithParamInterface<int> {};

TEST_P(Unplugged, EveryCallFailsPromptlyWithTheDevicesError) {
    const int error = GetParam();
    const DWORD code = quenlex::posix::win32_error_from_errno(error);
    std::string path = peer_->path();
    GuardBuffer buffer(16);
    {
        FaultInjector faults;
        faults.fail_from_next_call(error);
        double cpu = cpu_seconds();
        double wall = wall_seconds();
        struct Call {
            const char *name;
            std::function<int()> run;
        } calls[] = {
            {"write", [] { return quenlex_write("hello"); }},
            {"readChar", [] { return quenlex_readChar(); }},
            {"read", [&] { return quenlex_read(buffer.data(), 16); }},
            {"configure", [&] { return quenlex_configure(path.c_str()); }},
            {"available", [&] { return quenlex_available(path.c_str()); }},
        };
        for (const Call &call : calls) {
            Timed t = timed(call.name, call.run);
            expect_prompt_failure(t, call.name);
            EXPECT_EQ(t.error, code) << call.name;
        }
        EXPECT_TRUE(buffer.untouched_from(0, '\x5a'));
        quenlex_close();  // its close() fails too; the descriptor goes all the same
        EXPECT_EQ(port_slot(), Slot::empty);
        EXPECT_LT(cpu_seconds() - cpu, 0.5 + kMaxCpuShare * (wall_seconds() - wall));
    }
}

INSTANTIATE_TEST_SUITE_P(Errors, Unplugged, testing::Values(ENXIO, EIO),
                         [](const testing::TestParamInfo<int> &info) {
                             return std::string(errno_name(info.param));
                         });

}  // namespace
}  // namespace quenlex::test
