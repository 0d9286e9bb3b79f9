// The fixture of the core's tests: the exports over the recording fake, starting every test
// with no port open and a fake that has seen nothing.
#ifndef QUENLEX_TESTS_CORE_FIXTURE_H
#define QUENLEX_TESTS_CORE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "fake/fake_serial_device.h"
#include "quenlex.h"

namespace fake {
inline std::ostream &operator<<(std::ostream &out, Op op) { return out << op_name(op); }
}  // namespace fake

namespace core_test {

using fake::Op;
using fake::Outcome;

// A last error no call of the library sets, to see that a call left it alone.
constexpr DWORD kUntouchedError = 0xC0FFEE;

constexpr DWORD kReadWrite = GENERIC_READ | GENERIC_WRITE;

inline Outcome failing(DWORD error) {
    Outcome outcome;
    outcome.result = FALSE;
    outcome.error = error;
    return outcome;
}

template <typename Record>
bool same_bytes(const Record &a, const Record &b) {
    return std::memcmp(&a, &b, sizeof(Record)) == 0;
}

class CoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The port slot outlives a test: empty it before the fake forgets its handles.
        quenlex_close();
        fake::reset();
    }

    void TearDown() override {
        // No call may ever reach the platform with the no-port value or a closed handle.
        for (const fake::Call &call : fake::calls()) {
            if (call.op != Op::CreateFileA && call.op != Op::CommConfigDialogA &&
                call.op != Op::GetLastError && call.op != Op::SetLastError) {
                EXPECT_TRUE(call.handle_was_open)
                    << fake::op_name(call.op) << " on a handle that is not open: " << call.handle;
            }
        }
        // Whatever a test left open is the slot's; nothing else may stay open.
        quenlex_close();
        EXPECT_TRUE(fake::open_handles().empty()) << "a handle leaked";
    }

    // Opens a port on the fake's healthy device, then forgets the calls that made it.
    HANDLE open_port() {
        EXPECT_EQ(quenlex_open("COM1", 9600), 1);
        std::vector<HANDLE> opened = fake::opened_handles();
        fake::clear_calls();
        return opened.empty() ? INVALID_HANDLE_VALUE : opened.back();
    }

    // True when no port is open: closing then reaches no platform function.
    static bool no_port_open() {
        std::size_t before = fake::calls().size();
        quenlex_close();
        return fake::calls().size() == before;
    }
};

}  // namespace core_test

#endif
