#!/usr/bin/env bash
# Static analysis of the library and the tools (src/, tools/): clang-tidy with the root's
# .clang-tidy and cppcheck with scripts/analysis/ (a configuration naming what cppcheck
# cannot see in the system headers, and the suppressions, each with its reason). Any finding
# fails the run.
# Usage: scripts/static-analysis.sh        (uses build/analysis for compile_commands.json)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=build/analysis

# Without tests and benchmarks, the compile commands cover exactly src/ and tools/.
cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON -DQUENLEX_BUILD_TESTS=OFF \
  -DQUENLEX_BUILD_BENCH=OFF >/dev/null
# Generated sources (if any) must exist before they are analysed.
cmake --build "$build" -j2 >/dev/null

status=0
echo "clang-tidy: src/ tools/"
if ! run-clang-tidy-14 -p "$build" -quiet -j 2 \
    "$root/(src|tools)/.*\.cpp$" >"$build/clang-tidy.log" 2>&1; then
  sed 's/\x1b\[[0-9;]*m//g' "$build/clang-tidy.log" | grep -E "(warning|error):" | sort -u ||
    cat "$build/clang-tidy.log"
  status=1
fi

echo "cppcheck: src/ tools/"
if ! cppcheck --project="$build/compile_commands.json" --std=c++17 \
    --library=scripts/analysis/quenlex.cfg \
    --enable=warning,style,performance,portability --inline-suppr -q \
    --suppress=missingIncludeSystem \
    --suppressions-list=scripts/analysis/cppcheck-suppressions.txt \
    --template='{file}:{line}: {severity} [{id}] {message}' --error-exitcode=1; then
  status=1
fi

[ $status -eq 0 ] && echo "static analysis: no findings"
exit $status
