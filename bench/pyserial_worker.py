#!/usr/bin/python3
"""pyserial's worker process for quenlex_bench's comparison (protocol: worker_serve.h).

Runs under Debian's /usr/bin/python3 with Debian's python3-serial. Every figure it reports
is taken here, right around pyserial's own calls, on the same clock as the benchmark
(CLOCK_MONOTONIC), so the pipe to the benchmark is never counted. The time-outs come with
each request and are set as pyserial's timeout, inter_byte_timeout and write_timeout before
the clock starts.
"""
import sys
import time

try:
    import serial
except ImportError as error:
    print("unavailable pyserial cannot be imported: {}".format(error), flush=True)
    sys.exit(0)

port = None
payload = b""
doubled = b""


def answer(text):
    sys.stdout.write(text + "\n")
    sys.stdout.flush()


def seconds(ms_text):
    value = float(ms_text) / 1000.0
    return value if value > 0 else None


def open_port(path, baud, timeout=None, inter_byte=None, write_timeout=None):
    # The nearest to quenlex_open: exclusive, 8N1, the time-outs set with the port.
    return serial.Serial(path, baud, bytesize=serial.EIGHTBITS, parity=serial.PARITY_NONE,
                         stopbits=serial.STOPBITS_ONE, timeout=timeout,
                         inter_byte_timeout=inter_byte, write_timeout=write_timeout,
                         exclusive=True)


def set_timeouts(total, interval):
    # Each setter reconfigures the port, so only changes are made (before the clock runs).
    if port.timeout != total:
        port.timeout = total
    if port.inter_byte_timeout != interval:
        port.inter_byte_timeout = interval


def make_payload(chunk):
    global payload, doubled
    if len(payload) != chunk:
        payload = bytes(33 + (i * 7 + i // 94) % 94 for i in range(chunk))
        doubled = payload + payload


def handle(words):
    global port
    verb = words[0]
    if verb == "open":
        port = open_port(words[1], int(words[2]))
        return "ok"
    if verb == "close":
        if port is not None:
            port.close()
            port = None
        return "ok"
    if verb == "read":
        n = int(words[2])
        set_timeouts(seconds(words[3]), seconds(words[4]))
        start = time.monotonic_ns()
        data = port.read(n)
        end = time.monotonic_ns()
        return "ok {} {} {}".format(len(data), start, end)
    if verb in ("wait", "poll"):
        set_timeouts(seconds(words[1]) if verb == "poll" else None, None)
        cpu = time.process_time()
        start = time.monotonic_ns()
        data = port.read(1)
        while not data and verb == "poll":
            data = port.read(1)
        end = time.monotonic_ns()
        cpu = time.process_time() - cpu
        if len(data) != 1:
            return "fail wait"
        return "ok {} {:.9f} {} {}".format(data[0], cpu, start, end)
    if verb == "send":
        chunk, chunks = int(words[1]), int(words[2])
        make_payload(chunk)
        if port.write_timeout != seconds(words[3]):
            port.write_timeout = seconds(words[3])
        start = time.monotonic_ns()
        for _ in range(chunks):
            if port.write(payload) != chunk:
                return "fail send"
        end = time.monotonic_ns()
        return "ok {} {}".format(start, end)
    if verb == "receive":
        chunk, chunks = int(words[1]), int(words[2])
        make_payload(chunk)
        set_timeouts(seconds(words[3]), seconds(words[4]))
        total = chunk * chunks
        received = 0
        start = time.monotonic_ns()
        while received < total:
            data = port.read(min(chunk, total - received))
            at = received % chunk
            if not data or data != doubled[at:at + len(data)]:
                return "fail receive"
            received += len(data)
        end = time.monotonic_ns()
        return "ok {} {}".format(start, end)
    if verb == "cycles":
        path, baud, count = words[1], int(words[2]), int(words[3])
        start = time.monotonic_ns()
        for _ in range(count):
            open_port(path, baud, 0.005, 0.5, 0.014).close()
        end = time.monotonic_ns()
        return "ok {} {}".format(start, end)
    return "fail unknown request " + verb


def main():
    answer("ready pyserial {} on Python {}".format(serial.__version__, sys.version.split()[0]))
    for line in sys.stdin:
        words = line.split()
        if not words:
            continue
        if words[0] == "quit":
            break
        try:
            answer(handle(words))
        except (serial.SerialException, OSError, ValueError) as error:
            answer("fail {}".format(str(error).replace("\n", " ")))
    if port is not None:
        port.close()


if __name__ == "__main__":
    main()
