#!/usr/bin/python3
"""The sound checks of the black-box suites tell a busy machine's silence from
the player's: whole device periods of silence after which the sound goes on
exactly are taken out while the player had its sound queued, and fail where
`zorvtool play` said its output ran dry. The sound alone, as a level is
measured over it, is the player's whatever silence came between.

usage: sound_checks.py
"""
import contextlib
import io
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import blackbox_checks  # noqa: E402
from blackbox_checks import (DEVICE_PERIOD_SAMPLES, note_machine_gaps, player_underruns, sounding,  # noqa: E402
                             without_machine_gaps)


def failures_of(expected, heard, zorvtool_output):
    """The failures a suite's check of `heard` records, as play_capture.py
    and mp4_input.py check it."""
    before = len(blackbox_checks.failures)
    with contextlib.redirect_stdout(io.StringIO()):
        underruns = player_underruns(zorvtool_output)
        kept, gaps = without_machine_gaps(expected, heard, underruns)
        note_machine_gaps("sound", gaps, underruns)
        blackbox_checks.check(kept[:len(expected)] == expected, "sound: heard whole")
    found = blackbox_checks.failures[before:]
    del blackbox_checks.failures[before:]
    return found


def main():
    rng = random.Random(5)
    expected = [rng.randint(-12000, 12000) / 32768.0 or 1.0 for _ in range(48000)]
    # Two silent periods a third of the way in, and the sound going on exactly.
    cut = 16000
    heard = expected[:cut] + [0.0] * (2 * DEVICE_PERIOD_SAMPLES) + expected[cut:]
    problems = []

    queued = failures_of(expected, heard, "track Z:\\a.flac\nstopped 1\n")
    if queued:
        problems.append("the machine's silence with the player's sound queued failed: %s" % queued)
    ran_dry = failures_of(expected, heard, "track Z:\\a.flac\nran dry: stream 1 after 8000 frames at 48000 Hz\n"
                                           "stopped 1\n")
    if not any("ran dry" in f for f in ran_dry):
        problems.append("a player that ran dry for two whole periods passed: %s" % ran_dry)

    # Silence of any length anywhere, even a frame's worth, leaves the sound;
    # a frame silent in one channel only is sound.
    expected[cut + 1] = 0.0
    scattered = [0.0] * 1000 + expected[:cut] + [0.0] * 2 + expected[cut:cut + 4] + [0.0] * 333 * 2 + expected[cut + 4:]
    if sounding(scattered + [0.0] * 50) != expected:
        problems.append("the sound alone is not the sound played")

    for problem in problems:
        print("FAIL:", problem)
    print("%d passed, %d failed" % (3 - len(problems), len(problems)))
    sys.exit(1 if problems else 0)


main()
