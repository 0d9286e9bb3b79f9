// Every call site of every exported function, failed in turn with each errno a device or the
// kernel can give: the call is run once to record its system calls, then once for each
// position N and each errno with the Nth call failing.
//
// EINTR must be retried: the call still succeeds with the same result and effects. Any other
// errno must give the function's documented failure result with the error code the errno
// table maps it to, unless the layer rightly gets past it (see absorbed_by_design()). Either
// way: no port left half-open, no descriptor leaked, the slot never holding a closed handle,
// and a fresh port opens afterwards.
// The export TEST shares its name with GoogleTest's macro: use GTEST_TEST here.
#define GTEST_DONT_DEFINE_TEST 1
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fault_injector.h"
#include "guard_buffer.h"
#include "port_slot.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "quenlex.h"
#include "serial_device/posix/errors.h"
#include "serial_device/posix/termios2.h"
#include "serial_device/serial_device.h"
#include "watchdog.h"

namespace quenlex::test {
namespace {

constexpr int kErrnos[] = {EINTR, EAGAIN, EIO, ENXIO, ENOMEM, EBADF};
constexpr std::size_t kBufferSize = 5;
constexpr char kFill = '\x5a';
constexpr DWORD kNoError = 0;
// 100 bytes: a write time-out of 302 ms, ample time for the peer to read the line empty.
const std::string kLongText(100, 'w');

// One run of an export: a fresh line, the port as the scenario wants it, caller memory.
struct Line {
    FaultInjector *faults = nullptr;
    bool peer_acted = false;  // a scenario's peer action (sending, draining) has happened
    PtyPeer peer;
    GuardBuffer buffer{kBufferSize, kFill};
    GuardBuffer small{3, kFill};
};

enum class Port { none, open };

struct Scenario {
    const char *name;
    Port before;
    std::string queued;  // bytes waiting for the library when the call is made
    std::function<int(Line &)> call;
    int success;
    // What success must have done; returns "" or what is wrong.
    std::function<std::string(Line &)> success_effects;
    std::vector<int> failures;  // results the function documents for a failed call
    // What a failure with result r must (not) have done; returns "" or what is wrong.
    std::function<std::string(Line &, int)> failure_effects;
    Port after_success;
    Port after_failure;
    // How many leading system calls the export examines (their failure is reported); the
    // rest (a settings dialog and its write-back) are not. nullptr: all of them.
    std::function<std::size_t(FaultInjector &)> examined;
};

void PrintTo(const Scenario &s, std::ostream *out) { *out << s.name; }

std::string expect_received(Line &run, const std::string &want) {
    std::string got = run.peer.receive_all(30);
    return got == want ? "" : "the device received \"" + got + "\", not \"" + want + "\"";
}

std::string expect_queued(Line &run, int want) {
    int queued = run.peer.wait_queued(want, 500);  // bytes a peer action sent may be on their way
    return queued == want ? ""
                          : std::to_string(queued) + " bytes left queued, not " +
                                std::to_string(want) + " (bytes lost or read twice)";
}

std::string expect_buffer(Line &run, const std::string &want) {
    std::string got = run.buffer.bytes(0, want.size());
    if (got != want) {
        return "buffer holds \"" + got + "\"";
    }
    return run.buffer.untouched_from(want.size(), kFill) ? ""
                                                         : "buffer written past the terminator";
}

std::string all_of(std::initializer_list<std::string> problems) {
    std::string all;
    for (const std::string &p : problems) {
        if (!p.empty()) {
            all += (all.empty() ? "" : "; ") + p;
        }
    }
    return all;
}

// System calls of the layer's open + configuration read on a fresh line: the part of
// quenlex_configure whose failure it reports.
std::size_t configure_examined(FaultInjector &faults, bool count_open) {
    PtyPeer peer;
    faults.reset();
    HANDLE handle = CreateFileA(peer.path().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::size_t opened = faults.calls();
    COMMCONFIG config{};
    DWORD size = sizeof config;
    GetCommConfig(handle, &config, &size);
    std::size_t examined = faults.calls() - (count_open ? 0 : opened);
    CloseHandle(handle);
    faults.reset();
    return examined;
}

std::vector<Scenario> scenarios() {
    auto nothing = [](Line &) { return std::string(); };
    auto nothing_on_failure = [](Line &, int) { return std::string(); };
    auto port_works = [](Line &run) {
        if (quenlex_write("ok") != 1) {
            return std::string("the port does not take a write");
        }
        return expect_received(run, "ok");
    };
    return {
        {"available",
         Port::none,
         "",
         [](Line &run) { return quenlex_available(run.peer.path().c_str()); },
         1,
         nothing,
         {0},
         nothing_on_failure,
         Port::none,
         Port::none,
         nullptr},
        {"open",
         Port::none,
         "",
         [](Line &run) { return quenlex_open(run.peer.path().c_str(), 9600); },
         1,
         port_works,
         {0},
         nothing_on_failure,
         Port::open,
         Port::none,
         nullptr},
        {"open_replacing_an_open_port",
         Port::open,
         "",
         [](Line &run) { return quenlex_open(run.peer.path().c_str(), 115200); },
         1,
         port_works,
         {0},
         nothing_on_failure,
         Port::open,
         Port::none,
         nullptr},
        {"close",
         Port::open,
         "",
         [](Line &) {
             quenlex_close();
             return 0;
         },
         0,
         nothing,
         {0},
         nothing_on_failure,
         Port::none,
         Port::none,
         [](FaultInjector &) { return std::size_t{0}; }},
        {"write",
         Port::open,
         "",
         [](Line &) { return quenlex_write("hello"); },
         1,
         [](Line &run) { return expect_received(run, "hello"); },
         {0},
         nothing_on_failure,
         Port::open,
         Port::open,
         nullptr},
        {"readChar",
         Port::open,
         "AB",
         [](Line &) { return quenlex_readChar(); },
         'A',
         [](Line &run) { return expect_queued(run, 1); },
         {0},
         [](Line &run, int) { return expect_queued(run, 2); },
         Port::open,
         Port::open,
         nullptr},
        {"read_a_full_buffer",
         Port::open,
         "abcd",
         [](Line &run) { return quenlex_read(run.buffer.data(), kBufferSize); },
         4,
         [](Line &run) {
             return all_of({expect_buffer(run, std::string("abcd\0", 5)), expect_queued(run, 0)});
         },
         {0, 1},
         [](Line &run, int result) {
             if (result == 0) {
                 return all_of({expect_buffer(run, ""), expect_queued(run, 4)});
             }
             return all_of({expect_buffer(run, std::string("a\0", 2)), expect_queued(run, 3)});
         },
         Port::open,
         Port::open,
         nullptr},
        {"read_one_byte_then_silence",
         Port::open,
         "a",
         [](Line &run) { return quenlex_read(run.small.data(), 3); },
         1,
         [](Line &run) {
             return run.small.bytes(0, 3) == std::string("a\0\x5a", 3)
                        ? all_of({expect_queued(run, 0)})
                        : "buffer holds \"" + run.small.bytes(0, 3) + "\"";
         },
         {0, 1},
         [](Line &run, int result) {
             std::string want = result == 0 ? std::string(3, kFill) : std::string("a\0\x5a", 3);
             return run.small.bytes(0, 3) == want
                        ? expect_queued(run, result == 0 ? 1 : 0)
                        : "buffer holds \"" + run.small.bytes(0, 3) + "\"";
         },
         Port::open,
         Port::open,
         nullptr},
        // The waits: the peer acts just before the first ppoll(), while the call waits.
        {"readChar_waiting_for_a_byte",
         Port::open,
         "",
         [](Line &run) {
             run.faults->before_nth_call_of(Sys::ppoll, 1, [&run] {
                 run.peer.send("A");  // at once: the wait's time-out keeps running
                 run.peer_acted = true;
             });
             return quenlex_readChar();
         },
         'A',
         [](Line &run) { return expect_queued(run, 0); },
         {0},
         [](Line &run, int) { return expect_queued(run, run.peer_acted ? 1 : 0); },
         Port::open,
         Port::open,
         nullptr},
        {"read_waiting_for_the_first_byte",
         Port::open,
         "",
         [](Line &run) {
             run.faults->before_nth_call_of(Sys::ppoll, 1, [&run] {
                 run.peer.send("ab");  // at once: the first read waits only 5 ms
                 run.peer_acted = true;
             });
             return quenlex_read(run.small.data(), 3);
         },
         2,
         [](Line &run) {
             return run.small.bytes(0, 3) == std::string("ab\0", 3)
                        ? expect_queued(run, 0)
                        : "buffer holds \"" + run.small.bytes(0, 3) + "\"";
         },
         {0, 1},
         [](Line &run, int result) {
             std::string want = result == 0 ? std::string(3, kFill) : std::string("a\0\x5a", 3);
             int queued = result == 0 ? (run.peer_acted ? 2 : 0) : 1;
             return run.small.bytes(0, 3) == want
                        ? expect_queued(run, queued)
                        : "buffer holds \"" + run.small.bytes(0, 3) + "\"";
         },
         Port::open,
         Port::open,
         nullptr},
        {"write_waiting_for_room",
         Port::open,
         "",
         [](Line &run) {
             run.peer.fill_towards_peer();
             run.faults->before_nth_call_of(Sys::ppoll, 1, [&run] {
                 run.peer.drain();  // the peer reads the line empty, at once
                 run.peer_acted = true;
             });
             return quenlex_write(kLongText.c_str());
         },
         1,
         [](Line &run) { return expect_received(run, kLongText); },
         {0},
         nothing_on_failure,
         Port::open,
         Port::open,
         nullptr},
        {"configure_a_port_not_open",
         Port::none,
         "",
         [](Line &run) { return quenlex_configure(run.peer.path().c_str()); },
         1,
         nothing,
         {0},
         nothing_on_failure,
         Port::none,
         Port::none,
         [](FaultInjector &faults) { return configure_examined(faults, true); }},
        {"configure_the_open_port",
         Port::open,
         "",
         [](Line &run) { return quenlex_configure(run.peer.path().c_str()); },
         1,
         nothing,
         {0},
         nothing_on_failure,
         Port::open,
         Port::open,
         [](FaultInjector &faults) { return configure_examined(faults, false); }},
    };
}

// Failures the layer rightly gets past, whatever the export; nullptr when it must report it.
const char *absorbed_by_design(const SysCall &call, int error) {
    if (call.entry == Sys::close) {
        return "Linux releases the descriptor whatever close() says; no export examines a close";
    }
    if (call.entry == Sys::ioctl && call.request == TIOCNXCL) {
        return "lifting exclusivity just before the close is best effort";
    }
    if (call.entry == Sys::ioctl && call.request == TIOCMGET) {
        return "reading the modem lines at open only picks what GetCommState reports for DTR "
               "and RTS; a device that cannot tell keeps the defaults of a fresh port";
    }
    if (error == EAGAIN && (call.entry == Sys::read || call.entry == Sys::write)) {
        return "EAGAIN on a non-blocking descriptor means not ready yet: wait again";
    }
    return nullptr;
}

struct Tally {
    std::size_t cases = 0;
    std::size_t positions = 0;
};
Tally tally;

class FaultWalk : public testing::TestWithParam<Scenario> {
  protected:
    FaultInjector faults;
    std::vector<std::string> problems;

    void problem(const std::string &where, const std::string &what) {
        problems.push_back(where + ": " + what);
    }

    // Sets a run up as the scenario wants it; counts start from zero afterwards.
    bool prepare(const Scenario &s, Line &run, const std::string &where) {
        faults.reset();
        run.faults = &faults;
        if (s.before == Port::open && quenlex_open(run.peer.path().c_str(), 9600) != 1) {
            problem(where, "setup: quenlex_open failed with " + std::to_string(GetLastError()));
            return false;
        }
        if (!s.queued.empty()) {
            run.peer.send_settled(s.queued);
        }
        faults.reset();
        SetLastError(kNoError);
        return true;
    }

    // The slot after the call, then the port closed; the slot must match `want`.
    void check_slot_and_close(Port want, const std::string &where) {
        Slot slot = port_slot();
        bool ok = want == Port::none ? slot == Slot::empty
                                     : (slot == Slot::open || slot == Slot::failing);
        if (!ok) {
            problem(where, std::string("the slot holds ") + slot_name(slot) + ", expected " +
                               (want == Port::none ? "no port" : "the open port"));
        }
        std::size_t calls_before = faults.calls();
        std::size_t before = faults.calls_of(Sys::close);
        quenlex_close();
        std::size_t calls = faults.calls() - calls_before;
        std::size_t closes = faults.calls_of(Sys::close) - before;
        if (want == Port::none && calls != 0) {
            problem(where, "quenlex_close made " + std::to_string(calls) +
                               " system calls although no port should be open");
        }
        if (want == Port::open && closes != 1) {
            problem(where, "quenlex_close made " + std::to_string(closes) + " close() calls");
        }
    }

    void fresh_port_opens(const std::string &where) {
        PtyPeer fresh;
        if (quenlex_open(fresh.path().c_str(), 9600) != 1) {
            problem(where, "a fresh port does not open afterwards (error " +
                               std::to_string(GetLastError()) + ")");
        }
        quenlex_close();
    }
};

TEST_P(FaultWalk, EveryCallSiteWithEveryErrno) {
    const Scenario &s = GetParam();
    const int fds = open_fd_count();

    // The clean run: the result, its effects, and the system calls it makes.
    std::vector<SysCall> calls;
    {
        Line run;
        ASSERT_TRUE(prepare(s, run, "clean run")) << problems.front();
        faults.record(true);
        int result;
        {
            Watchdog watchdog(std::chrono::seconds(30), std::string(s.name) + " clean run");
            result = s.call(run);
        }
        faults.record(false);
        calls = faults.recorded();
        ASSERT_EQ(result, s.success) << "error " << GetLastError();
        std::string wrong = s.success_effects(run);
        ASSERT_EQ(wrong, "");
        check_slot_and_close(s.after_success, "clean run");
    }
    ASSERT_EQ(open_fd_count(), fds);
    std::size_t examined = s.examined ? s.examined(faults) : calls.size();

    std::ostringstream sequence;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        sequence << (i == 0 ? "" : ", ") << calls[i].label();
    }
    std::printf("[ walk     ] %s: %zu calls (%zu examined): %s\n", s.name, calls.size(), examined,
                sequence.str().c_str());
    for (const SysCall &call : calls) {
        tally.positions += can_fail(call.entry) ? 1 : 0;
    }

    for (std::size_t n = 1; n <= calls.size(); ++n) {
        const SysCall &site = calls[n - 1];
        if (!can_fail(site.entry)) {
            continue;
        }
        for (int error : kErrnos) {
            std::string where = std::string(s.name) + " call " + std::to_string(n) + " (" +
                                site.label() + ") " + errno_name(error);
            ++tally.cases;
            {
                Line run;
                if (!prepare(s, run, where)) {
                    continue;
                }
                faults.record(true);
                faults.fail_nth_call(n, error);
                int result;
                {
                    Watchdog watchdog(std::chrono::seconds(30), where);
                    result = s.call(run);
                }
                DWORD code = GetLastError();
                faults.record(false);
                faults.clear();
                const std::vector<SysCall> &seen = faults.recorded();
                if (faults.faults_injected() != 1 || seen.size() < n ||
                    seen[n - 1].entry != site.entry) {
                    problem(where,
                            "the call sequence changed: the fault did not land on " + site.label());
                }

                const char *absorbed = absorbed_by_design(site, error);
                const bool may_absorb = absorbed != nullptr || n > examined;
                const DWORD want = quenlex::posix::win32_error_from_errno(error);
                bool documented_failure = false;
                for (int f : s.failures) {
                    documented_failure |= result == f;
                }
                // Effects are looked at once: looking takes what the device received.
                bool looked = false;
                std::string success_wrong;
                auto succeeded = [&] {
                    if (result != s.success) {
                        return false;
                    }
                    if (!looked) {
                        success_wrong = s.success_effects(run);
                        looked = true;
                    }
                    return success_wrong.empty();
                };
                auto failed = [&](bool any_code) {
                    return documented_failure && (any_code ? code != kNoError : code == want) &&
                           s.failure_effects(run, result).empty();
                };
                Port after = s.after_success;
                if (error == EINTR) {
                    if (!succeeded()) {
                        problem(where, "result " + std::to_string(result) + " (error " +
                                           std::to_string(code) + "): EINTR was not retried");
                    }
                } else if (failed(false)) {
                    after = s.after_failure;  // the documented failure, with the errno's code
                } else if (may_absorb && succeeded()) {
                    // a step whose failure the function rightly gets past
                } else if (absorbed != nullptr && failed(true)) {
                    // A best-effort step failed and a later step failed in consequence (a
                    // terminal left exclusive refuses the reopen): a failure all the same.
                    after = s.after_failure;
                } else if (documented_failure && result != s.success) {
                    after = s.after_failure;
                    problem(where, "failed with error code " + std::to_string(code) +
                                       ", expected " + std::to_string(want) + " " +
                                       s.failure_effects(run, result));
                } else {
                    problem(where, "result " + std::to_string(result) + " (error " +
                                       std::to_string(code) + "): the failure was not reported " +
                                       success_wrong);
                }
                check_slot_and_close(after, where);
            }
            if (open_fd_count() != fds) {
                problem(where, "descriptors leaked: " + std::to_string(open_fd_count() - fds));
            }
            fresh_port_opens(where);
        }
    }

    std::string all;
    for (const std::string &p : problems) {
        all += "  " + p + "\n";
    }
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems:\n" << all;
}

INSTANTIATE_TEST_SUITE_P(Exports, FaultWalk, testing::ValuesIn(scenarios()),
                         [](const testing::TestParamInfo<Scenario> &info) {
                             return std::string(info.param.name);
                         });

// TEST and quenlex_getError touch no device: there is no call site to fail.
GTEST_TEST(FaultWalkNoDevice, TestAndGetErrorMakeNoSystemCall) {
    FaultInjector faults;
    char out[7];
    EXPECT_EQ(TEST(out), 6);
    SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(quenlex_getError(), static_cast<int>(ERROR_GEN_FAILURE));
    EXPECT_EQ(faults.calls(), 0u);
}

class TallyPrinter : public testing::Environment {
  public:
    void TearDown() override {
        std::printf("[ tally    ] %zu call sites walked, %zu (call site, errno) faults injected\n",
                    tally.positions, tally.cases);
    }
};
const auto *const kTallyPrinter = testing::AddGlobalTestEnvironment(new TallyPrinter);

}  // namespace
}  // namespace quenlex::test
