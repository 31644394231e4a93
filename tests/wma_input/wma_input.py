#!/usr/bin/python3
"""WMA through the real zorvtool and the Windows Media runtime: a wmav2 file
decodes within 1 LSB of ffmpeg's decode once the decoder delay is aligned,
a seek lands where asked, a seek past the end plays nothing and fails
nothing, and `info` shows the length and technical fields even though the
runtime enumerates no attributes.

usage: wma_input.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
RATE = 44100


run = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def pcm16(path):
    """(channels, interleaved 16-bit samples) of a PCM WAV."""
    with open(path, "rb") as f:
        data = f.read()
    fmt = data.index(b"fmt ") + 8
    channels, = struct.unpack_from("<H", data, fmt + 2)
    start = data.index(b"data") + 8
    body = data[start:start + min(struct.unpack_from("<I", data, start - 4)[0], len(data) - start)]
    return channels, struct.unpack("<%dh" % (len(body) // 2), body[:len(body) - len(body) % 2])


def decoded(path, *options):
    out = path + ".out.wav"
    run("decode", windows_path(path), windows_path(out), "--bits", "16", *options)
    result = pcm16(out)
    os.remove(out)
    return result


def find(window, samples, lo, hi, tolerance):
    """The first frame in lo..hi where `window` (interleaved) matches
    `samples` within `tolerance`, or None."""
    n = len(window)
    for frame in range(max(lo, 0), hi + 1):
        part = samples[frame * 2:frame * 2 + n]
        if len(part) == n and all(abs(x - y) <= tolerance for x, y in zip(window, part)):
            return frame
    return None


def test_decode_and_seek(work):
    # A sweep never repeats, so a window of it is found in one place only.
    source = os.path.join(work, "sweep.wav")
    tool("sox", "-n", "-r", str(RATE), "-b", "16", "-c", "2", source, "synth", "4", "sine", "200-3000", "sine",
         "300-4000", "vol", "0.5")
    wma = os.path.join(work, "tones.wma")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "wmav2", "-b:a", "128k", wma)
    reference = os.path.join(work, "reference.wav")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", wma, "-c:a", "pcm_s16le", reference)
    _, theirs = pcm16(reference)

    channels, ours = decoded(wma)
    check(channels == 2, "wmav2 decodes in stereo, not %d channels" % channels)
    check(abs(len(ours) // 2 - 4 * RATE) < 8192, "wmav2 decodes to about its length: %d frames" % (len(ours) // 2))
    # The decoders differ only in how much of the start (the decoder delay)
    # they keep: ffmpeg's frame 1 s is found in ours a delay later.
    window = theirs[RATE * 2:(RATE + 1024) * 2]
    at = find(window, ours, RATE, RATE + 8192, 1)
    check(at is not None, "ffmpeg's decode at 1 s is found in ours within 1 LSB")
    if at is not None:
        delay = at - RATE
        a, b = ours[delay * 2:], theirs
        n = min(len(a), len(b))
        worst = max(abs(x - y) for x, y in zip(a[:n], b[:n]))
        check(worst <= 1 and n > 3 * RATE * 2,
              "after a delay of %d frames, %d frames are within 1 LSB of ffmpeg: worst %d" % (delay, n // 2, worst))

    # The runtime restarts decoding at the seek; past its first frames the
    # output is the whole decode's from the time asked for. Wine's runtime
    # lands up to a few dozen frames late.
    for seconds in (1.0, 2.5):
        _, sought = decoded(wma, "--seek", str(seconds))
        target = int(seconds * RATE)
        landed = find(sought[4096 * 2:4608 * 2], ours, target + 4096 - 64, target + 4096 + 64, 2)
        check(landed is not None, "a seek to %.1f s lands within 64 frames of frame %d" % (seconds, target))

    done = run("decode", windows_path(wma), windows_path(wma + ".end.wav"), "--bits", "16", "--seek", "60", ok=False)
    check("the decoder gave no audio" in done.stdout + done.stderr,
          "a seek past the end ends decoding without an error: %s" % (done.stdout + done.stderr))

    info = json.loads(run("info", windows_path(wma)).stdout)["subsongs"][0]["info"]
    technical = info["technical"]
    check(abs(float(info.get("length", 0)) - 4.0) < 0.1, "info shows the length of 4 s: %s" % info.get("length"))
    check(technical.get("samplerate") == str(RATE) and technical.get("channels") == "2",
          "info shows the rate and channels: %s" % technical)


def test_claims_and_failures(work):
    wma = os.path.join(work, "tones.wma")
    upper = os.path.join(work, "UPPER.WMA")
    with open(wma, "rb") as f, open(upper, "wb") as g:
        g.write(f.read())
    check(len(decoded(upper)[1]) > 0, "a file named in capitals (.WMA) is claimed and decodes")

    damaged = os.path.join(work, "damaged.wma")
    with open(damaged, "wb") as f:
        f.write(b"\x30\x26\xb2\x75" + b"\0" * 4000)
    done = run("decode", windows_path(damaged), windows_path(damaged + ".wav"), ok=False)
    check(done.returncode != 0 and done.returncode < 128 and (done.stdout + done.stderr).strip(),
          "a damaged file fails with a message, not a crash: %d %s" % (done.returncode, done.stdout + done.stderr))


def test_tag_writing_refused(work):
    # Wine's runtime has no metadata editor: a retag must say so and leave the
    # file as it was.
    wma = os.path.join(work, "tones.wma")
    with open(wma, "rb") as f:
        before = f.read()
    done = run("tag", windows_path(wma), "title=New", ok=False)
    with open(wma, "rb") as f:
        after = f.read()
    check(done.returncode != 0 and "WMCreateEditor failed : " in done.stdout + done.stderr,
          "a retag without a metadata editor names the refusal: %d %s" % (done.returncode, done.stdout + done.stderr))
    check(after == before, "a refused retag leaves the file unchanged")
    check(len(decoded(wma)[1]) > 0, "the file still decodes after the refused retag")
    # An edit that changes no value asks no editor and writes nothing.
    stamp = os.stat(wma).st_mtime_ns
    done = run("tag", windows_path(wma), "-lyrics", ok=False)
    with open(wma, "rb") as f:
        unchanged = f.read() == before
    check(done.returncode == 0 and unchanged and os.stat(wma).st_mtime_ns == stamp,
          "an edit that changes nothing succeeds without writing: %d %s" % (done.returncode, done.stdout + done.stderr))


# The longest a run may take when the runtime never ends a call: the
# input's own bound on one call, then start-up and clean-up.
RUN_BOUND = 40
ASF_FILE_PROPERTIES = bytes.fromhex("a1dcab8c47a9cf118ee400c00c205365")


def bounded(*args):
    """(exit code, output, seconds) of one zorvtool run; None as the code when it did not end."""
    started = time.monotonic()
    try:
        done = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, *args], capture_output=True, text=True,
                              encoding="utf-8", errors="replace", timeout=RUN_BOUND * 3)
        return done.returncode, done.stdout + done.stderr, time.monotonic() - started
    except subprocess.TimeoutExpired:
        return None, "", time.monotonic() - started


def test_runs_end(work):
    """Whatever the platform's runtime does with a file, a decode, a read and
    a write end within a bound, with audio or a message."""
    wma = os.path.join(work, "tones.wma")
    with open(wma, "rb") as f:
        data = f.read()
    doubled = os.path.join(work, "doubled.wma")
    with open(doubled, "wb") as f:
        f.write(data + data)
    endless = os.path.join(work, "endless.wma")
    at = data.index(ASF_FILE_PROPERTIES) + 64
    with open(endless, "wb") as f:
        f.write(data[:at] + b"\xff" * 8 + data[at + 8:])
    for path in (doubled, endless):
        name = os.path.basename(path)
        with open(path, "rb") as f:
            before = f.read()
        for args in (("decode", windows_path(path), windows_path(path + ".wav")), ("info", windows_path(path)),
                     ("tag", windows_path(path), "-title")):
            code, output, seconds = bounded(*args)
            check(code is not None and seconds < RUN_BOUND and code < 128 and (code == 0 or output.strip()),
                  "%s: %s ends in %.1f s (%s): %s" % (name, args[0], seconds, code, output.strip()[-200:]))
        with open(path, "rb") as f:
            check(f.read() == before, "%s: the file is untouched" % name)

    # Removing tags from a file the reader cannot open, many times over: each
    # run ends and leaves it as it was.
    damaged = os.path.join(work, "unreadable.wma")
    body = b"\x30\x26\xb2\x75" + b"\0" * 4000
    tries = int(os.environ.get("ZORV_WMA_TRIES", "40"))

    def one(n):
        path = os.path.join(work, "unreadable-%d.wma" % n)
        with open(path, "wb") as f:
            f.write(body)
        code, output, seconds = bounded("tag", windows_path(path), "-title")
        with open(path, "rb") as f:
            same = f.read() == body
        return code is not None and seconds < RUN_BOUND and code != 0 and output.strip() != "" and same, seconds

    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(one, range(tries)))
    slowest = max(seconds for _, seconds in results)
    check(all(ok for ok, _ in results), "%d of %d tag removals from an unreadable file ended refused and left it "
          "untouched (slowest %.1f s)" % (sum(ok for ok, _ in results), tries, slowest))


def main():
    with tempfile.TemporaryDirectory() as work:
        test_decode_and_seek(work)
        test_claims_and_failures(work)
        test_tag_writing_refused(work)
        test_runs_end(work)
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
