#!/usr/bin/python3
"""zorv.exe given a file plays it: on its own command line, and handed over by
a second start to the running instance. Heard in the ALSA capture file,
whatever silence a busy machine puts into it. A path whose folder is gone is
reported and the program goes on.

usage: open_and_play.py WINE_EXEC BUILD_DIR ZORV_EXE
"""
import array
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no cache folder left in the source tree
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import captured_floats, sounding  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
RATE = 48000


def heard(exe, capture, first_args, second_args, expected):
    """Starts the program, hands it the second command line, and waits until
    the first 0.05 s of the file arrive bit-exact; then ends it with /exit,
    which the first instance must answer by ending cleanly."""
    env = dict(os.environ, AUDIO_CAPTURE="|cat >> " + capture)
    quiet = dict(env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    first = subprocess.Popen([WINE_EXEC, BUILD_DIR, exe, *first_args], **quiet)
    time.sleep(3)
    if second_args:
        subprocess.run([WINE_EXEC, BUILD_DIR, exe, *second_args], timeout=60, **quiet)
    head = [s / 32768.0 for s in expected[:4800]]
    found, deadline = False, time.time() + 60
    while not found and time.time() < deadline:
        time.sleep(1)
        found = sounding(captured_floats(capture))[:len(head)] == head
    subprocess.run([WINE_EXEC, BUILD_DIR, exe, "/exit"], timeout=60, **quiet)
    try:
        first.wait(timeout=60)
    except subprocess.TimeoutExpired:
        first.kill()
    return found and first.returncode == 0


def main():
    rng = random.Random(11)
    noise = [rng.randint(-12000, 12000) or 1 for _ in range(RATE * 2)]
    failures = 0
    with tempfile.TemporaryDirectory() as root:
        raw, song = os.path.join(root, "noise.raw"), os.path.join(root, "music", "noise.flac")
        os.makedirs(os.path.dirname(song))
        array.array("h", noise).tofile(open(raw, "wb"))
        subprocess.run(["flac", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                        "--channels=2", "--bps=16", "--sample-rate=%d" % RATE, "-o", song, raw], check=True)
        song = "Z:" + song.replace("/", "\\")
        gone = song.replace("music", "gone")
        for case, first_args, second_args in (("own_command_line", [song], None), ("second_start", [], [song]),
                                              ("missing_then_found", [gone], [song])):
            exe = os.path.join(root, case, "zorv.exe")
            os.makedirs(os.path.dirname(exe))
            shutil.copy(ZORV, exe)
            open(exe + ".localconfig.opt", "w").close()  # a profile of its own beside it
            if not heard(exe, os.path.join(root, case + ".wav"), first_args, second_args, noise):
                failures += 1
                print("FAIL: %s: the file is not heard, or the program did not end cleanly" % case)
    if failures:
        sys.exit(1)
    print("all checks passed")


main()
