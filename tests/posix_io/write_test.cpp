// Writes hand bytes to the kernel, waiting for room up to the write time-out.
#include <fcntl.h>

#include "pty_port.h"

namespace quenlex::test {
namespace {

using Write = PtyPort;

std::string pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    }
    return bytes;
}

// Reads from the master until `size` bytes are in or it reports nothing for 2 s.
std::string drain(int master, size_t size) {
    std::string got;
    char chunk[4096];
    while (got.size() < size) {
        pollfd entry{master, POLLIN, 0};
        if (poll(&entry, 1, 2000) <= 0) {
            break;
        }
        ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) {
            break;
        }
        got.append(chunk, static_cast<size_t>(n));
    }
    return got;
}

TEST_F(Write, HandsOverAllBytesUnchanged) {
    set_timeouts({500, 3, 2, 3, 2});
    const std::string bytes = pattern(300);  // every byte value, zero and 0xFF included
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(handle_, bytes.data(), 300, &count, nullptr)) << GetLastError();
    EXPECT_EQ(count, 300u);
    EXPECT_EQ(drain(master_, 300), bytes);
}

TEST_F(Write, TimeOutOnAFullPeerGivesAShortCount) {
    // Nobody reads the master: the pty takes some kilobytes, then has no room.
    set_timeouts({0, 0, 0, 0, 200});
    const std::string bytes(1 << 20, 'w');
    DWORD count = 0;
    Clock::time_point start = Clock::now();
    EXPECT_TRUE(WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr))
        << GetLastError();
    long took = ms_since(start);
    EXPECT_GT(count, 0u);
    EXPECT_LT(count, bytes.size());
    EXPECT_GE(took, 200);
    EXPECT_LE(took, 3000);
}

TEST_F(Write, WithoutTimeOutWaitsForRoom) {
    set_timeouts({0, 0, 0, 0, 0});
    const std::string bytes = pattern(256 * 1024);
    Clock::time_point start = Clock::now();
    std::string received;
    peer_ = std::thread([&] {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(100));
        received = drain(master_, bytes.size());
    });
    DWORD count = 0;
    EXPECT_TRUE(WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr))
        << GetLastError();
    EXPECT_GE(ms_since(start), 95);  // it had to wait for the peer to read
    join_peer();
    EXPECT_EQ(count, bytes.size());
    EXPECT_TRUE(received == bytes);
}

}  // namespace
}  // namespace quenlex::test
