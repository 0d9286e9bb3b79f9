#!/usr/bin/env bash
# Runs every test: the Linux library (plain, under ASan+UBSan and TSan), static analysis, a
# bounded fuzzing run, and both Windows DLLs as built and under Wine. Installs what it needs
# first. scripts/ci-sanitize.sh runs the sanitizer and analysis steps on their own.
# Usage: scripts/test.sh            (build folders go under ./build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh

step() { printf '\n=== %s ===\n' "$*"; }

# Runs ctest in a build folder and adds its counts to the totals printed at the end.
passed=0
failed=0
run_ctest() {
  local log
  log=$(mktemp)
  local status=0
  ctest --test-dir "$@" --output-on-failure 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [ -z "$line" ]; then
    echo "no test ran in $1" >&2
    return 1
  fi
  local total bad
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  bad=$(sed -E 's/.*tests passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  return "$status"
}

step "Linux: build and test"
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLEX_WERROR=ON
cmake --build build/linux -j"$jobs"
run_ctest build/linux -j"$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

step "Linux: every test under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUENLEX_WERROR=ON \
  -DQUENLEX_SANITIZE=address,undefined
cmake --build build/asan -j"$jobs"
run_ctest build/asan -j"$jobs"

step "Linux: concurrency tests under ThreadSanitizer"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DQUENLEX_WERROR=ON \
  -DQUENLEX_SANITIZE=thread -DQUENLEX_BUILD_BENCH=OFF -DQUENLEX_BUILD_TOOLS=OFF
cmake --build build/tsan -j"$jobs" --target quenlex_thread_tests
run_ctest build/tsan -R '^ThreadLocalError\.'

step "Static analysis: clang-tidy, cppcheck"
scripts/static-analysis.sh

step "Fuzzing the nine calls for 60 s"
scripts/fuzz.sh 60

for arch in i686 x86_64; do
  step "Windows $arch: build and test"
  cmake -S . -B "build/$arch" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$arch-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUENLEX_WERROR=ON
  cmake --build "build/$arch" -j"$jobs"
  run_ctest "build/$arch"
done

echo
echo "all: $passed passed, $failed failed"
