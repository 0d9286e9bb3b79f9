// libserialport in the comparison: sp_blocking_read / sp_blocking_write with the deadlines
// quenlex uses. It runs only in its own worker process (libserialport_worker.cpp), which
// lets it open a pseudo-terminal at all:
// - libserialport 0.1.1 finds a port's details under /sys/class/tty/<name after /dev/>,
//   where a pseudo-terminal has no entry. The port is named by a path that reaches it
//   through a symbolic link of our own, and which the sysfs look-up accepts as a link too:
//   "/dev/../../../tmp/quenlex-bench-XXXXXX/port" is the same file seen from /dev and from
//   /sys/class/tty.
// - It refuses a port whose modem lines cannot be read; modem_line_shim.cpp answers for the
//   lines a pseudo-terminal lacks.
// Neither touches a read or a write: those are the library's own calls on the terminal.
#include "libserialport_contender.h"

#include <libserialport.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "comparison_work.h"

namespace bench {
namespace {

struct SpState {
    sp_port *port = nullptr;
    sp_port_config *config = nullptr;
    std::string folder;  // holds the link to the device
    std::string name;    // what libserialport is given
    std::vector<char> payload;
    std::vector<char> doubled;
    std::string description;
};

// The name libserialport accepts for `path`; false when the link cannot be made.
bool make_name(SpState *sp, const char *path) {
    char folder[] = "/tmp/quenlex-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return false;
    }
    sp->folder = folder;
    std::string link = sp->folder + "/port";
    if (symlink(path, link.c_str()) != 0) {
        rmdir(folder);
        sp->folder.clear();
        return false;
    }
    sp->name = "/dev/../../.." + link;
    return true;
}

void remove_name(SpState *sp) {
    if (!sp->folder.empty()) {
        unlink((sp->folder + "/port").c_str());
        rmdir(sp->folder.c_str());
        sp->folder.clear();
    }
}

// Opens and configures the port as quenlex_open does: 8N1 at `baud`, everything else as
// the device has it (a fresh configuration leaves unset fields alone).
sp_port *open_port(SpState *sp, int baud) {
    if (sp->config == nullptr) {
        if (sp_new_config(&sp->config) != SP_OK) {
            return nullptr;
        }
    }
    sp_set_config_baudrate(sp->config, baud);
    sp_set_config_bits(sp->config, 8);
    sp_set_config_parity(sp->config, SP_PARITY_NONE);
    sp_set_config_stopbits(sp->config, 1);
    sp_port *port = nullptr;
    if (sp_get_port_by_name(sp->name.c_str(), &port) != SP_OK) {
        return nullptr;
    }
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        sp_free_port(port);
        return nullptr;
    }
    if (sp_set_config(port, sp->config) != SP_OK) {
        sp_close(port);
        sp_free_port(port);
        return nullptr;
    }
    return port;
}

void close_port(sp_port *port) {
    sp_close(port);
    sp_free_port(port);
}

bool sp_open_contender(void *state, const char *path, int baud) {
    auto *sp = static_cast<SpState *>(state);
    if (!make_name(sp, path)) {
        return false;
    }
    sp->port = open_port(sp, baud);
    if (sp->port == nullptr) {
        remove_name(sp);
        return false;
    }
    return true;
}

void sp_close_contender(void *state) {
    auto *sp = static_cast<SpState *>(state);
    if (sp->port != nullptr) {
        close_port(sp->port);
        sp->port = nullptr;
    }
    remove_name(sp);
}

unsigned ms(double value) { return static_cast<unsigned>(value + 0.5); }

// libserialport has no interval time-out: a user wanting one reads what comes with
// sp_blocking_read_next and stops at the first call that waits the interval in vain.
long read_with_interval(sp_port *port, char *buffer, std::size_t n, ReadTimeouts timeouts) {
    const std::int64_t total_end = now_ns() + static_cast<std::int64_t>(timeouts.total_ms * 1e6);
    int got = sp_blocking_read_next(port, buffer, n, ms(timeouts.total_ms));
    if (got <= 0) {
        return got;
    }
    while (static_cast<std::size_t>(got) < n) {
        const double left_ms = static_cast<double>(total_end - now_ns()) / 1e6;
        if (left_ms < 1) {
            break;
        }
        int more = sp_blocking_read_next(port, buffer + got, n - static_cast<std::size_t>(got),
                                         ms(std::min(timeouts.interval_ms, left_ms)));
        if (more < 0) {
            return more;
        }
        if (more == 0) {
            break;
        }
        got += more;
    }
    return got;
}

long sp_timed_read(void *state, ReadKind kind, char *buffer, std::size_t n, Span *span) {
    auto *sp = static_cast<SpState *>(state);
    const ReadTimeouts timeouts = timeouts_for(kind, n);
    span->start_ns = now_ns();
    long got =
        timeouts.interval_ms > 0
            ? read_with_interval(sp->port, buffer, n, timeouts)
            : static_cast<long>(sp_blocking_read(sp->port, buffer, n, ms(timeouts.total_ms)));
    span->end_ns = now_ns();
    return got;
}

double process_cpu_seconds() {
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<double>(cpu.tv_sec) + static_cast<double>(cpu.tv_nsec) / 1e9;
}

int sp_wait_byte(void *state, bool polling, double *cpu_seconds, Span *span) {
    auto *sp = static_cast<SpState *>(state);
    unsigned char byte = 0;
    double cpu_before = process_cpu_seconds();
    span->start_ns = now_ns();
    int got;
    if (polling) {
        const unsigned timeout = ms(timeouts_for(ReadKind::idle, 1).total_ms);
        do {
            got = sp_blocking_read(sp->port, &byte, 1, timeout);
        } while (got == 0);
    } else {
        got = sp_blocking_read(sp->port, &byte, 1, 0);  // 0: no time-out
    }
    span->end_ns = now_ns();
    *cpu_seconds = process_cpu_seconds() - cpu_before;
    return got == 1 ? byte : -1;
}

void make_payload(SpState *sp, std::size_t chunk) {
    if (sp->payload.size() == chunk) {
        return;
    }
    sp->payload.resize(chunk);
    sp->doubled.resize(2 * chunk);
    for (std::size_t i = 0; i < chunk; ++i) {
        sp->payload[i] = sp->doubled[i] = sp->doubled[chunk + i] = payload_byte(i);
    }
}

bool sp_send_stream(void *state, std::size_t chunk, std::size_t chunks, Span *span) {
    auto *sp = static_cast<SpState *>(state);
    make_payload(sp, chunk);
    const unsigned timeout = ms(write_timeout_ms(chunk));
    span->start_ns = now_ns();
    for (std::size_t c = 0; c < chunks; ++c) {
        if (sp_blocking_write(sp->port, sp->payload.data(), chunk, timeout) !=
            static_cast<int>(chunk)) {
            return false;
        }
    }
    span->end_ns = now_ns();
    return true;
}

bool sp_receive_stream(void *state, std::size_t chunk, std::size_t chunks, Span *span) {
    auto *sp = static_cast<SpState *>(state);
    make_payload(sp, chunk);
    std::vector<char> buffer(chunk);
    const std::size_t total = chunk * chunks;
    std::size_t received = 0;
    span->start_ns = now_ns();
    while (received < total) {
        const std::size_t room = std::min(chunk, total - received);
        int k = sp_blocking_read(sp->port, buffer.data(), room,
                                 ms(timeouts_for(ReadKind::burst, room).total_ms));
        const std::size_t at = received % chunk;
        if (k <= 0 ||
            std::memcmp(buffer.data(), sp->doubled.data() + at, static_cast<std::size_t>(k)) != 0) {
            return false;
        }
        received += static_cast<std::size_t>(k);
    }
    span->end_ns = now_ns();
    return true;
}

bool sp_cycles(void *state, const char *path, int baud, int cycles, Span *span) {
    auto *sp = static_cast<SpState *>(state);
    if (sp->port != nullptr || !make_name(sp, path)) {
        return false;
    }
    bool ok = true;
    span->start_ns = now_ns();
    for (int i = 0; i < cycles && ok; ++i) {
        sp_port *port = open_port(sp, baud);
        ok = port != nullptr;
        if (ok) {
            close_port(port);
        }
    }
    span->end_ns = now_ns();
    remove_name(sp);
    return ok;
}

const char *sp_describe(void *state) {
    auto *sp = static_cast<SpState *>(state);
    sp->description = std::string("libserialport ") + sp_get_package_version_string();
    return sp->description.c_str();
}

SpState sp_state;

}  // namespace

Contender libserialport_contender() {
    Contender contender{};
    contender.name = "libserialport";
    contender.state = &sp_state;
    contender.open = sp_open_contender;
    contender.close = sp_close_contender;
    contender.timed_read = sp_timed_read;
    contender.timed_wait_byte = sp_wait_byte;
    contender.send_stream = sp_send_stream;
    contender.receive_stream = sp_receive_stream;
    contender.open_close_cycles = sp_cycles;
    contender.describe = sp_describe;
    return contender;
}

}  // namespace bench
