#!/usr/bin/python3
"""Sends one command to a device on a serial port through quenlex and prints the reply.

    python3 quenlex_example.py PORT [COMMAND]

PORT is a device name as the platform knows it (COM3, \\\\.\\COM12, /dev/ttyUSB0). COMMAND
(default AT) is sent followed by a carriage return; the reply is printed with control and
non-ASCII bytes escaped. Exit status 0 when a reply came, 1 otherwise.

The library is loaded from the path in QUENLEX_LIBRARY when that is set, otherwise by name:
quenlex.dll on Windows, libquenlex.so.1 (its soname) elsewhere.
"""

import ctypes
import os
import sys

BAUD_RATE = 115200
# quenlex_read waits only 5 ms for a first byte, so it is called again and again: 400 empty
# reads in a row (about 2 s without a byte) end the wait for a reply.
QUIET_READS_MAX = 400


def load(path=None):
    """Loads the library and declares its nine functions."""
    if path is None:
        path = os.environ.get("QUENLEX_LIBRARY") or (
            "quenlex.dll" if os.name == "nt" else "libquenlex.so.1")
    # CDLL, not WinDLL: the functions are cdecl on 32-bit Windows.
    lib = ctypes.CDLL(path)
    text = ctypes.c_char_p  # a zero-terminated string the library only reads
    # A buffer the library writes into: pass a ctypes.create_string_buffer(), never a bytes
    # object, which ctypes would hand over too although Python's bytes must not change.
    buffer = ctypes.POINTER(ctypes.c_char)
    signatures = {
        "quenlex_getError": (ctypes.c_int, []),
        "quenlex_available": (ctypes.c_int, [text]),
        "quenlex_close": (None, []),
        "quenlex_configure": (ctypes.c_int, [text]),
        "TEST": (ctypes.c_int, [buffer]),  # at least 7 bytes
        "quenlex_open": (ctypes.c_int, [text, ctypes.c_int]),
        "quenlex_read": (ctypes.c_int, [buffer, ctypes.c_int]),
        "quenlex_readChar": (ctypes.c_int, []),
        "quenlex_write": (ctypes.c_int, [text]),
    }
    for name, (restype, argtypes) in signatures.items():
        function = getattr(lib, name)
        function.restype = restype
        function.argtypes = argtypes
    return lib


def encode_name(name):
    """A port name as bytes: in the ANSI code page on Windows, as a file name elsewhere."""
    return name.encode("mbcs") if os.name == "nt" else os.fsencode(name)


class QuenlexError(OSError):
    """A quenlex function failed. winerror is the Win32 error code it left, on every platform."""

    def __init__(self, function, code):
        super().__init__(f"{function} failed: error {code}")
        self.function = function
        self.winerror = code


class Port:
    """The library's serial port, closed when the with block ends.

    The library holds one port per process: opening a second Port closes the first.
    Every method is a blocking call; make one at a time.
    """

    def __init__(self, lib, name, baud_rate=BAUD_RATE):
        self._lib = lib
        if not lib.quenlex_open(encode_name(name), baud_rate):
            raise self._error("quenlex_open")

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def close(self):
        self._lib.quenlex_close()

    def _error(self, function):
        # Asked right after the failing call, on the same thread: the code is per thread and
        # the next failure replaces it.
        return QuenlexError(function, self._lib.quenlex_getError())

    def write(self, data):
        """Sends bytes (no zero byte: the library takes a zero-terminated string)."""
        if b"\0" in data:
            raise ValueError("quenlex_write cannot send a zero byte")
        if not self._lib.quenlex_write(data):
            raise self._error("quenlex_write")

    def read(self, size=64):
        """Returns the bytes received in one burst, at most size - 1; b"" after 5 ms of silence."""
        # A 0 means silence or failure. Successful calls leave the error code as it was, so only
        # a changed code shows a failure.
        code_before = self._lib.quenlex_getError()
        buffer = ctypes.create_string_buffer(size)
        count = self._lib.quenlex_read(buffer, size)
        if count == 0 and self._lib.quenlex_getError() != code_before:
            raise self._error("quenlex_read")
        return buffer.raw[:count]  # by count: the bytes may include zeros

    def read_char(self):
        """Waits, with no time limit, for one byte and returns it as 0 to 255."""
        code_before = self._lib.quenlex_getError()
        value = self._lib.quenlex_readChar()  # sign-extended: 0xFF arrives as -1
        if value == 0 and self._lib.quenlex_getError() != code_before:
            raise self._error("quenlex_readChar")
        return value & 0xFF

    def read_reply(self, quiet_reads_max=QUIET_READS_MAX):
        """Collects a reply up to its line feed; stops early after quiet_reads_max empty reads."""
        reply = b""
        quiet_reads = 0
        while quiet_reads < quiet_reads_max and not reply.endswith(b"\n"):
            chunk = self.read()
            quiet_reads = 0 if chunk else quiet_reads + 1
            reply += chunk
        return reply


def quoted(data):
    """Bytes as a quoted C string, so zero bytes, line ends and bytes above 0x7F show."""
    names = {0x0D: "\\r", 0x0A: "\\n", 0x5C: "\\\\", 0x22: '\\"'}
    return '"' + "".join(
        names.get(b) or (chr(b) if 0x20 <= b < 0x7F else f"\\x{b:02x}") for b in data) + '"'


def main(argv):
    if len(argv) not in (2, 3):
        print(f"usage: {argv[0]} PORT [COMMAND]", file=sys.stderr)
        return 2
    port_name = argv[1]
    command = os.fsencode(argv[2] if len(argv) == 3 else "AT") + b"\r"

    lib = load()
    # TEST needs no port: it shows the library is there and the declarations work.
    check = ctypes.create_string_buffer(7)
    if lib.TEST(check) != 6:
        print("TEST gave an unexpected result", file=sys.stderr)
        return 1
    print(f'library says "{check.value.decode()}"')

    try:
        with Port(lib, port_name) as port:
            print(f"opened {port_name} at {BAUD_RATE} baud")
            port.write(command)
            print("sent", quoted(command))
            reply = port.read_reply()
    except QuenlexError as error:
        print(error, file=sys.stderr)
        return 1
    if not reply:
        print("no reply", file=sys.stderr)
        return 1
    print("reply", quoted(reply))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
