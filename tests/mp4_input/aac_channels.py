#!/usr/bin/python3
"""AAC of every channel count, in MP4 and Matroska as ffmpeg writes it, and
mono HE-AAC, decoded through the real zorvtool against ffmpeg's own decode:
every channel in its place, in speaker-mask order as ffmpeg hands them on.

usage: aac_channels.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402
from decoded_audio import snr_db, wav  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
run = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def tones(work, name, channels, layout):
    """AAC of a second of a low tone per channel, a different one in each (the
    low frequency channel carries only low tones); no layout: ffmpeg's own."""
    path = os.path.join(work, name)
    pitches = "|".join("0.3*sin(2*PI*%d*t)" % (50 + 10 * c) for c in range(channels))
    source = "aevalsrc=%s:s=48000:d=1%s" % (pitches, ":channel_layout=" + layout if layout else "")
    tool("ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", source, "-c:a", "aac", path)
    return path


def decode(path):
    """(channels, mask, samples) of zorvtool's decode, or the error it gave."""
    out = path + ".out.wav"
    done = run("decode", windows_path(path), windows_path(out), "--bits", "32", ok=False)
    if done.returncode != 0:
        # The last lines: the frame that failed last and the end of the run.
        return " / ".join((done.stdout + done.stderr).strip().splitlines()[-2:])
    return wav(out)


def reference(path):
    out = path + ".ref.wav"
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", path, "-c:a", "pcm_f32le", out)
    return wav(out)


def channel_snrs(channels, ours, theirs):
    """Each channel of ours against the same channel of ffmpeg's decode, at
    the start offset that suits the first channel best (the containers'
    trimming of the encoder's priming is not what is compared here)."""
    def channel(samples, c, skip):
        return samples[(max(skip, 0)) * channels + c::channels]
    offsets = (0, 1024, -1024)
    best = max(offsets, key=lambda o: snr_db(channel(theirs, 0, -o)[:24000], channel(ours, 0, o)[:24000]))
    return [round(snr_db(channel(theirs, c, -best)[:40000], channel(ours, c, best)[:40000]), 1)
            for c in range(channels)]


def test_every_channel_count(work):
    layouts = [("mono", 1), ("stereo", 2), ("2.1", 3), ("3.0", 3), ("4.0", 4), ("5.0", 5), ("5.1", 6), (None, 6),
               ("7.1", 8)]
    for layout, channels in layouts:
        m4a = tones(work, "%d-%s.m4a" % (channels, layout), channels, layout)
        files = [m4a]
        if channels > 2:
            mka = m4a[:-4] + ".mka"
            tool("ffmpeg", "-loglevel", "error", "-y", "-i", m4a, "-c", "copy", mka)
            files.append(mka)
        for path in files:
            name = os.path.basename(path)
            ours = decode(path)
            if isinstance(ours, str):
                check(False, "%s decodes: %s" % (name, ours))
                continue
            got_channels, got_mask, samples = ours
            their_channels, their_mask, their_samples = reference(path)
            check(got_channels == their_channels == channels, "%s decodes to %d channels, ffmpeg %d" %
                  (name, got_channels, their_channels))
            if their_mask and got_channels > 2:
                check(got_mask == their_mask, "%s: speakers 0x%x, ffmpeg's 0x%x" % (name, got_mask or 0, their_mask))
            if got_channels == channels:
                snrs = channel_snrs(channels, samples, their_samples)
                check(min(snrs) > 30, "%s: each channel where ffmpeg puts it (dB per channel: %s)" % (name, snrs))


def test_seven_channels_say_why(work):
    # ffmpeg describes 6.1 and 7.0 by program config elements that the
    # system's decoder (under Wine) gives no speakers for.
    for layout in ("6.1", "7.0"):
        m4a = tones(work, "7-%s.m4a" % layout, 7, layout)
        ours = decode(m4a)
        if isinstance(ours, str):
            check("cannot play this layout of 7 channels" in ours, "7 channels (%s) say why: %s" % (layout, ours))
        else:
            check(ours[0] == 7, "7 channels (%s) decode to %d" % (layout, ours[0]))


def replace_audio_config(path, config):
    """Puts another AAC configuration into the file's esds, resizing the
    boxes and descriptors around it (ffmpeg puts the movie box after the
    media data, so no chunk offset moves)."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    moov = data.index(b"moov") - 4
    esds = data.index(b"esds", moov) - 4
    holders = []
    header = {b"moov": 8, b"trak": 8, b"mdia": 8, b"minf": 8, b"stbl": 8, b"stsd": 16, b"mp4a": 36}
    start, end = moov, len(data)
    while start + 8 <= end:
        size, kind = struct.unpack_from(">I", data, start)[0], bytes(data[start + 4:start + 8])
        if not start <= esds < start + size:
            start += size
            continue
        holders.append(start)
        if kind not in header:
            break
        start, end = start + header[kind], start + size
    # ES, decoder config and decoder specific descriptors, each with a
    # four-byte length.
    at, lengths = esds + 12, []
    while True:
        lengths.append(at + 4)
        if data[at] == 5:
            break
        at += 5 + (3 if data[at] == 3 else 13)
    old = data[lengths[-1]]
    data[lengths[-1] + 1:lengths[-1] + 1 + old] = config
    for q in lengths:
        data[q] += len(config) - old
    for h in holders:
        struct.pack_into(">I", data, h, struct.unpack_from(">I", data, h)[0] + len(config) - old)
    with open(path, "wb") as f:
        f.write(data)


def test_mono_he_aac(work):
    """Mono AAC LC at 22050 Hz signalled as SBR at 44100 Hz (Debian's ffmpeg
    cannot encode HE-AAC), with parametric stereo ruled out or in by the
    extension that follows the SBR one."""
    for stereo in (0, 1):
        name = "he-mono-ps%d.m4a" % stereo
        path = os.path.join(work, name)
        tool("ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=f=440:d=2:r=22050", "-c:a", "aac", path)
        bits = "00010" "0111" "0001" "000" + format(0x2B7, "011b") + "00101" "1" "0100" + format(0x548, "011b") + str(stereo)
        bits += "0" * (-len(bits) % 8)
        replace_audio_config(path, int(bits, 2).to_bytes(len(bits) // 8, "big"))
        probed = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=channels", "-of", "csv=p=0",
                                 path], capture_output=True, text=True, check=True).stdout.strip()
        ours = decode(path)
        their_channels, _, _ = reference(path)
        check(not isinstance(ours, str) and ours[0] == their_channels == int(probed) == 1 + stereo,
              "%s decodes to %s channels, ffmpeg %d, ffprobe %s" %
              (name, ours if isinstance(ours, str) else ours[0], their_channels, probed))


def main():
    with tempfile.TemporaryDirectory() as work:
        test_every_channel_count(work)
        test_seven_channels_say_why(work)
        test_mono_he_aac(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
