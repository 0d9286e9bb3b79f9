#include "comparison.h"

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comparison_stats.h"
#include "comparison_work.h"
#include "contenders.h"
#include "pty_pair.h"
#include "worker_client.h"

namespace bench {

const ComparisonSettings kFullComparison = {1000, 100, 1000, 5, 2.0, 4096, 4096, 25, 200, 15};
const ComparisonSettings kSmokeComparison = {2, 1, 3, 1, 0.2, 4096, 16, 1, 5, 1};

namespace {

constexpr int kBaud = 115200;
constexpr std::size_t kBurstBytes = 8;
// Room for 256 bytes: quenlex's total time-out for the rest of the burst (3 x 255 + 2 ms)
// is longer than the 500 ms interval, so the interval ends the read.
constexpr std::size_t kBurstRoom = 256;
constexpr std::size_t kReplyBytes = 32;
// How long after a request the device sends, so the read is already waiting: a worker
// needs well under a millisecond to take a request up.
constexpr auto kDeviceDelay = std::chrono::milliseconds(3);

// The library's goals; quenlex is held to them.
constexpr double kMedianOvershootGoalMs = 0.5;
constexpr double kP99OvershootGoalMs = 2.0;
constexpr double kLatencyRatioGoal = 1.2;
constexpr double kCpuGoalPercent = 1.0;
constexpr double kThroughputRatioGoal = 0.9;

struct Entry {
    WorkerSpec spec;
    std::unique_ptr<Worker> worker;
    std::unique_ptr<PtyPair> pty;
    std::string about;
    bool present = false;  // the library is there and the worker serves
    bool failed = false;   // a measurement went wrong: the rest of its rows are left out
};

enum class Goal { none, overshoot, latency, cpu, throughput };

struct RowSpec {
    std::string title;
    std::string unit;
    bool higher_is_better;
    Goal goal;
    int reps;
    // One sample of one contender; nullopt when the measurement went wrong (the reason is
    // left in `why`).
    std::function<std::optional<double>(Entry &, std::string &why)> sample;
    bool on_closed_ports = false;  // the samples open the contender's own device themselves
};

struct RowResult {
    const RowSpec *spec;
    std::vector<Summary> summaries;  // by entry
    std::vector<bool> measured;      // by entry
    std::vector<double> ratios;      // by entry: to the floor, 0 where there is none
};

double ms_between(std::int64_t from_ns, std::int64_t to_ns) {
    return static_cast<double>(to_ns - from_ns) / 1e6;
}

std::string fmt(const char *pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// "ok" words as numbers: the i-th one.
std::int64_t word_int(const std::vector<std::string> &words, std::size_t i) {
    return i < words.size() ? std::stoll(words[i]) : 0;
}

std::string read_request(ReadKind kind, std::size_t n) {
    static const char *names[] = {"idle", "burst", "reply"};
    const ReadTimeouts t = timeouts_for(kind, n);
    return std::string("read ") + names[static_cast<int>(kind)] + " " + std::to_string(n) + " " +
           fmt("%.3f", t.total_ms) + " " + fmt("%.3f", t.interval_ms);
}

// --- the samples ---------------------------------------------------------------------------

std::optional<double> idle_overshoot(Entry &e, std::size_t n, std::string &why) {
    std::vector<std::string> w;
    if (!e.worker->request(read_request(ReadKind::idle, n), &w, 5000)) {
        why = e.worker->error();
        return std::nullopt;
    }
    if (word_int(w, 0) != 0) {
        why = "a read with nothing arriving received bytes";
        return std::nullopt;
    }
    return ms_between(word_int(w, 1), word_int(w, 2)) - timeouts_for(ReadKind::idle, n).total_ms;
}

// The device sends `bytes` bytes kDeviceDelay after the request; the moment it starts
// writing comes back in *sent_ns.
std::thread send_later(const PtyPair &pty, std::size_t bytes, std::int64_t *sent_ns) {
    return std::thread([&pty, bytes, sent_ns] {
        std::this_thread::sleep_for(kDeviceDelay);
        std::vector<char> data(bytes);
        for (std::size_t i = 0; i < bytes; ++i) {
            data[i] = payload_byte(i);
        }
        *sent_ns = now_ns();
        pty.send(data.data(), bytes);
    });
}

std::optional<double> burst_overshoot(Entry &e, std::string &why) {
    std::int64_t sent = 0;
    std::thread device = send_later(*e.pty, kBurstBytes, &sent);
    std::vector<std::string> w;
    bool ok = e.worker->request(read_request(ReadKind::burst, kBurstRoom), &w, 15000);
    device.join();
    if (!ok) {
        why = e.worker->error();
        return std::nullopt;
    }
    if (word_int(w, 0) != static_cast<std::int64_t>(kBurstBytes)) {
        why = "the burst read received " + w[0] + " bytes";
        return std::nullopt;
    }
    // The gap is counted from the burst, or from the read's start if the burst was there first.
    return ms_between(std::max(sent, word_int(w, 1)), word_int(w, 2)) - kIntervalMs;
}

std::optional<double> reply_latency_us(Entry &e, std::string &why) {
    // A read that began only after the reply was sent did not wait for it: measured again.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::int64_t sent = 0;
        std::thread device = send_later(*e.pty, kReplyBytes, &sent);
        std::vector<std::string> w;
        bool ok = e.worker->request(read_request(ReadKind::reply, kReplyBytes), &w, 5000);
        device.join();
        if (!ok) {
            why = e.worker->error();
            return std::nullopt;
        }
        if (word_int(w, 0) != static_cast<std::int64_t>(kReplyBytes)) {
            why = "the reply read received " + w[0] + " bytes";
            return std::nullopt;
        }
        if (word_int(w, 1) <= sent) {
            return ms_between(sent, word_int(w, 2)) * 1000;
        }
    }
    why = "the read never started before the reply";
    return std::nullopt;
}

std::optional<double> waiting_cpu_percent(Entry &e, double wait_s, bool polling, std::string &why) {
    std::thread device([&e, wait_s] {
        std::this_thread::sleep_for(std::chrono::duration<double>(wait_s));
        e.pty->send("W", 1);
    });
    std::vector<std::string> w;
    const std::string request =
        polling ? "poll " + fmt("%.3f", timeouts_for(ReadKind::idle, 1).total_ms) : "wait";
    bool ok = e.worker->request(request, &w, static_cast<int>(wait_s * 1000) + 10000);
    device.join();
    if (!ok) {
        why = e.worker->error();
        return std::nullopt;
    }
    if (word_int(w, 0) != 'W') {
        why = "the wait returned a wrong byte";
        return std::nullopt;
    }
    const double cpu = std::stod(w[1]);
    return cpu / (ms_between(word_int(w, 2), word_int(w, 3)) / 1000) * 100;
}

std::optional<double> send_mb_per_s(Entry &e, const ComparisonSettings &s, std::string &why) {
    std::vector<char> doubled(2 * s.chunk);
    for (std::size_t i = 0; i < 2 * s.chunk; ++i) {
        doubled[i] = payload_byte(i % s.chunk);
    }
    bool intact = true;
    std::int64_t last = 0;
    std::thread device([&] {
        std::vector<char> piece(s.chunk);
        for (std::size_t c = 0; c < s.chunks && intact; ++c) {
            intact = e.pty->receive(piece.data(), s.chunk, 10000) &&
                     std::memcmp(piece.data(), doubled.data(), s.chunk) == 0;
        }
        last = now_ns();
    });
    std::vector<std::string> w;
    bool ok = e.worker->request("send " + std::to_string(s.chunk) + " " + std::to_string(s.chunks) +
                                    " " + fmt("%.3f", write_timeout_ms(s.chunk)),
                                &w, 120000);
    if (!ok) {
        intact = false;  // the device gives up at its next piece
    }
    device.join();
    if (!ok || !intact) {
        why = ok ? "the device received wrong or missing bytes" : e.worker->error();
        return std::nullopt;
    }
    const double bytes = static_cast<double>(s.chunk * s.chunks);
    return bytes / (ms_between(word_int(w, 0), last) / 1000) / 1e6;
}

std::optional<double> receive_mb_per_s(Entry &e, const ComparisonSettings &s, std::string &why) {
    std::vector<char> data(s.chunk);
    for (std::size_t i = 0; i < s.chunk; ++i) {
        data[i] = payload_byte(i);
    }
    std::thread device([&] {
        for (std::size_t c = 0; c < s.chunks; ++c) {
            if (!e.pty->send(data.data(), s.chunk)) {
                return;
            }
        }
    });
    const ReadTimeouts t = timeouts_for(ReadKind::burst, s.chunk);
    std::vector<std::string> w;
    bool ok =
        e.worker->request("receive " + std::to_string(s.chunk) + " " + std::to_string(s.chunks) +
                              " " + fmt("%.3f", t.total_ms) + " " + fmt("%.3f", t.interval_ms),
                          &w, 120000);
    device.join();  // with no reader the device gives up after 5 s without room
    if (!ok) {
        why = e.worker->error();
        return std::nullopt;
    }
    const double bytes = static_cast<double>(s.chunk * s.chunks);
    return bytes / (ms_between(word_int(w, 0), word_int(w, 1)) / 1000) / 1e6;
}

std::optional<double> cycles_per_s(Entry &e, int cycles, std::string &why) {
    std::vector<std::string> w;
    if (!e.worker->request("cycles " + e.pty->slave_path() + " " + std::to_string(kBaud) + " " +
                               std::to_string(cycles),
                           &w, 60000)) {
        why = e.worker->error();
        return std::nullopt;
    }
    return cycles / (ms_between(word_int(w, 0), word_int(w, 1)) / 1000);
}

// --- running and reporting -----------------------------------------------------------------

std::vector<RowSpec> rows_of(const ComparisonSettings &s) {
    std::vector<RowSpec> rows;
    for (std::size_t n : {std::size_t{1}, std::size_t{64}, std::size_t{1024}}) {
        rows.push_back({"time-out overshoot, read of " + std::to_string(n) +
                            (n == 1 ? " byte" : " bytes") + ", nothing comes (5 ms)",
                        "ms", false, Goal::overshoot, s.idle_reps,
                        [n](Entry &e, std::string &why) { return idle_overshoot(e, n, why); }});
    }
    rows.push_back({"time-out overshoot, read of " + std::to_string(kBurstRoom) +
                        " bytes, 500 ms gap after 8 bytes",
                    "ms", false, Goal::overshoot, s.burst_reps,
                    [](Entry &e, std::string &why) { return burst_overshoot(e, why); }});
    rows.push_back({"reply latency, 32-byte reply, read of exactly 32", "us", false, Goal::latency,
                    s.reply_reps,
                    [](Entry &e, std::string &why) { return reply_latency_us(e, why); }});
    rows.push_back(
        {fmt("CPU while waiting %.1f s for a byte, peers in a blocking read", s.cpu_wait_s),
         "% of a core", false, Goal::cpu, s.cpu_reps, [s](Entry &e, std::string &why) {
             return waiting_cpu_percent(e, s.cpu_wait_s, false, why);
         }});
    rows.push_back({fmt("CPU while waiting %.1f s for a byte, all in 5 ms reads", s.cpu_wait_s),
                    "% of a core", false, Goal::none, s.cpu_reps, [s](Entry &e, std::string &why) {
                        return waiting_cpu_percent(e, s.cpu_wait_s, true, why);
                    }});
    const double bytes = static_cast<double>(s.chunk * s.chunks);
    const std::string size =
        (bytes >= 1048576 ? fmt("%.0f MiB", bytes / 1048576) : fmt("%.0f KiB", bytes / 1024)) +
        fmt(" in %.0f-byte ", static_cast<double>(s.chunk));
    rows.push_back({"send throughput, " + size + "writes", "MB/s", true, Goal::throughput,
                    s.stream_rounds,
                    [s](Entry &e, std::string &why) { return send_mb_per_s(e, s, why); }});
    rows.push_back({"receive throughput, " + size + "reads", "MB/s", true, Goal::throughput,
                    s.stream_rounds,
                    [s](Entry &e, std::string &why) { return receive_mb_per_s(e, s, why); }});
    rows.push_back({"open + configure + close", "cycles/s", true, Goal::none, s.cycle_rounds,
                    [s](Entry &e, std::string &why) { return cycles_per_s(e, s.cycles, why); },
                    true});
    return rows;
}

bool usable(const Entry &e) { return e.present && !e.failed; }

// The median of the ratios of samples taken in the same repetition (`of` to `to`): the two
// ran one right after the other, so a change in the machine's load over the run cancels
// out. 0 when there are no such pairs.
double paired_ratio(const std::vector<double> &of, const std::vector<double> &to) {
    std::vector<double> ratios;
    for (std::size_t r = 0; r < of.size() && r < to.size(); ++r) {
        if (to[r] > 0) {
            ratios.push_back(of[r] / to[r]);
        }
    }
    return ratios.empty() ? 0 : summarize(ratios, false).median;
}

// One row, the contenders taking turns: in repetition r the order starts at contender r.
RowResult run_row(const RowSpec &row, std::vector<Entry> &entries) {
    const std::size_t count = entries.size();
    std::vector<std::vector<double>> samples(count);
    for (int rep = 0; rep < row.reps; ++rep) {
        for (std::size_t k = 0; k < count; ++k) {
            Entry &e = entries[(static_cast<std::size_t>(rep) + k) % count];
            if (!usable(e)) {
                continue;
            }
            std::string why;
            std::optional<double> value = row.sample(e, why);
            if (!value) {
                std::fprintf(stderr, "%s: %s: %s\n", e.spec.name.c_str(), row.title.c_str(),
                             why.c_str());
                e.failed = true;
                continue;
            }
            samples[(static_cast<std::size_t>(rep) + k) % count].push_back(*value);
        }
    }
    RowResult result{&row, {}, {}, {}};
    for (std::size_t i = 0; i < count; ++i) {
        result.measured.push_back(usable(entries[i]) && !samples[i].empty());
        result.summaries.push_back(summarize(samples[i], row.higher_is_better));
        result.ratios.push_back(paired_ratio(samples[i], samples[0]));
    }
    return result;
}

struct Line {
    std::string measurement, unit, contender, samples, median, tail, interval, ratio, goal, verdict;
};

std::string number(double value) {
    if (value >= 100) {
        return fmt("%.0f", value);
    }
    if (value >= 10) {
        return fmt("%.1f", value);
    }
    return fmt("%.3f", value);
}

std::string goal_text(Goal goal) {
    switch (goal) {
        case Goal::overshoot:
            return fmt("median <= %.1f", kMedianOvershootGoalMs) +
                   fmt(", p99 <= %.0f", kP99OvershootGoalMs);
        case Goal::latency:
            return fmt("<= %.1f x floor", kLatencyRatioGoal);
        case Goal::cpu:
            return fmt("<= %.0f %%", kCpuGoalPercent);
        case Goal::throughput:
            return fmt(">= %.1f x floor", kThroughputRatioGoal);
        case Goal::none:
            break;
    }
    return "";
}

// quenlex's own goal on a row, apart from the peers.
bool own_goal_met(Goal goal, const Summary &q, double ratio) {
    switch (goal) {
        case Goal::overshoot:
            return q.median <= kMedianOvershootGoalMs && q.tail <= kP99OvershootGoalMs;
        case Goal::latency:
            return ratio <= kLatencyRatioGoal;
        case Goal::cpu:
            return q.median <= kCpuGoalPercent;
        case Goal::throughput:
            return ratio >= kThroughputRatioGoal;
        case Goal::none:
            break;
    }
    return true;
}

std::vector<Line> lines_of(const RowResult &row, const std::vector<Entry> &entries) {
    const RowSpec &spec = *row.spec;
    const std::size_t floor = 0, quenlex = 1;  // the order of comparison_workers()
    std::vector<Line> lines;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Entry &e = entries[i];
        Line line{spec.title, spec.unit, e.spec.name, "", "", "", "", "", "", ""};
        if (!e.present) {
            line.verdict = "skipped: " + e.about;
            lines.push_back(line);
            continue;
        }
        if (!row.measured[i]) {
            line.verdict = "FAILED";
            lines.push_back(line);
            continue;
        }
        const Summary &s = row.summaries[i];
        line.samples = std::to_string(s.samples);
        line.median = number(s.median);
        line.tail = number(s.tail);
        line.interval = number(s.low) + " .. " + number(s.high);
        const bool have_floor = row.measured[floor] && row.ratios[i] != 0;
        const double ratio = row.ratios[i];
        if (have_floor && i != floor) {
            line.ratio = fmt("%.2f", ratio);
        }
        if (i == quenlex) {
            line.goal = goal_text(spec.goal);
            std::vector<std::string> behind;
            for (std::size_t p = 2; p < entries.size(); ++p) {
                if (row.measured[p] &&
                    ahead_beyond_noise(row.summaries[p], s, spec.higher_is_better)) {
                    behind.push_back(entries[p].spec.name);
                }
            }
            const bool own = own_goal_met(spec.goal, s, ratio);
            line.verdict = own && behind.empty() ? "met" : "MISSED";
            for (const std::string &peer : behind) {
                line.verdict += " (" + peer + " ahead)";
            }
        } else if (i > quenlex && row.measured[quenlex] &&
                   ahead_beyond_noise(s, row.summaries[quenlex], spec.higher_is_better)) {
            line.verdict = "ahead of quenlex";
        }
        lines.push_back(line);
    }
    return lines;
}

void print_lines(const std::vector<Line> &lines) {
    const Line head{"measurement",      "unit",    "contender", "n", "median", "p99",
                    "95% CI of median", "x floor", "goal",      ""};
    auto fields = [](const Line &l) {
        return std::vector<const std::string *>{&l.measurement, &l.contender, &l.samples, &l.median,
                                                &l.tail,        &l.interval,  &l.unit,    &l.ratio,
                                                &l.goal,        &l.verdict};
    };
    std::vector<std::size_t> width(10, 0);
    for (const Line *l : {&head}) {
        auto f = fields(*l);
        for (std::size_t i = 0; i < f.size(); ++i) {
            width[i] = std::max(width[i], f[i]->size());
        }
    }
    for (const Line &l : lines) {
        auto f = fields(l);
        for (std::size_t i = 0; i < f.size(); ++i) {
            width[i] = std::max(width[i], f[i]->size());
        }
    }
    auto print = [&](const Line &l) {
        auto f = fields(l);
        std::string text;
        for (std::size_t i = 0; i < f.size(); ++i) {
            text += *f[i] + std::string(width[i] - f[i]->size() + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        std::printf("%s\n", text.c_str());
    };
    print(head);
    std::string last;
    for (const Line &l : lines) {
        if (l.measurement != last && !last.empty()) {
            std::printf("\n");
        }
        last = l.measurement;
        print(l);
    }
}

std::string csv_field(const std::string &text) {
    if (text.find_first_of(",\"") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

bool write_csv(const std::string &path, const std::vector<Line> &lines) {
    std::ofstream out(path);
    out << "measurement,unit,contender,samples,median,p99,median_ci_low,median_ci_high,"
           "ratio_to_floor,goal,verdict\n";
    for (const Line &l : lines) {
        std::string low, high;
        std::string::size_type dots = l.interval.find(" .. ");
        if (dots != std::string::npos) {
            low = l.interval.substr(0, dots);
            high = l.interval.substr(dots + 4);
        }
        out << csv_field(l.measurement) << ',' << csv_field(l.unit) << ',' << csv_field(l.contender)
            << ',' << l.samples << ',' << l.median << ',' << l.tail << ',' << low << ',' << high
            << ',' << l.ratio << ',' << csv_field(l.goal) << ',' << csv_field(l.verdict) << '\n';
    }
    return static_cast<bool>(out);
}

// The overshoot rows as a table for gnuplot: one line per row, a median and p99 column per
// contender (NaN where it has none).
bool write_overshoot_data(const std::string &path, const std::vector<RowResult> &rows,
                          const std::vector<Entry> &entries) {
    std::ofstream out(path);
    out << "row";
    for (const Entry &e : entries) {
        out << ' ' << e.spec.name << ' ' << e.spec.name << "-p99";
    }
    out << '\n';
    for (const RowResult &row : rows) {
        if (row.spec->goal != Goal::overshoot) {
            continue;
        }
        std::string label = row.spec->title.substr(row.spec->title.find("read of") + 8);
        label = label.substr(0, label.find(','));
        const bool gap = row.spec->title.find("gap") != std::string::npos;
        out << '"' << label << (gap ? ", 500 ms gap" : ", nothing comes") << '"';
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (row.measured[i]) {
                out << ' ' << row.summaries[i].median << ' ' << row.summaries[i].tail;
            } else {
                out << " NaN NaN";
            }
        }
        out << '\n';
    }
    return static_cast<bool>(out);
}

}  // namespace

bool run_comparison(const ComparisonSettings &settings, const std::string &self,
                    const std::string &csv_path) {
    // A worker that dies must not take the benchmark with it on its next request.
    signal(SIGPIPE, SIG_IGN);

    std::vector<Entry> entries;
    for (const WorkerSpec &spec : comparison_workers(self)) {
        Entry e;
        e.spec = spec;
        if (!spec.missing.empty()) {
            e.about = spec.missing;
        } else {
            e.worker = std::make_unique<Worker>(spec.argv);
            e.about = e.worker->about();
            e.present = e.worker->ready();
        }
        entries.push_back(std::move(e));
    }

    bool all_ran = true;
    std::printf(
        "\ncomparison: each contender in its own process on its own pseudo-terminal "
        "pair, in turns\n");
    for (Entry &e : entries) {
        std::printf("  %-14s %s\n", e.spec.name.c_str(),
                    e.present ? e.about.c_str() : ("skipped: " + e.about).c_str());
        if (!e.present) {
            continue;
        }
        e.pty = std::make_unique<PtyPair>();
        std::vector<std::string> w;
        if (!e.pty->ok() ||
            !e.worker->request("open " + e.pty->slave_path() + " " + std::to_string(kBaud), &w,
                               10000)) {
            std::fprintf(stderr, "%s: cannot open its port: %s\n", e.spec.name.c_str(),
                         e.worker->error().c_str());
            e.failed = true;
        }
    }
    std::printf("\n");
    std::fflush(stdout);

    std::vector<RowSpec> specs = rows_of(settings);
    std::vector<RowResult> results;
    for (const RowSpec &spec : specs) {
        if (spec.on_closed_ports) {
            // The cycles open the contender's own device, which must be free for them.
            for (Entry &e : entries) {
                std::vector<std::string> w;
                if (usable(e) && !e.worker->request("close", &w, 10000)) {
                    e.failed = true;
                }
            }
        }
        results.push_back(run_row(spec, entries));
    }

    std::vector<Line> lines;
    for (const RowResult &row : results) {
        for (const Line &line : lines_of(row, entries)) {
            lines.push_back(line);
            all_ran = all_ran && line.verdict != "FAILED";
        }
    }
    print_lines(lines);
    std::printf(
        "\nmedian and p99 over n samples (for rates, p99 is the slow end: the 1st percentile);\n"
        "x floor: median of sample / the floor's sample of the same repetition; a peer is\n"
        "ahead of quenlex only when the 95%% confidence intervals of the two medians do not\n"
        "overlap.\n");
    if (!csv_path.empty()) {
        if (!write_csv(csv_path, lines) ||
            !write_overshoot_data(csv_path + ".overshoot.dat", results, entries)) {
            std::fprintf(stderr, "cannot write %s\n", csv_path.c_str());
            all_ran = false;
        }
    }
    return all_ran;
}

}  // namespace bench
