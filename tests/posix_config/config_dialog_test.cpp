// The settings dialog on a pseudo-terminal that a child process has as its controlling
// terminal: the test reads the screen and types the answers.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "posix_config/pty_port.h"
#include "serial_device/posix/syscalls.h"
#include "serial_device/serial_device.h"
#include "terminal_child/terminal_child.h"

namespace quenlex::test {
namespace {

constexpr char kName[] = "/dev/ttyTEST0";

constexpr char kSpeedPrompt[] = "Speed (bit/s) [9600]: ";
constexpr char kDataBitsPrompt[] = "Data bits (5-8) [8]: ";
constexpr char kParityPrompt[] = "Parity (none, odd, even, mark, space) [none]: ";
constexpr char kStopBitsPrompt[] = "Stop bits (1, 2) [1]: ";
constexpr char kFlowPrompt[] = "Flow control (none, rts/cts, xon/xoff) [none]: ";
constexpr char kConfirmPrompt[] = "Apply these settings? [y/N]: ";

// A record as a port at 9600 8N1 without flow control reports it. Every byte the line state
// does not use carries a pattern, so "unchanged" is checked byte for byte.
COMMCONFIG sample_record() {
    COMMCONFIG record;
    std::memset(&record, 0xA5, sizeof record);
    record.dwSize = sizeof record;
    DCB &dcb = record.dcb;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return record;
}

struct Outcome {
    BOOL result;
    DWORD error;
    COMMCONFIG record;
};

// The child's part: the dialog on its controlling terminal, and what it left.
std::function<std::string()> dialog(const char *name, const COMMCONFIG &record) {
    return [name, record] {
        Outcome outcome{};
        outcome.record = record;
        SetLastError(ERROR_SUCCESS);
        outcome.result = CommConfigDialogA(name, nullptr, &outcome.record);
        outcome.error = GetLastError();
        return pack(outcome);
    };
}

// What the screen shows next, and what the user then types.
struct Step {
    std::string shown;
    std::string typed;
};

// Runs the dialog to its end along the steps and gives what it returned.
Outcome converse(TerminalChild &child, const COMMCONFIG &record, const std::vector<Step> &steps,
                 const char *name = kName) {
    child.start(dialog(name, record));
    for (const Step &step : steps) {
        EXPECT_TRUE(child.expect(step.shown)) << "waiting for \"" << step.shown << "\"; screen:\n"
                                              << child.screen();
        child.type(step.typed);
    }
    std::string bytes;
    Outcome outcome{};
    EXPECT_TRUE(child.finish(bytes)) << "screen:\n" << child.screen();
    EXPECT_TRUE(unpack(bytes, outcome));
    return outcome;
}

bool same_bytes(const COMMCONFIG &a, const COMMCONFIG &b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool same_modes(const termios2 &a, const termios2 &b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Changes speed and flow control, keeps the rest with Enter, confirms.
const std::vector<Step> kFasterWithHandshake = {
    {kSpeedPrompt, "115200\r"},
    {"115200\r\n" + std::string(kDataBitsPrompt), "\r"},  // the answer was echoed
    {kParityPrompt, "\r"},
    {kStopBitsPrompt, "\r"},
    {kFlowPrompt, "rts/cts\r"},
    {"Speed         115200 bit/s   (was 9600 bit/s)", ""},
    {"Flow control  rts/cts   (was none)", ""},
    {kConfirmPrompt, "y\r"},
    {"Settings confirmed.", ""},
};

TEST(ConfigDialog, ConfirmWritesTheChoicesAndRestoresTheTerminal) {
    TerminalChild child;
    termios2 before = child.modes();
    COMMCONFIG record = sample_record();

    Outcome outcome = converse(child, record, kFasterWithHandshake);

    EXPECT_TRUE(outcome.result);
    COMMCONFIG expected = record;
    expected.dcb.BaudRate = 115200;
    expected.dcb.fOutxCtsFlow = 1;
    expected.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    EXPECT_TRUE(same_bytes(outcome.record, expected));
    EXPECT_TRUE(same_modes(child.modes(), before));
    EXPECT_NE(child.screen().find("Port settings for /dev/ttyTEST0"), std::string::npos);
    EXPECT_EQ(child.standard_output(), "");  // the dialog talks to the terminal only
}

TEST(ConfigDialog, ConfirmedChoicesReachTheDeviceThroughSetCommConfig) {
    TerminalChild child;
    Outcome outcome = converse(child, sample_record(), kFasterWithHandshake);
    ASSERT_TRUE(outcome.result);

    PtyPort port;
    HANDLE handle = port.open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetCommConfig(handle, &outcome.record, sizeof outcome.record)) << GetLastError();
    termios2 modes = port.modes();
    EXPECT_EQ(reported_speed(modes), 115200u);
    EXPECT_NE(modes.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(modes.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(modes.c_iflag & (IXON | IXOFF), 0u);
}

// A host with a SIGWINCH handler (installed without SA_RESTART, as many are) sees its reads
// interrupted whenever the terminal window is resized; that must not end the dialog.
TEST(ConfigDialog, AResizedWindowDoesNotDisturbTheDialog) {
    TerminalChild child;
    COMMCONFIG record = sample_record();
    auto body = dialog(kName, record);
    child.start([body] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        ::sigaction(SIGWINCH, &action, nullptr);
        return body();
    });
    // Each resize lands while the dialog waits for an answer, and is handled before it comes.
    ASSERT_TRUE(child.expect(kSpeedPrompt));
    ASSERT_TRUE(child.wait_until_settled());
    child.resize(40, 100);
    ASSERT_TRUE(child.wait_until_settled());
    child.type("1200\r");
    ASSERT_TRUE(child.expect(kDataBitsPrompt)) << child.screen();
    ASSERT_TRUE(child.wait_until_settled());
    child.resize(50, 120);
    ASSERT_TRUE(child.wait_until_settled());
    child.type("\r");
    for (const char *prompt : {kParityPrompt, kStopBitsPrompt, kFlowPrompt}) {
        ASSERT_TRUE(child.expect(prompt));
        child.type("\r");
    }
    ASSERT_TRUE(child.expect(kConfirmPrompt));
    child.type("y\r");
    std::string bytes;
    ASSERT_TRUE(child.finish(bytes));
    Outcome outcome{};
    ASSERT_TRUE(unpack(bytes, outcome));
    EXPECT_TRUE(outcome.result);
    EXPECT_EQ(outcome.record.dcb.BaudRate, 1200u);
}

TEST(ConfigDialog, EnterEverywhereKeepsTheRecordByteForByte) {
    COMMCONFIG record = sample_record();
    record.dcb.fOutX = 1;  // a flow control mix the dialog does not offer
    TerminalChild child;
    Outcome outcome = converse(child, record,
                               {{kSpeedPrompt, "\r"},
                                {kDataBitsPrompt, "\r"},
                                {kParityPrompt, "\r"},
                                {kStopBitsPrompt, "\r"},
                                {"Flow control (none, rts/cts, xon/xoff) [custom]: ", "\r"},
                                {kConfirmPrompt, "y\r"},
                                {"Settings confirmed.", ""}});
    EXPECT_TRUE(outcome.result);
    EXPECT_TRUE(same_bytes(outcome.record, record));
}

TEST(ConfigDialog, InvalidAnswersAreRefusedAndAskedAgain) {
    TerminalChild child;
    COMMCONFIG record = sample_record();
    Outcome outcome = converse(
        child, record,
        {{kSpeedPrompt, "12345\r"},
         {"12345 is not a speed on offer; ? lists them.\r\n" + std::string(kSpeedPrompt), "fast\r"},
         {"fast is not a speed on offer", ""},
         {kSpeedPrompt, "?\r"},
         {"Speeds on offer:", ""},
         {kSpeedPrompt,
          "19x\x7f"
          "200\r"},  // a typing error erased
         {kDataBitsPrompt, "9\r"},
         {"Data bits are 5, 6, 7 or 8.\r\n" + std::string(kDataBitsPrompt), "seven\r"},
         {"Data bits are 5, 6, 7 or 8.\r\n" + std::string(kDataBitsPrompt), "7\r\n"},
         {kParityPrompt, "x\r"},
         {"Parity is none, odd, even, mark or space.\r\n" + std::string(kParityPrompt), "EVEN\r"},
         {kStopBitsPrompt, "1.5\r"},
         {"1.5 stop bits go with 5 data bits only.\r\n" + std::string(kStopBitsPrompt), "3\r"},
         {"Stop bits are 1, 1.5 or 2.\r\n" + std::string(kStopBitsPrompt), "2\r"},
         {kFlowPrompt, "dsr/dtr\r"},
         {"Flow control is none, rts/cts or xon/xoff.\r\n" + std::string(kFlowPrompt),
          "xon/xoff\r"},
         {kConfirmPrompt, "maybe\r"},
         {"Please answer y or n.\r\n" + std::string(kConfirmPrompt), "yes\r"},
         {"Settings confirmed.", ""}});

    EXPECT_TRUE(outcome.result);
    COMMCONFIG expected = record;
    expected.dcb.BaudRate = 19200;
    expected.dcb.ByteSize = 7;
    expected.dcb.Parity = EVENPARITY;
    expected.dcb.StopBits = TWOSTOPBITS;
    expected.dcb.fOutX = 1;
    expected.dcb.fInX = 1;
    EXPECT_TRUE(same_bytes(outcome.record, expected));
}

TEST(ConfigDialog, AValueNoRecordShouldHoldIsNoDefault) {
    COMMCONFIG record = sample_record();
    record.dcb.ByteSize = 4;
    TerminalChild child;
    Outcome outcome = converse(child, record,
                               {{kSpeedPrompt, "\r"},
                                {"Data bits (5-8): ", "\r"},
                                {"An answer is needed here; ? shows the choices.\r\n"
                                 "Data bits (5-8): ",
                                 "5\r"},
                                {kParityPrompt, "\r"},
                                {"Stop bits (1, 1.5) [1]: ", "1.5\r"},
                                {kFlowPrompt, "\r"},
                                {kConfirmPrompt, "y\r"}});
    EXPECT_TRUE(outcome.result);
    COMMCONFIG expected = record;
    expected.dcb.ByteSize = 5;
    expected.dcb.StopBits = ONE5STOPBITS;
    EXPECT_TRUE(same_bytes(outcome.record, expected));
}

// Every way out other than a confirmation leaves the record alone.
struct CancelCase {
    const char *how;
    std::vector<Step> steps;
    bool hang_up;  // after the steps, the terminal goes away
};

void PrintTo(const CancelCase &c, std::ostream *out) { *out << c.how; }

class ConfigDialogCancel : public ::testing::TestWithParam<CancelCase> {};

TEST_P(ConfigDialogCancel, LeavesTheRecordAndTheTerminalAsTheyWere) {
    const CancelCase &c = GetParam();
    TerminalChild child;
    termios2 before = child.modes();
    COMMCONFIG record = sample_record();

    auto body = dialog(kName, record);
    if (c.hang_up) {
        // A hang-up sends SIGHUP, which ends a process that does not ignore it, as it ends
        // any terminal program; one that ignores it sees the end of the input.
        body = [body] {
            ::signal(SIGHUP, SIG_IGN);
            return body();
        };
    }
    child.start(body);
    for (const Step &step : c.steps) {
        ASSERT_TRUE(child.expect(step.shown)) << "screen:\n" << child.screen();
        child.type(step.typed);
    }
    if (c.hang_up) {
        child.hang_up();
    }
    std::string bytes;
    ASSERT_TRUE(child.finish(bytes)) << "the process did not end normally; screen:\n"
                                     << child.screen();
    Outcome outcome{};
    ASSERT_TRUE(unpack(bytes, outcome));

    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.error, ERROR_CANCELLED);
    EXPECT_TRUE(same_bytes(outcome.record, record));
    EXPECT_EQ(child.standard_output(), "");
    if (!c.hang_up) {
        EXPECT_TRUE(same_modes(child.modes(), before));
        EXPECT_NE(child.screen().find("Cancelled: the settings stay as they were."),
                  std::string::npos);
    }
}

const Step kChangedUpToTheQuestion[] = {
    {kSpeedPrompt, "57600\r"}, {kDataBitsPrompt, "7\r"}, {kParityPrompt, "odd\r"},
    {kStopBitsPrompt, "2\r"},  {kFlowPrompt, "x\r"},
};

std::vector<Step> changed_then(const Step &last) {
    std::vector<Step> steps(std::begin(kChangedUpToTheQuestion), std::end(kChangedUpToTheQuestion));
    steps.push_back(last);
    return steps;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ConfigDialogCancel,
    ::testing::Values(
        CancelCase{"no", changed_then({kConfirmPrompt, "n\r"}), false},
        CancelCase{"EnterMeansNo", changed_then({kConfirmPrompt, "\r"}), false},
        CancelCase{"CtrlC",
                   {{kSpeedPrompt, "57600\r"}, {kDataBitsPrompt, "\r"}, {kParityPrompt, "ev\x03"}},
                   false},
        CancelCase{"CtrlCAtTheQuestion", changed_then({kConfirmPrompt, "\x03"}), false},
        CancelCase{"CtrlD", {{kSpeedPrompt, "\x04"}}, false},
        CancelCase{"HangUp", {{kSpeedPrompt, "300\r"}, {kDataBitsPrompt, ""}}, true}),
    [](const ::testing::TestParamInfo<CancelCase> &info) { return info.param.how; });

TEST(ConfigDialog, WithoutAControllingTerminalShowsNothingAndChangesNothing) {
    TerminalChild child;
    COMMCONFIG record = sample_record();
    child.start(dialog(kName, record), TerminalChild::Tty::kNone);
    std::string bytes;
    ASSERT_TRUE(child.finish(bytes));
    Outcome outcome{};
    ASSERT_TRUE(unpack(bytes, outcome));
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.error, ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(same_bytes(outcome.record, record));
    EXPECT_EQ(child.standard_output(), "");
    EXPECT_EQ(child.screen(), "");
}

TEST(ConfigDialog, ATerminalThatRefusesTheDialogsModeShowsNothing) {
    TerminalChild child;
    termios2 before = child.modes();
    COMMCONFIG record = sample_record();
    auto body = dialog(kName, record);
    child.start([body] {
        posix::sys.ioctl = [](int fd, unsigned long request, void *argument) {
            if (request == TCSETS2) {
                errno = EIO;
                return -1;
            }
            return posix::default_syscalls().ioctl(fd, request, argument);
        };
        return body();
    });
    std::string bytes;
    ASSERT_TRUE(child.finish(bytes));
    Outcome outcome{};
    ASSERT_TRUE(unpack(bytes, outcome));
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.error, ERROR_NOT_SUPPORTED);
    EXPECT_TRUE(same_bytes(outcome.record, record));
    EXPECT_EQ(child.screen(), "");
    EXPECT_TRUE(same_modes(child.modes(), before));
}

TEST(ConfigDialog, WithoutARecordShowsNothing) {
    TerminalChild child;
    child.start([] {
        Outcome outcome{};
        outcome.result = CommConfigDialogA(kName, nullptr, nullptr);
        outcome.error = GetLastError();
        return pack(outcome);
    });
    std::string bytes;
    ASSERT_TRUE(child.finish(bytes));
    Outcome outcome{};
    ASSERT_TRUE(unpack(bytes, outcome));
    EXPECT_FALSE(outcome.result);
    EXPECT_EQ(outcome.error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(child.screen(), "");
}

TEST(ConfigDialog, ControlCharactersOfTheNameNeverReachTheTerminal) {
    TerminalChild child;
    Outcome outcome =
        converse(child, sample_record(), {{kSpeedPrompt, "\x03"}}, "/dev/\x1b[2Jwiped");
    EXPECT_FALSE(outcome.result);
    EXPECT_NE(child.screen().find("Port settings for /dev/?[2Jwiped"), std::string::npos);
    EXPECT_EQ(child.screen().find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace quenlex::test
