#!/usr/bin/env bash
# Makes the Windows zip with CPack and checks that it holds what a Windows user needs, and
# that the DLL and quenlex.exe import nothing a plain Windows lacks.
# Usage: zip_test.sh BUILD_DIR
set -euo pipefail
build=$1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cpack --config "$build/CPackConfig.cmake" -G ZIP -B "$work/out" >/dev/null
zip=$(find "$work/out" -maxdepth 1 -name 'quenlex-*-win*.zip')
[ -n "$zip" ]

/usr/bin/python3 - "$zip" "$work/unpacked" <<'PY'
import pefile, sys, zipfile

archive, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(archive) as z:
    names = z.namelist()
    z.extractall(target)
top = names[0].split("/")[0]
need = ["bin/quenlex.dll", "bin/quenlex.exe", "include/quenlex.h", "include/quenlex_version.h",
        "lib/libquenlex.dll.a", "lib/quenlex.def", "README.md"]
missing = [n for n in need if f"{top}/{n}" not in names]
if missing:
    sys.exit(f"missing in {archive}: {missing}")

allowed = {"quenlex.dll", "kernel32.dll", "msvcrt.dll", "version.dll"}
for binary in ("bin/quenlex.dll", "bin/quenlex.exe"):
    pe = pefile.PE(f"{target}/{top}/{binary}")
    imports = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
    if not imports <= allowed:
        sys.exit(f"{binary} imports {sorted(imports - allowed)}")
print(f"{archive.rsplit('/', 1)[-1]}: {len(names)} entries, imports fine")
PY
