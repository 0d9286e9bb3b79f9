// quenlex_bench: time-out precision, CPU while waiting and bulk throughput of each
// contender on one pseudo-terminal pair, printed as a table.
//
//   quenlex_bench           the full run (about half a minute)
//   quenlex_bench --smoke   one short repetition of everything, to show it still works
//
// The exit status is 1 when a measurement could not be made (a contender failed to open,
// read or write); goals that are missed only show in the table.
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "contender.h"
#include "measurements.h"
#include "pty_pair.h"

namespace {

struct Settings {
    int idle_reps;           // reads with nothing arriving
    int reply_reps;          // reads with a one-byte reply
    std::size_t reply_room;  // buffer of those reads: 10 bytes, a total of 3 x 8 + 2 = 26 ms
    double cpu_wait_s;
    std::size_t chunk;  // bytes per burst in the throughput rows
    std::size_t chunks;
    int rounds;  // of the throughput rows, contenders taking turns
};

constexpr Settings kFull = {500, 200, 10, 2.0, 4096, 2048, 11};
constexpr Settings kSmoke = {5, 3, 10, 0.2, 4096, 16, 1};

// The library's goals; every contender but the floor is held to them.
constexpr double kMedianOvershootGoalMs = 0.5;
constexpr double kP99OvershootGoalMs = 2.0;
constexpr double kCpuShareGoal = 0.01;
constexpr double kThroughputRatioGoal = 0.9;

struct Row {
    std::string measurement;
    std::string contender;
    std::string result;
    std::string goal;
    std::string verdict;
};

std::string format(const char *pattern, double a, double b = 0, double c = 0) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, a, b, c);
    return text;
}

std::string cpu_model() {
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) == 0) {
            return line.substr(line.find(':') + 2);
        }
    }
    return "unknown CPU";
}

std::string load_average() {
    std::ifstream loadavg("/proc/loadavg");
    std::string one, five, fifteen;
    loadavg >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void print_rows(const std::vector<Row> &rows) {
    std::size_t width[4] = {11, 9, 6, 4};
    for (const Row &row : rows) {
        width[0] = std::max(width[0], row.measurement.size());
        width[1] = std::max(width[1], row.contender.size());
        width[2] = std::max(width[2], row.result.size());
        width[3] = std::max(width[3], row.goal.size());
    }
    auto print = [&](const Row &row) {
        std::printf("%-*s  %-*s  %-*s  %-*s  %s\n", static_cast<int>(width[0]),
                    row.measurement.c_str(), static_cast<int>(width[1]), row.contender.c_str(),
                    static_cast<int>(width[2]), row.result.c_str(), static_cast<int>(width[3]),
                    row.goal.c_str(), row.verdict.c_str());
    };
    print({"measurement", "contender", "result", "goal", ""});
    for (const Row &row : rows) {
        print(row);
    }
}

const char *met(bool ok) { return ok ? "met" : "MISSED"; }

// The time-out and CPU rows of one contender.
void measure_waits(const bench::Contender &contender, bool is_floor, const bench::PtyPair &pty,
                   const Settings &s, std::vector<Row> &rows) {
    using bench::Stats;
    const std::string name = contender.name;
    if (!contender.open(contender.state, pty.slave_path().c_str(), 115200)) {
        rows.push_back({"open", name, "failed", "", "FAILED"});
        return;
    }

    for (bool one_byte : {false, true}) {
        if (contender.burst_timeout_ms == nullptr) {
            break;
        }
        std::size_t room = one_byte ? s.reply_room : 64;
        double timeout = contender.burst_timeout_ms(contender.state, room, one_byte);
        std::string what = format(one_byte ? "read time-out overshoot, 1-byte reply (%.0f ms)"
                                           : "read time-out overshoot, nothing comes (%.0f ms)",
                                  timeout);
        std::optional<Stats> stats = bench::timeout_overshoot(
            contender, pty, one_byte, room, one_byte ? s.reply_reps : s.idle_reps);
        if (!stats) {
            rows.push_back({what, name, "failed", "", "FAILED"});
            continue;
        }
        bool ok = stats->median <= kMedianOvershootGoalMs && stats->p99 <= kP99OvershootGoalMs;
        rows.push_back({what, name,
                        format("median %.3f ms, p99 %.3f ms, max %.3f ms", stats->median,
                               stats->p99, stats->max) +
                            " (n=" + std::to_string(stats->samples) + ")",
                        format("median <= %.1f ms, p99 <= %.0f ms", kMedianOvershootGoalMs,
                               kP99OvershootGoalMs),
                        is_floor ? "" : met(ok)});
    }

    if (std::optional<double> share = bench::waiting_cpu_share(contender, pty, s.cpu_wait_s)) {
        rows.push_back({format("CPU while waiting %.1f s for a byte", s.cpu_wait_s), name,
                        format("%.3f %% of one core", *share * 100),
                        format("<= %.0f %%", kCpuShareGoal * 100),
                        is_floor ? "" : met(*share <= kCpuShareGoal)});
    } else if (contender.read_byte != nullptr) {
        rows.push_back({"CPU while waiting for a byte", name, "failed", "", "FAILED"});
    }
    contender.close(contender.state);
}

double median_of(std::vector<double> values) {
    return values.empty() ? 0 : bench::stats_of(std::move(values)).median;
}

// The throughput rows. Contenders take turns, round after round, so a change in the
// machine's load hits all of them alike. Other processes can only slow a run down, so each
// contender's best round is the nearest to what it can do, and the best rounds are compared.
void measure_throughput(const std::vector<bench::Contender> &contenders, const bench::PtyPair &pty,
                        const Settings &s, std::vector<Row> &rows) {
    const std::size_t n = contenders.size();
    // rates[direction][contender][round]; a failed run is left out.
    std::vector<std::vector<std::vector<double>>> rates(2, std::vector<std::vector<double>>(n));
    for (int round = 0; round < s.rounds; ++round) {
        for (std::size_t c = 0; c < n; ++c) {
            const bench::Contender &contender = contenders[c];
            if (!contender.open(contender.state, pty.slave_path().c_str(), 115200)) {
                continue;
            }
            std::optional<double> got[2] = {
                bench::send_rate(contender, pty, s.chunk, s.chunks),
                bench::receive_rate(contender, pty, s.chunk, s.chunks),
            };
            contender.close(contender.state);
            for (int d = 0; d < 2; ++d) {
                if (got[d]) {
                    rates[d][c].push_back(*got[d]);
                }
            }
        }
    }

    const double mb = static_cast<double>(s.chunk * s.chunks) / 1e6;
    const char *labels[2] = {"send throughput (%.1f MB in %.0f-byte writes)",
                             "receive throughput (%.1f MB in %.0f-byte reads)"};
    const std::string floor_name = contenders[0].name;
    for (int d = 0; d < 2; ++d) {
        std::string what = format(labels[d], mb, static_cast<double>(s.chunk));
        double floor_best = 0;
        for (std::size_t c = 0; c < n; ++c) {
            const std::string name = contenders[c].name;
            const std::vector<double> &r = rates[d][c];
            if (r.size() != static_cast<std::size_t>(s.rounds)) {
                rows.push_back({what, name, "failed", "", "FAILED"});
                continue;
            }
            double best = *std::max_element(r.begin(), r.end());
            std::string result = format("best %.1f MB/s (median %.1f)", best, median_of(r));
            if (c == 0) {
                floor_best = best;
                rows.push_back({what, name, result, "", ""});
                continue;
            }
            double ratio = floor_best > 0 ? best / floor_best : 0;
            rows.push_back({what, name, result + format(" = %.2f x ", ratio) + floor_name,
                            format(">= %.1f x ", kThroughputRatioGoal) + floor_name,
                            met(ratio >= kThroughputRatioGoal)});
        }
    }
}

}  // namespace

int main(int argc, char **argv) {
    bool smoke = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--smoke") == 0) {
            smoke = true;
        } else {
            std::fprintf(stderr, "usage: %s [--smoke]\n", argv[0]);
            return 2;
        }
    }
    const Settings &settings = smoke ? kSmoke : kFull;

    bench::PtyPair pty;
    if (!pty.ok()) {
        std::perror("openpty");
        return 1;
    }
    utsname system{};
    uname(&system);
    std::printf("quenlex_bench%s on %s: %s %s, %ld cores, %s, load average %s\n\n",
                smoke ? " --smoke" : "", pty.slave_path().c_str(), system.sysname, system.release,
                sysconf(_SC_NPROCESSORS_ONLN), cpu_model().c_str(), load_average().c_str());

    std::vector<bench::Contender> contenders = bench::all_contenders();
    std::vector<Row> rows;
    for (std::size_t i = 0; i < contenders.size(); ++i) {
        measure_waits(contenders[i], i == 0, pty, settings, rows);
    }
    measure_throughput(contenders, pty, settings, rows);
    print_rows(rows);
    bool all_ran = std::none_of(rows.begin(), rows.end(),
                                [](const Row &row) { return row.verdict == "FAILED"; });
    std::printf(
        "\nthroughput: the best of %d rounds in turns, against the best round of the floor "
        "(%s)\n",
        settings.rounds, contenders[0].name);
    // A goal missed is a figure to read; a measurement that could not be made is a fault.
    return all_ran ? 0 : 1;
}
