#!/usr/bin/python3
"""zorv.exe plays a FLAC file under stored ReplayGain settings, and under none
(a new profile): the captured level follows the track or album gain, the
preamps and clipping prevention, within 0.1 dB of what the tags and settings
ask for. The level is measured over the sound alone: silence a busy machine
puts into the capture is no quieter playing.

usage: replaygain_capture.py WINE_EXEC BUILD_DIR ZORV_EXE
"""
import array
import math
import os
import random
import shutil
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # no cache folder left in the source tree
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from blackbox_checks import captured_floats, check, failures, sounding, windows_path  # noqa: E402
from program_copy import config_file  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
RATE = 48000
SECONDS = 2
# The stretch of sound measured, in samples: clear of both ends.
MEASURED = (RATE // 5 * 2, RATE * 6 // 5 * 2)

REPLAYGAIN_ITEM = "C70F0A8C-3CD5-4BA9-88CD-CC161A87A00E"


def rms(values):
    return math.sqrt(sum(v * v for v in values) / len(values))


def play(root, name, song, settings):
    """The captured sound, silence left out, played by a copy of the program
    whose profile holds `settings` (none: a profile that never stored any)."""
    exe = os.path.join(root, name, "zorv.exe")
    os.makedirs(os.path.join(os.path.dirname(exe), "zorv-configuration"))
    shutil.copy(ZORV, exe)
    open(exe + ".localconfig.opt", "w").close()
    if settings:
        with open(os.path.join(os.path.dirname(exe), "zorv-configuration", "config.dat"), "wb") as out:
            out.write(config_file({REPLAYGAIN_ITEM: struct.pack("<IIff", *settings)}))
    capture = os.path.join(root, name + ".wav")
    quiet = dict(env=dict(os.environ, AUDIO_CAPTURE="|cat >> " + capture), stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
    program = subprocess.Popen([WINE_EXEC, BUILD_DIR, exe, windows_path(song)], **quiet)
    sound, deadline = [], time.time() + 60
    while len(sound) < MEASURED[1] and time.time() < deadline:
        time.sleep(0.5)
        sound = sounding(captured_floats(capture))
    subprocess.run([WINE_EXEC, BUILD_DIR, exe, "/exit"], timeout=60, **quiet)
    try:
        program.wait(timeout=60)
    except subprocess.TimeoutExpired:
        program.kill()
    check(len(sound) >= MEASURED[1], "%s: the file is heard" % name)
    return sound


def main():
    rng = random.Random(38)
    noise = [rng.randint(-12000, 12000) or 1 for _ in range(RATE * SECONDS * 2)]
    source_level = rms([s / 32768.0 for s in noise[MEASURED[0]:MEASURED[1]]])
    with tempfile.TemporaryDirectory() as root:
        raw = os.path.join(root, "noise.raw")
        array.array("h", noise).tofile(open(raw, "wb"))
        songs = {}
        for name, tags in (("untagged", []),
                           ("tagged", ["REPLAYGAIN_TRACK_GAIN=-6.00 dB", "REPLAYGAIN_ALBUM_GAIN=-3.00 dB"]),
                           ("loud_peak", ["REPLAYGAIN_TRACK_GAIN=+6.00 dB", "REPLAYGAIN_TRACK_PEAK=1.600000"])):
            songs[name] = os.path.join(root, "music", name + ".flac")
            os.makedirs(os.path.dirname(songs[name]), exist_ok=True)
            subprocess.run(["flac", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                            "--channels=2", "--bps=16", "--sample-rate=%d" % RATE, "-o", songs[name], raw],
                           check=True)
            if tags:
                subprocess.run(["metaflac"] + ["--set-tag=" + tag for tag in tags] + [songs[name]], check=True)
        # (case, file, settings: source, processing, preamp without info, preamp with info, expected dB)
        cases = (
            ("no_stored_settings", "tagged", None, -3.0),
            ("track_mode_untagged", "untagged", (1, 1, 0.0, 0.0), 0.0),
            ("track_mode", "tagged", (1, 1, 0.0, 0.0), -6.0),
            ("album_mode", "tagged", (2, 1, 0.0, 0.0), -3.0),
            ("switched_off", "tagged", (1, 0, 0.0, 0.0), 0.0),
            ("preamp_with_info", "tagged", (1, 1, -2.0, 1.5), -4.5),
            ("preamp_without_info", "untagged", (1, 1, -2.0, 1.5), -2.0),
            ("prevent_clipping", "loud_peak", (1, 2, 0.0, 0.0), 20 * math.log10(1 / 1.6)),
        )
        for name, song, settings, expected in cases:
            sound = play(root, name, songs[song], settings)
            if len(sound) < MEASURED[1]:
                continue
            level = 20 * math.log10(rms(sound[MEASURED[0]:MEASURED[1]]) / source_level)
            print("%s: %.3f dB" % (name, level))
            check(abs(level - expected) <= 0.1, "%s: %.2f dB, expected %.2f dB" % (name, level, expected))
    if failures:
        sys.exit(1)
    print("all checks passed")


main()
