"""The Linux side of the COM ports: one pseudo-terminal per port, whose master end we hold.

Wine maps COMn to the symlink dosdevices/comn; pointing it at a pty's slave end gives the
Windows program a serial port whose other end is here. The peer answers the host's requests
(see host/peer.h): it sends and receives bytes, reports the line settings the device has and
whether any process holds the device open.
"""

import fcntl
import os
import select
import struct
import termios
import threading
import time

# struct termios2 as TCGETS2 returns it: four flag words, the line discipline, 19 control
# characters, then the input and output speeds in bits per second.
_TCGETS2 = 0x802C542A
_TERMIOS2_SIZE = 44
_OSPEED_OFFSET = 40

_STANDARD_SPEEDS = {
    int(name[1:]): getattr(termios, name)
    for name in dir(termios)
    if name.startswith("B") and name[1:].isdigit()
}


class Port:
    """One COM port: a pty pair; the slave's path is what the dosdevices link points at."""

    def __init__(self, name):
        self.name = name
        self.device = device_name(name)
        self.master, slave = os.openpty()
        self.slave_path = os.ttyname(slave)
        # Raw from the start, so nothing is echoed or translated before Wine sets the line up.
        # Settings made through the master apply to the slave side.
        attrs = termios.tcgetattr(self.master)
        self._make_raw(attrs, termios.B9600)
        termios.tcsetattr(self.master, termios.TCSANOW, attrs)
        os.close(slave)  # from now on only the Windows program opens the slave
        self._lock = threading.Lock()

    def close(self):
        os.close(self.master)

    @staticmethod
    def _make_raw(attrs, speed_code):
        attrs[0] = 0  # iflag
        attrs[1] = 0  # oflag
        attrs[2] = (attrs[2] & ~(termios.CSIZE | termios.PARENB | termios.PARODD | termios.CSTOPB
                                 | termios.CRTSCTS | termios.CBAUD)) | termios.CS8 | termios.CREAD \
            | termios.CLOCAL | speed_code
        attrs[3] = 0  # lflag: no echo, no canonical mode, no signals
        attrs[4] = attrs[5] = speed_code
        attrs[6][termios.VMIN] = 1
        attrs[6][termios.VTIME] = 0

    def set_line(self, speed):
        attrs = termios.tcgetattr(self.master)
        self._make_raw(attrs, _STANDARD_SPEEDS[speed])
        termios.tcsetattr(self.master, termios.TCSANOW, attrs)

    def line_settings(self):
        """The line settings of the device as the Windows side set them, in the host's words."""
        raw = bytearray(_TERMIOS2_SIZE)
        fcntl.ioctl(self.master, _TCGETS2, raw)
        cflag = struct.unpack_from("<I", raw, 8)[0]
        speed = struct.unpack_from("<I", raw, _OSPEED_OFFSET)[0]
        bits = {termios.CS5: 5, termios.CS6: 6, termios.CS7: 7, termios.CS8: 8}[cflag & termios.CSIZE]
        if not cflag & termios.PARENB:
            parity = "none"
        elif cflag & termios.CMSPAR:
            parity = "mark" if cflag & termios.PARODD else "space"
        else:
            parity = "odd" if cflag & termios.PARODD else "even"
        stop = 2 if cflag & termios.CSTOPB else 1
        return f"speed={speed} bits={bits} parity={parity} stop={stop}"

    def write(self, data):
        with self._lock:
            view = memoryview(data)
            while view:
                view = view[os.write(self.master, view):]

    def read(self, count, timeout, linger):
        """Reads until `count` bytes came or `timeout` passed, then picks up what follows
        within `linger` seconds (bytes that should not have been sent show up there)."""
        data = bytearray()
        deadline = time.monotonic() + timeout
        lingering = False
        while True:
            if not lingering and len(data) >= count:
                lingering = True
                deadline = time.monotonic() + linger
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                break
            ready, _, _ = select.select([self.master], [], [], min(0.05, remaining))
            if not ready:
                continue
            try:
                data += os.read(self.master, 4096)
            except OSError:  # EIO: nobody has the slave open at this moment
                time.sleep(0.02)
        return bytes(data)

    def held(self):
        """Whether any process but this one has the slave device open."""
        me = os.getpid()
        for pid in os.listdir("/proc"):
            if not pid.isdigit() or int(pid) == me:
                continue
            fd_dir = f"/proc/{pid}/fd"
            try:
                fds = os.listdir(fd_dir)
            except OSError:
                continue
            for fd in fds:
                try:
                    if os.readlink(f"{fd_dir}/{fd}") == self.slave_path:
                        return True
                except OSError:
                    continue
        return False


def device_name(name):
    """COMn of a port name as the host gives it, plain or as \\\\.\\COMn."""
    return name.split("\\")[-1].upper()


def _hex(data):
    return data.hex() if data else "-"


def _unhex(text):
    return b"" if text == "-" else bytes.fromhex(text)


class Peer:
    """Answers the host's port requests; `handlers` lets the runner add its own (the dialog)."""

    # Generous: under user-mode emulation the 32-bit host is many times slower.
    RECEIVE_TIMEOUT = 60.0

    def __init__(self, ports):
        self.ports = {p.device: p for p in ports}
        self._threads = []

    def _port(self, name):
        return self.ports[device_name(name)]

    def _later(self, action):
        thread = threading.Thread(target=action, daemon=True)
        thread.start()
        self._threads.append(thread)

    def handle(self, words):
        verb, args = words[0], words[1:]
        if verb == "send":
            port, delay, data = self._port(args[0]), int(args[1]) / 1000.0, _unhex(args[2])
            if delay <= 0:
                port.write(data)
            else:
                self._later(lambda: (time.sleep(delay), port.write(data)))
            return "ok"
        if verb == "burst":
            port, gap, chunks, chunk = self._port(args[0]), int(args[1]) / 1000.0, int(args[2]), \
                _unhex(args[3])
            port.write(chunk)

            def rest():
                for _ in range(chunks - 1):
                    time.sleep(gap)
                    port.write(chunk)
            self._later(rest)
            return "ok"
        if verb == "receive":
            port, count = self._port(args[0]), int(args[1])
            return _hex(port.read(count, self.RECEIVE_TIMEOUT, 0.3))
        if verb == "answer":
            port, count, reply = self._port(args[0]), int(args[1]), _unhex(args[2])
            got = port.read(count, self.RECEIVE_TIMEOUT, 0)
            port.write(reply)
            return _hex(got)
        if verb == "held":
            return "yes" if self._port(args[0]).held() else "no"
        if verb == "line":
            return self._port(args[0]).line_settings()
        if verb == "setline":
            self._port(args[0]).set_line(int(args[1]))
            return "ok"
        return None

    def finish(self):
        for thread in self._threads:
            thread.join(timeout=10)
