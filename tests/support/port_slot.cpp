#include "port_slot.h"

#include "quenlex.h"
#include "serial_device/serial_device.h"

namespace quenlex::test {

const char *slot_name(Slot slot) {
    switch (slot) {
        case Slot::empty:
            return "no port";
        case Slot::open:
            return "an open port";
        case Slot::stale:
            return "a closed handle";
        case Slot::failing:
            return "an open port failing";
    }
    return "?";
}

Slot port_slot() {
    constexpr DWORD kSentinel = 0x5107u;
    SetLastError(kSentinel);
    if (quenlex_write("") != 0) {
        return Slot::open;
    }
    DWORD error = GetLastError();
    if (error == kSentinel) {
        return Slot::empty;
    }
    return error == ERROR_INVALID_HANDLE ? Slot::stale : Slot::failing;
}

}  // namespace quenlex::test
