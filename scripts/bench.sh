#!/usr/bin/env bash
# Runs the benchmark: quenlex against the system-call floor, pyserial and libserialport on
# pseudo-terminal pairs, interleaved, in one run of about nine minutes. Writes the table as
# CSV, the printed report, a Markdown copy of the table and the time-out overshoot picture.
# Usage: scripts/bench.sh [OUTDIR]        (default build/bench-results; docs/ publishes)
# Run it on a quiet machine: the figures are only as steady as the load around them.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/bench-results}
build=build/bench

scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUENLEX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target quenlex_bench >/dev/null

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
if awk -v l="${load_before%% *}" 'BEGIN { exit !(l > 1.5) }'; then
  echo "warning: load average $load_before; the figures will be noisy" >&2
fi

mkdir -p "$out"
report="$out/performance.txt"
{
  echo "machine: $(nproc) cores, $cpu, Linux $(uname -r)"
  echo "started $(date -u '+%Y-%m-%d %H:%M UTC'), load average $load_before"
  echo
} >"$report"
"$build/bench/quenlex_bench" --csv "$build/performance.csv" | tee -a "$report"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
echo "finished, load average $load_after" | tee -a "$report"

cp "$build/performance.csv" "$out/performance.csv"
machine="$(nproc) cores, $cpu, Linux $(uname -r), load average $load_before at the start, $load_after at the end"
gnuplot -e "data='$build/performance.csv.overshoot.dat'; out='$out/timeout-overshoot.png'; machine='$machine'" \
  bench/overshoot.gp
/usr/bin/python3 bench/csv_to_markdown.py "$out/performance.csv" >"$out/performance-table.md"
echo "wrote $out/performance.csv, $report, $out/performance-table.md, $out/timeout-overshoot.png"
