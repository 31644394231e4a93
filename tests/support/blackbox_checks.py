"""What the Python black-box tests share: the failures found so far, a check
that records one, the Windows form of a Linux path under Wine, running zorvtool
and the Linux tools it is checked against, and a small picture to embed in tags."""
import struct
import subprocess
import zlib

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    """The path as Wine's Z: drive shows it to the program."""
    return "Z:" + path.replace("/", "\\")


def tool(*args):
    """Runs a Linux tool (an encoder or reader); its failure raises."""
    subprocess.run(args, check=True, capture_output=True)


def zorvtool_runner(wine_exec, build_dir, zorvtool):
    """run(*args, ok=True): zorvtool under Wine with its output as text; a
    failed run raises unless ok is False."""
    def run(*args, ok=True):
        done = subprocess.run([wine_exec, build_dir, zorvtool, *args], capture_output=True, text=True,
                              encoding="utf-8", errors="replace")
        if ok and done.returncode != 0:
            raise RuntimeError("zorvtool %s failed: %s%s" % (args[:1], done.stdout, done.stderr))
        return done
    return run


def tiny_png():
    """A valid 4 x 1 red PNG image."""
    def png_chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 1, 8, 2, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(b"\0" + b"\xff\0\0" * 4)) + png_chunk(b"IEND", b""))
