#!/usr/bin/python3
"""A damaged MP3 decoded from a seek point over and over by zorvtool: every
run ends the same way, with audio or with "the decoder gave no audio", and
never with a crash; the audio is the same in every run, so no state the
decoder starts from is left to chance.

usage: damaged_seek.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
RUNS = 20


def decode(path, out, seconds):
    run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "decode", windows_path(path), windows_path(out),
                          "--seek", seconds], capture_output=True, text=True, errors="replace")
    audio = None
    if run.returncode == 0 and os.path.exists(out):
        with open(out, "rb") as f:
            audio = f.read()
    if os.path.exists(out):
        os.remove(out)
    return run.returncode, run.stderr, audio


def main():
    with tempfile.TemporaryDirectory(prefix="zorv-mpeg-damage-") as work:
        clean, damaged = os.path.join(work, "clean.wav"), os.path.join(work, "damaged.mp3")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", clean, "synth", "2.5", "sine", "440",
                        "vol", "0.5"], check=True)
        subprocess.run(["lame", "--quiet", "-b", "128", clean, damaged], check=True)
        with open(damaged, "rb") as f:
            data = bytearray(f.read())
        # Bytes changed all through the frames, headers and side information
        # included; the tag frame at the start and the last frames stay.
        rng = random.Random(5)
        for _ in range(300):
            data[rng.randrange(1000, len(data) - 200)] = rng.randrange(256)
        with open(damaged, "wb") as f:
            f.write(data)
        out = os.path.join(work, "out.wav")

        # Past the end of what the damage leaves: no audio, said the same way each time.
        # (The system's decoder may add lines of its own to the error output.)
        outcomes = {}
        for _ in range(RUNS):
            code, err, _ = decode(damaged, out, "2.69")
            key = (code, "zorvtool: the decoder gave no audio" in err.splitlines())
            outcomes[key] = outcomes.get(key, 0) + 1
        check(list(outcomes) == [(1, True)],
              "%d runs past the audio end alike with the clear message: %s" % (RUNS, outcomes))

        # Inside the audio: the same samples every time.
        results = set()
        for _ in range(5):
            code, err, audio = decode(damaged, out, "1.0")
            check(code == 0 and audio, "a seek inside the damaged file decodes: %d %s" % (code, err[-200:]))
            results.add(audio)
        check(len(results) == 1, "every decode from the seek point gives the same samples (%d kinds)" % len(results))
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
