// Tests that reach quenlex_configure must never wait for a person at the suite's terminal:
// they run without a controlling terminal, so the settings dialog has nowhere to appear.
#ifndef QUENLEX_TEST_NO_TERMINAL_H
#define QUENLEX_TEST_NO_TERMINAL_H

namespace quenlex::test {

// Leaves the controlling terminal: setsid(), or, for a process group leader (which may not
// call it), a forked child does and this process only waits for it and exits with its status.
// Returns in the process that goes on with the work.
void leave_controlling_terminal();

// True when /dev/tty cannot be opened, i.e. there is no controlling terminal.
bool has_no_controlling_terminal();

}  // namespace quenlex::test

#endif
