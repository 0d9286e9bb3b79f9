// The error code belongs to the calling thread, and TEST and quenlex_getError may be called
// from any thread at any time. Many threads fail calls with distinct error codes, over and
// over, while others call TEST and quenlex_getError and one thread uses the port: each must
// only ever see its own code. Meant to run under ThreadSanitizer too.
#define GTEST_DONT_DEFINE_TEST 1
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "quenlex.h"

namespace {

constexpr int kRounds = 2000;

// A name whose probe fails with a code no other entry gives.
struct Failure {
    const char *label;
    std::string name;
    int code;
};

std::vector<Failure> failures() {
    return {
        {"missing file", "/proc/self/no-such-file", 2},
        {"missing folder", "/no-such-folder/x", 3},
        {"name too long", "/tmp/" + std::string(5000, 'n'), 206},
    };
}

GTEST_TEST(ThreadLocalError, EachThreadSeesOnlyItsOwnErrorCode) {
    const std::vector<Failure> cases = failures();
    std::atomic<bool> go{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;

    // Two threads per failure, so equal codes race too.
    for (int copy = 0; copy < 2; ++copy) {
        for (const Failure &f : cases) {
            threads.emplace_back([&go, &wrong, f] {
                while (!go.load()) {
                }
                for (int i = 0; i < kRounds; ++i) {
                    if (quenlex_available(f.name.c_str()) != 0 || quenlex_getError() != f.code ||
                        quenlex_getError() != f.code) {
                        ++wrong;
                    }
                }
            });
        }
    }
    // Probes that succeed, and TEST, meanwhile.
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&go, &wrong] {
            while (!go.load()) {
            }
            char out[7];
            for (int i = 0; i < kRounds; ++i) {
                std::memset(out, 'x', sizeof out);
                if (TEST(out) != 6 || std::memcmp(out, "DENEME", 7) != 0) {
                    ++wrong;
                }
                quenlex_getError();
            }
        });
    }
    // The one thread that owns the port: opens, writes, reads and closes a pseudo-terminal.
    int master = -1;
    int slave = -1;
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    char path[128];
    ASSERT_EQ(ptsname_r(master, path, sizeof path), 0);
    std::atomic<int> port_failures{0};
    threads.emplace_back([&go, &port_failures, path] {
        while (!go.load()) {
        }
        for (int i = 0; i < 100; ++i) {
            if (quenlex_open(path, 9600) != 1 || quenlex_write("ping") != 1) {
                ++port_failures;
            }
            char buffer[8];
            quenlex_read(buffer, sizeof buffer);
            quenlex_close();
        }
    });

    go = true;
    for (std::thread &thread : threads) {
        thread.join();
    }
    close(slave);
    close(master);
    EXPECT_EQ(wrong.load(), 0) << "a thread saw another thread's error code or a bad TEST";
    EXPECT_EQ(port_failures.load(), 0);
}

}  // namespace
