// What ReadFile and WriteFile refuse before touching the device, and plain files.
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "pty_port.h"

namespace quenlex::test {
namespace {

// Stands for a caller's OVERLAPPED record: only whether the pointer is null matters.
LPOVERLAPPED some_overlapped() {
    static long long storage[8];
    return reinterpret_cast<LPOVERLAPPED>(storage);
}

enum class Op { read, write };

BOOL transfer(Op op, HANDLE handle, void *buffer, DWORD size, LPDWORD count,
              LPOVERLAPPED overlapped) {
    return op == Op::read ? ReadFile(handle, buffer, size, count, overlapped)
                          : WriteFile(handle, buffer, size, count, overlapped);
}

struct BadCall {
    const char *name;
    Op op;
    bool null_buffer;
    bool null_count;
    bool overlapped;
};

std::ostream &operator<<(std::ostream &out, const BadCall &c) { return out << c.name; }

const BadCall kBadCalls[] = {
    {"ReadNullBuffer", Op::read, true, false, false},
    {"ReadNullCount", Op::read, false, true, false},
    {"ReadOverlapped", Op::read, false, false, true},
    {"WriteNullBuffer", Op::write, true, false, false},
    {"WriteNullCount", Op::write, false, true, false},
    {"WriteOverlapped", Op::write, false, false, true},
};

class RefusedCall : public PtyPort, public ::testing::WithParamInterface<BadCall> {};

TEST_P(RefusedCall, InvalidParameterAndNothingMoved) {
    const BadCall &c = GetParam();
    set_timeouts({0, 0, 0, 0, 0});  // a read that got through would wait for ever
    write_to_port("in");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    DWORD count = 77;
    EXPECT_FALSE(transfer(c.op, handle_, c.null_buffer ? nullptr : buffer, 2,
                          c.null_count ? nullptr : &count,
                          c.overlapped ? some_overlapped() : nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    if (!c.null_count) {
        EXPECT_EQ(count, 0u);
    }
    EXPECT_EQ(std::string(buffer, 4), "xxxx");
    pollfd entry{master_, POLLIN, 0};
    EXPECT_EQ(poll(&entry, 1, 50), 0) << "a refused write reached the peer";
}

INSTANTIATE_TEST_SUITE_P(Arguments, RefusedCall, ::testing::ValuesIn(kBadCalls),
                         [](const auto &info) { return std::string(info.param.name); });

using Transfer = PtyPort;

TEST_F(Transfer, ZeroBytesSucceedAtOnce) {
    set_timeouts({0, 0, 0, 0, 0});
    DWORD count = 5;
    EXPECT_TRUE(ReadFile(handle_, nullptr, 0, &count, nullptr));
    EXPECT_EQ(count, 0u);
    count = 5;
    EXPECT_TRUE(WriteFile(handle_, nullptr, 0, &count, nullptr));
    EXPECT_EQ(count, 0u);
}

TEST_F(Transfer, InvalidHandle) {
    char buffer[1];
    DWORD count = 5;
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, buffer, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(WriteFile(INVALID_HANDLE_VALUE, buffer, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

struct AccessCase {
    const char *name;
    DWORD access;
    bool may_read;
    bool may_write;
};

std::ostream &operator<<(std::ostream &out, const AccessCase &c) { return out << c.name; }

const AccessCase kAccess[] = {
    {"ReadOnly", GENERIC_READ, true, false},
    {"WriteOnly", GENERIC_WRITE, false, true},
    {"QueryOnly", 0, false, false},
};

class Access : public PtyPort, public ::testing::WithParamInterface<AccessCase> {
  protected:
    void SetUp() override { open_port(GetParam().access); }
};

TEST_P(Access, OnlyWhatTheHandleWasOpenedFor) {
    const AccessCase &c = GetParam();
    char buffer[1] = {'z'};
    DWORD count = 0;
    if (!c.may_read) {
        EXPECT_FALSE(ReadFile(handle_, buffer, 1, &count, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    if (!c.may_write) {
        EXPECT_FALSE(WriteFile(handle_, buffer, 1, &count, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    if (c.may_write) {
        EXPECT_TRUE(WriteFile(handle_, buffer, 1, &count, nullptr)) << GetLastError();
        EXPECT_EQ(count, 1u);
    }
    if (c.may_read) {
        write_to_port("q");
        set_timeouts({0, 0, 2000, 0, 0});
        EXPECT_TRUE(ReadFile(handle_, buffer, 1, &count, nullptr)) << GetLastError();
        EXPECT_EQ(count, 1u);
        EXPECT_EQ(buffer[0], 'q');
    }
}

INSTANTIATE_TEST_SUITE_P(Handles, Access, ::testing::ValuesIn(kAccess),
                         [](const auto &info) { return std::string(info.param.name); });

// On a file that is no terminal, reads and writes are plain: up to the count or the end of
// the file, without time-outs.
TEST(PlainFile, ReadsToTheEndAndWrites) {
    std::string path = ::testing::TempDir() + "quenlex_plain_XXXXXX";
    int fd = mkstemp(path.data());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "hello", 5), 5);
    close(fd);

    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    char buffer[16] = {};
    DWORD count = 0;
    EXPECT_TRUE(ReadFile(file, buffer, 3, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "hel");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(std::string(buffer, count), "lo");
    EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &count, nullptr));  // end of file
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(WriteFile(file, "!!", 2, &count, nullptr));
    EXPECT_EQ(count, 2u);
    CloseHandle(file);

    char back[16] = {};
    fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(read(fd, back, sizeof back), 7);
    close(fd);
    unlink(path.c_str());
    EXPECT_STREQ(back, "hello!!");
}

}  // namespace
}  // namespace quenlex::test
