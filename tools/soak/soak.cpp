// quenlex_soak: a long exchange of commands and replies over a pseudo-terminal, through the
// library's public functions only, with a peer that now and then goes silent (before a
// reply, or in the middle of one). Counts every byte lost or corrupted in either direction;
// exits 0 only when there were none.
//
//   quenlex_soak [--pairs N] [--seconds S] [--seed X] [--silence-every K] [--max-pause-ms M]
//
// The host sends "C<8-digit number>\n"; the peer checks it and answers with a 32-byte reply
// made from the number (every byte value occurs across replies, zero included). The host
// collects the reply with quenlex_read (now and then its first byte with quenlex_readChar)
// and compares it byte for byte.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>

#include "quenlex.h"

namespace {

constexpr std::size_t kCommandSize = 10;  // 'C', 8 digits, '\n'
constexpr std::size_t kReplySize = 32;
// Longer than any pause of the peer: a reply missing after this is lost.
constexpr auto kReplyDeadline = std::chrono::seconds(3);

using Clock = std::chrono::steady_clock;

struct Options {
    long pairs = 1000000;
    double seconds = 0;  // 0: no limit
    unsigned seed = 1;
    unsigned silence_every = 800;
    unsigned max_pause_ms = 350;
};

std::string reply_for(std::uint32_t number) {
    std::string reply(kReplySize, '\0');
    std::uint32_t x = number * 2654435761u + 12345u;
    reply[0] = 'R';
    for (std::size_t i = 1; i < kReplySize; ++i) {
        x = x * 1103515245u + 12345u;
        reply[i] = static_cast<char>(x >> 24);
    }
    // Every byte value turns up: the number's own low byte at a fixed place.
    reply[kReplySize - 1] = static_cast<char>(number & 0xff);
    return reply;
}

std::string command_for(std::uint32_t number) {
    char text[kCommandSize + 1];
    std::snprintf(text, sizeof text, "C%08u\n", number % 100000000u);
    return text;
}

struct Stats {
    std::atomic<long> commands_ok{0};
    std::atomic<long> commands_bad{0};  // corrupted or out of order, as the peer saw them
    std::atomic<long> silences{0};
    std::atomic<long> split_replies{0};
    std::atomic<long> peer_bytes_in{0};
    std::atomic<long> peer_bytes_out{0};
};

bool write_all(int fd, const char *data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The device: reads commands, checks them, answers, and now and then pauses.
void run_peer(int master, const Options &options, Stats &stats, std::atomic<bool> &stop) {
    std::mt19937 random(options.seed);
    std::string pending;
    std::uint32_t expected = 0;
    char chunk[256];
    while (!stop.load()) {
        pollfd pfd{master, POLLIN, 0};
        if (poll(&pfd, 1, 50) <= 0) {
            continue;
        }
        ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            break;
        }
        stats.peer_bytes_in += n;
        pending.append(chunk, static_cast<std::size_t>(n));
        while (pending.size() >= kCommandSize) {
            std::string command = pending.substr(0, kCommandSize);
            pending.erase(0, kCommandSize);
            if (command == command_for(expected)) {
                ++stats.commands_ok;
            } else {
                ++stats.commands_bad;
                std::fprintf(stderr, "peer: command %u arrived as \"%s\"\n", expected,
                             command.c_str());
            }
            std::string reply = reply_for(expected);
            ++expected;

            std::uniform_int_distribution<unsigned> pause(1, options.max_pause_ms);
            bool silent = options.silence_every != 0 && random() % options.silence_every == 0;
            bool split = options.silence_every != 0 && random() % options.silence_every == 1;
            if (silent) {
                ++stats.silences;
                std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
            }
            std::size_t first = split ? 1 + random() % (kReplySize - 1) : kReplySize;
            write_all(master, reply.data(), first);
            if (split) {
                ++stats.split_replies;
                std::this_thread::sleep_for(std::chrono::milliseconds(pause(random)));
                write_all(master, reply.data() + first, kReplySize - first);
            }
            stats.peer_bytes_out += static_cast<long>(kReplySize);
        }
    }
}

bool parse(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        const char *value = argv[++i];
        if (arg == "--pairs") {
            options.pairs = std::strtol(value, nullptr, 10);
        } else if (arg == "--seconds") {
            options.seconds = std::strtod(value, nullptr);
        } else if (arg == "--seed") {
            options.seed = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--silence-every") {
            options.silence_every = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else if (arg == "--max-pause-ms") {
            options.max_pause_ms = static_cast<unsigned>(std::strtoul(value, nullptr, 10));
        } else {
            return false;
        }
    }
    return options.pairs > 0 && options.max_pause_ms > 0;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: quenlex_soak [--pairs N] [--seconds S] [--seed X] "
                     "[--silence-every K] [--max-pause-ms M]\n");
        return 2;
    }

    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 2;
    }
    fcntl(master, F_SETFD, FD_CLOEXEC);
    char path[128];
    ptsname_r(master, path, sizeof path);
    close(slave);  // the library opens the line itself
    if (quenlex_open(path, 115200) != 1) {
        std::fprintf(stderr, "quenlex_open(%s) failed: error %d\n", path, quenlex_getError());
        return 2;
    }

    Stats stats;
    std::atomic<bool> stop{false};
    std::thread peer(run_peer, master, std::cref(options), std::ref(stats), std::ref(stop));

    std::mt19937 random(options.seed + 1);
    long pairs = 0;
    long lost = 0;
    long corrupted = 0;
    long write_failures = 0;
    long read_char_calls = 0;
    long empty_reads = 0;
    long bytes_sent = 0;
    long bytes_received = 0;
    const auto start = Clock::now();
    auto last_report = start;
    char buffer[kReplySize + 1];

    for (std::uint32_t number = 0; pairs < options.pairs; ++number) {
        double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (options.seconds > 0 && elapsed >= options.seconds) {
            break;
        }
        std::string command = command_for(number);
        if (quenlex_write(command.c_str()) == 0) {
            ++write_failures;
            std::fprintf(stderr, "write %u failed: error %d\n", number, quenlex_getError());
        }
        bytes_sent += static_cast<long>(command.size());

        const std::string want = reply_for(number);
        std::string got;
        const auto deadline = Clock::now() + kReplyDeadline;
        if (random() % 16 == 0) {
            // readChar waits as long as it takes; the peer always answers.
            got.push_back(static_cast<char>(quenlex_readChar()));
            ++read_char_calls;
        }
        while (got.size() < kReplySize && Clock::now() < deadline) {
            int size = static_cast<int>(kReplySize - got.size()) + 1;
            int n = quenlex_read(buffer, size);
            if (n == 0) {
                ++empty_reads;
                continue;
            }
            if (buffer[n] != '\0') {
                std::fprintf(stderr, "pair %u: no terminator at %d\n", number, n);
                ++corrupted;
            }
            got.append(buffer, static_cast<std::size_t>(n));
        }
        bytes_received += static_cast<long>(got.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            corrupted += got[i] != want[i];
        }
        if (got.size() < kReplySize) {
            lost += static_cast<long>(kReplySize - got.size());
            std::fprintf(stderr, "pair %u: %zu of %zu reply bytes came\n", number, got.size(),
                         kReplySize);
        }
        ++pairs;

        auto now = Clock::now();
        if (now - last_report >= std::chrono::seconds(30)) {
            last_report = now;
            std::printf("  %.0f s: %ld pairs, %ld lost, %ld corrupted\n",
                        std::chrono::duration<double>(now - start).count(), pairs, lost, corrupted);
            std::fflush(stdout);
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    stop = true;
    peer.join();
    quenlex_close();
    close(master);

    long peer_bad = stats.commands_bad.load();
    std::printf(
        "soak: %ld command/reply pairs in %.1f s (%.0f pairs/s)\n"
        "  host -> device: %ld bytes sent, %ld commands arrived intact, %ld corrupted, "
        "%ld writes failed\n"
        "  device -> host: %ld bytes sent, %ld received, %ld lost, %ld corrupted\n"
        "  peer silences: %ld before a reply, %ld inside one; %ld empty reads; %ld readChar\n",
        pairs, seconds, static_cast<double>(pairs) / seconds, bytes_sent, stats.commands_ok.load(),
        peer_bad, write_failures, stats.peer_bytes_out.load(), bytes_received, lost, corrupted,
        stats.silences.load(), stats.split_replies.load(), empty_reads, read_char_calls);
    bool clean = lost == 0 && corrupted == 0 && peer_bad == 0 && write_failures == 0 &&
                 stats.commands_ok.load() == pairs;
    std::printf("soak: %s\n", clean ? "nothing lost or corrupted" : "FAILED");
    return clean ? 0 : 1;
}
