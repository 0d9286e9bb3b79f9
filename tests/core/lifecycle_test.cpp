// quenlex_open, quenlex_close and quenlex_available over the recording fake: the exact calls,
// their arguments and order, and where the port slot stands after every path.
#include <climits>
#include <cstdint>
#include <string>
#include <tuple>

#include "core_fixture.h"

namespace core_test {
namespace {

using fake::Call;

// Checks every argument of a CreateFileA call but the name.
void expect_create(const Call &call, DWORD access, DWORD flags) {
    ASSERT_EQ(call.op, Op::CreateFileA);
    EXPECT_EQ(call.access, access);
    EXPECT_EQ(call.sharing, 0u);
    EXPECT_EQ(call.security, nullptr);
    EXPECT_EQ(call.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(call.flags, flags);
    EXPECT_EQ(call.template_file, nullptr);
}

DCB filled_with(unsigned char byte) {
    DCB dcb;
    std::memset(&dcb, byte, sizeof dcb);
    return dcb;
}

// --- quenlex_open on a healthy device ---------------------------------------------------

// (what the device reports as its line state, the speed asked for)
using OpenCase = std::tuple<int, int>;

class OpenWritesSettings : public CoreTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenWritesSettings, ExactCallsInOrder) {
    auto [device, baud] = GetParam();
    // A device state of all zero bits shows a field set where none should be, all one bits a
    // field cleared, and the default pattern (every byte different) a byte moved or lost.
    if (device == 0) {
        fake::set_device_dcb(filled_with(0x00));
    } else if (device == 1) {
        fake::set_device_dcb(filled_with(0xFF));
    }
    const DCB reported = fake::device_dcb();

    ASSERT_EQ(quenlex_open("/dev/ttyUSB0", baud), 1);

    ASSERT_EQ(fake::ops(), (std::vector<Op>{Op::CreateFileA, Op::GetCommState, Op::SetCommState,
                                            Op::SetCommTimeouts, Op::SetupComm}));
    std::vector<Call> calls = fake::calls();
    expect_create(calls[0], kReadWrite, 0);
    EXPECT_EQ(calls[0].name, "/dev/ttyUSB0");
    HANDLE port = fake::opened_handles().at(0);
    for (std::size_t i = 1; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].handle, port) << fake::op_name(calls[i].op);
    }

    // Exactly the four fields change; every other byte, DCBlength included, is the device's.
    DCB expected = reported;
    expected.BaudRate = static_cast<DWORD>(baud);
    expected.ByteSize = 8;
    expected.Parity = NOPARITY;
    expected.StopBits = ONESTOPBIT;
    EXPECT_TRUE(same_bytes(calls[2].dcb, expected));
    EXPECT_EQ(calls[2].dcb.BaudRate, static_cast<DWORD>(baud));

    const COMMTIMEOUTS &timeouts = calls[3].timeouts;
    EXPECT_EQ(timeouts.ReadIntervalTimeout, 500u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 3u);
    EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 2u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 3u);
    EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 2u);

    EXPECT_EQ(calls[4].in_queue, 512u);
    EXPECT_EQ(calls[4].out_queue, 512u);

    // The port stays open in the slot until closed.
    EXPECT_EQ(fake::open_handles(), std::vector<HANDLE>{port});
}

INSTANTIATE_TEST_SUITE_P(DevicesAndSpeeds, OpenWritesSettings,
                         ::testing::Combine(::testing::Values(0, 1, 2),
                                            ::testing::Values(9600, 115200, 250000, 0, -1,
                                                              INT_MAX)));

TEST_F(CoreTest, OpenGoesOnWhenTheTimeoutsAreRefused) {
    fake::script(Op::SetCommTimeouts, failing(ERROR_INVALID_PARAMETER));
    ASSERT_EQ(quenlex_open("COM2", 9600), 1);
    EXPECT_EQ(fake::ops(), (std::vector<Op>{Op::CreateFileA, Op::GetCommState, Op::SetCommState,
                                            Op::SetCommTimeouts, Op::SetupComm}));
    EXPECT_EQ(fake::open_handles().size(), 1u);
}

// --- quenlex_open failing at each step ---------------------------------------------------

struct FailingStep {
    const char *label;
    Op op;
    DWORD error;
    std::vector<Op> calls;  // after closing any earlier port
};

// Cases print as their labels in test output.
void PrintTo(const FailingStep &c, std::ostream *out) { *out << c.label; }

const FailingStep kFailingSteps[] = {
    {"Open", Op::CreateFileA, ERROR_FILE_NOT_FOUND, {Op::CreateFileA}},
    {"ReadState",
     Op::GetCommState,
     ERROR_INVALID_FUNCTION,
     {Op::CreateFileA, Op::GetCommState, Op::CloseHandle}},
    {"WriteState",
     Op::SetCommState,
     ERROR_INVALID_PARAMETER,
     {Op::CreateFileA, Op::GetCommState, Op::SetCommState, Op::CloseHandle}},
    {"Queues",
     Op::SetupComm,
     ERROR_GEN_FAILURE,
     {Op::CreateFileA, Op::GetCommState, Op::SetCommState, Op::SetCommTimeouts, Op::SetupComm,
      Op::CloseHandle}},
};

// (the failing step, whether a port was open before)
class OpenFails : public CoreTest,
                  public ::testing::WithParamInterface<std::tuple<FailingStep, bool>> {};

TEST_P(OpenFails, LeavesNoPortAndTheStepsErrorCode) {
    auto [step, was_open] = GetParam();
    HANDLE earlier = was_open ? open_port() : INVALID_HANDLE_VALUE;
    fake::script(step.op, failing(step.error));

    EXPECT_EQ(quenlex_open("COM3", 19200), 0);
    EXPECT_EQ(quenlex_getError(), static_cast<int>(step.error));

    std::vector<Op> expected;
    if (was_open) {
        expected.push_back(Op::CloseHandle);  // the earlier port goes first, whatever follows
    }
    expected.insert(expected.end(), step.calls.begin(), step.calls.end());
    expected.push_back(Op::GetLastError);
    EXPECT_EQ(fake::ops(), expected);

    std::vector<Call> calls = fake::calls();
    if (was_open) {
        EXPECT_EQ(calls.front().handle, earlier);
    }
    // A port opened by this call is the one closed again.
    std::vector<HANDLE> opened = fake::opened_handles();
    if (step.op != Op::CreateFileA) {
        EXPECT_EQ(calls[calls.size() - 2].handle, opened.back());
    }
    EXPECT_TRUE(fake::open_handles().empty());
    EXPECT_TRUE(no_port_open());
}

INSTANTIATE_TEST_SUITE_P(Steps, OpenFails,
                         ::testing::Combine(::testing::ValuesIn(kFailingSteps), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<FailingStep, bool>> &info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "AfterAnOpenPort" : "WithNoPort");
                         });

TEST_F(CoreTest, ReopenClosesTheOldHandleBeforeOpening) {
    HANDLE first = open_port();
    ASSERT_EQ(quenlex_open("COM1", 9600), 1);  // the same, exclusively held, port

    std::vector<Call> calls = fake::calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, Op::CloseHandle);
    EXPECT_EQ(calls[0].handle, first);
    EXPECT_EQ(calls[1].op, Op::CreateFileA);
    EXPECT_EQ(calls[1].name, "COM1");
    HANDLE second = fake::opened_handles().back();
    EXPECT_NE(second, first);
    EXPECT_EQ(fake::open_handles(), std::vector<HANDLE>{second});
}

TEST_F(CoreTest, NullNameReachesTheDeviceLayer) {
    fake::script(Op::CreateFileA, failing(ERROR_INVALID_PARAMETER));
    fake::script(Op::CreateFileA, failing(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(quenlex_open(nullptr, 9600), 0);
    EXPECT_EQ(quenlex_available(nullptr), 0);
    EXPECT_EQ(quenlex_getError(), static_cast<int>(ERROR_INVALID_PARAMETER));
    std::vector<Call> opens = fake::calls_of(Op::CreateFileA);
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_TRUE(opens[0].name_is_null);
    EXPECT_TRUE(opens[1].name_is_null);
}

// --- quenlex_close ------------------------------------------------------------------------

TEST_F(CoreTest, CloseTwiceClosesOnce) {
    HANDLE port = open_port();
    quenlex_close();
    quenlex_close();
    std::vector<Call> calls = fake::calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].op, Op::CloseHandle);
    EXPECT_EQ(calls[0].handle, port);
}

TEST_F(CoreTest, CloseWithNoPortMakesNoCall) {
    quenlex_close();
    EXPECT_TRUE(fake::calls().empty());
}

// --- quenlex_available --------------------------------------------------------------------

// (whether a port is open, whether the probe's open succeeds)
class Available : public CoreTest, public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(Available, ProbesWithoutTouchingTheSlot) {
    auto [port_open, free] = GetParam();
    HANDLE port = port_open ? open_port() : INVALID_HANDLE_VALUE;
    fake::set_last_error(kUntouchedError);
    if (!free) {
        fake::script(Op::CreateFileA, failing(ERROR_ACCESS_DENIED));
    }

    EXPECT_EQ(quenlex_available("COM5"), free ? 1 : 0);

    std::vector<Call> calls = fake::calls();
    ASSERT_EQ(calls.size(), free ? 2u : 1u);
    expect_create(calls[0], 0, 0);  // query-only: neither read nor write
    EXPECT_EQ(calls[0].name, "COM5");
    if (free) {
        EXPECT_EQ(calls[1].op, Op::CloseHandle);
        EXPECT_EQ(calls[1].handle, fake::opened_handles().back());
        EXPECT_NE(calls[1].handle, port);
    }
    EXPECT_EQ(fake::last_error(), free ? kUntouchedError : ERROR_ACCESS_DENIED);

    // The open port, if any, is still in the slot and still open.
    if (port_open) {
        EXPECT_EQ(fake::open_handles(), std::vector<HANDLE>{port});
        fake::clear_calls();
        quenlex_close();
        ASSERT_EQ(fake::calls().size(), 1u);
        EXPECT_EQ(fake::calls()[0].handle, port);
    } else {
        EXPECT_TRUE(fake::open_handles().empty());
        EXPECT_TRUE(no_port_open());
    }
}

INSTANTIATE_TEST_SUITE_P(PortAndProbe, Available,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()));

}  // namespace
}  // namespace core_test
