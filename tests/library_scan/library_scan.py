#!/usr/bin/python3
"""zorvtool scan over nested folders of FLAC, MP3 and WAV files, the FLAC and
MP3 files tagged and with a picture.

The first pass adds every track once and none from hidden folders or names
made of dots; with monitoring, a file copied in while the worker runs appears.

usage: library_scan.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import shutil
import subprocess
import sys
import tempfile
import struct
import threading
import time
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]


def scan(folder, *options, during=None):
    process = subprocess.Popen([WINE_EXEC, BUILD_DIR, ZORVTOOL, "scan", windows_path(folder), *options],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8")
    if during:
        threading.Thread(target=during, daemon=True).start()
    out, err = process.communicate(timeout=120)
    check(process.returncode == 0, "scan succeeds: " + err)
    added = [line[2:].rsplit(" #", 1)[0] for line in out.splitlines() if line.startswith("+ ")]
    return added, out


def write_png(path, size):
    """A picture of noise, so that tags carry some tens of kilobytes."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + os.urandom(size * 3) for _ in range(size))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 2, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def main():
    with tempfile.TemporaryDirectory() as root:
        tone = os.path.join(root, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "0.2", "sine", "440"],
                       check=True)
        cover = os.path.join(root, "cover.png")
        write_png(cover, 100)
        music = os.path.join(root, "music")
        expected = []
        for n in range(60):
            folder = os.path.join(music, "artist%d" % (n % 5), "album%d" % (n % 7))
            os.makedirs(folder, exist_ok=True)
            name = os.path.join(folder, "track%02d.%s" % (n, ("wav", "flac", "mp3")[n % 3]))
            if n % 3 == 1:
                subprocess.run(["flac", "-s", "-f", "-o", name, tone], check=True)
                subprocess.run(["metaflac", "--set-tag=TITLE=Track %d" % n, "--import-picture-from=" + cover, name],
                               check=True)
            elif n % 3 == 2:
                subprocess.run(["lame", "--quiet", "--tt", "Track %d" % n, "--ti", cover, tone, name], check=True)
            else:
                shutil.copy(tone, name)
            expected.append(name)
        # None of these is a track: a hidden folder, a name of dots, a file no input reads.
        os.makedirs(os.path.join(music, ".hidden"))
        shutil.copy(tone, os.path.join(music, ".hidden", "secret.wav"))
        shutil.copy(tone, os.path.join(music, "..."))
        open(os.path.join(music, "notes.txt"), "w").write("not audio")

        added, out = scan(music)
        wanted = sorted("file://" + windows_path(p) for p in expected)
        check(sorted(added) == wanted, "first pass adds every track once and nothing else:\n" + out)

        late = os.path.join(music, "late.flac")

        def copy_in_later():
            time.sleep(2)
            shutil.copy(expected[1], late + ".part")
            os.rename(late + ".part", late)

        added, out = scan(music, "--monitor", "6", during=copy_in_later)
        check(added.count("file://" + windows_path(late)) == 1, "a file copied in while monitoring appears:\n" + out)

    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
