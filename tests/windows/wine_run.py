#!/usr/bin/python3
"""Runs the Windows test host against quenlex.dll under Wine and acts as its serial peer.

  wine_run.py --arch i686|x86_64 --host quenlex_host.exe --dll quenlex.dll --out DIR MODE

MODE "behaviour": every behaviour case in one host process, with no display (so the settings
dialog cannot be shown). MODE "dialog": the settings dialog on a private Xvfb display,
answered with the keyboard; screenshots go to DIR. Each run has a fresh Wine prefix and fresh
pseudo-terminals, all removed at the end. Exit code 0 when every check passed.
"""

import argparse
import os
import queue
import shutil
import signal
import subprocess
import sys
import threading
import time

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import pty_peer  # noqa: E402
import wine_env  # noqa: E402
import xdisplay  # noqa: E402

# Names as a host gives them. Plain "COMn" names exist only for n up to 9; from COM10 on, on
# Windows as under Wine, the device namespace form is the only one.
PORT_A, PORT_B, PORT_MISSING = "COM5", "\\\\.\\COM12", "COM9"
# Generous bounds (a run takes about a tenth of them), well inside the ctest time-out so that
# the runner always gets to clean up after itself.
RUN_TIMEOUT = {"x86_64": 240.0, "i686": 600.0}  # the whole host run, start-up included
PREFIX_TIMEOUT = 240.0


class Runner:
    def __init__(self, args, log):
        self.args = args
        self.log = log
        self.failures = []
        self.display = None
        self.watcher = None
        self.dialogs = 0
        self.started = time.monotonic()

    def fail(self, text):
        self.failures.append(text)
        print(f"FAIL (runner) {text}", flush=True)

    def answer_dialog(self, words):
        """The runner's own requests: the dialog watcher."""
        if words[0] == "dialog":
            port, name, keys = words[1], words[2], words[3:]
            self.dialogs += 1
            shot = os.path.join(self.args.out, f"dialog-{self.args.arch}-{name}.png")
            if os.path.exists(shot):
                os.remove(shot)
            self.watcher = xdisplay.DialogWatcher(self.display, port, keys, shot)
            return "ok"
        if words[0] == "dialog-done":
            if self.watcher is None:
                return "fail: no dialog was arranged"
            outcome, self.watcher = self.watcher.result(timeout=200), None
            return outcome
        return None

    def serve(self, process, peer, deadline):
        """Answers the host's requests until it ends; returns the host's failure count."""
        lines = queue.Queue()

        def pump():
            for raw in process.stdout:
                lines.put(raw.decode("latin-1").rstrip("\r\n"))
            lines.put(None)
        threading.Thread(target=pump, daemon=True).start()

        done = None
        first = True
        while True:
            try:
                line = lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                self.fail("time limit of the run reached; host stopped")
                break
            if line is None:
                break
            if first:
                print(f"host started after {time.monotonic() - self.started:.1f} s", flush=True)
                first = False
            if line.startswith("? "):
                words = line[2:].split()
                try:
                    reply = peer.handle(words) or self.answer_dialog(words)
                except Exception as error:  # a broken request is the test's failure, not a hang
                    reply = f"error {error}"
                if reply is None:
                    reply = "error unknown request"
                process.stdin.write((reply + "\n").encode("latin-1"))
                process.stdin.flush()
                continue
            print(line, flush=True)
            if line.startswith("done "):
                done = int(line.split()[1])
        return done

    def run(self):
        args = self.args
        missing = wine_env.missing_tools(args.arch)
        if missing:
            self.fail("missing: " + ", ".join(missing) + " (scripts/install-deps.sh installs them)")
            return
        os.makedirs(args.out, exist_ok=True)
        prefix = None
        ports = []
        process = None
        try:
            if args.mode == "dialog":
                self.display = xdisplay.Display(log=self.log)
                print(f"Xvfb on {self.display.name}", flush=True)
            prefix = wine_env.Prefix(args.arch, self.display.name if self.display else None,
                                     self.log)
            begin = time.monotonic()
            prefix.create(PREFIX_TIMEOUT)
            print(f"prefix {prefix.path} ready after {time.monotonic() - begin:.1f} s", flush=True)

            names = [PORT_A, PORT_B] if args.mode == "behaviour" else [PORT_A]
            ports = [pty_peer.Port(name) for name in names]
            for port in ports:
                prefix.map_port(port.device, port.slave_path)
            prefix.unmap_port(PORT_MISSING)
            peer = pty_peer.Peer(ports)

            folder = prefix.program_folder()
            host = shutil.copy(args.host, folder)
            shutil.copy(args.dll, folder)
            host_args = [args.mode, PORT_A, PORT_B, PORT_MISSING] if args.mode == "behaviour" \
                else [args.mode, PORT_A]

            self.started = time.monotonic()
            process = subprocess.Popen(prefix.command(host, host_args), env=prefix.program_env(),
                                       cwd=folder, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                       stderr=self.log, process_group=0)
            done = self.serve(process, peer, self.started + RUN_TIMEOUT[args.arch])
            try:
                code = process.wait(timeout=60)
            except subprocess.TimeoutExpired:
                code = None
            print(f"host ran {time.monotonic() - self.started:.1f} s, exit code {code}", flush=True)
            if done is None:
                self.fail("the host did not finish its cases")
            elif done != 0 or code != 0:
                self.fail(f"{done} host checks failed (exit code {code})")
            if args.mode == "dialog" and self.dialogs == 0:
                self.fail("no dialog was shown")
            peer.finish()
        finally:
            if process is not None and process.poll() is None:
                os.killpg(process.pid, 9)
                process.wait()
            if prefix is not None:
                prefix.close()
            for port in ports:
                port.close()
            if self.display is not None:
                self.display.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--arch", choices=("i686", "x86_64"), required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--dll", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("mode", choices=("behaviour", "dialog"))
    args = parser.parse_args()
    # Stopped from outside (ctest's time-out): unwind, so that everything started is ended.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    os.makedirs(args.out, exist_ok=True)
    log_path = os.path.join(args.out, f"wine-{args.arch}-{args.mode}.log")
    with open(log_path, "wb") as log:
        runner = Runner(args, log)
        begin = time.monotonic()
        try:
            runner.run()
        except Exception as error:
            runner.fail(f"{type(error).__name__}: {error}")
    print(f"run took {time.monotonic() - begin:.1f} s; Wine's output is in {log_path}")
    if runner.failures:
        print(f"{len(runner.failures)} failure(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
