// GetCommConfig and SetCommConfig on a pseudo-terminal and on things that are no port.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "posix_config/pty_port.h"
#include "serial_device/serial_device.h"

namespace quenlex::test {
namespace {

constexpr DWORD kRecordSize = 52;

COMMCONFIG patterned() {
    COMMCONFIG record;
    std::memset(&record, 0x5A, sizeof record);
    return record;
}

bool same_bytes(const void *a, const void *b, std::size_t size) {
    return std::memcmp(a, b, size) == 0;
}

class CommConfig : public ::testing::Test {
  protected:
    void SetUp() override {
        handle = port.open();
        ASSERT_NE(handle, INVALID_HANDLE_VALUE) << GetLastError();
    }

    COMMCONFIG read_config() {
        COMMCONFIG record = patterned();
        DWORD size = kRecordSize;
        EXPECT_TRUE(GetCommConfig(handle, &record, &size)) << GetLastError();
        return record;
    }

    PtyPort port;
    HANDLE handle = INVALID_HANDLE_VALUE;
};

TEST_F(CommConfig, ASizeBelowTheRecordFailsAndReportsTheSizeNeeded) {
    for (DWORD given : {0u, 1u, kRecordSize - 1}) {
        COMMCONFIG record = patterned();
        const COMMCONFIG untouched = record;
        DWORD size = given;
        EXPECT_FALSE(GetCommConfig(handle, &record, &size));
        EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(size, kRecordSize);
        EXPECT_TRUE(same_bytes(&record, &untouched, sizeof record)) << "size " << given;
    }
}

TEST_F(CommConfig, FillsTheRecordAroundTheLineStateGetCommStateGives) {
    DCB state;
    ASSERT_TRUE(GetCommState(handle, &state)) << GetLastError();
    for (DWORD given : {kRecordSize, 4096u}) {
        COMMCONFIG record = patterned();
        DWORD size = given;
        ASSERT_TRUE(GetCommConfig(handle, &record, &size)) << GetLastError();
        EXPECT_EQ(size, kRecordSize);
        EXPECT_EQ(record.dwSize, kRecordSize);
        EXPECT_EQ(record.wVersion, 1u);
        EXPECT_EQ(record.wReserved, 0u);
        EXPECT_TRUE(same_bytes(&record.dcb, &state, sizeof state));
        EXPECT_EQ(record.dwProviderSubType, PST_RS232);
        EXPECT_EQ(record.dwProviderOffset, 0u);
        EXPECT_EQ(record.dwProviderSize, 0u);
        EXPECT_EQ(record.wcProviderData[0], 0u);
    }
}

TEST_F(CommConfig, WhatIsSetReachesTheDeviceAndReadsBack) {
    COMMCONFIG record = read_config();
    // A pseudo-terminal always reports 8 data bits without parity, so those stay.
    record.dcb.BaudRate = 57600;
    record.dcb.StopBits = TWOSTOPBITS;
    record.dcb.fOutX = 1;
    record.dcb.fInX = 1;
    ASSERT_TRUE(SetCommConfig(handle, &record, kRecordSize)) << GetLastError();

    termios2 modes = port.modes();
    EXPECT_EQ(reported_speed(modes), 57600u);
    EXPECT_NE(modes.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(modes.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

    COMMCONFIG again = read_config();
    EXPECT_TRUE(same_bytes(&again, &record, sizeof record));
}

TEST_F(CommConfig, AnInvalidLineStateIsRefusedWithTheDeviceUnchanged) {
    const std::function<void(DCB &)> kInvalid[] = {
        [](DCB &dcb) { dcb.BaudRate = 0; },
        [](DCB &dcb) { dcb.ByteSize = 4; },
        [](DCB &dcb) { dcb.ByteSize = 9; },
        [](DCB &dcb) { dcb.Parity = 5; },
        [](DCB &dcb) {
            dcb.ByteSize = 8;
            dcb.StopBits = ONE5STOPBITS;
        },
    };
    const COMMCONFIG original = read_config();
    for (std::size_t i = 0; i < std::size(kInvalid); ++i) {
        termios2 before = port.modes();
        COMMCONFIG record = original;
        record.dcb.BaudRate = 19200;  // a valid change that must not slip through either
        kInvalid[i](record.dcb);
        EXPECT_FALSE(SetCommConfig(handle, &record, kRecordSize)) << "case " << i;
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << "case " << i;
        termios2 after = port.modes();
        EXPECT_TRUE(same_bytes(&after, &before, sizeof after)) << "case " << i;
        COMMCONFIG now = read_config();
        EXPECT_TRUE(same_bytes(&now, &original, sizeof now)) << "case " << i;
    }
}

TEST_F(CommConfig, ARecordThatIsCutShortOrDoesNotDescribeItselfIsRefused) {
    struct Case {
        DWORD size;
        DWORD record_size;
    };
    const Case kCases[] = {
        {kRecordSize - 1, kRecordSize},
        {0, kRecordSize},
        {kRecordSize, kRecordSize - 1},
        {kRecordSize, 0},
    };
    const COMMCONFIG original = read_config();
    termios2 before = port.modes();
    for (const Case &c : kCases) {
        COMMCONFIG record = original;
        record.dcb.BaudRate = 19200;
        record.dwSize = c.record_size;
        EXPECT_FALSE(SetCommConfig(handle, &record, c.size));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(SetCommConfig(handle, nullptr, kRecordSize));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    termios2 after = port.modes();
    EXPECT_TRUE(same_bytes(&after, &before, sizeof after));
}

TEST_F(CommConfig, MissingPointersAreInvalidParameters) {
    COMMCONFIG record = patterned();
    DWORD size = kRecordSize;
    EXPECT_FALSE(GetCommConfig(handle, nullptr, &size));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(GetCommConfig(handle, &record, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// A temporary ordinary file, removed again.
class TempFile {
  public:
    TempFile() {
        char path[] = "/tmp/quenlex_config_XXXXXX";
        int fd = ::mkstemp(path);
        if (fd >= 0) {
            ::close(fd);
            path_ = path;
        }
    }
    ~TempFile() {
        if (!path_.empty()) {
            ::unlink(path_.c_str());
        }
    }
    const std::string &path() const { return path_; }

  private:
    std::string path_;
};

TEST(CommConfigOnNoPort, FailsAsTheLineStateRequestsDo) {
    TempFile file;
    ASSERT_FALSE(file.path().empty());
    HANDLE handle = CreateFileA(file.path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);

    for (HANDLE h : {handle, INVALID_HANDLE_VALUE}) {
        DCB dcb{};
        EXPECT_FALSE(GetCommState(h, &dcb));
        DWORD get_error = GetLastError();
        EXPECT_NE(get_error, ERROR_SUCCESS);
        COMMCONFIG record = patterned();
        const COMMCONFIG untouched = record;
        DWORD size = kRecordSize;
        EXPECT_FALSE(GetCommConfig(h, &record, &size));
        EXPECT_EQ(GetLastError(), get_error);
        EXPECT_TRUE(same_bytes(&record, &untouched, sizeof record));

        record.dwSize = kRecordSize;
        record.dcb = dcb;
        record.dcb.DCBlength = sizeof(DCB);
        record.dcb.fBinary = 1;
        record.dcb.BaudRate = 9600;
        record.dcb.ByteSize = 8;
        record.dcb.Parity = NOPARITY;
        record.dcb.StopBits = ONESTOPBIT;
        EXPECT_FALSE(SetCommState(h, &record.dcb));
        DWORD set_error = GetLastError();
        EXPECT_FALSE(SetCommConfig(h, &record, kRecordSize));
        EXPECT_EQ(GetLastError(), set_error);
    }
    CloseHandle(handle);
}

}  // namespace
}  // namespace quenlex::test
