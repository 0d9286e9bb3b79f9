"""Checks the Python example's declarations of the functions its exchange does not use.

    check_python_declarations.py PORT

PORT is the device run_example.py --check plays: it answers CHARS with the bytes 00 FF FF
and hangs up on BYE. Started without a controlling terminal, so the settings dialog cannot show.
"""

import os
import sys

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "examples", "python"))
import quenlex_example  # noqa: E402

failures = []


def check(what, got, expected):
    print(f"{'ok' if got == expected else 'FAIL'}: {what}: {got!r}" +
          ("" if got == expected else f", expected {expected!r}"))
    if got != expected:
        failures.append(what)


def main(port_name):
    lib = quenlex_example.load()
    port = quenlex_example.encode_name(port_name)
    missing = port + b".missing"

    check("available(missing)", (lib.quenlex_available(missing), lib.quenlex_getError()), (0, 2))
    check("available(port)", lib.quenlex_available(port), 1)
    # No terminal for the dialog: the port is still configured, and the code says why.
    check("configure(port)", (lib.quenlex_configure(port), lib.quenlex_getError()), (1, 50))

    with quenlex_example.Port(lib, port_name) as device:
        device.write(b"CHARS\r")
        check("readChar of 00", lib.quenlex_readChar(), 0)
        check("readChar of FF, sign-extended", lib.quenlex_readChar(), -1)
        check("Port.read_char of FF", device.read_char(), 0xFF)
        device.write(b"BYE\r")
        try:
            device.read_char()
            check("Port.read_char after a hang-up", "a byte", "QuenlexError")
        except quenlex_example.QuenlexError as error:
            check("Port.read_char after a hang-up", (type(error).__name__, error.winerror),
                  ("QuenlexError", 1167))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
