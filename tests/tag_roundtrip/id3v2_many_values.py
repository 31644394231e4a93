#!/usr/bin/python3
"""A title edit of an MP3 whose ID3v2.4 TPE1 holds 8,388,608 one-character
values (a 16.8 MB frame): zorvtool either succeeds, leaving one TPE1 of every
value byte for byte beside the new title, or fails with the file byte for
byte as it was. The frames are read back from the bytes: readers that hold
each value as an object take minutes over such a frame.

usage: id3v2_many_values.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
from id3v2_bytes import syncsafe  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
COUNT = 8388608

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def unsyncsafe(b):
    return (b[0] << 21) | (b[1] << 14) | (b[2] << 7) | b[3]


def frame(frame_id, payload):
    return frame_id + syncsafe(len(payload)) + b"\0\0" + payload


def frames_of(data):
    """[(id, payload)] of the version 2.4 tag at the start of `data`."""
    end = 10 + unsyncsafe(data[6:10])
    found, at = [], 10
    while at + 10 <= end and data[at:at + 4] != b"\0\0\0\0":
        size = unsyncsafe(data[at + 4:at + 8])
        found.append((data[at:at + 4], data[at + 10:at + 10 + size]))
        at += 10 + size
    return found


def main():
    work = tempfile.mkdtemp(prefix="zorv-id3v2-many-values-")
    try:
        wav, mp3 = os.path.join(work, "tone.wav"), os.path.join(work, "tone.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", wav, "synth", "1", "sine", "440"], check=True)
        subprocess.run(["lame", "--quiet", "-t", wav, mp3], check=True)
        letters = bytes(range(ord("A"), ord("Z") + 1))
        values = b"\0".join(letters[i % 26:i % 26 + 1] for i in range(COUNT))
        artists = frame(b"TPE1", b"\x03" + values)
        frames = frame(b"TIT2", b"\x03Old title") + artists
        with open(mp3, "rb") as f:
            audio = f.read()
        original = b"ID3\x04\0\0" + syncsafe(len(frames) + 1024) + frames + bytes(1024) + audio
        path = os.path.join(work, "many.mp3")
        with open(path, "wb") as f:
            f.write(original)

        done = zorvtool("tag", windows_path(path), "title=New", ok=False)
        with open(path, "rb") as f:
            now = f.read()
        if done.returncode != 0:
            check(now == original, "a failed edit (%s) left the file changed: %d bytes for %d"
                  % ((done.stdout + done.stderr).strip(), len(now), len(original)))
        else:
            found = frames_of(now)
            check([p for i, p in found if i == b"TPE1"] == [b"\x03" + values],
                  "one TPE1 of every value, byte for byte: %s" % [(i, len(p)) for i, p in found])
            check([p for i, p in found if i == b"TIT2"] == [b"\x03New\0"], "the new title: %s" % [p for i, p in found if i == b"TIT2"])
            check(now.endswith(audio), "the audio follows the tag")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("a title edit beside 8,388,608 artists writes each once, or nothing")
    return 0


if __name__ == "__main__":
    sys.exit(main())
