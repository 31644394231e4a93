"""What the Python black-box tests share: the failures found so far, a check
that records one, the Windows form of a Linux path under Wine, and a small
picture to embed in tags."""
import struct
import zlib

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    """The path as Wine's Z: drive shows it to the program."""
    return "Z:" + path.replace("/", "\\")


def tiny_png():
    """A valid 4 x 1 red PNG image."""
    def png_chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 1, 8, 2, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(b"\0" + b"\xff\0\0" * 4)) + png_chunk(b"IEND", b""))
