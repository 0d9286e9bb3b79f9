// The recording fake of the serial device services (see fake_serial_device.h).
#include "fake/fake_serial_device.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>

namespace fake {
namespace {

// A record whose every byte differs from its neighbours, so a field written where it
// should not be, or a byte lost on the way, shows in a byte-for-byte comparison.
template <typename Record>
Record patterned(unsigned seed) {
    Record record;
    auto *bytes = reinterpret_cast<unsigned char *>(&record);
    for (std::size_t i = 0; i < sizeof(Record); ++i) {
        bytes[i] = static_cast<unsigned char>(seed + 37 * i);
    }
    return record;
}

struct State {
    std::mutex mutex;
    std::vector<Call> calls;
    std::map<Op, std::deque<Outcome>> scripted;
    std::map<Op, Outcome> defaults;
    DCB device_dcb = patterned<DCB>(11);
    COMMCONFIG device_config = patterned<COMMCONFIG>(29);
    std::set<HANDLE> open;
    std::vector<HANDLE> opened;
    std::uintptr_t next_handle = 0x4000;
    std::size_t call_count = 0;
};

State &state() {
    static State instance;
    return instance;
}

thread_local DWORD thread_error = 0;

// Records a call and picks its outcome.
void begin(Call call, Outcome &outcome) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (++s.call_count > kCallLimit) {
        std::fprintf(stderr,
                     "fake serial device: more than %zu calls in one test: the code "
                     "under test loops without end\n",
                     kCallLimit);
        std::abort();
    }
    if (call.handle != nullptr) {
        call.handle_was_open = s.open.count(call.handle) != 0;
    }
    auto &queue = s.scripted[call.op];
    if (!queue.empty()) {
        outcome = std::move(queue.front());
        queue.pop_front();
    } else {
        auto found = s.defaults.find(call.op);
        outcome = found != s.defaults.end() ? found->second : Outcome{};
    }
    s.calls.push_back(std::move(call));
}

BOOL finish(const Outcome &outcome) {
    if (outcome.error) {
        thread_error = *outcome.error;
    }
    return outcome.result;
}

Call handle_call(Op op, HANDLE handle) {
    Call call;
    call.op = op;
    call.handle = handle;
    return call;
}

}  // namespace

const char *op_name(Op op) {
    switch (op) {
        case Op::CreateFileA:
            return "CreateFileA";
        case Op::CloseHandle:
            return "CloseHandle";
        case Op::GetCommState:
            return "GetCommState";
        case Op::SetCommState:
            return "SetCommState";
        case Op::GetCommTimeouts:
            return "GetCommTimeouts";
        case Op::SetCommTimeouts:
            return "SetCommTimeouts";
        case Op::SetupComm:
            return "SetupComm";
        case Op::ReadFile:
            return "ReadFile";
        case Op::WriteFile:
            return "WriteFile";
        case Op::GetCommConfig:
            return "GetCommConfig";
        case Op::SetCommConfig:
            return "SetCommConfig";
        case Op::CommConfigDialogA:
            return "CommConfigDialogA";
        case Op::GetLastError:
            return "GetLastError";
        case Op::SetLastError:
            return "SetLastError";
    }
    return "?";
}

void reset() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.clear();
    s.scripted.clear();
    s.defaults.clear();
    s.device_dcb = patterned<DCB>(11);
    s.device_config = patterned<COMMCONFIG>(29);
    s.open.clear();
    s.opened.clear();
    s.call_count = 0;
    thread_error = 0;
}

void script(Op op, Outcome outcome) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.scripted[op].push_back(std::move(outcome));
}

void script_repeated(Op op, const Outcome &outcome, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        script(op, outcome);
    }
}

void set_default(Op op, Outcome outcome) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.defaults[op] = std::move(outcome);
}

void set_device_dcb(const DCB &dcb) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.device_dcb = dcb;
}

void set_device_config(const COMMCONFIG &config) {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.device_config = config;
}

DCB device_dcb() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.device_dcb;
}

COMMCONFIG device_config() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.device_config;
}

void clear_calls() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.calls.clear();
}

std::vector<Call> calls() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.calls;
}

std::vector<Op> ops(bool device_only) {
    std::vector<Op> result;
    for (const Call &call : calls()) {
        if (!device_only || (call.op != Op::GetLastError && call.op != Op::SetLastError)) {
            result.push_back(call.op);
        }
    }
    return result;
}

std::vector<Call> calls_of(Op op) {
    std::vector<Call> result;
    for (const Call &call : calls()) {
        if (call.op == op) {
            result.push_back(call);
        }
    }
    return result;
}

std::vector<HANDLE> open_handles() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return {s.open.begin(), s.open.end()};
}

std::vector<HANDLE> opened_handles() {
    State &s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.opened;
}

DWORD last_error() { return thread_error; }

void set_last_error(DWORD error) { thread_error = error; }

}  // namespace fake

using fake::Call;
using fake::Op;
using fake::Outcome;

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    Call call;
    call.op = Op::CreateFileA;
    call.name_is_null = lpFileName == nullptr;
    call.name = lpFileName != nullptr ? lpFileName : "";
    call.access = dwDesiredAccess;
    call.sharing = dwShareMode;
    call.security = lpSecurityAttributes;
    call.disposition = dwCreationDisposition;
    call.flags = dwFlagsAndAttributes;
    call.template_file = hTemplateFile;
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    fake::finish(outcome);
    HANDLE handle = INVALID_HANDLE_VALUE;
    fake::State &s = fake::state();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (outcome.handle) {
        handle = *outcome.handle;
    } else if (outcome.result) {
        handle = reinterpret_cast<HANDLE>(s.next_handle);
        s.next_handle += 0x10;
    }
    if (handle != INVALID_HANDLE_VALUE) {
        s.open.insert(handle);
        s.opened.push_back(handle);
    }
    return handle;
}

BOOL CloseHandle(HANDLE hObject) {
    Outcome outcome;
    fake::begin(fake::handle_call(Op::CloseHandle, hObject), outcome);
    {
        fake::State &s = fake::state();
        std::lock_guard<std::mutex> lock(s.mutex);
        s.open.erase(hObject);
    }
    return fake::finish(outcome);
}

BOOL GetCommState(HANDLE hFile, LPDCB lpDCB) {
    Call call = fake::handle_call(Op::GetCommState, hFile);
    call.record = lpDCB;
    if (lpDCB != nullptr) {
        std::memcpy(&call.dcb, lpDCB, sizeof(DCB));
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    if (outcome.result && lpDCB != nullptr) {
        DCB dcb = outcome.dcb ? *outcome.dcb : fake::device_dcb();
        std::memcpy(lpDCB, &dcb, sizeof(DCB));
    }
    return fake::finish(outcome);
}

BOOL SetCommState(HANDLE hFile, LPDCB lpDCB) {
    Call call = fake::handle_call(Op::SetCommState, hFile);
    call.record = lpDCB;
    if (lpDCB != nullptr) {
        std::memcpy(&call.dcb, lpDCB, sizeof(DCB));
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    return fake::finish(outcome);
}

BOOL GetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    Call call = fake::handle_call(Op::GetCommTimeouts, hFile);
    call.record = lpCommTimeouts;
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    if (outcome.result && lpCommTimeouts != nullptr) {
        *lpCommTimeouts = outcome.timeouts.value_or(COMMTIMEOUTS{});
    }
    return fake::finish(outcome);
}

BOOL SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts) {
    Call call = fake::handle_call(Op::SetCommTimeouts, hFile);
    call.record = lpCommTimeouts;
    if (lpCommTimeouts != nullptr) {
        call.timeouts = *lpCommTimeouts;
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    return fake::finish(outcome);
}

BOOL SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue) {
    Call call = fake::handle_call(Op::SetupComm, hFile);
    call.in_queue = dwInQueue;
    call.out_queue = dwOutQueue;
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    return fake::finish(outcome);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
              LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
    Call call = fake::handle_call(Op::ReadFile, hFile);
    call.buffer = lpBuffer;
    call.count = nNumberOfBytesToRead;
    call.count_ptr = lpNumberOfBytesRead;
    call.overlapped = lpOverlapped;
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    // A device never stores more than it was asked for.
    std::size_t stored = std::min<std::size_t>(outcome.data.size(), nNumberOfBytesToRead);
    if (stored != 0 && lpBuffer != nullptr) {
        std::memcpy(lpBuffer, outcome.data.data(), stored);
    }
    if (lpNumberOfBytesRead != nullptr) {
        *lpNumberOfBytesRead = outcome.reported.value_or(static_cast<DWORD>(stored));
    }
    return fake::finish(outcome);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    Call call = fake::handle_call(Op::WriteFile, hFile);
    call.buffer = lpBuffer;
    call.count = nNumberOfBytesToWrite;
    call.count_ptr = lpNumberOfBytesWritten;
    call.overlapped = lpOverlapped;
    if (lpBuffer != nullptr) {
        const auto *bytes = static_cast<const unsigned char *>(lpBuffer);
        call.written.assign(bytes, bytes + nNumberOfBytesToWrite);
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten =
            outcome.written.value_or(outcome.result ? nNumberOfBytesToWrite : 0);
    }
    return fake::finish(outcome);
}

BOOL GetCommConfig(HANDLE hCommDev, LPCOMMCONFIG lpCC, LPDWORD lpdwSize) {
    Call call = fake::handle_call(Op::GetCommConfig, hCommDev);
    call.record = lpCC;
    call.size_ptr = lpdwSize;
    if (lpdwSize != nullptr) {
        call.size = *lpdwSize;
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    if (outcome.result && lpCC != nullptr) {
        COMMCONFIG config = outcome.config ? *outcome.config : fake::device_config();
        std::memcpy(lpCC, &config, sizeof(COMMCONFIG));
    }
    if (lpdwSize != nullptr) {
        *lpdwSize = outcome.size.value_or(static_cast<DWORD>(sizeof(COMMCONFIG)));
    }
    return fake::finish(outcome);
}

BOOL SetCommConfig(HANDLE hCommDev, LPCOMMCONFIG lpCC, DWORD dwSize) {
    Call call = fake::handle_call(Op::SetCommConfig, hCommDev);
    call.record = lpCC;
    call.size = dwSize;
    if (lpCC != nullptr) {
        std::memcpy(&call.config, lpCC, sizeof(COMMCONFIG));
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    return fake::finish(outcome);
}

BOOL CommConfigDialogA(LPCSTR lpszName, HWND hWnd, LPCOMMCONFIG lpCC) {
    Call call;
    call.op = Op::CommConfigDialogA;
    call.name_is_null = lpszName == nullptr;
    call.name = lpszName != nullptr ? lpszName : "";
    call.owner = hWnd;
    call.record = lpCC;
    if (lpCC != nullptr) {
        std::memcpy(&call.config, lpCC, sizeof(COMMCONFIG));
    }
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    if (outcome.leave && lpCC != nullptr) {
        std::memcpy(lpCC, &*outcome.leave, sizeof(COMMCONFIG));
    }
    return fake::finish(outcome);
}

DWORD GetLastError() {
    Call call;
    call.op = Op::GetLastError;
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    return fake::thread_error;
}

void SetLastError(DWORD dwErrCode) {
    Call call;
    call.op = Op::SetLastError;
    call.error = dwErrCode;
    Outcome outcome;
    fake::begin(std::move(call), outcome);
    fake::thread_error = dwErrCode;
}
