#!/usr/bin/env bash
# Makes the Debian package with CPack, checks what it holds, unpacks it and runs the CLI
# from the unpacked tree against the packaged library.
# Usage: deb_test.sh BUILD_DIR
set -euo pipefail
build=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >/dev/null
deb=$(find "$work/out" -maxdepth 1 -name 'quenlex_*.deb')
[ -n "$deb" ]

dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./||' > "$work/contents.txt"
for file in usr/bin/quenlex usr/include/quenlex.h usr/include/quenlex_version.h \
            usr/lib/cmake/quenlex/quenlexConfig.cmake \
            usr/lib/cmake/quenlex/quenlexConfigVersion.cmake \
            usr/lib/cmake/quenlex/quenlexTargets.cmake; do
  grep -qx "$file" "$work/contents.txt" || { echo "missing in the package: $file"; exit 1; }
done
grep -Eq '^usr/lib/(.*/)?libquenlex\.so\.1\.[0-9.]+$' "$work/contents.txt"
grep -Eq '^usr/lib/(.*/)?pkgconfig/quenlex\.pc$' "$work/contents.txt"
[ "$(dpkg-deb -f "$deb" Package)" = quenlex ]
grep -q libc6 <<<"$(dpkg-deb -f "$deb" Depends)"

dpkg-deb -x "$deb" "$work/root"
"$work/root/usr/bin/quenlex" probe | tee "$work/probe.txt"
grep -q "^library .*$work/root/usr/lib/.*libquenlex.so" "$work/probe.txt"
