"""A copy of zorv.exe with its profile beside it, for the preferences tests:
its config.dat written or read as records, started, driven and looked at
through the window probe, and closed as a user closes it."""
import hashlib
import os
import shutil
import struct
import subprocess
import time
import uuid

import sys
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import session_env, windows_path  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402

CONFIG_FILE_GUID = "B2223DD1-15C4-46F5-8031-96E692BC1E20"
SALT = struct.pack("<4I", 0x5A6F7276, 0x43666731, 0x9E3779B9, 0x7F4A7C15)
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def config_file(records):
    """config.dat holding the records {GUID text: value bytes}."""
    payload = b"".join(uuid.UUID(g).bytes_le + struct.pack("<I", len(v)) + v for g, v in records.items())
    return (uuid.UUID(CONFIG_FILE_GUID).bytes_le + hashlib.md5(SALT + payload).digest()
            + struct.pack("<I", len(payload)) + payload)


def config_records(data):
    """{GUID text in upper case: value bytes} of a config.dat; {} when damaged."""
    if len(data) < 36 or hashlib.md5(SALT + data[36:]).digest() != data[16:32]:
        return {}
    records, at = {}, 36
    while at + 20 <= len(data):
        size = struct.unpack_from("<I", data, at + 16)[0]
        records[str(uuid.UUID(bytes_le=data[at:at + 16])).upper()] = data[at + 20:at + 20 + size]
        at += 20 + size
    return records


class Player:
    def __init__(self, wine_exec, build_dir, program, root, name, env=None):
        self.wine = [wine_exec, build_dir]
        self.env = dict(os.environ, AUDIO_CAPTURE="/dev/null", **(env or {}))
        self.probe_exe = os.environ.get("ZORV_WINDOW_PROBE", "")
        self.probe_batch = None
        self.folder = os.path.join(root, name)
        os.makedirs(os.path.join(self.folder, "zorv-configuration"))
        self.exe = os.path.join(self.folder, "zorv.exe")
        shutil.copy(program, self.exe)
        open(self.exe + ".localconfig.opt", "w").close()
        self.config = os.path.join(self.folder, "zorv-configuration", "config.dat")
        self.process = None

    def write_config(self, records):
        open(self.config, "wb").write(config_file(records))

    def records(self):
        return config_records(open(self.config, "rb").read()) if os.path.exists(self.config) else {}

    def start(self, *args):
        self.process = subprocess.Popen(self.wine + [self.exe, *args], env=self.env, **QUIET)

    def probe(self, *args):
        """The probe's exit status and output lines."""
        if self.probe_batch is None:
            self.probe_batch = ZorvtoolBatch(self.wine + [self.probe_exe])
        done = self.probe_batch.run(windows_path(self.exe), *args, timeout=120)
        return done.returncode, done.stdout.splitlines()

    def window(self, title, *args):
        """A probe command on the program's window whose title begins with `title`."""
        return self.probe("--title", title, *args)

    def controls(self, title):
        """The window's line and {id: (class, visible, enabled, checked, rectangle, text)} of all its
        descendants (the first of an id wins); (None, {}) when there is no such window."""
        code, lines = self.window(title, "descendants")
        if code != 0 or not lines or not lines[0].startswith("window\t"):
            return None, {}
        found = {}
        for line in lines[1:]:
            f = line.split("\t")
            if len(f) >= 7 and int(f[0]) not in found:
                found[int(f[0])] = (f[1], f[2] == "1", f[3] == "1", f[4] == "1",
                                    tuple(int(v) for v in f[5].split(",")), "\t".join(f[6:]))
        return lines[0].split("\t"), found

    def gone(self, title):
        """Whether the program has no window whose title begins so, asked
        without the probe's wait for a window still opening."""
        code, lines = self.probe("--title-now", title, "descendants")
        return code != 0 or not lines or not lines[0].startswith("window\t")

    def wait(self, condition, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if condition():
                return True
            time.sleep(0.3)
        return False

    def shot(self, title, png):
        bmp = png[:-4] + ".bmp"
        self.window(title, "shot", windows_path(bmp))
        subprocess.run(["convert", bmp, png], check=True)
        os.remove(bmp)

    def stop(self):
        """Closes the main window as a user does; answers the exit code."""
        self.probe("close")
        try:
            return self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None
