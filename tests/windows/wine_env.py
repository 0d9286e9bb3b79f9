"""A fresh Wine prefix for one run, and the command lines that start a Windows program in it.

64-bit programs run with Debian's wine64 loader. 32-bit programs need the 32-bit loader,
which this kind of kernel cannot execute directly, so it runs under qemu-i386 in a 64-bit
prefix whose syswow64 folder holds Wine's 32-bit DLLs.
"""

import glob
import os
import shutil
import subprocess
import tempfile

WINE64 = "/usr/lib/wine/wine64"
WINE32 = "/usr/lib/wine/wine"
WINESERVER = "/usr/lib/wine/wineserver"
WINE32_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"
QEMU_I386 = "qemu-i386"
# qemu-i386 gives a 32-bit guest 4 GiB less one page, so its top-down mappings end one page off
# 64 KiB alignment; Wine then reserves a block that covers the shared user data page at
# 0x7ffe0000 and fails to start ("failed to map the shared user data"). A 64 KiB-aligned top
# of the guest address space avoids that.
QEMU_GUEST_SPACE = "0xfff00000"


def missing_tools(arch):
    tools = [WINE64, WINESERVER]
    if arch == "i686":
        tools += [WINE32, shutil.which(QEMU_I386) or QEMU_I386, WINE32_DLLS]
    return [t for t in tools if not os.path.exists(t)]


class Prefix:
    """A Wine prefix in a new temporary folder, removed again by close()."""

    def __init__(self, arch, display=None, log=None):
        self.arch = arch
        self.path = tempfile.mkdtemp(prefix="quenlex-wine-")
        self.env = {k: v for k, v in os.environ.items()
                    if k not in ("DISPLAY", "WAYLAND_DISPLAY", "WINEARCH", "WINELOADER")}
        self.env.update(WINEPREFIX=self.path, WINEDEBUG="-all",
                        # No offer to download Mono or Gecko: that dialog would wait for a click.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
        if display:
            self.env["DISPLAY"] = display
        self._log = log
        self._server = None

    def create(self, timeout):
        # Created without a display, so that nothing of the set-up can put up a window.
        env = dict(self.env)
        env.pop("DISPLAY", None)
        subprocess.run([WINE64, "wineboot", "-u"], env=env, stdin=subprocess.DEVNULL,
                       stdout=self._log, stderr=self._log, timeout=timeout, check=True)
        subprocess.run([WINESERVER, "-w"], env=env, stdin=subprocess.DEVNULL, timeout=timeout,
                       check=False)
        if self.arch == "i686":
            self._fill_syswow64()
        # A server of our own for the whole run; the emulated 32-bit loader then finds it up.
        self._server = subprocess.Popen([WINESERVER, "-f", "-p"], env=self.env,
                                        stdin=subprocess.DEVNULL, stdout=self._log,
                                        stderr=self._log)

    def _fill_syswow64(self):
        # Where wineboot left syswow64 empty (it could not start the 32-bit side), links to
        # Wine's 32-bit DLLs serve as well as copies.
        target = os.path.join(self.path, "drive_c", "windows", "syswow64")
        os.makedirs(target, exist_ok=True)
        if os.path.exists(os.path.join(target, "kernel32.dll")):
            return
        for source in glob.glob(os.path.join(WINE32_DLLS, "*")):
            link = os.path.join(target, os.path.basename(source))
            if not os.path.exists(link):
                os.symlink(source, link)

    def map_port(self, name, device):
        """Points COMn at a device (the dosdevices link Wine resolves the name through)."""
        link = os.path.join(self.path, "dosdevices", name.lower())
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(device, link)

    def unmap_port(self, name):
        link = os.path.join(self.path, "dosdevices", name.lower())
        if os.path.lexists(link):
            os.remove(link)

    def program_folder(self):
        folder = os.path.join(self.path, "drive_c", "quenlex-test")
        os.makedirs(folder, exist_ok=True)
        return folder

    def command(self, program, args):
        if self.arch == "i686":
            return [QEMU_I386, "-R", QEMU_GUEST_SPACE, "-L", "/", WINE32, program] + list(args)
        return [WINE64, program] + list(args)

    def program_env(self):
        env = dict(self.env)
        if self.arch == "i686":
            # Keeps the loader from re-executing itself outside the emulator.
            env["WINELOADERNOEXEC"] = "1"
        return env

    def close(self):
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=60, check=False,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        if self._server is not None:
            try:
                self._server.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self._server.kill()
                self._server.wait()
        shutil.rmtree(self.path, ignore_errors=True)
