// Ctrl-C (and a polite kill) as a request to stop, not a sudden death: the handler only
// sets a flag, and loops that may run long check it between library calls, then close the
// port and exit in order.
#ifndef QUENLEX_TOOLS_INTERRUPT_H
#define QUENLEX_TOOLS_INTERRUPT_H

namespace quenlex_cli {

// Routes SIGINT and SIGTERM to the flag. On POSIX it also ignores SIGPIPE, so a closed
// output pipe shows up as a failed write that the caller handles, with the port closed.
void catch_interrupts();

bool interrupted();

}  // namespace quenlex_cli

#endif
