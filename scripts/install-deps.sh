#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the Windows runs need; does nothing
# when they are all present. Run as root (or with sudo available).
set -euo pipefail

packages=(
  cmake g++ make pkg-config libgtest-dev libgmock-dev clang clang-tidy cppcheck clang-format
  libclang-rt-14-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386 qemu-user
  python3 python3-pefile socat xvfb xdotool imagemagick
  libserialport-dev python3-serial gnuplot-nox dpkg-dev file
  mono-mcs mono-runtime fp-compiler
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
$sudo apt-get install -y -q "${missing[@]}"
