#!/usr/bin/python3
"""FLAC and Opus files played end to end by `zorvtool play`, checked in the capture file.

Wine mixes at 48 kHz float, so 16-bit material at 48 kHz must arrive bit-exact
after the leading silence, to its very last sample: the player keeps the
device until the system has played what the play cursor already passed.

usage: play_capture.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import array
import os
import random
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import (check, failures, note_machine_gaps, player_underruns, windows_path,  # noqa: E402
                             without_machine_gaps)

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
RATE = 48000
# The Opus join is compared against another decoder, whose length may differ.
TAIL_WINE_MAY_DROP = RATE // 20


def make_flac(path, samples):
    raw = path + ".raw"
    array.array("h", samples).tofile(open(raw, "wb"))
    subprocess.run(["flac", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed", "--channels=2",
                    "--bps=16", "--sample-rate=%d" % RATE, "-o", path, raw], check=True)
    os.remove(raw)


def play(folder, *paths, options=()):
    """Plays the files; answers the float samples of each device stream
    captured, and where the player said its output ran dry."""
    capture = os.path.join(folder, "capture-%s.wav" % os.path.basename(paths[0]))
    if os.path.exists(capture):
        os.remove(capture)
    env = dict(os.environ, AUDIO_CAPTURE="|cat >> " + capture)
    run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "play", *[windows_path(p) for p in paths], *options],
                         capture_output=True, text=True, env=env, timeout=120)
    check(run.returncode == 0 and run.stdout.strip().endswith("stopped 1"), "play ends by itself: " + run.stdout + run.stderr)
    data = open(capture, "rb").read()
    streams, start = [], data.find(b"RIFF")
    while start >= 0:
        end = data.find(b"RIFF", start + 4)
        body = data[start:end if end >= 0 else len(data)]
        payload = body[body.index(b"data") + 8:]
        streams.append(array.array("f", payload[:len(payload) // 4 * 4]))
        start = end
    return streams, player_underruns(run.stdout)


def heard_from_first_sound(stream, source, underruns):
    """(the stream from its first non-zero sample with the silence a busy
    machine put into it taken out, where that silence was); None when
    nothing was heard. A block lost, repeated or changed by the player still
    shows."""
    first = next((i for i, v in enumerate(stream) if v != 0.0), None)
    if first is None:
        return None, []
    return without_machine_gaps([s / 32768.0 for s in source], stream[first - first % 2:], underruns)


def check_played(stream, source, what, underruns):
    """The stream holds the source bit-exact and whole from its first non-zero
    sample, with nothing but silence after it."""
    heard, gaps = heard_from_first_sound(stream, source, underruns)
    check(heard is not None, what + ": sound was captured")
    if heard is None:
        return False
    note_machine_gaps(what, gaps, underruns)
    captured = heard[:len(source)]
    whole = len(captured) == len(source)
    check(whole, "%s: %d of %d samples captured" % (what, len(captured), len(source)))
    expected = [s / 32768.0 for s in source[:len(captured)]]
    mismatch = next((i for i, (a, b) in enumerate(zip(captured, expected)) if a != b), None)
    check(mismatch is None, "%s: bit-exact, first difference at sample %s" % (what, mismatch))
    after = next((i for i, v in enumerate(heard[len(source):]) if v != 0.0), None)
    check(after is None, "%s: silence after the last sample, sound at %s" % (what, after))
    return whole and mismatch is None


def check_tail(stream, source, what, underruns):
    """The captured sound ends with the source's last 0.1 s, bit-exact: the
    player keeps the device until its last sample has been played. Silence
    a busy machine put in is taken out first, lest it split that 0.1 s."""
    heard = heard_from_first_sound(stream, source, underruns)[0] or []
    last = next((i for i in range(len(heard) - 1, -1, -1) if heard[i] != 0.0), None)
    tail = [s / 32768.0 for s in source[-RATE // 10 * 2:]]
    whole = last is not None and list(heard[last + 1 - len(tail):last + 1]) == tail
    check(whole, "%s: the last 0.1 s arrives whole" % what)
    return whole


def opus_pair(folder):
    """One 440 Hz sine cut into two Opus files at a frame off the 20 ms grid; the reference decode of each."""
    sine = os.path.join(folder, "sine.wav")
    subprocess.run(["sox", "-n", "-r", str(RATE), "-c", "2", "-b", "16", sine, "synth", "3", "sine", "440",
                    "vol", "0.5"], check=True, capture_output=True)
    parts = []
    for name, trim in (("a", ["0", "62401s"]), ("b", ["62401s"])):
        wav, path, ref = (os.path.join(folder, name + ext) for ext in (".wav", ".opus", ".ref.wav"))
        subprocess.run(["sox", sine, wav, "trim", *trim], check=True)
        subprocess.run(["opusenc", "--quiet", wav, path], check=True)
        subprocess.run(["opusdec", "--quiet", "--float", "--rate", str(RATE), path, ref], check=True,
                       capture_output=True)
        data = open(ref, "rb").read()
        payload = data[data.index(b"data") + 8:]
        parts.append((path, array.array("f", payload[:len(payload) // 4 * 4])))
    return parts


def check_opus_gapless(stream, first, second, underruns):
    """The stream holds both decodes back to back: a gap or overlap at the join shifts the second."""
    expected = first + second
    start = next((i for i, v in enumerate(expected) if abs(v) > 1e-3), 0)
    captured_start = next((i for i, v in enumerate(stream) if abs(v) > 1e-3), None)
    check(captured_start is not None, "Opus: sound was captured")
    if captured_start is None:
        return
    offset = captured_start - start
    offset -= offset % 2
    # Another decoder's samples match within a tolerance, not bit for bit;
    # silence a busy machine put in while the player had its sound queued
    # is taken out, as for the other captures.
    heard, gaps = without_machine_gaps(expected[start:], stream[offset + start:], underruns,
                                       same=lambda a, b: abs(a - b) < 1e-4)
    note_machine_gaps("Opus", gaps, underruns)
    captured = heard[:len(expected) - start]
    reference = expected[start:start + len(captured)]
    check(len(captured) >= len(reference) - 2 * TAIL_WINE_MAY_DROP and len(captured) > len(first),
          "Opus: %d of %d samples captured" % (len(captured), len(expected) - start))
    join = len(first) - start
    worst = max((abs(a - b) for a, b in zip(captured[join - 4800:join + 4800], reference[join - 4800:join + 4800])),
                default=1.0)
    check(worst < 1e-4, "Opus: no gap or overlap at the join (largest difference %g)" % worst)


def main():
    rng = random.Random(7)
    with tempfile.TemporaryDirectory() as folder:
        # A whole file, first sample non-zero so the capture can be aligned.
        noise = [rng.randint(-12000, 12000) or 1 for _ in range(RATE * 3 // 2 * 2)]
        single = os.path.join(folder, "noise.flac")
        make_flac(single, noise)
        streams, underruns = play(folder, single)
        check(len(streams) == 1, "one device stream")
        check_played(streams[0], noise, "16-bit 48 kHz FLAC", underruns)

        # One signal cut into two files at a frame that is no block boundary
        # plays as one: any gap or overlap at the join breaks the comparison.
        signal = [rng.randint(-12000, 12000) or 1 for _ in range(RATE * 3 * 2)]
        cut = 70001 * 2
        first, second = os.path.join(folder, "a.flac"), os.path.join(folder, "b.flac")
        make_flac(first, signal[:cut])
        make_flac(second, signal[cut:])
        streams, underruns = play(folder, first, second)
        check(len(streams) == 1, "consecutive files of one format share the device stream")
        check_played(streams[0], signal, "two FLAC files cut at frame 70001", underruns)

        # The end of playback is heard to the last sample every time, however
        # the play cursor and the system's mixer stand when the file ends.
        short = [rng.randint(-12000, 12000) or 1 for _ in range(RATE * 2 * 2)]
        two_seconds = os.path.join(folder, "two.flac")
        make_flac(two_seconds, short)
        whole = 0
        for attempt in range(20):
            streams, underruns = play(folder, two_seconds)
            if len(streams) == 1 and check_tail(streams[0], short, "2 s FLAC, play %d" % (attempt + 1), underruns):
                whole += 1
        check(whole == 20, "the last sample in every capture: %d of 20 plays whole to the end" % whole)

        # A start position is where the sound starts: nothing of 0:00 is heard
        # before it, and from it the file plays on exactly to its end.
        for seconds in ("0.5", "1.2345"):
            streams, underruns = play(folder, single, options=("--seek", seconds))
            check(len(streams) == 1, "--seek %s: one device stream" % seconds)
            if streams:
                frame = int(float(seconds) * RATE + 0.5)
                check_played(streams[0], noise[frame * 2:], "--seek %s" % seconds, underruns)

        (first, first_samples), (second, second_samples) = opus_pair(folder)
        streams, underruns = play(folder, first, second)
        check(len(streams) == 1, "consecutive Opus files share the device stream")
        check_opus_gapless(streams[0], first_samples, second_samples, underruns)

    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
