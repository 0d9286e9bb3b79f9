// GetCommState and SetCommState on pseudo-terminals: what the device's termios2 says after
// each setting, what GetCommState gives back, and records that must change nothing.
#include <cstring>
#include <sstream>

#include "pseudo_terminal.h"

namespace {

using quenlex_test::fd_of;
using quenlex_test::IoctlSpy;
using quenlex_test::PseudoTerminal;
using quenlex_test::TempFolder;

// CIBAUD holds an input speed code 16 bits up.
constexpr tcflag_t kInputSpeed2400 = static_cast<tcflag_t>(B2400) << 16;

// Speed, framing and flow control of one row, and what the device must show for it.
struct LineCase {
    const char *what;
    DWORD baud;
    BYTE byte_size;
    BYTE parity;
    BYTE stop_bits;
    bool cts_flow;
    BYTE rts_control;
    bool out_x;
    bool in_x;
    bool check_parity;
    char xon;
    char xoff;
    // Expected on the device.
    tcflag_t speed_code;   // what CBAUD holds
    tcflag_t size_parity;  // CSIZE | PARENB | PARODD | CMSPAR as written
    bool cstopb;
    bool crtscts;
};

const LineCase kLineCases[] = {
    {"9600 8N1", 9600, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE, false, false, false,
     0x11, 0x13, B9600, CS8, false, false},
    {"115200 7E1", 115200, 7, EVENPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE, false, false, true,
     0x11, 0x13, B115200, CS7 | PARENB, false, false},
    {"250000 8O1, no code of its own", 250000, 8, ODDPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE,
     false, false, false, 0x11, 0x13, BOTHER, CS8 | PARENB | PARODD, false, false},
    {"1000000 8N2", 1000000, 8, NOPARITY, TWOSTOPBITS, false, RTS_CONTROL_ENABLE, false, false,
     false, 0x11, 0x13, B1000000, CS8, true, false},
    {"12345 6M2", 12345, 6, MARKPARITY, TWOSTOPBITS, false, RTS_CONTROL_ENABLE, false, false, false,
     0x11, 0x13, BOTHER, CS6 | PARENB | CMSPAR | PARODD, true, false},
    {"19200 5S1.5", 19200, 5, SPACEPARITY, ONE5STOPBITS, false, RTS_CONTROL_ENABLE, false, false,
     false, 0x11, 0x13, B19200, CS5 | PARENB | CMSPAR, true, false},
    {"50, the slowest code", 50, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE, false, false,
     false, 0x11, 0x13, B50, CS8, false, false},
    {"4000000, the fastest code", 4000000, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE,
     false, false, false, 0x11, 0x13, B4000000, CS8, false, false},
    {"4000001", 4000001, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE, false, false, false,
     0x11, 0x13, BOTHER, CS8, false, false},
    {"RTS/CTS handshake", 57600, 8, NOPARITY, ONESTOPBIT, true, RTS_CONTROL_HANDSHAKE, false, false,
     false, 0x11, 0x13, B57600, CS8, false, true},
    {"CTS flow with RTS enabled", 57600, 8, NOPARITY, ONESTOPBIT, true, RTS_CONTROL_ENABLE, false,
     false, false, 0x11, 0x13, B57600, CS8, false, true},
    {"CTS flow with RTS disabled", 57600, 8, NOPARITY, ONESTOPBIT, true, RTS_CONTROL_DISABLE, false,
     false, false, 0x11, 0x13, B57600, CS8, false, false},
    {"RTS handshake without CTS flow", 57600, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_HANDSHAKE,
     false, false, false, 0x11, 0x13, B57600, CS8, false, false},
    {"XON/XOFF both ways", 38400, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE, true, true,
     false, 0x11, 0x13, B38400, CS8, false, false},
    {"XON/XOFF out only, own characters", 4800, 7, ODDPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE,
     true, false, true, 'Q', 'S', B4800, CS7 | PARENB | PARODD, false, false},
    {"XON/XOFF in only", 300, 8, NOPARITY, ONESTOPBIT, false, RTS_CONTROL_ENABLE, false, true,
     false, 0x01, 0x02, B300, CS8, false, false},
    {"equal XON/XOFF characters with XON/XOFF off", 9600, 8, NOPARITY, ONESTOPBIT, false,
     RTS_CONTROL_ENABLE, false, false, false, 0x00, 0x00, B9600, CS8, false, false},
};

std::string describe(const DCB &d) {
    std::ostringstream out;
    out << "DCBlength=" << d.DCBlength << " BaudRate=" << d.BaudRate << " fBinary=" << d.fBinary
        << " fParity=" << d.fParity << " fOutxCtsFlow=" << d.fOutxCtsFlow
        << " fOutxDsrFlow=" << d.fOutxDsrFlow << " fDtrControl=" << d.fDtrControl
        << " fDsrSensitivity=" << d.fDsrSensitivity << " fTXContinueOnXoff=" << d.fTXContinueOnXoff
        << " fOutX=" << d.fOutX << " fInX=" << d.fInX << " fErrorChar=" << d.fErrorChar
        << " fNull=" << d.fNull << " fRtsControl=" << d.fRtsControl
        << " fAbortOnError=" << d.fAbortOnError << " fDummy2=" << d.fDummy2
        << " wReserved=" << d.wReserved << " XonLim=" << d.XonLim << " XoffLim=" << d.XoffLim
        << " ByteSize=" << int(d.ByteSize) << " Parity=" << int(d.Parity)
        << " StopBits=" << int(d.StopBits) << " XonChar=" << int(d.XonChar)
        << " XoffChar=" << int(d.XoffChar) << " ErrorChar=" << int(d.ErrorChar)
        << " EofChar=" << int(d.EofChar) << " EvtChar=" << int(d.EvtChar)
        << " wReserved1=" << d.wReserved1;
    return out.str();
}

void expect_same(const DCB &expected, const DCB &actual, const char *what) {
    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(DCB)), 0)
        << what << "\n expected " << describe(expected) << "\n actual   " << describe(actual);
}

void expect_same(const termios2 &expected, const termios2 &actual, const char *what) {
    EXPECT_EQ(std::memcmp(&expected, &actual, sizeof(termios2)), 0) << what;
}

// The port opened the way quenlex_open opens it.
class CommStateTest : public ::testing::Test {
  protected:
    void SetUp() override { open(); }
    void TearDown() override {
        if (port_ != INVALID_HANDLE_VALUE) {
            CloseHandle(port_);
        }
    }
    void open() {
        port_ = CreateFileA(pty_.name(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
        ASSERT_NE(port_, INVALID_HANDLE_VALUE);
    }
    DCB state() {
        DCB dcb;
        std::memset(&dcb, 0xA5, sizeof dcb);  // nothing of this may survive
        EXPECT_TRUE(GetCommState(port_, &dcb)) << "error " << GetLastError();
        return dcb;
    }
    // The record as SetCommState takes it and GetCommState must give it back.
    static DCB normalised(DCB dcb) {
        dcb.DCBlength = sizeof(DCB);
        dcb.fBinary = TRUE;
        return dcb;
    }

    PseudoTerminal pty_;
    HANDLE port_ = INVALID_HANDLE_VALUE;
};

TEST_F(CommStateTest, RightAfterOpenTheStateDescribesTheDevice) {
    DCB dcb = state();
    EXPECT_EQ(dcb.DCBlength, sizeof(DCB));
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.BaudRate, 38400u);  // a new pseudo-terminal's speed
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fDtrControl, unsigned(DTR_CONTROL_ENABLE));
    EXPECT_EQ(dcb.fRtsControl, unsigned(RTS_CONTROL_ENABLE));
    EXPECT_EQ(dcb.XonChar, 0x11);
    EXPECT_EQ(dcb.XoffChar, 0x13);
    EXPECT_GT(dcb.XonLim, 0u);
    EXPECT_GT(dcb.XoffLim, 0u);

    // What the library's open does with it: four fields changed, the rest written back.
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    ASSERT_TRUE(SetCommState(port_, &dcb)) << "error " << GetLastError();
    expect_same(dcb, state(), "after the open's SetCommState");
}

TEST_F(CommStateTest, EachSettingReachesTheDeviceAndComesBack) {
    for (const LineCase &c : kLineCases) {
        SCOPED_TRACE(c.what);
        DCB dcb = state();
        dcb.BaudRate = c.baud;
        dcb.ByteSize = c.byte_size;
        dcb.Parity = c.parity;
        dcb.StopBits = c.stop_bits;
        dcb.fOutxCtsFlow = c.cts_flow;
        dcb.fRtsControl = c.rts_control;
        dcb.fOutX = c.out_x;
        dcb.fInX = c.in_x;
        dcb.fParity = c.check_parity;
        dcb.XonChar = c.xon;
        dcb.XoffChar = c.xoff;

        // A separate input speed on the device, which the new speed must replace.
        termios2 split = pty_.state();
        split.c_cflag |= kInputSpeed2400;
        split.c_ispeed = 2400;
        pty_.set_state(split);

        IoctlSpy spy;
        ASSERT_TRUE(SetCommState(port_, &dcb)) << "error " << GetLastError();

        // What was written: a pseudo-terminal keeps no data bits or parity enable, so those
        // are checked in the record handed to the kernel.
        const termios2 &written = spy.last_written;
        EXPECT_EQ(written.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR), c.size_parity);

        // What the device reports.
        termios2 tio = pty_.state();
        EXPECT_EQ(tio.c_cflag & CBAUD, c.speed_code);
        EXPECT_EQ(tio.c_cflag & CIBAUD, 0u);
        EXPECT_EQ(tio.c_ospeed, c.baud);
        EXPECT_EQ(tio.c_ispeed, c.baud);
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.size_parity & (PARODD | CMSPAR));
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.cstopb);
        EXPECT_EQ((tio.c_cflag & CRTSCTS) != 0, c.crtscts);
        EXPECT_EQ((tio.c_iflag & INPCK) != 0, c.check_parity);
        EXPECT_EQ((tio.c_iflag & IXON) != 0, c.out_x);
        EXPECT_EQ((tio.c_iflag & IXOFF) != 0, c.in_x);
        EXPECT_EQ(tio.c_iflag & IXANY, 0u);
        EXPECT_EQ(tio.c_cc[VSTART], static_cast<cc_t>(c.xon));
        EXPECT_EQ(tio.c_cc[VSTOP], static_cast<cc_t>(c.xoff));
        // Still raw, apart from the flow control asked for.
        EXPECT_EQ(tio.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0u);
        EXPECT_EQ(tio.c_oflag & OPOST, 0u);
        EXPECT_EQ(tio.c_iflag &
                      (IGNBRK | BRKINT | IGNPAR | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC),
                  0u);
        EXPECT_EQ(tio.c_cflag & (CREAD | CLOCAL | HUPCL),
                  static_cast<tcflag_t>(CREAD | CLOCAL | HUPCL));
        EXPECT_EQ(tio.c_cc[VMIN], 1);
        EXPECT_EQ(tio.c_cc[VTIME], 0);

        expect_same(normalised(dcb), state(), "GetCommState after SetCommState");
    }
}

TEST_F(CommStateTest, FieldsTermiosCannotExpressAreKept) {
    DCB dcb = state();
    dcb.fOutxDsrFlow = TRUE;
    dcb.fDsrSensitivity = TRUE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fErrorChar = TRUE;
    dcb.fNull = TRUE;
    dcb.fAbortOnError = TRUE;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fRtsControl = RTS_CONTROL_TOGGLE;
    dcb.XonLim = 100;
    dcb.XoffLim = 200;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1A;
    dcb.EvtChar = '\n';
    ASSERT_TRUE(SetCommState(port_, &dcb));
    expect_same(dcb, state(), "kept fields");
}

TEST_F(CommStateTest, BinaryModeIsTheOnlyModeAndTheLengthIsAlwaysTheRecords) {
    DCB dcb = state();
    dcb.fBinary = FALSE;
    dcb.DCBlength = 0;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    DCB now = state();
    EXPECT_EQ(now.fBinary, 1u);
    EXPECT_EQ(now.DCBlength, sizeof(DCB));
}

TEST_F(CommStateTest, RecordsNoDeviceCouldTakeChangeNothing) {
    // A state unlike the default, so that any change would show.
    DCB good = state();
    good.BaudRate = 250000;
    good.ByteSize = 7;
    good.Parity = EVENPARITY;
    good.fOutX = TRUE;
    good.fInX = TRUE;
    ASSERT_TRUE(SetCommState(port_, &good));

    struct Bad {
        const char *what;
        void (*spoil)(DCB &);
    };
    const Bad bad[] = {
        {"rate 0", [](DCB &d) { d.BaudRate = 0; }},
        {"4 data bits", [](DCB &d) { d.ByteSize = 4; }},
        {"9 data bits", [](DCB &d) { d.ByteSize = 9; }},
        {"0 data bits", [](DCB &d) { d.ByteSize = 0; }},
        {"parity 5", [](DCB &d) { d.Parity = 5; }},
        {"stop bits 3", [](DCB &d) { d.StopBits = 3; }},
        {"1.5 stop bits with 6 data bits",
         [](DCB &d) { d.ByteSize = 6, d.StopBits = ONE5STOPBITS; }},
        {"1.5 stop bits with 7 data bits",
         [](DCB &d) { d.ByteSize = 7, d.StopBits = ONE5STOPBITS; }},
        {"1.5 stop bits with 8 data bits",
         [](DCB &d) { d.ByteSize = 8, d.StopBits = ONE5STOPBITS; }},
        {"2 stop bits with 5 data bits", [](DCB &d) { d.ByteSize = 5, d.StopBits = TWOSTOPBITS; }},
        {"DTR control 3", [](DCB &d) { d.fDtrControl = 3; }},
        {"XON equal to XOFF with XON/XOFF out",
         [](DCB &d) { d.fInX = FALSE, d.XonChar = d.XoffChar = 0x11; }},
        {"XON equal to XOFF with XON/XOFF in",
         [](DCB &d) { d.fOutX = FALSE, d.XonChar = d.XoffChar = 0x13; }},
    };
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.what);
        DCB dcb = good;
        b.spoil(dcb);
        termios2 before = pty_.state();
        DCB state_before = state();
        IoctlSpy spy;
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port_, &dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        EXPECT_TRUE(spy.requests.empty()) << "the device was asked something";
        expect_same(before, pty_.state(), "device termios");
        expect_same(state_before, state(), "GetCommState");
    }
}

TEST_F(CommStateTest, ANullRecordIsAnInvalidParameter) {
    SetLastError(0);
    EXPECT_FALSE(GetCommState(port_, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    EXPECT_FALSE(SetCommState(port_, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(CommStateTest, ASpeedTheDriverRefusesFailsAndChangesNothing) {
    termios2 before = pty_.state();
    DCB state_before = state();
    DCB dcb = state_before;
    dcb.BaudRate = 31;
    IoctlSpy spy;
    spy.fail_request = TCSETS2;
    spy.fail_errno = EINVAL;
    EXPECT_FALSE(SetCommState(port_, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    expect_same(before, pty_.state(), "device termios");
    expect_same(state_before, state(), "GetCommState");
}

TEST_F(CommStateTest, ChangesMadeByOthersToTheDeviceShowInGetCommState) {
    DCB dcb = state();
    dcb.ByteSize = 5;
    dcb.StopBits = ONE5STOPBITS;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    EXPECT_EQ(state().ByteSize, 5);

    // Another program (stty, say) changes speed, stop bits and flow control.
    termios2 tio = pty_.state();
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CSTOPB);
    tio.c_cflag |= B4800 | CRTSCTS;
    tio.c_ispeed = tio.c_ospeed = 4800;
    tio.c_iflag |= IXON;
    pty_.set_state(tio);

    DCB now = state();
    EXPECT_EQ(now.BaudRate, 4800u);
    EXPECT_EQ(now.ByteSize, 8);  // the device's framing changed: its own word counts now
    EXPECT_EQ(now.StopBits, ONESTOPBIT);
    EXPECT_EQ(now.fOutxCtsFlow, 1u);
    EXPECT_EQ(now.fRtsControl, unsigned(RTS_CONTROL_HANDSHAKE));
    EXPECT_EQ(now.fOutX, 1u);
}

TEST_F(CommStateTest, RawModeSurvivesSetCommStateSoEveryBytePasses) {
    DCB dcb = state();
    dcb.BaudRate = 115200;
    ASSERT_TRUE(SetCommState(port_, &dcb));
    std::vector<unsigned char> all(256);
    for (int i = 0; i < 256; ++i) {
        all[static_cast<size_t>(i)] = static_cast<unsigned char>(i);
    }
    ASSERT_EQ(write(pty_.master(), all.data(), all.size()), 256);
    EXPECT_EQ(quenlex_test::read_bytes(fd_of(port_), 256), all);
    ASSERT_EQ(write(fd_of(port_), all.data(), all.size()), 256);
    EXPECT_EQ(quenlex_test::read_bytes(pty_.master(), 256), all);
}

// A device with modem lines (a UART), as the spy makes the pseudo-terminal look.
class ModemLinesTest : public CommStateTest {
  protected:
    void SetUp() override {
        spy_.emulate_modem_lines = true;
        spy_.modem_bits = TIOCM_RTS;  // DTR found low at open, RTS high
        open();
    }
    IoctlSpy spy_;
};

TEST_F(ModemLinesTest, TheStateAtOpenSaysWhatTheLinesAre) {
    DCB dcb = state();
    EXPECT_EQ(dcb.fDtrControl, unsigned(DTR_CONTROL_DISABLE));
    EXPECT_EQ(dcb.fRtsControl, unsigned(RTS_CONTROL_ENABLE));
}

TEST_F(ModemLinesTest, DtrAndRtsFollowTheirControlFields) {
    struct Case {
        const char *what;
        BYTE dtr;
        BYTE rts;
        bool cts_flow;
        int expected_bits;
        bool rts_left_alone;
    };
    const Case cases[] = {
        {"both enabled", DTR_CONTROL_ENABLE, RTS_CONTROL_ENABLE, false, TIOCM_DTR | TIOCM_RTS,
         false},
        {"both disabled", DTR_CONTROL_DISABLE, RTS_CONTROL_DISABLE, false, 0, false},
        {"DTR handshake, RTS toggle", DTR_CONTROL_HANDSHAKE, RTS_CONTROL_TOGGLE, false, TIOCM_DTR,
         false},
        {"RTS handshake without CTS flow", DTR_CONTROL_DISABLE, RTS_CONTROL_HANDSHAKE, false,
         TIOCM_RTS, false},
        {"RTS/CTS flow: the kernel drives RTS", DTR_CONTROL_ENABLE, RTS_CONTROL_HANDSHAKE, true,
         TIOCM_DTR, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        spy_.modem_bits = 0;
        spy_.requests.clear();
        DCB dcb = state();
        dcb.fDtrControl = c.dtr;
        dcb.fRtsControl = c.rts;
        dcb.fOutxCtsFlow = c.cts_flow;
        ASSERT_TRUE(SetCommState(port_, &dcb)) << "error " << GetLastError();
        EXPECT_EQ(spy_.modem_bits, c.expected_bits);
        expect_same(normalised(dcb), state(), "GetCommState");
    }
}

TEST_F(ModemLinesTest, FramingTheDeviceDoesNotTakeIsRefusedAndUndone) {
    // The pseudo-terminal underneath falls back to 8 data bits without parity, as a UART
    // driver does for what it cannot frame; with modem lines it counts as a UART.
    termios2 before = pty_.state();
    DCB state_before = state();
    for (BYTE parity : {NOPARITY, ODDPARITY}) {
        DCB dcb = state_before;
        dcb.ByteSize = parity == NOPARITY ? 7 : 8;
        dcb.Parity = parity;
        SetLastError(0);
        EXPECT_FALSE(SetCommState(port_, &dcb));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
        expect_same(before, pty_.state(), "device termios");
        expect_same(state_before, state(), "GetCommState");
    }
    DCB plain = state_before;
    plain.BaudRate = 9600;
    EXPECT_TRUE(SetCommState(port_, &plain));
}

TEST_F(ModemLinesTest, ALineRequestThatFailsFailsTheCallAndUndoesTheSettings) {
    termios2 before = pty_.state();
    DCB dcb = state();
    dcb.BaudRate = 9600;
    spy_.fail_request = TIOCMBIS;
    spy_.fail_errno = EIO;
    SetLastError(0);
    EXPECT_FALSE(SetCommState(port_, &dcb));
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    expect_same(before, pty_.state(), "device termios");
}

}  // namespace
