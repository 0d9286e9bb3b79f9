#include "measurements.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>

namespace bench {
namespace {

using Clock = std::chrono::steady_clock;

double ms_between(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// `size` printable bytes (string-based contenders can send them) and a zero byte behind.
std::vector<char> payload(std::size_t size) {
    std::vector<char> bytes(size + 1);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>('!' + (i * 7 + i / 94) % 94);
    }
    bytes[size] = '\0';
    return bytes;
}

double thread_cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    auto seconds = [](const timeval &t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

Stats stats_of(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    Stats stats{};
    stats.samples = n;
    if (n == 0) {
        return stats;
    }
    stats.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    std::size_t p99_rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    stats.p99 = samples[std::max<std::size_t>(p99_rank, 1) - 1];
    stats.max = samples.back();
    return stats;
}

std::optional<Stats> timeout_overshoot(const Contender &contender, const PtyPair &pty,
                                       bool one_byte_waiting, std::size_t capacity, int reps) {
    if (contender.read_burst == nullptr || contender.burst_timeout_ms == nullptr) {
        return std::nullopt;
    }
    const double timeout = contender.burst_timeout_ms(contender.state, capacity, one_byte_waiting);
    std::vector<char> buffer(capacity);
    std::vector<double> overshoot;
    for (int rep = 0; rep < reps; ++rep) {
        if (one_byte_waiting) {
            if (!pty.send("R", 1)) {
                return std::nullopt;
            }
            // Let the byte reach the terminal's input before the read starts.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        Clock::time_point start = Clock::now();
        long received = contender.read_burst(contender.state, buffer.data(), capacity);
        Clock::time_point end = Clock::now();
        if (received != (one_byte_waiting ? 1 : 0)) {
            return std::nullopt;
        }
        overshoot.push_back(ms_between(start, end) - timeout);
    }
    return stats_of(overshoot);
}

std::optional<double> waiting_cpu_share(const Contender &contender, const PtyPair &pty,
                                        double seconds) {
    if (contender.read_byte == nullptr) {
        return std::nullopt;
    }
    std::thread device([&pty, seconds] {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        pty.send("W", 1);
    });
    double cpu_before = thread_cpu_seconds();
    Clock::time_point start = Clock::now();
    int byte = contender.read_byte(contender.state);
    Clock::time_point end = Clock::now();
    double cpu = thread_cpu_seconds() - cpu_before;
    device.join();
    if (byte != 'W') {
        return std::nullopt;
    }
    return cpu / (ms_between(start, end) / 1000.0);
}

std::optional<double> send_rate(const Contender &contender, const PtyPair &pty, std::size_t chunk,
                                std::size_t chunks) {
    if (contender.write == nullptr) {
        return std::nullopt;
    }
    const std::vector<char> data = payload(chunk);
    bool intact = true;
    Clock::time_point start = Clock::now();
    std::thread device([&] {
        std::vector<char> piece(chunk);
        for (std::size_t i = 0; i < chunks && intact; ++i) {
            intact = pty.receive(piece.data(), chunk, 5000) &&
                     std::memcmp(piece.data(), data.data(), chunk) == 0;
        }
    });
    bool sent = true;
    for (std::size_t i = 0; i < chunks && sent; ++i) {
        sent = contender.write(contender.state, data.data(), chunk);
    }
    device.join();
    Clock::time_point end = Clock::now();
    if (!sent || !intact) {
        return std::nullopt;
    }
    return static_cast<double>(chunk * chunks) / (ms_between(start, end) / 1000.0) / 1e6;
}

std::optional<double> receive_rate(const Contender &contender, const PtyPair &pty,
                                   std::size_t chunk, std::size_t chunks) {
    if (contender.read_burst == nullptr) {
        return std::nullopt;
    }
    const std::vector<char> data = payload(chunk);
    const std::size_t total = chunk * chunks;
    std::thread device([&] {
        for (std::size_t i = 0; i < chunks; ++i) {
            if (!pty.send(data.data(), chunk)) {
                return;
            }
        }
    });
    std::vector<char> buffer(chunk + contender.burst_overhead);
    std::size_t received = 0;
    bool intact = true;
    Clock::time_point start = Clock::now();
    while (received < total && intact && ms_between(start, Clock::now()) < 60000) {
        long n = contender.read_burst(contender.state, buffer.data(), buffer.size());
        if (n < 0 || received + static_cast<std::size_t>(n) > total) {
            intact = false;
            break;
        }
        // The stream repeats `data`: every byte is checked against its place in it.
        for (long i = 0; i < n; ++i) {
            intact = intact && buffer[static_cast<std::size_t>(i)] == data[(received + i) % chunk];
        }
        received += static_cast<std::size_t>(n);
    }
    Clock::time_point end = Clock::now();
    device.join();
    if (!intact || received != total) {
        return std::nullopt;
    }
    return static_cast<double>(total) / (ms_between(start, end) / 1000.0) / 1e6;
}

}  // namespace bench
