#!/usr/bin/env bash
# Runs the calls fuzzer (libFuzzer with AddressSanitizer + UndefinedBehaviorSanitizer, clang)
# for a bounded time, starting from the committed corpus (tests/fuzz/corpus). Inputs it finds
# go to build/fuzz/corpus; a crash, hang or failed check leaves its input in build/fuzz/ and
# fails the run. It runs without a controlling terminal (setsid), so quenlex_configure's
# dialog fails at once instead of waiting for a person.
# Usage: scripts/fuzz.sh [seconds]      (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUENLEX_FUZZ=ON -DQUENLEX_SANITIZE=address,undefined \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DQUENLEX_BUILD_TOOLS=OFF -DQUENLEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j2 --target quenlex_fuzz >/dev/null

mkdir -p "$build/corpus" "$build/artifacts"
setsid --wait "$build/tests/fuzz/quenlex_fuzz" \
  -max_total_time="$seconds" -timeout=60 -max_len=256 -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/" "$build/corpus" tests/fuzz/corpus
