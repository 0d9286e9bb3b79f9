// The data transfer exports, through the built library, against a peer on the master side
// of a pseudo-terminal. The library's own time-outs apply: 5 ms for a first byte, then
// 3 ms per byte asked for plus 2 ms, or 500 ms after the last byte of a burst.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "quenlex.h"

namespace {

using Clock = std::chrono::steady_clock;

long ms_since(Clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

class Transfer : public ::testing::Test {
  protected:
    void SetUp() override {
        int slave = -1;
        ASSERT_EQ(openpty(&master_, &slave, nullptr, nullptr, nullptr), 0);
        std::string name = ttyname(slave);
        ASSERT_EQ(quenlex_open(name.c_str(), 9600), 1) << quenlex_getError();
        close(slave);  // the library's handle is the slave's only open now
    }

    void TearDown() override {
        if (peer_.joinable()) {
            peer_.join();
        }
        quenlex_close();
        hang_up();
    }

    void send(const std::string &bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        // Give the bytes time to reach the slave's input, so the 5 ms first read sees them.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    void send_at(Clock::time_point start, int at_ms, const std::string &bytes) {
        peer_ = std::thread([this, start, at_ms, bytes] {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(at_ms));
            ASSERT_EQ(write(master_, bytes.data(), bytes.size()),
                      static_cast<ssize_t>(bytes.size()));
        });
    }

    // What the peer received, waiting up to 2 s for `size` bytes.
    std::string receive(size_t size) {
        std::string got;
        char chunk[256];
        while (got.size() < size) {
            pollfd entry{master_, POLLIN, 0};
            if (poll(&entry, 1, 2000) <= 0) {
                break;
            }
            ssize_t n = read(master_, chunk, sizeof chunk);
            if (n <= 0) {
                break;
            }
            got.append(chunk, static_cast<size_t>(n));
        }
        return got;
    }

    void hang_up() {
        if (master_ >= 0) {
            close(master_);
            master_ = -1;
        }
    }

    int master_ = -1;
    std::thread peer_;
};

TEST_F(Transfer, CommandAndReply) {
    EXPECT_NE(quenlex_write("MEAS?\r"), 0) << quenlex_getError();
    EXPECT_EQ(receive(6), "MEAS?\r");

    send("+1.25E-3\r\n");
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 10);
    EXPECT_STREQ(buffer, "+1.25E-3\r\n");
    EXPECT_EQ(buffer[11], '#') << "written behind the terminator";
}

TEST_F(Transfer, BurstFillsTheBufferAndTheRestWaits) {
    const std::string burst = "0123456789abcdefghijklmnopqrstuvwxyzABCD";  // 40 bytes
    send(burst);
    char buffer[32];
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 31);
    EXPECT_EQ(std::string(buffer), burst.substr(0, 31));

    // Nothing is lost: the next read gets the other 9.
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 9);
    EXPECT_EQ(std::string(buffer), burst.substr(31));
}

TEST_F(Transfer, OneByteReplyWaitsTheSecondReadsTotal) {
    send("K");
    char buffer[64];
    Clock::time_point start = Clock::now();
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 1);
    long took = ms_since(start);
    EXPECT_STREQ(buffer, "K");
    // The second read asks for 62 bytes: 3 x 62 + 2 = 188 ms.
    EXPECT_GE(took, 185);
    EXPECT_LE(took, 2000);
}

TEST_F(Transfer, IntervalEndsABurst) {
    // 1000 bytes of room: the second read's total is 3 x 998 + 2 = 2996 ms, so the 500 ms
    // after the burst's last byte (at 100 ms) end it.
    send("abc");
    Clock::time_point start = Clock::now();
    send_at(start, 100, "def");
    char buffer[1000];
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 6);
    long took = ms_since(start);
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_GE(took, 595);
    EXPECT_LE(took, 2500);
}

TEST_F(Transfer, ZeroBytesAreCounted) {
    send(std::string("a\0b\0", 4));
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 4);
    EXPECT_EQ(std::string(buffer, 5), std::string("a\0b\0\0", 5));
    EXPECT_EQ(buffer[5], '#');
}

TEST_F(Transfer, NothingArrivingGivesZeroAndLeavesTheBuffer) {
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(quenlex_read(buffer, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(8, '#'));
}

TEST_F(Transfer, ReadCharWaitsAndExtendsTheSign) {
    // The byte comes after many 5 ms reads have found nothing.
    Clock::time_point start = Clock::now();
    send_at(start, 150, "\xFF");
    EXPECT_EQ(quenlex_readChar(), -1);
    EXPECT_GE(ms_since(start), 145);
}

TEST_F(Transfer, HangUpWhileReadCharWaits) {
    Clock::time_point start = Clock::now();
    peer_ = std::thread([this, start] {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(100));
        hang_up();
    });
    EXPECT_EQ(quenlex_readChar(), 0);
    long took = ms_since(start);
    EXPECT_NE(quenlex_getError(), 0);
    EXPECT_GE(took, 95);
    EXPECT_LE(took, 2000);
}

}  // namespace
