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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
RATE = 44100


def run(*args, ok=True):
    done = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, *args], capture_output=True, text=True, encoding="utf-8",
                          errors="replace")
    if ok and done.returncode != 0:
        raise RuntimeError("zorvtool %s failed: %s%s" % (args[:1], done.stdout, done.stderr))
    return done


def tool(*args):
    subprocess.run(args, check=True, capture_output=True)


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


def worst_difference(ours, theirs, frame_offset, channels):
    """The largest difference of `ours` against `theirs` from frame
    `frame_offset` on (negative: ours starts later), over what both hold."""
    if frame_offset >= 0:
        a, b = ours, theirs[frame_offset * channels:]
    else:
        a, b = ours[-frame_offset * channels:], theirs
    n = min(len(a), len(b))
    if n < RATE:
        return 1 << 16
    return max(abs(x - y) for x, y in zip(a[:n], b[:n]))


def best_alignment(ours, theirs, channels, around, reach):
    """The frame offset near `around` where `ours` follows `theirs` best."""
    probe = ours[:4096 * channels]
    best = None
    for offset in range(around - reach, around + reach + 1):
        start = offset * channels
        if start < 0 or start + len(probe) > len(theirs):
            continue
        error = sum(abs(x - y) for x, y in zip(probe, theirs[start:start + len(probe)]))
        if best is None or error < best[0]:
            best = (error, offset)
    return best[1] if best else None


def test_decode_and_seek(work):
    source = os.path.join(work, "tones.wav")
    tool("sox", "-n", "-r", str(RATE), "-b", "16", "-c", "2", source, "synth", "4", "sine", "440", "sine", "660",
         "vol", "0.5")
    wma = os.path.join(work, "tones.wma")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "wmav2", "-b:a", "128k", wma)
    reference = os.path.join(work, "reference.wav")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", wma, "-c:a", "pcm_s16le", reference)
    _, theirs = pcm16(reference)

    channels, ours = decoded(wma)
    check(channels == 2, "wmav2 decodes in stereo, not %d channels" % channels)
    # Decoders differ only in how much of the start (the decoder delay) they drop.
    delay = best_alignment(ours, theirs, channels, 0, 4096)
    worst = worst_difference(ours, theirs, delay, channels) if delay is not None else 1 << 16
    check(worst <= 1, "wmav2 decodes within 1 LSB of ffmpeg after a delay of %s frames: worst %d" % (delay, worst))
    check(abs(len(ours) // channels - 4 * RATE) < 4096,
          "wmav2 decodes to about its length: %d frames" % (len(ours) // channels))

    _, sought = decoded(wma, "--seek", "2.5")
    target = int(2.5 * RATE)
    landed = best_alignment(sought, ours, channels, target, 2048)
    check(landed == target, "a seek to 2.5 s starts at frame %d, not %s" % (target, landed))
    if landed is not None:
        check(worst_difference(sought, ours, landed, channels) <= 1, "after a seek the decode matches the whole one")

    _, nothing = decoded(wma, "--seek", "60")
    check(len(nothing) == 0, "a seek past the end decodes nothing (%d samples)" % len(nothing))

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


def main():
    with tempfile.TemporaryDirectory() as work:
        test_decode_and_seek(work)
        test_claims_and_failures(work)
        test_tag_writing_refused(work)
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all passed")


if __name__ == "__main__":
    main()
