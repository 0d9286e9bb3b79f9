// The nine functions called in every order: every sequence of three calls, starting with no
// port open, against a small model of what each call must give in each state. Checks after
// every call: the result, the port state (seen from outside), no descriptor left behind.
#define GTEST_DONT_DEFINE_TEST 1
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "guard_buffer.h"
#include "port_slot.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "quenlex.h"
#include "serial_device/serial_device.h"
#include "watchdog.h"

namespace quenlex::test {
namespace {

using namespace std::chrono_literals;

struct Model {
    bool open = false;
};

struct Step {
    const char *name;
    // Makes the call; returns "" when the result and state match the model, else what is wrong.
    std::function<std::string(Model &, PtyPeer &, GuardBuffer &)> run;
};

std::string expect(const char *what, int got, int want) {
    return got == want
               ? ""
               : std::string(what) + " gave " + std::to_string(got) + ", expected " +
                     std::to_string(want) + " (error " + std::to_string(GetLastError()) + ")";
}

std::vector<Step> steps() {
    return {
        {"getError",
         [](Model &, PtyPeer &, GuardBuffer &) {
             int code = static_cast<int>(GetLastError());
             return expect("getError", quenlex_getError(), code);
         }},
        {"available",
         [](Model &m, PtyPeer &peer, GuardBuffer &) {
             // An open port is held exclusively, so the probe finds it taken.
             return expect("available", quenlex_available(peer.path().c_str()), m.open ? 0 : 1);
         }},
        {"close",
         [](Model &m, PtyPeer &, GuardBuffer &) {
             quenlex_close();
             m.open = false;
             return std::string();
         }},
        {"configure",
         [](Model &, PtyPeer &peer, GuardBuffer &) {
             // No terminal here: the dialog cannot show, its outcome is not examined.
             return expect("configure", quenlex_configure(peer.path().c_str()), 1);
         }},
        {"TEST",
         [](Model &, PtyPeer &, GuardBuffer &buffer) {
             std::string wrong = expect("TEST", TEST(buffer.data()), 6);
             if (wrong.empty() && buffer.bytes(0, 7) != std::string("DENEME\0", 7)) {
                 wrong = "TEST wrote \"" + buffer.bytes(0, 7) + "\"";
             }
             return wrong;
         }},
        {"open",
         [](Model &m, PtyPeer &peer, GuardBuffer &) {
             m.open = true;
             return expect("open", quenlex_open(peer.path().c_str(), 19200), 1);
         }},
        {"read",
         [](Model &m, PtyPeer &peer, GuardBuffer &buffer) {
             if (m.open) {
                 peer.send_settled("r");
             }
             return expect("read", quenlex_read(buffer.data(), 16), m.open ? 1 : 0);
         }},
        {"readChar",
         [](Model &m, PtyPeer &peer, GuardBuffer &) {
             if (m.open) {
                 peer.send_settled("c");  // without a byte it would wait for ever
             }
             return expect("readChar", quenlex_readChar(), m.open ? 'c' : 0);
         }},
        {"write",
         [](Model &m, PtyPeer &peer, GuardBuffer &) {
             std::string wrong = expect("write", quenlex_write("w"), m.open ? 1 : 0);
             std::string got = peer.receive_all(m.open ? 20 : 1);
             if (wrong.empty() && got != (m.open ? "w" : "")) {
                 wrong = "the device received \"" + got + "\"";
             }
             return wrong;
         }},
    };
}

GTEST_TEST(CallOrder, EverySequenceOfThreeCallsBehavesAsTheModelSays) {
    const std::vector<Step> all = steps();
    const int fds = open_fd_count();
    std::vector<std::string> problems;
    std::size_t sequences = 0;
    {
        PtyPeer peer;
        GuardBuffer buffer(16);
        for (const Step &a : all) {
            for (const Step &b : all) {
                for (const Step &c : all) {
                    std::string name = std::string(a.name) + "," + b.name + "," + c.name;
                    Watchdog watchdog(20s, name);
                    Model model;
                    for (const Step *step : {&a, &b, &c}) {
                        std::string wrong = step->run(model, peer, buffer);
                        Slot slot = port_slot();
                        if (slot != (model.open ? Slot::open : Slot::empty)) {
                            wrong += std::string(" slot holds ") + slot_name(slot);
                        }
                        if (!wrong.empty()) {
                            problems.push_back(name + " at " + step->name + ": " + wrong);
                            break;
                        }
                    }
                    quenlex_close();
                    ++sequences;
                }
            }
        }
    }
    EXPECT_EQ(open_fd_count(), fds) << "descriptors leaked";
    std::string all_problems;
    for (std::size_t i = 0; i < problems.size() && i < 40; ++i) {
        all_problems += "  " + problems[i] + "\n";
    }
    EXPECT_TRUE(problems.empty()) << problems.size() << " of " << sequences
                                  << " sequences went wrong:\n"
                                  << all_problems;
    std::printf("[ orders   ] %zu sequences of three calls\n", sequences);
}

}  // namespace
}  // namespace quenlex::test
