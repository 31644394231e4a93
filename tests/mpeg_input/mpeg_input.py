#!/usr/bin/python3
"""Black-box runs of zorvtool on MPEG audio files made here with sox, lame and ffmpeg.

usage: mpeg_input.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import tiny_png, windows_path  # noqa: E402
from damaged_streams import mp3_with_padding  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
BATCH = ZorvtoolBatch([WINE_EXEC, BUILD_DIR, ZORVTOOL])
SOURCE_FRAMES = 44100
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what)
    if not condition:
        failures.append(what)


def run_tool(exe, *args, cold=False):
    """`cold`: in a process that has read no file yet, as a lone run is."""
    if exe == ZORVTOOL:
        run = BATCH.run(*args, cold=cold)
    else:
        run = subprocess.run([WINE_EXEC, BUILD_DIR, exe, *args], capture_output=True, text=True, encoding="utf-8")
    return run.returncode, run.stdout, run.stderr


def decode(path, out, *extra, exe=None, cold=False):
    code, _, err = run_tool(exe or ZORVTOOL, "decode", windows_path(path), windows_path(out), "--bits", "16", *extra,
                            cold=cold)
    if code != 0:
        raise RuntimeError("decode of %s failed: %s" % (path, err))
    return read_wav(out), err


def info(path):
    code, out, err = run_tool(ZORVTOOL, "info", windows_path(path))
    if code != 0:
        raise RuntimeError("info of %s failed: %s" % (path, err))
    return json.loads(out)["subsongs"][0]["info"]


def tech(data, name):
    value = data.get("technical", data).get(name)
    return value[0] if isinstance(value, list) else value


def read_wav(path):
    with wave.open(path, "rb") as w:
        count = w.getnframes() * w.getnchannels()
        return list(struct.unpack("<%dh" % count, w.readframes(w.getnframes()))), w.getnchannels()


def max_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def frames_in(path):
    """Offsets and lengths of the MPEG-1 Layer III frames after any ID3v2 tag."""
    data = open(path, "rb").read()
    pos = 0
    if data[:3] == b"ID3":
        size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
        pos = 10 + size
    rates = [44100, 48000, 32000]
    kbps = [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]
    frames = []
    while pos + 4 <= len(data) and data[pos] == 0xFF and (data[pos + 1] & 0xE0) == 0xE0:
        length = 144000 * kbps[data[pos + 2] >> 4] // rates[(data[pos + 2] >> 2) & 3] + ((data[pos + 2] >> 1) & 1)
        frames.append((pos, length))
        pos += length
    return frames


def lame_tag(path):
    """(delay, padding) of the encoder extension in the first frame."""
    data = open(path, "rb").read()
    at = data.find(b"Xing")
    if at < 0:
        at = data.find(b"Info")
    flags = struct.unpack(">I", data[at + 4:at + 8])[0]
    p = at + 8 + (4 if flags & 1 else 0) + (4 if flags & 2 else 0) + (100 if flags & 4 else 0) + (4 if flags & 8 else 0)
    b = data[p + 21:p + 24]
    return (b[0] << 4) | (b[1] >> 4), ((b[1] & 0x0F) << 8) | b[2]


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def damaged_and_short_files(work, plain):
    audio = open(plain, "rb").read()
    (whole, _), _ = decode(plain, os.path.join(work, "plain-again.wav"))

    # An ID3v2 frame whose size runs past the tag: the audio still plays and
    # lists, with a warning; writing over the tag is refused, nothing changed.
    def frame(name, data, size=None):
        return name + struct.pack(">I", len(data) if size is None else size) + b"\0\0" + data
    body = frame(b"TIT2", b"\x03Title") + frame(b"TPE1", b"\x03Artist", size=5000)
    damaged = os.path.join(work, "damaged_id3v2.mp3")
    open(damaged, "wb").write(b"ID3\x03\x00\x00" + syncsafe(len(body)) + body + audio)
    (samples, _), err = decode(damaged, os.path.join(work, "damaged.wav"))
    check(samples == whole, "a damaged ID3v2 tag leaves the audio whole")
    check("warning:" in err and "ID3v2" in err, "the damaged tag is reported as a warning (%s)" % err.strip())
    check(info(damaged)["length"] == info(plain)["length"], "a file with a damaged tag lists")
    before = open(damaged, "rb").read()
    code, _, _ = run_tool(ZORVTOOL, "tag", windows_path(damaged), "title=New")
    check(code != 0 and open(damaged, "rb").read() == before, "a tag write over the damage is refused, the file unchanged")

    # Three frames behind an ID3v2.2 tag with a PNG picture: as many frames as
    # there are, chained to the end of the file.
    three = b"".join(audio[at:at + length] for at, length in frames_in(plain)[:3])
    picture = b"\x00PNG\x03\x00" + tiny_png()
    title = b"\x00Short"
    body = b"TT2" + struct.pack(">I", len(title))[1:] + title + b"PIC" + struct.pack(">I", len(picture))[1:] + picture
    tag = b"ID3\x02\x00\x00" + syncsafe(len(body)) + body
    short = os.path.join(work, "short.mp3")
    open(short, "wb").write(tag + three)
    (samples, channels), _ = decode(short, os.path.join(work, "short.wav"))
    check(len(samples) // channels == 3 * 1152 - 529, "three frames play (%d samples)" % (len(samples) // channels))
    listed = info(short)
    check(listed["fields"].get("title") in ("Short", ["Short"]), "the short file lists its tags: %s" % listed)
    # Bytes that read as the header of a frame longer than the rest of the
    # file are passed over; one frame alone, ending the file, still lists.
    false_start = os.path.join(work, "false_start.mp3")
    open(false_start, "wb").write(tag + b"\xFF\xFB\xE8\x64" + bytes(20) + three)
    (samples, channels), _ = decode(false_start, os.path.join(work, "false_start.wav"))
    check(len(samples) // channels == 3 * 1152 - 529, "a false frame start before a short stream is passed over")
    # A LAME tag whose trim leaves no sample (two frames, all delay and
    # padding, behind lame's own Info frame): it still lists.
    source = os.path.join(work, "empty.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "trim", "0", "0"], check=True)
    empty = os.path.join(work, "empty.mp3")
    subprocess.run(["lame", "--quiet", "-b128", source, empty], check=True)
    data = open(empty, "rb").read()
    info_at = data.find(b"Info")
    # The Info frame, then two frames of silence; the tag says two frames,
    # delay 576 and padding 1,728.
    first = frames_in(empty)[0][1]
    silent = data[first:first + frames_in(empty)[1][1]]
    two = bytearray(data[:first]) + silent * 2
    two[info_at + 8:info_at + 12] = struct.pack(">I", 2)
    lame_at = info_at + 8 + 4 + 4 + 100 + 4 + 21
    two[lame_at:lame_at + 3] = bytes([576 >> 4, ((576 & 0xF) << 4) | (1728 >> 8), 1728 & 0xFF])
    nothing = os.path.join(work, "nothing.mp3")
    open(nothing, "wb").write(tag + bytes(two))
    check(lame_tag(nothing) == (576, 1728), "the trim is delay 576, padding 1,728: %s" % (lame_tag(nothing),))
    try:
        listed = info(nothing)
    except RuntimeError as error:
        listed = {"error": str(error)}
    check(listed.get("length") == 0 and listed.get("fields", {}).get("title") in ("Short", ["Short"]),
          "a stream trimmed to nothing lists with length 0 and its tags: %s" % listed)
    code, _, err = run_tool(ZORVTOOL, "decode", windows_path(nothing), windows_path(nothing + ".wav"))
    check(code in (0, 1) and "Unsupported format" not in err, "it decodes to no audio (%s)" % err.strip())

    single = os.path.join(work, "single.mp3")
    open(single, "wb").write(tag + three[:frames_in(plain)[0][1]] + b"TAG" + bytes(125))
    check(abs(info(single)["length"] - 1152 / 44100) < 1e-9, "a single frame before an ID3v1 tag lists")


def cut_files(work):
    """Files cut anywhere play the whole frames before the cut, behind a VBR
    or an Info header as without one."""
    source = os.path.join(work, "four.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "4", "sine", "440-880"],
                   check=True)
    for name, options in (("vbr", ["-V2"]), ("cbr", ["-b128", "--cbr"]), ("plain", ["-t", "-b128"])):
        path = os.path.join(work, "four-%s.mp3" % name)
        subprocess.run(["lame", "--quiet", *options, source, path], check=True)
        data = open(path, "rb").read()
        (whole, channels), _ = decode(path, path + ".wav")
        for percent in (10, 35, 60, 90):
            cut = os.path.join(work, "cut%d-%s.mp3" % (percent, name))
            open(cut, "wb").write(data[:len(data) * percent // 100])
            code, _, err = run_tool(ZORVTOOL, "decode", windows_path(cut), windows_path(cut + ".wav"), "--bits", "16")
            played = read_wav(cut + ".wav")[0] if code == 0 else []
            expected = len(whole) * percent // 100
            check(code == 0 and abs(len(played) - expected) < len(whole) // 20 and
                  max_difference(played, whole) <= 3,
                  "%s cut at %d%% plays what is there: %d of about %d samples (%s)" %
                  (name, percent, len(played), expected, err.strip()))


def impossible_padding(work):
    """A LAME padding longer than what the delay leaves of the frames is
    ignored, as ffmpeg ignores it: the 47 samples of a tiny file play."""
    source = os.path.join(work, "tiny.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "1", "-b", "16", source, "synth", "47s", "sine", "440"],
                   check=True)
    made = os.path.join(work, "tiny.mp3")
    subprocess.run(["lame", "--quiet", source, made], check=True)
    for padding in (1800, 4000):
        path = os.path.join(work, "padding%d.mp3" % padding)
        open(path, "wb").write(mp3_with_padding(open(made, "rb").read(), padding))
        reference = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"], capture_output=True,
                                   check=True).stdout
        expected = list(struct.unpack("<%dh" % (len(reference) // 2), reference))
        code, _, err = run_tool(ZORVTOOL, "decode", windows_path(path), windows_path(path + ".wav"), "--bits", "16")
        played = read_wav(path + ".wav")[0] if code == 0 else []
        check(code == 0 and len(expected) == 47 and len(played) >= 47 and
              max_difference(played[:47], expected) <= 3,
              "padding %d: the first %d samples play as ffmpeg's (%d played, %s)" %
              (padding, len(expected), len(played), err.strip()))


def main():
    work = tempfile.mkdtemp(prefix="zorv-mpeg-")
    try:
        source = os.path.join(work, "source.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "1",
                        "sine", "440", "sine", "660", "gain", "-6"], check=True)
        files = {
            "vbr": (["lame", "--quiet", "-V2"], "VBR V2"),
            "cbr": (["lame", "--quiet", "-b128", "--cbr"], "CBR"),
        }
        made = {}
        for name, (command, _) in files.items():
            made[name] = os.path.join(work, name + ".mp3")
            subprocess.run(command + [source, made[name]], check=True)
        made["ffmpeg"] = os.path.join(work, "ffmpeg.mp3")
        subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", source, "-c:a", "libmp3lame", "-b:a", "192k",
                        made["ffmpeg"]], check=True)

        # Gapless: exactly the source's length, close to lame's own decode.
        for name, path in made.items():
            (samples, channels), _ = decode(path, os.path.join(work, name + ".wav"))
            check(len(samples) // channels == SOURCE_FRAMES, "%s decodes to %d frames (got %d)"
                  % (name, SOURCE_FRAMES, len(samples) // channels))
            reference = os.path.join(work, name + "-lame.wav")
            subprocess.run(["lame", "--quiet", "--decode", path, reference], check=True)
            expected, _ = read_wav(reference)
            shift = len(expected) - len(samples)
            if shift >= 0:
                difference = max_difference(samples, expected[:len(samples)])
                # The system decoder rounds a little differently from lame's.
                check(difference <= 3, "%s is within 3 LSB of lame's decode (max %d)" % (name, difference))
            data = info(path)
            delay, padding = lame_tag(path)
            check(tech(data, "enc_delay") in ("576", 576) and str(tech(data, "enc_padding")) == str(padding),
                  "%s reports enc_delay 576 and enc_padding %d (%s, %s)"
                  % (name, padding, tech(data, "enc_delay"), tech(data, "enc_padding")))
            check(tech(data, "mp3_accurate_length") == "yes", "%s has an accurate length" % name)
            if name in files:
                check(tech(data, "codec_profile") == files[name][1],
                      "%s profile %s (got %s)" % (name, files[name][1], tech(data, "codec_profile")))

        # Without an info tag: 529 samples of decoder delay skipped, nothing cut at the end.
        plain = os.path.join(work, "plain.mp3")
        subprocess.run(["lame", "--quiet", "-t", "-b128", source, plain], check=True)
        (samples, channels), _ = decode(plain, os.path.join(work, "plain.wav"))
        expected_frames = len(frames_in(plain)) * 1152 - 529
        check(len(samples) // channels == expected_frames,
              "an untagged stream plays frames x 1152 - 529 = %d (got %d)" % (expected_frames, len(samples) // channels))
        check(tech(info(plain), "codec_profile") == "CBR", "an untagged stream reports CBR")

        # Seeking equals decoding from floor(t * rate + 0.5). The file was
        # decoded whole above: each seek but the last starts cold, with no
        # points learnt of the file; the last uses those its cold one learnt.
        whole, channels = read_wav(os.path.join(work, "vbr.wav"))
        for seconds, cold in (("0.5", True), ("0.73", True), ("0.73", False)):
            (part, _), _ = decode(made["vbr"], os.path.join(work, "seek.wav"), "--seek", seconds, cold=cold)
            start = int(float(seconds) * 44100 + 0.5) * channels
            check(len(part) == len(whole) - start, "seek to %s leaves %d samples (got %d)"
                  % (seconds, len(whole) - start, len(part)))
            difference = max_difference(part, whole[start:])
            # Exact alignment; the system decoder's rounding depends on the
            # frame it started at, by a few LSB.
            check(difference <= 3, "seek to %s gives the samples of a plain decode (max %d)" % (seconds, difference))
        code, _, err = run_tool(ZORVTOOL, "decode", windows_path(made["vbr"]), windows_path(os.path.join(work, "far.wav")),
                                "--seek", "1e300", cold=True)
        check(code == 1 and "gave no audio" in err, "a seek far past the end gives no audio (%d, %s)" % (code, err.strip()))

        # Damage: garbage between frames, and an ID3v1 block inside the stream.
        frames = frames_in(plain)
        data = open(plain, "rb").read()
        cut = frames[20][0]
        garbage = os.path.join(work, "garbage.mp3")
        open(garbage, "wb").write(data[:cut] + b"\x00garbage!" * 7 + data[cut:])
        _, err = decode(garbage, os.path.join(work, "garbage.wav"))
        check("MPEG stream error at %d bytes" % cut in err, "garbage reports the stream error at %d" % cut)
        check("MPEG stream resync successful at %d" % (cut + 63) in err, "garbage reports the resync at %d" % (cut + 63))
        tagged = os.path.join(work, "midtag.mp3")
        open(tagged, "wb").write(data[:cut] + b"TAG" + b"\x20" * 125 + data[cut:])
        (samples, channels), err = decode(tagged, os.path.join(work, "midtag.wav"))
        check("ID3 tag garbage inside MPEG stream at %d bytes" % cut in err, "a mid-stream TAG is reported at %d" % cut)
        check(len(samples) // channels == expected_frames, "a mid-stream TAG costs no audio")

        # The layer II file of ffmpeg plays through the same decoder.
        mp2 = os.path.join(work, "layer2.mp2")
        subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", source, "-c:a", "mp2", "-b:a", "192k", mp2], check=True)
        (samples, channels), _ = decode(mp2, os.path.join(work, "layer2.wav"))
        check(abs(len(samples) // channels - SOURCE_FRAMES) <= 1152, "an MP2 file decodes (%d frames)" % (len(samples) // channels))
        check(tech(info(mp2), "codec") == "MP2", "an MP2 file reports codec MP2")

        # No encoder here writes Layer I: 100 silent frames (44100 Hz, mono, 128 kbps, 136 bytes each).
        mp1 = os.path.join(work, "layer1.mp1")
        open(mp1, "wb").write((b"\xFF\xFF\x40\xC0" + bytes(132)) * 100)
        (samples, channels), _ = decode(mp1, os.path.join(work, "layer1.wav"))
        check(len(samples) == 100 * 384 and tech(info(mp1), "codec") == "MP1", "an MP1 file reads and decodes")

        # Windows XP takes the ACM path directly.
        xp = os.path.join(os.path.dirname(ZORVTOOL), "zorvtool_xp.exe")
        shutil.copyfile(ZORVTOOL, xp)
        subprocess.run([WINE_EXEC, BUILD_DIR, "reg", "add", "HKCU\\Software\\Wine\\AppDefaults\\zorvtool_xp.exe",
                        "/v", "Version", "/d", "winxp", "/f"], capture_output=True, check=True)
        (samples, channels), _ = decode(made["vbr"], os.path.join(work, "xp.wav"), exe=xp)
        check(samples == whole, "under Windows XP the decode is the same as under the default version")

        # An untagged file gains the default scheme's tags (ID3v2 and ID3v1).
        untagged = os.path.join(work, "untagged.mp3")
        shutil.copyfile(plain, untagged)
        code, _, err = run_tool(ZORVTOOL, "tag", windows_path(untagged), "title=Zorv")
        check(code == 0, "tagging an untagged file works (%s)" % err.strip())
        tagtype = str(tech(info(untagged), "tagtype")).lower()
        check("id3v2" in tagtype and "id3v1" in tagtype, "an untagged file gains ID3v2 and ID3v1 (%s)" % tagtype)
        (samples, channels), _ = decode(untagged, os.path.join(work, "untagged.wav"))
        check(len(samples) // channels == expected_frames, "the tagged copy still plays whole")

        cut_files(work)
        impossible_padding(work)
        damaged_and_short_files(work, plain)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)


main()
