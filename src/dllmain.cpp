// The nine exported functions, the port slot `comm` and the module entry.
//
// Each export is a short sequence of serial device calls in a fixed order. All device work
// goes through serial_device.h; nothing here knows which platform it runs on except the
// module entry at the end.
#include <cstring>

#include "quenlex.h"
#include "serial_device/serial_device.h"

namespace {

// Driver settings written by every quenlex_open.
constexpr BYTE kDataBits = 8;
constexpr DWORD kQueueSize = 512;  // bytes, input and output alike
constexpr COMMTIMEOUTS kTimeouts = {
    500,  // ReadIntervalTimeout: ms allowed between two received bytes
    3,    // ReadTotalTimeoutMultiplier: ms per byte asked for
    2,    // ReadTotalTimeoutConstant
    3,    // WriteTotalTimeoutMultiplier: ms per byte sent
    2,    // WriteTotalTimeoutConstant
};

// Size of the configuration record handed to the platform: COMMCONFIG on 32-bit Windows.
constexpr DWORD kConfigSize = 52;

// The one open port of the process, or INVALID_HANDLE_VALUE when none is open.
HANDLE comm = INVALID_HANDLE_VALUE;

bool port_is_open() { return comm != INVALID_HANDLE_VALUE; }

// Gives up the open port. The slot is emptied in the same step, so it never holds a closed
// handle; the close's own result is of no use to anyone.
void close_port() {
    CloseHandle(comm);
    comm = INVALID_HANDLE_VALUE;
}

}  // namespace

extern "C" {

QUENLEX_API int QUENLEX_CALL quenlex_getError(void) noexcept {
    return static_cast<int>(GetLastError());
}

QUENLEX_API int QUENLEX_CALL TEST(char *out) noexcept {
    if (out == nullptr) {
        return 0;
    }
    std::strcpy(out, "DENEME");
    return 6;
}

QUENLEX_API int QUENLEX_CALL quenlex_available(const char *portName) noexcept {
    HANDLE probe = CreateFileA(portName, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return 0;
    }
    CloseHandle(probe);
    return 1;
}

QUENLEX_API void QUENLEX_CALL quenlex_close(void) noexcept {
    if (port_is_open()) {
        close_port();
    }
}

QUENLEX_API int QUENLEX_CALL quenlex_open(const char *portName, int baudRate) noexcept {
    // The old port goes first, even when it is the one being reopened: it is held exclusively.
    if (port_is_open()) {
        close_port();
    }

    comm =
        CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!port_is_open()) {
        return 0;
    }

    // Only the framing and the speed are ours; every other field stays as the device has it.
    DCB dcb;
    if (!GetCommState(comm, &dcb)) {
        close_port();
        return 0;
    }
    dcb.BaudRate = static_cast<DWORD>(baudRate);
    dcb.ByteSize = kDataBits;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(comm, &dcb)) {
        close_port();
        return 0;
    }

    // A port without these time-outs still works, on the device's own, so this may fail.
    COMMTIMEOUTS timeouts = kTimeouts;
    SetCommTimeouts(comm, &timeouts);

    if (!SetupComm(comm, kQueueSize, kQueueSize)) {
        close_port();
        return 0;
    }
    return 1;
}

QUENLEX_API int QUENLEX_CALL quenlex_write(const char *text) noexcept {
    if (!port_is_open()) {
        return 0;
    }
    if (text == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    DWORD length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    BOOL result = WriteFile(comm, text, length, &written, nullptr);
    // A write whose time-out ran out reports success with a short count: that is no success.
    if (result && written < length) {
        SetLastError(ERROR_TIMEOUT);
        return 0;
    }
    return result;
}

QUENLEX_API int QUENLEX_CALL quenlex_readChar(void) noexcept {
    if (!port_is_open()) {
        return 0;
    }
    signed char byte = 0;
    DWORD received = 0;
    // Each read gives up after its 5 ms total time-out; the loop polls until a byte comes.
    for (;;) {
        BOOL result = ReadFile(comm, &byte, 1, &received, nullptr);
        if (received != 0 || !result) {
            break;
        }
    }
    return byte;
}

QUENLEX_API int QUENLEX_CALL quenlex_read(char *buffer, int bufferSize) noexcept {
    if (!port_is_open()) {
        return 0;
    }
    if (buffer == nullptr || bufferSize < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }

    // The first byte, awaited for 5 ms.
    DWORD received = 0;
    if (!ReadFile(comm, buffer, 1, &received, nullptr) || received == 0) {
        return 0;
    }

    // The rest of the burst, behind it; room is left for the terminator.
    DWORD more = 0;
    if (ReadFile(comm, buffer + 1, static_cast<DWORD>(bufferSize - 2), &more, nullptr) &&
        more >= 1) {
        buffer[more + 1] = '\0';
        return static_cast<int>(more + 1);
    }
    buffer[1] = '\0';
    return 1;
}

QUENLEX_API int QUENLEX_CALL quenlex_configure(const char *portName) noexcept {
    bool temporary = false;
    if (!port_is_open()) {
        comm = CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!port_is_open()) {
            return 0;
        }
        temporary = true;
    }

    COMMCONFIG config;
    DWORD size = kConfigSize;
    BOOL have_config = GetCommConfig(comm, &config, &size);
    // A size beyond the record's would have the write-back read past it: a configuration
    // that does not fit is as unread as one the device refused.
    if (have_config && size > kConfigSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        have_config = FALSE;
    }
    // Without a configuration there is nothing to show or to write back: report it.
    if (!have_config) {
        if (temporary) {
            close_port();
        }
        return 0;
    }

    // Confirm and cancel lead on alike: whatever the dialog left in the record is applied.
    CommConfigDialogA(portName, nullptr, &config);
    SetCommConfig(comm, &config, size);

    if (temporary) {
        close_port();
    }
    return 1;
}

}  // extern "C"

#if defined(_WIN32)
// The loader's calls need nothing from us; loading never fails on the library's account.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
