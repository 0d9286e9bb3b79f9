// The dialog's answers and its flow control mapping, without a terminal.
#include "serial_device/posix/dialog_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace quenlex::posix::dialog {
namespace {

TEST(DialogAnswers, SpeedsOnOfferOrTheCurrentOne) {
    struct Case {
        const char *answer;
        DWORD current;
        bool accepted;
    };
    const Case kCases[] = {
        {"9600", 9600, true},
        {"115200", 9600, true},
        {"250000", 9600, true},
        {"12345", 9600, false},
        {"12345", 12345, true},
        {"0", 0, false},
        {"-9600", 9600, false},
        {"+9600", 9600, false},
        {"96OO", 9600, false},
        {"", 9600, false},
        {"4294967296", 0, false},
        {"4294967295", 4294967295u, true},
        {"99999999999999999999", 9600, false},
    };
    for (const Case &c : kCases) {
        DWORD speed = 77;
        EXPECT_EQ(parse_speed(c.answer, c.current, speed), c.accepted) << c.answer;
        if (c.accepted) {
            EXPECT_EQ(std::to_string(speed), c.answer);
        } else {
            EXPECT_EQ(speed, 77u) << c.answer;
        }
    }
}

TEST(DialogAnswers, DataBitsFiveToEight) {
    for (const char *good : {"5", "6", "7", "8"}) {
        BYTE bits = 0;
        EXPECT_TRUE(parse_data_bits(good, bits));
        EXPECT_EQ(bits, good[0] - '0');
    }
    for (const char *bad : {"4", "9", "0", "261", "7.5", "eight", ""}) {
        BYTE bits = 0;
        EXPECT_FALSE(parse_data_bits(bad, bits)) << bad;  // 261 would wrap to 5 in a byte
    }
}

TEST(DialogAnswers, WordsInAnyCaseOrByTheirFirstLetter) {
    BYTE parity = 9;
    EXPECT_TRUE(parse_parity("Mark", parity));
    EXPECT_EQ(parity, MARKPARITY);
    EXPECT_TRUE(parse_parity("s", parity));
    EXPECT_EQ(parity, SPACEPARITY);
    EXPECT_FALSE(parse_parity("oddd", parity));
    EXPECT_FALSE(parse_parity("", parity));

    Flow flow = Flow::kOther;
    EXPECT_TRUE(parse_flow("RTS/CTS", flow));
    EXPECT_EQ(flow, Flow::kRtsCts);
    EXPECT_TRUE(parse_flow("xon-xoff", flow));
    EXPECT_EQ(flow, Flow::kXonXoff);
    EXPECT_TRUE(parse_flow("none", flow));
    EXPECT_EQ(flow, Flow::kNone);
    EXPECT_FALSE(parse_flow("custom", flow));
    EXPECT_FALSE(parse_flow("dsr/dtr", flow));

    bool yes = true;
    EXPECT_TRUE(parse_yes_no("", yes));
    EXPECT_FALSE(yes);
    EXPECT_TRUE(parse_yes_no("YES", yes));
    EXPECT_TRUE(yes);
    EXPECT_FALSE(parse_yes_no("ja", yes));
}

TEST(DialogAnswers, StopBitsThatGoWithTheDataBits) {
    struct Case {
        BYTE data_bits;
        BYTE stop_bits;
        bool fits;
    };
    const Case kCases[] = {
        {5, ONESTOPBIT, true}, {5, ONE5STOPBITS, true},  {5, TWOSTOPBITS, false},
        {8, ONESTOPBIT, true}, {8, ONE5STOPBITS, false}, {6, TWOSTOPBITS, true},
        {8, 3, false},         {9, ONESTOPBIT, false},
    };
    for (const Case &c : kCases) {
        EXPECT_EQ(stop_bits_fit(c.data_bits, c.stop_bits), c.fits)
            << int{c.data_bits} << " data bits, stop bits code " << int{c.stop_bits};
    }
}

// Whatever flow control fields a record starts with, each offered mode set on it reads back
// as that mode, and nothing outside the flow control fields moves.
TEST(DialogFlow, EachModeReadsBackFromAnyStartingRecord) {
    const std::function<void(DCB &)> kStarts[] = {
        [](DCB &) {},
        [](DCB &dcb) { dcb.fOutxDsrFlow = 1; },
        [](DCB &dcb) { dcb.fDtrControl = DTR_CONTROL_HANDSHAKE; },
        [](DCB &dcb) { dcb.fRtsControl = RTS_CONTROL_HANDSHAKE; },
        [](DCB &dcb) { dcb.fOutX = 1; },
        [](DCB &dcb) {
            dcb.fOutxCtsFlow = 1;
            dcb.fInX = 1;
            dcb.XonChar = dcb.XoffChar = 0;
        },
    };
    for (std::size_t i = 0; i < std::size(kStarts); ++i) {
        for (Flow mode : {Flow::kNone, Flow::kRtsCts, Flow::kXonXoff}) {
            DCB dcb;
            std::memset(&dcb, 0, sizeof dcb);
            dcb.DCBlength = sizeof dcb;
            dcb.BaudRate = 4800;
            dcb.fBinary = 1;
            dcb.ByteSize = 7;
            dcb.XonChar = 0x11;
            dcb.XoffChar = 0x13;
            kStarts[i](dcb);
            DCB set = dcb;
            set_flow(set, mode);
            EXPECT_EQ(flow_of(set), mode) << "start " << i << ", mode " << flow_name(mode);
            EXPECT_NE(set.fDtrControl, static_cast<DWORD>(DTR_CONTROL_HANDSHAKE));
            if (mode == Flow::kXonXoff) {
                EXPECT_NE(set.XonChar, set.XoffChar);
            }
            EXPECT_EQ(set.BaudRate, dcb.BaudRate);
            EXPECT_EQ(set.ByteSize, dcb.ByteSize);
            EXPECT_EQ(set.fBinary, dcb.fBinary);
        }
    }
}

TEST(DialogFlow, MixesTheDialogDoesNotOfferAreCustom) {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    EXPECT_EQ(flow_of(dcb), Flow::kNone);
    dcb.fOutxCtsFlow = 1;  // CTS watched, RTS not driven by the handshake
    EXPECT_EQ(flow_of(dcb), Flow::kOther);
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    EXPECT_EQ(flow_of(dcb), Flow::kRtsCts);
    dcb.fOutX = 1;
    EXPECT_EQ(flow_of(dcb), Flow::kOther);
}

TEST(DialogName, OnlyPrintableAsciiReachesTheTerminal) {
    struct Case {
        const char *name;
        std::size_t size;
        const char *shown;
    };
    const Case kCases[] = {
        {"/dev/ttyUSB0", 81, "/dev/ttyUSB0"},
        {"/dev/\x1b]0;title\x07x", 81, "/dev/?]0;title?x"},
        {"/dev/caf\xc3\xa9", 81, "/dev/caf??"},
        {"/dev/ttyUSB0", 10, "/dev/t..."},
        {"abc", 4, "abc"},
        {"abcd", 3, ".."},
    };
    for (const Case &c : kCases) {
        char out[81];
        std::memset(out, 'Z', sizeof out);
        printable_copy(c.name, out, c.size);
        EXPECT_STREQ(out, c.shown);
    }
}

}  // namespace
}  // namespace quenlex::posix::dialog
