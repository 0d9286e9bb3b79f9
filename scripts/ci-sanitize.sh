#!/usr/bin/env bash
# The native suite under sanitizers, and the static analysis:
#   build/asan: every test under AddressSanitizer + UndefinedBehaviorSanitizer;
#   build/tsan: the concurrency tests (thread-local error code, TEST and quenlex_getError
#               from many threads) under ThreadSanitizer;
#   scripts/static-analysis.sh: clang-tidy and cppcheck over src/ and tools/.
# Usage: scripts/ci-sanitize.sh [asan|tsan|analysis ...]   (default: all three)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=2
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(asan tsan analysis)

step() { printf '\n=== %s ===\n' "$*"; }

# Sanitizer reports end the test that triggered them, with the report on its output.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

for part in "${parts[@]}"; do
  case $part in
    asan)
      step "Linux: every test under AddressSanitizer + UndefinedBehaviorSanitizer"
      cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUENLEX_WERROR=ON \
        -DQUENLEX_SANITIZE=address,undefined -DQUENLEX_BUILD_BENCH=ON >/dev/null
      cmake --build build/asan -j"$jobs"
      ctest --test-dir build/asan --output-on-failure -j"$jobs"
      ;;
    tsan)
      step "Linux: concurrency tests under ThreadSanitizer"
      cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DQUENLEX_WERROR=ON \
        -DQUENLEX_SANITIZE=thread -DQUENLEX_BUILD_BENCH=OFF -DQUENLEX_BUILD_TOOLS=OFF >/dev/null
      cmake --build build/tsan -j"$jobs" --target quenlex_thread_tests
      ctest --test-dir build/tsan --output-on-failure -R '^ThreadLocalError\.'
      ;;
    analysis)
      step "Static analysis"
      scripts/static-analysis.sh
      ;;
    *)
      echo "unknown part: $part (asan, tsan or analysis)" >&2
      exit 2
      ;;
  esac
done
