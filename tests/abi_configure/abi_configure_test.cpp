// quenlex_configure as a host sees it: the exported functions of the built library, run in
// a child process whose controlling terminal is a pseudo-terminal the test types into.
// clang-format off
// The library declares a function TEST; that must happen before gtest's TEST macro exists.
#include "quenlex.h"
#include <gtest/gtest.h>
// clang-format on

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>

#include "terminal_child/terminal_child.h"

namespace quenlex::test {
namespace {

constexpr char kDataBitsPrompt[] = "Data bits (5-8) [8]: ";
constexpr char kParityPrompt[] = "Parity (none, odd, even, mark, space) [none]: ";
constexpr char kStopBitsPrompt[] = "Stop bits (1, 2) [1]: ";
constexpr char kFlowPrompt[] = "Flow control (none, rts/cts, xon/xoff) [none]: ";
constexpr char kConfirmPrompt[] = "Apply these settings? [y/N]: ";

// The serial port: a pseudo-terminal pair; the test keeps a descriptor of the slave to read
// and set its modes.
class PortPair {
  public:
    PortPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128];
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0 &&
            ::ptsname_r(master_, name, sizeof name) == 0) {
            name_ = name;
            observer_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~PortPair() {
        ::close(observer_);
        ::close(master_);
    }
    bool ready() const { return observer_ >= 0; }
    const char *name() const { return name_.c_str(); }

    termios2 modes() const {
        termios2 modes{};
        EXPECT_EQ(::ioctl(observer_, TCGETS2, &modes), 0) << std::strerror(errno);
        return modes;
    }
    void set_speed(tcflag_t code) {
        termios2 m = modes();
        m.c_cflag = (m.c_cflag & ~static_cast<tcflag_t>(CBAUD)) | code;
        EXPECT_EQ(::ioctl(observer_, TCSETS2, &m), 0) << std::strerror(errno);
    }

  private:
    int master_ = -1;
    int observer_ = -1;
    std::string name_;
};

// What the child saw of the library.
struct Outcome {
    int configured;
    int error;
    int available_after;  // 1: nobody holds the port any more
    int available_after_close;
    int written_after;
    int read_after;
};

bool run(TerminalChild &child, Outcome &outcome) {
    std::string bytes;
    bool ended = child.finish(bytes);
    EXPECT_TRUE(ended) << "screen:\n" << child.screen();
    return ended && unpack(bytes, outcome);
}

TEST(AbiConfigure, AnOpenPortStaysOpenWithTheConfirmedSettings) {
    PortPair port;
    ASSERT_TRUE(port.ready());
    TerminalChild child;
    const char *name = port.name();
    child.start([name] {
        Outcome outcome{};
        if (quenlex_open(name, 9600) != 1) {
            return std::string("open failed");
        }
        outcome.configured = quenlex_configure(name);
        outcome.error = quenlex_getError();
        outcome.available_after = quenlex_available(name);
        quenlex_close();
        outcome.available_after_close = quenlex_available(name);
        return pack(outcome);
    });
    ASSERT_TRUE(child.expect("Speed (bit/s) [9600]: ")) << child.screen();
    child.type("115200\r");
    ASSERT_TRUE(child.expect(kDataBitsPrompt));
    child.type("\r");
    ASSERT_TRUE(child.expect(kParityPrompt));
    child.type("\r");
    ASSERT_TRUE(child.expect(kStopBitsPrompt));
    child.type("\r");
    ASSERT_TRUE(child.expect(kFlowPrompt));
    child.type("rts/cts\r");
    ASSERT_TRUE(child.expect(kConfirmPrompt));
    child.type("y\r");

    Outcome outcome{};
    ASSERT_TRUE(run(child, outcome));
    EXPECT_EQ(outcome.configured, 1);
    EXPECT_EQ(outcome.available_after, 0);        // still held: the port stayed open
    EXPECT_EQ(outcome.available_after_close, 1);  // and it was the slot's port that held it
    termios2 modes = port.modes();
    EXPECT_EQ(modes.c_cflag & CBAUD, static_cast<tcflag_t>(B115200));
    EXPECT_NE(modes.c_cflag & CRTSCTS, 0u);
}

// With no port open, configure opens the named one for the dialog and closes it again; a
// cancel still writes the record back as it was read.
struct ClosedCase {
    const char *how;
    const char *speed_answer;
    const char *confirm_answer;
    tcflag_t speed_after;
    bool xon_xoff_after;
};

void PrintTo(const ClosedCase &c, std::ostream *out) { *out << c.how; }

class AbiConfigureClosedPort : public ::testing::TestWithParam<ClosedCase> {};

TEST_P(AbiConfigureClosedPort, LeavesNoPortOpen) {
    const ClosedCase &c = GetParam();
    PortPair port;
    ASSERT_TRUE(port.ready());
    port.set_speed(B19200);
    TerminalChild child;
    const char *name = port.name();
    child.start([name] {
        Outcome outcome{};
        outcome.configured = quenlex_configure(name);
        outcome.error = quenlex_getError();
        outcome.available_after = quenlex_available(name);
        char buffer[16];
        outcome.read_after = quenlex_read(buffer, sizeof buffer);
        outcome.written_after = quenlex_write("x");
        return pack(outcome);
    });
    ASSERT_TRUE(child.expect("Speed (bit/s) [19200]: ")) << child.screen();
    child.type(c.speed_answer);
    ASSERT_TRUE(child.expect(kDataBitsPrompt));
    child.type("\r");
    ASSERT_TRUE(child.expect(kParityPrompt));
    child.type("\r");
    ASSERT_TRUE(child.expect(kStopBitsPrompt));
    child.type("\r");
    ASSERT_TRUE(child.expect(kFlowPrompt));
    child.type("xon/xoff\r");
    ASSERT_TRUE(child.expect(kConfirmPrompt));
    child.type(c.confirm_answer);

    Outcome outcome{};
    ASSERT_TRUE(run(child, outcome));
    EXPECT_EQ(outcome.configured, 1);
    EXPECT_EQ(outcome.available_after, 1);
    EXPECT_EQ(outcome.read_after, 0);
    EXPECT_EQ(outcome.written_after, 0);
    termios2 modes = port.modes();
    EXPECT_EQ(modes.c_cflag & CBAUD, c.speed_after);
    EXPECT_EQ((modes.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF), c.xon_xoff_after);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, AbiConfigureClosedPort,
    ::testing::Values(ClosedCase{"Confirmed", "57600\r", "y\r", B57600, true},
                      ClosedCase{"Cancelled", "57600\r", "n\r", B19200, false}),
    [](const ::testing::TestParamInfo<ClosedCase> &info) { return info.param.how; });

// A configuration that cannot be read shows no dialog and is no success.
TEST(AbiConfigure, WhatIsNoPortFailsWithoutADialog) {
    char path[] = "/tmp/quenlex_configure_XXXXXX";
    int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct Case {
        std::string name;
        int error;
    };
    const Case kCases[] = {
        {path, 1},                           // an ordinary file: ERROR_INVALID_FUNCTION
        {"/dev/quenlex-no-such-device", 2},  // ERROR_FILE_NOT_FOUND
    };
    for (const Case &c : kCases) {
        TerminalChild child;
        std::string name = c.name;
        child.start([name] {
            Outcome outcome{};
            outcome.configured = quenlex_configure(name.c_str());
            outcome.error = quenlex_getError();
            outcome.available_after = quenlex_available(name.c_str());
            return pack(outcome);
        });
        Outcome outcome{};
        ASSERT_TRUE(run(child, outcome));
        EXPECT_EQ(outcome.configured, 0) << c.name;
        EXPECT_EQ(outcome.error, c.error) << c.name;
        EXPECT_EQ(child.screen(), "") << c.name;
        EXPECT_EQ(outcome.available_after, c.error == 1 ? 1 : 0) << c.name;  // nothing held
    }
    ::unlink(path);
}

}  // namespace
}  // namespace quenlex::test
