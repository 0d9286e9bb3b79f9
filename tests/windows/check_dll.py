#!/usr/bin/python3
"""Checks quenlex.dll as a file: the things a Windows user's loader and tools see.

  check_dll.py --arch i686|x86_64 [--objdump OBJDUMP] quenlex.dll

Machine and DLL flag; the export directory (module name, ordinal base, the nine names with
their ordinals, name table order, code only); the version resource byte for byte; the
imported DLLs; and on i686, from the disassembly, that every export returns with a plain
`ret` (the caller removes the arguments). Needs Debian's python3-pefile.
"""

import argparse
import re
import struct
import subprocess
import sys

import pefile

MACHINES = {"i686": 0x014C, "x86_64": 0x8664}

# The export table: ordinals are part of the ABI.
EXPORTS = {
    "quenlex_getError": 1,
    "quenlex_available": 2,
    "quenlex_close": 3,
    "quenlex_configure": 4,
    "TEST": 5,
    "quenlex_open": 6,
    "quenlex_read": 7,
    "quenlex_readChar": 8,
    "quenlex_write": 9,
}

# KERNEL32 and the C runtime that every Windows has; an MSVC build with the runtime linked in
# imports KERNEL32 alone.
REQUIRED_IMPORTS = {"kernel32.dll"}
ALLOWED_IMPORTS = {"kernel32.dll", "msvcrt.dll"}

# The version record. The company and legal notice strings are ours to choose; everything
# else is fixed, including that the empty strings are one terminating zero character each.
VERSION = (1, 0, 0, 1)
LANGUAGE = 0x0409
CODE_PAGE = 1252
STRINGS = [
    ("CompanyName", "The quenlex developers"),
    ("FileVersion", ""),
    ("FileDescription", ""),
    ("InternalName", ""),
    ("LegalCopyright", "Copyright (C) 2026 The quenlex developers"),
    ("LegalTrademarks", ""),
    ("OriginalFilename", ""),
    ("ProductName", "quenlex"),
    ("ProductVersion", ""),
]
VFT_DLL = 2
RT_VERSION = 16
IMAGE_FILE_DLL = 0x2000
IMAGE_SCN_MEM_EXECUTE = 0x20000000


class Checks:
    def __init__(self):
        self.failed = 0

    def check(self, name, ok, detail=""):
        if ok:
            print(f"ok    {name}")
        else:
            self.failed += 1
            print(f"FAIL  {name}" + (f": {detail}" if detail else ""))
        return ok


# --- the version resource as it must be ----------------------------------------------------

def _pad4(data):
    return data + b"\0" * (-len(data) % 4)


def _node(key, value=b"", value_length=0, text=False, children=()):
    """One version resource node: wLength, wValueLength, wType, key, value, children; each
    part starting on a 32-bit boundary. wLength leaves out the padding after the node."""
    node = bytearray(struct.pack("<HHH", 0, value_length, 1 if text else 0))
    node += (key + "\0").encode("utf-16-le")
    node += bytes(-len(node) % 4)
    node += value
    for index, child in enumerate(children):
        node += bytes(-len(node) % 4)
        node += child
    struct.pack_into("<H", node, 0, len(node))
    return bytes(node)


def _string(key, text):
    value = (text + "\0").encode("utf-16-le")
    return _node(key, value, len(text) + 1, text=True)


def expected_version_resource():
    ms = (VERSION[0] << 16) | VERSION[1]
    ls = (VERSION[2] << 16) | VERSION[3]
    fixed = struct.pack("<13I", 0xFEEF04BD, 0x00010000, ms, ls, ms, ls,
                        0, 0, 0, VFT_DLL, 0, 0, 0)  # mask, flags, OS, type, subtype, date
    table = _node(f"{LANGUAGE:04X}{CODE_PAGE:04X}", text=True,
                  children=[_string(k, v) for k, v in STRINGS])
    string_info = _node("StringFileInfo", text=True, children=[table])
    translation = _node("Translation", struct.pack("<HH", LANGUAGE, CODE_PAGE), 4)
    var_info = _node("VarFileInfo", text=True, children=[translation])
    return _node("VS_VERSION_INFO", fixed, len(fixed), children=[string_info, var_info])


def walk(data, offset=0, depth=0, out=None):
    """The nodes of a version resource, for a readable account of where two differ."""
    out = [] if out is None else out
    length, value_length, kind = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    key_end = offset + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[offset + 6:key_end].decode("utf-16-le")
    value_at = key_end + 2 + (-(key_end + 2) % 4)
    value_size = value_length * 2 if kind == 1 else value_length
    out.append((depth, key, length, value_length, kind, data[value_at:value_at + value_size]))
    child = value_at + value_size
    child += -child % 4
    while child < end:
        walk(data, child, depth + 1, out)
        child += struct.unpack_from("<H", data, child)[0]
        child += -child % 4
    return out


# --- the checks --------------------------------------------------------------------------

def check_header(c, pe, arch):
    machine = pe.FILE_HEADER.Machine
    c.check(f"machine {arch}", machine == MACHINES[arch], f"0x{machine:04x}")
    c.check("DLL flag", pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL != 0)


def executable_section(pe, rva):
    for section in pe.sections:
        start = section.VirtualAddress
        if start <= rva < start + max(section.Misc_VirtualSize, section.SizeOfRawData):
            return section.Characteristics & IMAGE_SCN_MEM_EXECUTE != 0
    return False


def check_exports(c, pe):
    if not c.check("export directory present", hasattr(pe, "DIRECTORY_ENTRY_EXPORT")):
        return []
    directory = pe.DIRECTORY_ENTRY_EXPORT
    module = pe.get_string_at_rva(directory.struct.Name)
    c.check("export module name quenlex.dll", module == b"quenlex.dll", repr(module))
    c.check("ordinal base 1", directory.struct.Base == 1, str(directory.struct.Base))
    c.check("nine functions, nine names",
            directory.struct.NumberOfFunctions == 9 and directory.struct.NumberOfNames == 9,
            f"{directory.struct.NumberOfFunctions} functions, "
            f"{directory.struct.NumberOfNames} names")

    # pefile lists the named exports in the order of the name table.
    names = [s.name for s in directory.symbols if s.name is not None]
    c.check("every export has a name", len(names) == len(directory.symbols))
    c.check("name table sorted by byte value (TEST first)", names == sorted(names),
            b" ".join(names).decode())
    found = {s.name.decode(): s for s in directory.symbols if s.name is not None}
    c.check("exactly the nine names, undecorated", set(found) == set(EXPORTS),
            f"extra {sorted(set(found) - set(EXPORTS))}, missing {sorted(set(EXPORTS) - set(found))}")
    for name, ordinal in EXPORTS.items():
        symbol = found.get(name)
        if symbol is None:
            continue
        c.check(f"{name} has ordinal {ordinal}", symbol.ordinal == ordinal, str(symbol.ordinal))
        c.check(f"{name} is code", symbol.forwarder is None and
                executable_section(pe, symbol.address), f"rva 0x{symbol.address:x}")
    return [(name, s.address) for name, s in found.items()]


def check_version(c, pe):
    if not c.check("resource directory present", hasattr(pe, "DIRECTORY_ENTRY_RESOURCE")):
        return
    versions = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == RT_VERSION]
    if not c.check("one version resource type", len(versions) == 1):
        return
    ids = versions[0].directory.entries
    c.check("version resource id 1", [e.id for e in ids] == [1], str([e.id for e in ids]))
    languages = ids[0].directory.entries
    c.check("version language 0x0409", [e.id for e in languages] == [LANGUAGE],
            str([hex(e.id) for e in languages]))
    entry = languages[0].data.struct
    data = pe.get_data(entry.OffsetToData, entry.Size)

    # The record as pefile reads it back.
    fixed = pe.VS_FIXEDFILEINFO[0]
    c.check("fixed part: file and product version 1.0.0.1",
            (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS,
             fixed.ProductVersionLS) == (0x00010000, 1, 0x00010000, 1))
    c.check("fixed part: type DLL, the rest zero",
            (fixed.FileType, fixed.FileFlagsMask, fixed.FileFlags, fixed.FileOS,
             fixed.FileSubtype, fixed.FileDateMS, fixed.FileDateLS) == (VFT_DLL, 0, 0, 0, 0, 0, 0))
    tables = [t for info in pe.FileInfo[0] if info.Key == b"StringFileInfo"
              for t in info.StringTable]
    c.check("one string table 040904E4", [t.LangID for t in tables] == [b"040904E4"],
            str([t.LangID for t in tables]))
    if tables:
        stored = [(k.decode(), v.decode()) for k, v in tables[0].entries.items()]
        c.check("strings in the prescribed order with their values", stored == STRINGS,
                str(stored))
    translations = [v.decode() if isinstance(v, bytes) else v
                    for info in pe.FileInfo[0] if info.Key == b"VarFileInfo"
                    for var in info.Var for v in var.entry.values()]
    c.check("translation 0x0409 / 1252", translations == ["0x0409 0x04e4"], str(translations))

    # The empty strings, from the raw bytes: wValueLength 1 and one zero character.
    nodes = walk(data)
    for depth, key, _, value_length, kind, value in nodes:
        if depth == 3 and dict(STRINGS).get(key, None) == "":
            c.check(f"{key} is a lone terminating zero", (value_length, kind, value) ==
                    (1, 1, b"\0\0"), f"wValueLength {value_length}, data {value.hex()}")

    expected = expected_version_resource()
    same = data == expected
    detail = ""
    if not same:
        want = walk(expected)
        for got_node, want_node in zip(nodes, want):
            if got_node != want_node:
                detail = f"first difference at {want_node[1]!r}: got {got_node}, want {want_node}"
                break
        else:
            detail = f"{len(data)} bytes, want {len(expected)}"
    c.check("version resource byte for byte", same, detail)


def check_imports(c, pe):
    imported = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    c.check("imports KERNEL32 and msvcrt only",
            REQUIRED_IMPORTS <= imported <= ALLOWED_IMPORTS, str(sorted(imported)))
    c.check("no delay-loaded imports", not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"))


LABEL = re.compile(r"^([0-9a-f]+) <([^>]+)>:$")
INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\s+(.*)$")
RETURN = re.compile(r"\bret[lw]?\b\s*(\S*)")


def check_returns(c, pe, exports, objdump, path):
    """On i686 each export must leave its arguments to the caller: plain `ret`, never `ret N`."""
    listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", path], check=True,
                             capture_output=True, text=True).stdout
    labels = []  # (address, name, [instructions])
    for line in listing.splitlines():
        label = LABEL.match(line)
        if label:
            labels.append((int(label.group(1), 16), label.group(2), []))
            continue
        instruction = INSTRUCTION.match(line)
        if instruction and labels:
            labels[-1][2].append(instruction.group(2))
    by_address = {address: (name, body) for address, name, body in labels}
    base = pe.OPTIONAL_HEADER.ImageBase
    for name, rva in sorted(exports):
        label = by_address.get(base + rva)
        if not c.check(f"{name}: found in the disassembly", label is not None,
                       "no symbol at the export's address (a stripped DLL?)"):
            continue
        symbol, body = label
        # Parts the compiler moved away (name.cold) return for the function too.
        body = body + [i for _, n, b in labels if n.startswith(symbol + ".") for i in b]
        returns = [m.group(1) for i in body for m in [RETURN.search(i)] if m]
        c.check(f"{name}: returns with a plain ret", returns and all(r == "" for r in returns),
                f"returns: {returns}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=sorted(MACHINES), required=True)
    parser.add_argument("--objdump", help="the toolchain's objdump, for the i686 return check")
    parser.add_argument("--no-disassembly", action="store_true",
                        help="skip the i686 return check (a toolchain without objdump)")
    parser.add_argument("dll")
    args = parser.parse_args()

    c = Checks()
    pe = pefile.PE(args.dll)
    check_header(c, pe, args.arch)
    exports = check_exports(c, pe)
    check_version(c, pe)
    check_imports(c, pe)
    if args.arch == "i686" and args.no_disassembly:
        print("skip  return check: no objdump for this toolchain")
    elif args.arch == "i686":
        if c.check("objdump given for the return check", bool(args.objdump)):
            check_returns(c, pe, exports, args.objdump, args.dll)
    print(f"{c.failed} check(s) failed" if c.failed else "all checks passed")
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
