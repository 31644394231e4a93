#!/usr/bin/python3
"""FLAC decoding, seeking, cue tracks and retagging through zorvtool, against flac and metaflac.

usage: flac_input.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import array
import json
import math
import os
import random
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tiny_png, windows_path, zorvtool_runner  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def info(path):
    return json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"]


def decoded_floats(path, *options):
    """The float samples zorvtool decode writes, as raw float32 bytes, and the channel count."""
    out = path + ".out.wav"
    zorvtool("decode", windows_path(path), windows_path(out), *options)
    with open(out, "rb") as f:
        data = f.read()
    os.remove(out)
    channels = struct.unpack_from("<H", data, data.index(b"fmt ") + 10)[0]
    start = data.index(b"data") + 8
    return data[start:], channels


def reference_floats(path, bits):
    """flac -d of the same file, each sample x as float32 x / 2^(bits - 1)."""
    raw = path + ".ref.raw"
    subprocess.run(["flac", "-s", "-f", "-d", "--force-raw-format", "--endian=little", "--sign=signed",
                    "-o", raw, path], check=True)
    with open(raw, "rb") as f:
        data = f.read()
    os.remove(raw)
    width = (bits + 7) // 8
    scale = 1.0 / (1 << (bits - 1))
    if width == 3:
        ints = [int.from_bytes(data[i:i + 3], "little", signed=True) for i in range(0, len(data), 3)]
    else:
        ints = array.array({1: "b", 2: "h", 4: "i"}[width], data)
    return array.array("f", [x * scale for x in ints]).tobytes()


def make_flac(path, bits, channels, rate, frames, encode_options=(), tone=False):
    """Noise (or a sine) of the given shape, encoded by flac from raw input."""
    rng = random.Random(bits * 1000 + channels * 10 + frames)
    peak = (1 << (bits - 1)) - 1
    if tone:
        samples = [int(peak * 0.5 * math.sin(2 * math.pi * 440 * (i // channels) / rate)) for i in range(frames * channels)]
    else:
        samples = [rng.randint(-peak - 1, peak) for _ in range(frames * channels)]
    width = (bits + 7) // 8
    raw = path + ".in.raw"
    with open(raw, "wb") as f:
        f.write(b"".join(s.to_bytes(width, "little", signed=True) for s in samples))
    subprocess.run(["flac", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                    "--channels=%d" % channels, "--bps=%d" % bits, "--sample-rate=%d" % rate,
                    *encode_options, "-o", path, raw], check=True)
    os.remove(raw)


def metaflac(*args):
    return subprocess.run(["metaflac", *args], capture_output=True, text=True, check=True).stdout


def block_types(path):
    return [line.split()[1] for line in metaflac("--list", path).splitlines() if line.startswith("  type:")]


def audio_frames(path):
    """The bytes after the last metadata block."""
    with open(path, "rb") as f:
        data = f.read()
    pos = data.index(b"fLaC") + 4
    while True:
        last, length = data[pos] & 0x80, int.from_bytes(data[pos + 1:pos + 4], "big")
        pos += 4 + length
        if last:
            return data[pos:]


def metadata_block_types(path):
    """The metadata block types in file order, read from the block headers
    (metaflac's listing also prints a picture's own type as "type:")."""
    with open(path, "rb") as f:
        data = f.read()
    pos, types = data.index(b"fLaC") + 4, []
    while True:
        types.append(data[pos] & 0x7F)
        if data[pos] & 0x80:
            return types
        pos += 4 + int.from_bytes(data[pos + 1:pos + 4], "big")


def add_raw_block(path, block_type, payload):
    """Inserts a metadata block right after STREAMINFO, as a damaged or foreign tool might write it."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pos = data.index(b"fLaC") + 4
    length = int.from_bytes(data[pos + 1:pos + 4], "big")
    was_last = data[pos] & 0x80
    data[pos] &= 0x7F
    header = bytes([block_type | was_last]) + len(payload).to_bytes(3, "big")
    data[pos + 4 + length:pos + 4 + length] = header + payload
    with open(path, "wb") as f:
        f.write(data)


def bad_cuesheet(track_offsets):
    """A CUESHEET payload whose tracks start at the given sample offsets (lead-out last)."""
    out = b"\0" * 128 + (0).to_bytes(8, "big") + b"\0" + b"\0" * 258 + bytes([len(track_offsets)])
    for number, offset in track_offsets:
        out += offset.to_bytes(8, "big") + bytes([number]) + b"\0" * 12 + b"\0" + b"\0" * 13
        indices = [] if number == 170 else [(1, 0)]
        out += bytes([len(indices)])
        for index, index_offset in indices:
            out += index_offset.to_bytes(8, "big") + bytes([index]) + b"\0" * 3
    return out


def test_exactness(work):
    # bits, channels, rate, frames, encoder options, why
    cases = [
        (16, 2, 44100, 44100 * 2 + 123, (), "16-bit stereo with an odd final block"),
        (8, 1, 22050, 30011, (), "8-bit mono"),
        (24, 2, 96000, 96000 + 77, (), "24-bit stereo at 96 kHz"),
        (24, 6, 48000, 48000 + 5, (), "24-bit 5.1 takes the N-channel path"),
        (16, 1, 48000, 20000, ("-b", "192"), "tiny blocks"),
        (16, 2, 48000, 100003, ("-b", "16384", "--lax"), "large blocks"),
        (16, 2, 44100, 70001, ("-b", "65535", "--lax"), "the largest block"),
        (32, 2, 44100, 20003, (), "32-bit samples"),
        (16, 2, 384000, 100000, ("--lax",), "a very high sample rate"),
    ]
    for bits, channels, rate, frames, options, why in cases:
        path = os.path.join(work, "x%d_%d_%d.flac" % (bits, channels, rate))
        make_flac(path, bits, channels, rate, frames, options)
        got, got_channels = decoded_floats(path)
        check(got_channels == channels and got == reference_floats(path, bits), "decode exact: " + why)
        tech = info(path)[0]["info"]
        md5 = metaflac("--show-md5sum", path).strip().upper()
        check(json.dumps(tech).find(md5) >= 0, "md5 shown: " + why)

    # A leading ID3v2 tag before "fLaC".
    path = os.path.join(work, "id3.flac")
    make_flac(path, 16, 2, 44100, 30000)
    with open(path, "rb") as f:
        body = f.read()
    frame = b"TIT2" + (6).to_bytes(4, "big") + b"\0\0" + b"\0Hello"
    with open(path, "wb") as f:
        f.write(b"ID3\3\0\0" + bytes([0, 0, 0, len(frame)]) + frame + body)
    got, _ = decoded_floats(path)
    check(got == reference_floats(path, 16), "a file with a leading ID3v2 tag decodes")
    fields = info(path)[0]["info"]["fields"]
    check(any(k.lower() == "title" and v == ["Hello"] for k, v in fields.items()),
          "without comments the ID3v2 tag's fields show")
    # The ID3v2 tag is not written: a removal of its every field would leave
    # them shown, so it is refused; an edit that leaves a field writes the
    # comment block, which hides the tag.
    with open(path, "rb") as f:
        before = f.read()
    run = zorvtool("tag", windows_path(path), "-title", ok=False)
    with open(path, "rb") as f:
        check(run.returncode != 0 and "ID3v2" in run.stdout + run.stderr and f.read() == before,
              "removing the ID3v2 tag's only field is refused, saying why, file unchanged (exit %d): %s" %
              (run.returncode, run.stderr))
    zorvtool("tag", windows_path(path), "-title", "artist=Written")
    fields = {k.lower(): v for k, v in info(path)[0]["info"]["fields"].items()}
    check(fields == {"artist": ["Written"]} and metaflac("--export-tags-to=-", path).strip().lower() == "artist=written",
          "a removal beside an edit leaves only the edit, for zorvtool and metaflac: %r" % fields)


def test_seek_and_cue(work):
    rate = 44100
    path = os.path.join(work, "seek.flac")
    make_flac(path, 16, 2, rate, rate * 6 + 111, tone=True)
    whole, _ = decoded_floats(path)
    frame_bytes = 2 * 4
    for t in (0.0, 0.5, 1.23456, 3.0000001, 5.99):
        got, _ = decoded_floats(path, "--seek", repr(t))
        first = math.floor(t * rate + 0.5)
        check(got == whole[first * frame_bytes:], "seek to %r equals the whole decode from sample %d" % (t, first))

    cue = os.path.join(work, "sheet.cue")
    with open(cue, "w") as f:
        f.write('FILE "x.wav" WAVE\n  TRACK 01 AUDIO\n    INDEX 01 00:00:00\n'
                '  TRACK 02 AUDIO\n    INDEX 00 00:01:50\n    INDEX 01 00:02:00\n'
                '  TRACK 03 AUDIO\n    INDEX 01 00:04:37\n')
    metaflac("--import-cuesheet-from=" + cue, path)
    subsongs = info(path)
    check([s["subsong"] for s in subsongs] == [1, 2, 3], "three cue tracks give subsongs 1, 2 and 3")
    starts = [0, 2 * rate, (4 * 75 + 37) * rate // 75]
    parts = []
    for n, start in enumerate(starts, 1):
        got, _ = decoded_floats(path, "--subsong", str(n))
        end = starts[n] if n < len(starts) else len(whole) // frame_bytes
        check(got == whole[start * frame_bytes:end * frame_bytes],
              "cue track %d spans samples %d to %d" % (n, start, end))
        parts.append(got)
    check(b"".join(parts) == whole, "the cue tracks rejoin to the whole file")
    run = zorvtool("decode", windows_path(path), windows_path(path + ".wav"), "--subsong", "2", "--seek", "100",
                   ok=False)
    check("gave no audio" in run.stderr + run.stdout, "seeking past a cue track's end ends it")

    # Damaged metadata that must not make the file unplayable.
    damaged = os.path.join(work, "damaged.flac")
    make_flac(damaged, 16, 2, rate, 30000)
    reference = reference_floats(damaged, 16)
    metaflac("--set-tag=WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0xZZ", damaged)
    add_raw_block(damaged, 5, bad_cuesheet([(1, 20000), (2, 10000), (170, 30000)]))
    got, channels = decoded_floats(damaged)
    check(got == reference and channels == 2, "an unparsable channel mask and a backwards cue sheet still play")
    check(len(info(damaged)) == 1, "a backwards cue sheet leaves one subsong")


def test_retag(work):
    path = os.path.join(work, "tag.flac")
    make_flac(path, 16, 6, 48000, 20000, ("--no-padding",))
    metaflac("--set-tag=WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x60F", "--set-tag=TITLE=Old", path)
    vendor = metaflac("--show-vendor-tag", path)
    audio = audio_frames(path)
    reference = reference_floats(path, 16)
    inode = os.stat(path).st_ino

    zorvtool("tag", windows_path(path), "title=" + "Longer " * 20, "artist=A", "artist=B")
    types = block_types(path)
    check(types[-2:] == ["4", "1"] and metaflac("--list", "--block-type=PADDING", path).find("length: 512") >= 0,
          "growing comments without padding: comments then 512 bytes of padding, last")
    check(os.stat(path).st_ino != inode, "growing comments go through a temporary file")
    tags = metaflac("--export-tags-to=-", path).splitlines()
    check("WAVEFORMATEXTENSIBLE_CHANNEL_MASK=0x60F" in tags and tags.count("artist=A") + tags.count("ARTIST=A") == 1,
          "the channel mask is kept and each value is one comment")
    check(metaflac("--show-vendor-tag", path) == vendor, "the vendor string is kept")
    check(audio_frames(path) == audio, "the audio frames are untouched")
    got, _ = decoded_floats(path)
    check(got == reference, "the retagged file decodes the same")
    blocks = json.dumps(info(path)[0]["info"])
    check(blocks.find("0x60F") >= 0, "the 5.1 mask comment is read back")

    inode = os.stat(path).st_ino
    zorvtool("tag", windows_path(path), "title=Short")
    check(os.stat(path).st_ino == inode and audio_frames(path) == audio,
          "shrinking comments are written in place over the padding")
    check(block_types(path)[-1] in ("1", "4"), "metadata stays whole after an in-place write")


def test_decode_output(work):
    """The float WAV of zorvtool decode is a well-formed record that sox reads
    without a warning, and it is written in a few large pieces, not one
    system request per decoded block."""
    path = os.path.join(work, "ten.flac")
    make_flac(path, 16, 2, 44100, 44100 * 10)
    out = os.path.join(work, "ten.wav")
    # Wine's file channel traces every write request; those at an explicit
    # offset are the program's writes to its output file.
    traced = subprocess.run(["bash", "-c", '. "$1/wine-session.env"; WINEDEBUG=trace+file wine "$2" decode "$3" "$4"',
                             "trace", BUILD_DIR, ZORVTOOL, windows_path(path), windows_path(out)],
                            capture_output=True, text=True, errors="replace")
    check(traced.returncode == 0, "decode under the file trace: " + traced.stdout + traced.stderr[-500:])
    writes = [line for line in traced.stderr.splitlines()
              if "NtWriteFile (" in line and line.split(",")[7].startswith("0x")]
    check(0 < len(writes) <= 10, "10 s decoded in a few large writes, not %d" % len(writes))
    with open(out, "rb") as f:
        data = f.read()
    at = data.index(b"fmt ")
    size, tag, cb_size = struct.unpack_from("<IH", data, at + 4) + struct.unpack_from("<H", data, at + 24)
    check(tag == 3 and size == 18 and cb_size == 0, "float format record of 18 bytes ending in cbSize 0 "
                                                    "(size %d, tag %d, cbSize %d)" % (size, tag, cb_size))
    sox = subprocess.run(["sox", out, "-n", "stat"], capture_output=True, text=True)
    check(sox.returncode == 0 and "WARN" not in sox.stderr, "sox reads the float WAV quietly: " + sox.stderr[:300])
    check(decoded_floats(path)[0] == reference_floats(path, 16), "the buffered output holds the whole decode")


def test_damaged_picture(work):
    """A PICTURE block whose description length runs past the block: the
    audio plays and lists with a warning; writing over it is refused."""
    path = os.path.join(work, "damaged_picture.flac")
    png = os.path.join(work, "cover.png")
    with open(png, "wb") as f:
        f.write(tiny_png())
    make_flac(path, 16, 2, 44100, 30000, tone=True)
    metaflac("--set-tag=TITLE=Before the picture", "--import-picture-from=3|image/png|cover|4x1x24|" + png, path)
    reference = reference_floats(path, 16)
    with open(path, "rb") as f:
        data = bytearray(f.read())
    pos = 4
    while data[pos] & 0x7F != 6:
        pos += 4 + int.from_bytes(data[pos + 1:pos + 4], "big")
    length = int.from_bytes(data[pos + 1:pos + 4], "big")
    mime_length = int.from_bytes(data[pos + 8:pos + 12], "big")
    description = pos + 12 + mime_length
    data[description:description + 4] = (length + 100).to_bytes(4, "big")
    with open(path, "wb") as f:
        f.write(data)

    out = path + ".out.wav"
    run = zorvtool("decode", windows_path(path), windows_path(out), ok=False)
    with open(out, "rb") as f:
        decoded = f.read()
    check(run.returncode == 0 and decoded[decoded.index(b"data") + 8:] == reference,
          "a damaged picture block leaves the audio playing: %s" % run.stderr)
    check("warning:" in run.stderr, "the damaged block is reported as a warning: %s" % run.stderr)
    listed = info(path)[0]["info"]
    check(abs(listed["length"] - 30000 / 44100) < 1e-9 and [v for k, v in listed["fields"].items() if k.lower() == "title"] == [["Before the picture"]],
          "the file lists with its length and the comments before the damage: %s" % listed)
    refused = zorvtool("tag", windows_path(path), "title=New", ok=False)
    with open(path, "rb") as f:
        check(refused.returncode != 0 and f.read() == data,
              "a tag write over the damage is refused, the file unchanged")


def test_edits_touch_only_what_changes(work):
    """An edit that changes nothing writes nothing; an edit keeps the other
    comments as they stand; a rewrite puts pictures before the comments."""
    path = os.path.join(work, "untouched.flac")
    make_flac(path, 16, 2, 44100, 20000)
    metaflac("--remove-all-tags", "--set-tag=Zeta=z", "--set-tag=TITLE=Old", "--set-tag=artist=A",
             "--set-tag=ARTIST=B", path)
    os.utime(path, (1000000000, 1000000000))
    audio = audio_frames(path)
    with open(path, "rb") as f:
        before = f.read()
    zorvtool("tag", windows_path(path), "-comment")
    with open(path, "rb") as f:
        check(f.read() == before and os.stat(path).st_mtime == 1000000000,
              "removing a field the file does not hold writes nothing")

    zorvtool("tag", windows_path(path), "title=New")
    tags = metaflac("--export-tags-to=-", path).splitlines()
    check(len(tags) == 4 and tags[0] == "Zeta=z" and tags[1].lower() == "title=new" and tags[2:] == ["artist=A", "ARTIST=B"],
          "the other comments keep their order and spelling: %s" % tags)
    check(audio_frames(path) == audio, "the audio frames are untouched")

    # Two pictures after the comments, no padding: a grown comment rewrites
    # the file with the pictures first, in their order, and padding last.
    from mutagen.flac import FLAC, Picture
    tagged = FLAC(path)
    for kind in (3, 4):
        picture = Picture()
        picture.type, picture.mime, picture.data = kind, "image/png", tiny_png() + bytes([kind]) * 20000
        tagged.add_picture(picture)
    tagged.save(padding=lambda info: 0)
    types = metadata_block_types(path)
    check(types.index(4) < types.index(6), "mutagen puts the pictures after the comments: %s" % types)
    zorvtool("tag", windows_path(path), "title=" + "A longer title " * 10)
    types = metadata_block_types(path)
    check(types[0] == 0 and types[1:3] == [6, 6] and types[-2:] == [4, 1],
          "rewritten: stream info, pictures, the rest, comments, padding: %s" % types)
    check([p.type for p in FLAC(path).pictures] == [3, 4], "the pictures keep their order")
    check(audio_frames(path) == audio, "the audio frames are untouched by the rewrite")
    inode = os.stat(path).st_ino
    zorvtool("tag", windows_path(path), "artist=C")
    tags = metaflac("--export-tags-to=-", path).splitlines()
    check(os.stat(path).st_ino == inode and tags[0] == "Zeta=z" and tags[2].lower() == "artist=c" and len(tags) == 3,
          "the next text edit goes in place: %s" % tags)


def main():
    with tempfile.TemporaryDirectory(prefix="zorv-flac-") as work:
        test_decode_output(work)
        test_exactness(work)
        test_seek_and_cue(work)
        test_retag(work)
        test_edits_touch_only_what_changes(work)
        test_damaged_picture(work)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


sys.exit(main())
