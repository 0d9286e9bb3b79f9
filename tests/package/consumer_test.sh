#!/usr/bin/env bash
# Installs the built tree into a fresh prefix and builds a tiny C host against it twice,
# with find_package(quenlex) and with pkg-config, then runs both and the installed CLI.
# Usage: consumer_test.sh BUILD_DIR CONSUMER_SOURCE_DIR C_COMPILER [EXTRA_C_FLAGS]
set -euo pipefail
build=$1 source=$2 cc=$3 extra_flags=${4:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

echo "--- find_package(quenlex)"
cmake -S "$source" -B "$work/cmake-build" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF \
  -DCMAKE_C_FLAGS="$extra_flags" -DCMAKE_EXE_LINKER_FLAGS="$extra_flags" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"
# The program must use the installed library, not the one in the build tree.
grep -q "$prefix/.*libquenlex.so.1" <<<"$(ldd "$work/cmake-build/consumer")"

echo "--- pkg-config quenlex"
export PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name quenlex.pc)")
[ "$(pkg-config --modversion quenlex)" = "$(sed -n 's/.*QUENLEX_VERSION_STRING "\(.*\)"/\1/p' "$prefix/include/quenlex_version.h")" ]
libdir=$(pkg-config --variable=libdir quenlex)
# shellcheck disable=SC2046,SC2086
"$cc" $extra_flags "$source/consumer.c" -o "$work/pc-consumer" $(pkg-config --cflags --libs quenlex) \
  -Wl,-rpath,"$libdir"
"$work/pc-consumer"
grep -q "$prefix/.*libquenlex.so.1" <<<"$(ldd "$work/pc-consumer")"

echo "--- the installed command-line host"
"$prefix/bin/quenlex" probe | tee "$work/probe.txt"
grep -q "^library .*$prefix/.*libquenlex.so" "$work/probe.txt"
