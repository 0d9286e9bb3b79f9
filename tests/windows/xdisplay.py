"""A private X display (Xvfb) and a watcher that answers Wine's port settings dialog.

There is no window manager, so windows are found by title with xdotool, focused directly and
given keys; the screen is captured with ImageMagick's import.
"""

import os
import subprocess
import threading
import time


class Display:
    """Xvfb on a display number it picks itself (-displayfd), stopped again by close()."""

    def __init__(self, log=None):
        read_end, write_end = os.pipe()
        self._process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        os.close(write_end)
        with os.fdopen(read_end) as numbers:
            number = numbers.readline().strip()
        if not number:
            self.close()
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"

    def run(self, args, timeout=30):
        env = dict(os.environ, DISPLAY=self.name)
        return subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, timeout=timeout)

    def find_window(self, title):
        found = self.run(["xdotool", "search", "--name", f"^{title}$"])
        ids = found.stdout.split()
        return ids[0] if ids else None

    def close(self):
        if self._process.poll() is None:
            self._process.terminate()
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait()


class DialogWatcher:
    """Waits for "Settings for <port>", takes a screenshot, presses the keys, and checks that
    the dialog went away. The outcome is "ok" or "fail: <why>"."""

    APPEAR_TIMEOUT = 180.0  # the 32-bit Wine under emulation takes its time
    CLOSE_TIMEOUT = 60.0

    def __init__(self, display, port, keys, screenshot):
        self.display = display
        self.title = f"Settings for {port.upper()}"
        self.keys = keys
        self.screenshot = screenshot
        self.outcome = "fail: the watcher did not finish"
        self._thread = threading.Thread(target=self._watch, daemon=True)
        self._thread.start()

    def _watch(self):
        try:
            self.outcome = self._answer()
        except Exception as error:  # reported to the host as the case's failure
            self.outcome = f"fail: {error}"

    def _answer(self):
        deadline = time.monotonic() + self.APPEAR_TIMEOUT
        window = None
        while window is None:
            if time.monotonic() > deadline:
                return f"fail: no window titled {self.title!r}"
            time.sleep(0.5)
            window = self.display.find_window(self.title)
        time.sleep(2.0)  # let it paint before the picture is taken
        shot = self.display.run(["import", "-display", self.display.name, "-window", "root",
                                 self.screenshot], timeout=60)
        if shot.returncode != 0:
            return f"fail: screenshot: {shot.stderr.strip()}"
        colours = self.display.run(["identify", "-format", "%k", self.screenshot]).stdout.strip()
        if not colours.isdigit() or int(colours) < 3:
            return f"fail: the screenshot is blank ({colours} colours)"

        self.display.run(["xdotool", "windowfocus", "--sync", window])
        for key in self.keys:
            time.sleep(0.5)
            self.display.run(["xdotool", "key", "--window", window, key])
        deadline = time.monotonic() + self.CLOSE_TIMEOUT
        while self.display.find_window(self.title) is not None:
            if time.monotonic() > deadline:
                return f"fail: the dialog stayed open after {' '.join(self.keys)}"
            time.sleep(0.5)
        return "ok"

    def result(self, timeout):
        self._thread.join(timeout)
        return self.outcome if not self._thread.is_alive() else "fail: still waiting for the dialog"
