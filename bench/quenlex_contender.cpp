// This library through its exported functions, with the time-outs quenlex_open sets:
// a burst read waits 5 ms for a first byte, then 3 ms per byte of room left plus 2 ms.
#include "contenders.h"
#include "quenlex.h"

namespace bench {
namespace {

bool quenlex_open_port(void *, const char *path, int baud) { return quenlex_open(path, baud) == 1; }

void quenlex_close_port(void *) { quenlex_close(); }

bool quenlex_send(void *, const char *data, std::size_t) { return quenlex_write(data) != 0; }

long quenlex_read_burst(void *, char *buffer, std::size_t capacity) {
    return quenlex_read(buffer, static_cast<int>(capacity));
}

double quenlex_burst_timeout_ms(void *, std::size_t capacity, bool one_byte_waiting) {
    // The first read asks for 1 byte (3 x 1 + 2 ms); with that byte there at once, the
    // second asks for capacity - 2 and, with nothing more coming, runs its whole total.
    return one_byte_waiting ? 3.0 * static_cast<double>(capacity - 2) + 2.0 : 5.0;
}

int quenlex_read_one(void *) {
    // readChar gives the byte sign-extended; 0 is also its failure, which a benchmark that
    // sends non-zero bytes can tell apart.
    int byte = quenlex_readChar();
    return byte == 0 ? -1 : (byte & 0xFF);
}

}  // namespace

Contender quenlex_contender() {
    Contender contender{};
    contender.name = "quenlex";
    contender.state = nullptr;
    contender.open = quenlex_open_port;
    contender.close = quenlex_close_port;
    contender.write = quenlex_send;
    contender.read_burst = quenlex_read_burst;
    contender.burst_overhead = 1;  // room for the terminator
    contender.burst_timeout_ms = quenlex_burst_timeout_ms;
    contender.read_byte = quenlex_read_one;
    return contender;
}

}  // namespace bench
