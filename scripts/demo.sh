#!/usr/bin/env bash
# The main job on a fresh machine: installs what the build needs (cmake, make, a C and C++
# compiler) when it is missing, builds the library and the quenlex command-line host into
# build/demo, and runs `quenlex demo`: a host's exchange with a device through the library,
# against the built-in virtual device, one call per line. No hardware needed.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for tool in cmake make gcc g++; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  packages=()
  for tool in "${missing[@]}"; do
    case $tool in
      gcc | g++) packages+=(g++) ;;
      *) packages+=("$tool") ;;
    esac
  done
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "installing: ${packages[*]}"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${packages[@]}"
fi

cmake -S . -B build/demo -DCMAKE_BUILD_TYPE=Release \
  -DQUENLEX_BUILD_TESTS=OFF -DQUENLEX_BUILD_BENCH=OFF >/dev/null
cmake --build build/demo --target quenlex_cli -j"$(nproc)" >/dev/null
echo
exec build/demo/tools/quenlex demo
