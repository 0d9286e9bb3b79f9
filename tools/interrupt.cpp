#include "interrupt.h"

#include <csignal>

namespace quenlex_cli {
namespace {

volatile std::sig_atomic_t stop_requested = 0;

void on_interrupt(int signal_number) {
    stop_requested = 1;
    // The C runtime on Windows resets the handler before calling it; set it again.
    std::signal(signal_number, on_interrupt);
}

}  // namespace

void catch_interrupts() {
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
#ifdef SIGPIPE
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool interrupted() { return stop_requested != 0; }

}  // namespace quenlex_cli
