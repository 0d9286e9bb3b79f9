"""Runs a host example against a pseudo-terminal whose master end plays a modem-like device.

    run_example.py [--env NAME=VALUE ...] [--skip REASON] [--check] -- PROGRAM [ARG ...]

Each case starts PROGRAM ARG ... PORT COMMAND and checks what the device received, the
example's output and its exit status. With --check, PROGRAM ARG ... PORT runs once and must
exit with 0. The device reads a command up to its carriage return and answers it as the table
says. Programs run without a controlling terminal. Exit status 0 when all passed, 77 when
skipped.
"""

import argparse
import os
import select
import subprocess
import sys
import tempfile
import threading
import time
import tty

SKIPPED = 77
RUN_LIMIT_S = 120  # per case; a normal one takes well under a second, a silent one about 2 s


class Device:
    """The master end of a pty pair. The peer keeps the slave open too (raw, so the line is
    clean before the example sets it up), so reading the master never fails for want of a
    slave while the example is not yet or no longer holding it."""

    def __init__(self, answers):
        self.master, self._slave = os.openpty()
        tty.setraw(self._slave)
        self.port = os.ttyname(self._slave)
        self.received = b""
        self._answers = answers
        self._done = threading.Event()
        self._thread = threading.Thread(target=self._serve)
        self._thread.start()

    def _serve(self):
        while not self._done.is_set():
            ready, _, _ = select.select([self.master], [], [], 0.05)
            if not ready:
                continue
            try:
                data = os.read(self.master, 256)
            except OSError:
                continue
            self.received += data
            if self.received.endswith(b"\r"):
                command = self.received.rstrip(b"\r").rsplit(b"\r", 1)[-1]
                if self._answer(self._answers.get(command, [])):
                    return

    def _answer(self, steps):
        """Plays the answer's steps; True when it hung up."""
        for delay, data in steps:
            time.sleep(delay)
            if data is None:
                os.close(self.master)
                self.master = -1
                return True
            os.write(self.master, data)
        return False

    def close(self):
        self._done.set()
        self._thread.join()
        if self.master >= 0:
            os.close(self.master)
        os.close(self._slave)


# The device's answers: a command -> steps of (seconds to wait, bytes to send or None to hang up).
ANSWERS = {
    b"AT": [(0, b"OK\r\n")],
    b"ATI": [(0, b"quenlex \x00\x80\xff\"\\\r\n")],
    # Later than the first read's 5 ms, and in two parts with a pause of several reads.
    b"LATE": [(0.3, b"LA"), (0.3, b"TE\r\n")],
    b"BYE": [(0, None)],
    b"CHARS": [(0, b"\x00\xff\xff")],
}

# name, command, reply line the example must print (None: none), its stderr, its exit status
CASES = [
    ("reply", "AT", r'"OK\r\n"', "", 0),
    ("zero and high bytes", "ATI", r'"quenlex \x00\x80\xff\"\\\r\n"', "", 0),
    ("late reply in parts", "LATE", r'"LATE\r\n"', "", 0),
    ("device hangs up", "BYE", None, "quenlex_read failed: error 1167", 1),
    ("no reply", "HUSH", None, "no reply", 1),
    ("no such port", "AT", None, "quenlex_open failed: error 2", 1),
]


def run(command, env):
    """Runs command in a session of its own (no controlling terminal); (status, out, err)."""
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=env, start_new_session=True)
    try:
        stdout, stderr = process.communicate(timeout=RUN_LIMIT_S)
    except subprocess.TimeoutExpired:
        process.kill()
        process.communicate()
        return None, b"", b""
    return process.returncode, stdout, stderr


def run_check(program, env):
    device = Device(ANSWERS)
    try:
        status, stdout, stderr = run(program + [device.port], env)
    finally:
        device.close()
    sys.stdout.write(stdout.decode(errors="replace") + stderr.decode(errors="replace"))
    if status != 0:
        print(f"FAIL: exit status {status}" if status is not None else
              f"FAIL: did not end within {RUN_LIMIT_S} s")
        return 1
    return 0


def run_case(program, env, case):
    name, command, reply, stderr_expected, status_expected = case
    device = Device(ANSWERS)
    missing_dir = tempfile.mkdtemp(prefix="quenlex-example-")
    port = os.path.join(missing_dir, "ttyMISSING") if name == "no such port" else device.port
    try:
        status, stdout, stderr = run(program + [port, command], env)
        if status is None:
            return [f"did not end within {RUN_LIMIT_S} s"]
    finally:
        device.close()
        os.rmdir(missing_dir)

    stdout, stderr = stdout.decode(errors="replace"), stderr.decode(errors="replace")
    expected = ['library says "DENEME"']
    if port == device.port:
        expected += [f"opened {port} at 115200 baud", f'sent "{command}\\r"']
        if device.received != command.encode() + b"\r":
            return [f"the device received {device.received!r}"]
    if reply is not None:
        expected.append(f"reply {reply}")
    problems = []
    if stdout.splitlines() != expected:
        problems.append(f"stdout was:\n{stdout}expected:\n" + "\n".join(expected))
    if stderr.strip() != stderr_expected:
        problems.append(f"stderr was {stderr.strip()!r}, expected {stderr_expected!r}")
    if status != status_expected:
        problems.append(f"exit status {status}, expected {status_expected}")
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--env", action="append", default=[], metavar="NAME=VALUE")
    parser.add_argument("--skip", metavar="REASON")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("program", nargs="*")
    args = parser.parse_args()
    if args.skip:
        print(f"skipped: {args.skip}")
        return SKIPPED
    env = dict(os.environ)
    env.update(item.split("=", 1) for item in args.env)
    if args.check:
        return run_check(args.program, env)

    failed = 0
    for case in CASES:
        started = time.monotonic()
        problems = run_case(args.program, env, case)
        took = time.monotonic() - started
        print(f"{'FAIL' if problems else 'ok'}: {case[0]} ({took:.2f} s)")
        for problem in problems:
            print("  " + problem.replace("\n", "\n  "))
        failed += bool(problems)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
