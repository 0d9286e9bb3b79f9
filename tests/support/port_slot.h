// What the library's port slot holds, seen from outside through the exported functions.
#ifndef QUENLEX_TEST_PORT_SLOT_H
#define QUENLEX_TEST_PORT_SLOT_H

namespace quenlex::test {

enum class Slot {
    empty,    // no port: a data call returns 0 at once and leaves the error code alone
    open,     // a live port (a write of nothing reaches the device layer and is taken)
    stale,    // the slot holds a handle the layer no longer knows: a closed handle
    failing,  // a live port whose write of nothing fails (an error still pending)
};

const char *slot_name(Slot slot);

// Probes with quenlex_write("") (sends no byte). A pending error of the port is used up.
Slot port_slot();

}  // namespace quenlex::test

#endif
