// The helpers the hardening tests stand on: if these lie, every figure built on them does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "fault_injector.h"
#include "guard_buffer.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "serial_device/posix/syscalls.h"

namespace quenlex::test {
namespace {

using quenlex::posix::sys;

TEST(FaultInjector, FailsTheNthCallOnceAndCountsEveryCall) {
    FaultInjector faults;
    faults.fail_nth_call(2, EIO);
    struct stat st {};
    EXPECT_EQ(sys.fstat(0, &st), 0);
    errno = 0;
    EXPECT_EQ(sys.fstat(0, &st), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(sys.fstat(0, &st), 0);
    EXPECT_EQ(faults.calls(), 3u);
    EXPECT_EQ(faults.calls_of(Sys::fstat), 3u);
    EXPECT_EQ(faults.faults_injected(), 1u);
}

TEST(FaultInjector, FailsOneEntryFromThenOnAndLeavesOthersAlone) {
    FaultInjector faults;
    faults.record(true);
    faults.fail_nth_call_of(Sys::ioctl, 1, ENXIO, Persist::from_then_on);
    struct stat st {};
    EXPECT_EQ(sys.fstat(0, &st), 0);
    int queued = 0;
    EXPECT_EQ(sys.ioctl(0, FIONREAD, &queued), -1);
    EXPECT_EQ(sys.ioctl(0, FIONREAD, &queued), -1);
    EXPECT_EQ(errno, ENXIO);
    ASSERT_EQ(faults.recorded().size(), 3u);
    EXPECT_EQ(faults.recorded()[1].label(), "ioctl FIONREAD");
    EXPECT_TRUE(faults.recorded()[2].failed);
}

TEST(FaultInjector, FailedCloseStillReleasesTheDescriptorAsLinuxDoes) {
    int before = open_fd_count();
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    FaultInjector faults;
    faults.fail_nth_call(1, EINTR);
    EXPECT_EQ(sys.close(fd), -1);
    EXPECT_EQ(open_fd_count(), before);
}

TEST(FaultInjector, RunsAnActionJustBeforeTheChosenCall) {
    FaultInjector faults;
    int ran_at = 0;
    faults.before_nth_call_of(Sys::fstat, 2, [&] { ran_at = static_cast<int>(faults.calls()); });
    struct stat st {};
    sys.fstat(0, &st);
    sys.fstat(0, &st);
    EXPECT_EQ(ran_at, 2);
}

TEST(FaultInjector, PutsTheLibrarysTableBack) {
    { FaultInjector faults; }
    EXPECT_EQ(sys.read, quenlex::posix::default_syscalls().read);
    EXPECT_EQ(sys.ioctl, quenlex::posix::default_syscalls().ioctl);
}

TEST(GuardBuffer, WritingOneBytePastTheEndFaults) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    GuardBuffer buffer(5);
    buffer.data()[4] = 'x';  // the last byte is fine
    EXPECT_EQ(buffer.bytes(3, 2), "\x5ax");
    EXPECT_DEATH(buffer.data()[5] = 'x', "");
}

TEST(ProcessStats, CountsDescriptorsOpenedAndClosed) {
    int before = open_fd_count();
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    EXPECT_EQ(open_fd_count(), before + 1);
    close(fd);
    EXPECT_EQ(open_fd_count(), before);
}

TEST(PtyPeer, BytesReachTheOtherSideUnchanged) {
    PtyPeer peer;
    int fd = open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const std::string bytes("\r\n\x03\x11\x13\xff\x00z", 8);
    peer.send_settled(bytes);
    EXPECT_EQ(peer.queued_for_device(), 8);
    char got[8];
    ASSERT_EQ(read(fd, got, sizeof got), 8);
    EXPECT_EQ(std::string(got, 8), bytes);
    ASSERT_EQ(write(fd, "hi", 2), 2);
    EXPECT_EQ(peer.receive(2, 2000), "hi");
    close(fd);
}

}  // namespace
}  // namespace quenlex::test
