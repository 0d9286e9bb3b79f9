// quenlex in the comparison, through its exported functions only. Its time-outs are its own
// and fixed: a read is quenlex_read with room for n bytes and the terminator, a wait is
// quenlex_readChar, a send is quenlex_write of a zero-terminated chunk.
#include "quenlex_comparison.h"

#include <time.h>

#include <cstring>
#include <vector>

#include "comparison_work.h"
#include "quenlex.h"
#include "quenlex_version.h"

namespace bench {
namespace {

std::vector<char> payload;  // one chunk and its terminator
std::vector<char> doubled;  // two chunks back to back, to check any piece of the stream

void make_payload(std::size_t chunk) {
    if (payload.size() == chunk + 1) {
        return;
    }
    payload.assign(chunk + 1, '\0');
    doubled.resize(2 * chunk);
    for (std::size_t i = 0; i < chunk; ++i) {
        payload[i] = doubled[i] = doubled[chunk + i] = payload_byte(i);
    }
}

// quenlex_read returns 0 when no first byte came within its 5 ms; a caller expecting a
// reply calls it again, as long as it is willing to wait.
long read_reply(char *buffer, std::size_t n, double give_up_ms) {
    const std::int64_t give_up = now_ns() + static_cast<std::int64_t>(give_up_ms * 1e6);
    for (;;) {
        int got = quenlex_read(buffer, static_cast<int>(n + 1));
        if (got != 0 || now_ns() >= give_up) {
            return got;
        }
    }
}

long quenlex_timed_read(void *, ReadKind kind, char *buffer, std::size_t n, Span *span) {
    span->start_ns = now_ns();
    long got = kind == ReadKind::idle ? quenlex_read(buffer, static_cast<int>(n + 1))
                                      : read_reply(buffer, n, timeouts_for(kind, n).total_ms);
    span->end_ns = now_ns();
    return got;
}

double process_cpu_seconds() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

// quenlex has one way to wait for a byte: quenlex_readChar, which polls.
int quenlex_wait_byte(void *, bool, double *cpu_seconds, Span *span) {
    double cpu_before = process_cpu_seconds();
    span->start_ns = now_ns();
    int byte = quenlex_readChar();
    span->end_ns = now_ns();
    *cpu_seconds = process_cpu_seconds() - cpu_before;
    // 0 is also readChar's failure; the comparison never sends a zero byte.
    return byte == 0 ? -1 : (byte & 0xFF);
}

bool quenlex_send_stream(void *, std::size_t chunk, std::size_t chunks, Span *span) {
    make_payload(chunk);
    span->start_ns = now_ns();
    for (std::size_t c = 0; c < chunks; ++c) {
        if (quenlex_write(payload.data()) == 0) {
            return false;
        }
    }
    span->end_ns = now_ns();
    return true;
}

bool quenlex_receive_stream(void *, std::size_t chunk, std::size_t chunks, Span *span) {
    make_payload(chunk);
    std::vector<char> buffer(chunk + 1);
    const std::size_t total = chunk * chunks;
    std::size_t received = 0;
    span->start_ns = now_ns();
    while (received < total) {
        const std::size_t room = std::min(chunk, total - received);
        long k = read_reply(buffer.data(), room, timeouts_for(ReadKind::burst, room).total_ms);
        const std::size_t at = received % chunk;
        if (k <= 0 ||
            std::memcmp(buffer.data(), doubled.data() + at, static_cast<std::size_t>(k)) != 0) {
            return false;
        }
        received += static_cast<std::size_t>(k);
    }
    span->end_ns = now_ns();
    return true;
}

bool quenlex_cycles(void *, const char *path, int baud, int cycles, Span *span) {
    span->start_ns = now_ns();
    for (int i = 0; i < cycles; ++i) {
        if (quenlex_open(path, baud) != 1) {
            return false;
        }
        quenlex_close();
    }
    span->end_ns = now_ns();
    return true;
}

const char *quenlex_describe(void *) { return "quenlex " QUENLEX_VERSION_STRING; }

}  // namespace

void add_quenlex_comparison(Contender &contender) {
    contender.timed_read = quenlex_timed_read;
    contender.timed_wait_byte = quenlex_wait_byte;
    contender.send_stream = quenlex_send_stream;
    contender.receive_stream = quenlex_receive_stream;
    contender.open_close_cycles = quenlex_cycles;
    contender.describe = quenlex_describe;
}

}  // namespace bench
