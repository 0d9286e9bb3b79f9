#!/usr/bin/env python3
"""Writes the hand-made seeds of the fuzzer's corpus (tests/fuzz/corpus/seed-*).

Each input is a list of steps; the first byte of a step picks it (value % 14), the bytes
after it are its arguments, as fuzz_calls.cpp reads them.
"""
import os

OPEN, CLOSE, AVAILABLE, CONFIGURE, TEST, GET_ERROR, WRITE, READ, READ_CHAR, SEND, _, \
    SEND_LATER, PAUSE, HANG_UP = range(14)
SPEED_9600, SPEED_115200, SPEED_1200, SPEED_250000, SPEED_1, SPEED_0, SPEED_MINUS_1, \
    SPEED_INT_MAX = range(8)


def data(text):
    return [len(text)] + list(text)


def read(size):  # a buffer of `size` bytes (size - 2 below 0: invalid sizes)
    return [READ, size + 2]


SEEDS = {
    "exchange": [OPEN, SPEED_9600, SEND, *data(b"hello"), *read(20), WRITE, *data(b"abc"),
                 SEND, *data(b"\x00\xff\x80"), READ_CHAR, READ_CHAR, READ_CHAR, CLOSE],
    "hang_up_while_open": [OPEN, SPEED_115200, SEND, *data(b"x"), READ_CHAR, HANG_UP, 1,
                           *read(16), READ_CHAR, WRITE, *data(b"z"), CONFIGURE, 0, CLOSE,
                           HANG_UP, 0, OPEN, SPEED_9600, CLOSE],
    "no_port": [AVAILABLE, 0, AVAILABLE, 2, CONFIGURE, 0, CONFIGURE, 2, TEST, GET_ERROR,
                *read(8), READ_CHAR, WRITE, *data(b"q"), CLOSE, CLOSE],
    "late_bytes": [OPEN, SPEED_9600, SEND_LATER, *data(b"zz"), 5, READ_CHAR, *read(4),
                   SEND_LATER, *data(b"0123456789"), 15, *read(40), CLOSE],
    "odd_sizes_and_speeds": [OPEN, SPEED_INT_MAX, SEND, *data(b"abc"), *read(-1), *read(0),
                             *read(1), *read(2), *read(3), OPEN, SPEED_0, OPEN, SPEED_MINUS_1,
                             OPEN, SPEED_1, PAUSE, 5, CLOSE],
    "replace_device": [OPEN, SPEED_1200, HANG_UP, 0, AVAILABLE, 0, OPEN, SPEED_250000,
                       CONFIGURE, 0, SEND, *data(b"ok"), *read(10), CLOSE],
}

if __name__ == "__main__":
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")
    os.makedirs(folder, exist_ok=True)
    for name, steps in SEEDS.items():
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(bytes(b & 0xFF for b in steps))
