// A recording fake of the serial device services, linked into the core's unit tests in
// place of the POSIX layer.
//
// Every operation of serial_device.h appends a Call with its arguments as they were passed
// (records copied on entry), then plays the next scripted Outcome queued for that operation,
// or the operation's default when none is queued. The default device is a healthy port: opens
// succeed with a fresh handle, every comm request succeeds, reads receive nothing and writes
// hand over everything. Tests script only the steps they care about.
#ifndef QUENLEX_TESTS_FAKE_SERIAL_DEVICE_H
#define QUENLEX_TESTS_FAKE_SERIAL_DEVICE_H

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "serial_device/serial_device.h"

namespace fake {

enum class Op {
    CreateFileA,
    CloseHandle,
    GetCommState,
    SetCommState,
    GetCommTimeouts,
    SetCommTimeouts,
    SetupComm,
    ReadFile,
    WriteFile,
    GetCommConfig,
    SetCommConfig,
    CommConfigDialogA,
    GetLastError,
    SetLastError,
};

const char *op_name(Op op);

// One call as the fake saw it. Only the fields of the call's operation are filled; the
// others stay zero.
struct Call {
    Op op{};

    // CreateFileA, CommConfigDialogA: the name (name_is_null when a NULL pointer came in).
    std::string name;
    bool name_is_null = false;
    DWORD access = 0;
    DWORD sharing = 0;
    const void *security = nullptr;
    DWORD disposition = 0;
    DWORD flags = 0;
    HANDLE template_file = nullptr;

    // Every operation on a handle; handle_was_open says whether the fake had handed it out
    // and not yet seen it closed.
    HANDLE handle = nullptr;
    bool handle_was_open = false;

    // Addresses of the records passed, and their contents on entry.
    const void *record = nullptr;
    DCB dcb{};                       // SetCommState, GetCommState
    COMMTIMEOUTS timeouts{};         // SetCommTimeouts, GetCommTimeouts
    COMMCONFIG config{};             // SetCommConfig, CommConfigDialogA, GetCommConfig
    DWORD size = 0;                  // SetCommConfig's size; GetCommConfig's *lpdwSize on entry
    const void *size_ptr = nullptr;  // GetCommConfig's lpdwSize
    HWND owner = nullptr;            // CommConfigDialogA

    DWORD in_queue = 0;  // SetupComm
    DWORD out_queue = 0;

    // ReadFile, WriteFile.
    const void *buffer = nullptr;
    DWORD count = 0;
    const void *count_ptr = nullptr;
    const void *overlapped = nullptr;
    std::vector<unsigned char> written;  // WriteFile: the bytes handed over

    DWORD error = 0;  // SetLastError's argument
};

// What one call does. Fields that do not concern the operation are ignored.
struct Outcome {
    BOOL result = TRUE;
    // Stored as the thread's last error before returning. Failing outcomes should set it;
    // succeeding ones leave the last error alone unless it is set.
    std::optional<DWORD> error;

    // CreateFileA: the handle to return; by default a fresh one (INVALID_HANDLE_VALUE when
    // result is FALSE).
    std::optional<HANDLE> handle;

    // ReadFile: the bytes stored at the start of the buffer (never more than asked for) and
    // the count reported (by default the number stored).
    std::vector<unsigned char> data;
    std::optional<DWORD> reported;

    // WriteFile: the count reported as handed over (by default everything asked for).
    std::optional<DWORD> written;

    // GetCommState: the line state stored into the record (by default the device's state;
    // nothing is stored when result is FALSE).
    std::optional<DCB> dcb;

    // GetCommTimeouts: the time-outs stored (by default all zero).
    std::optional<COMMTIMEOUTS> timeouts;

    // GetCommConfig: the record stored (by default the device's configuration, stored only
    // on success) and the size reported through lpdwSize (by default 52, also on failure).
    std::optional<COMMCONFIG> config;
    std::optional<DWORD> size;

    // CommConfigDialogA: what the dialog leaves in the record (by default it is untouched).
    std::optional<COMMCONFIG> leave;
};

// Forgets every call and scripted outcome, resets the device to its defaults and the
// calling thread's last error to 0.
void reset();

// Queues an outcome for the next call of op not yet scripted.
void script(Op op, Outcome outcome);
// Queues count identical outcomes.
void script_repeated(Op op, const Outcome &outcome, std::size_t count);
// Replaces what op does once its queue is empty.
void set_default(Op op, Outcome outcome);

// The device's own line state and configuration, reported by GetCommState and GetCommConfig.
void set_device_dcb(const DCB &dcb);
void set_device_config(const COMMCONFIG &config);
DCB device_dcb();
COMMCONFIG device_config();

// Forgets the calls recorded so far; scripts, the device and open handles stay.
void clear_calls();

// Everything recorded so far, in order.
std::vector<Call> calls();
// The recorded operations, in order; GetLastError and SetLastError left out when
// device_only is true.
std::vector<Op> ops(bool device_only = false);
// Only the calls of one operation.
std::vector<Call> calls_of(Op op);

// Handles handed out by CreateFileA and not yet closed.
std::vector<HANDLE> open_handles();
// Handles handed out so far, in order.
std::vector<HANDLE> opened_handles();

// A call beyond this many ends the test program with a message, so a loop in the code under
// test that never ends shows up as a failure instead of a hang.
constexpr std::size_t kCallLimit = 50000;

// The calling thread's last error, read without recording a call.
DWORD last_error();
void set_last_error(DWORD error);

}  // namespace fake

#endif
