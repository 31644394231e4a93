#!/usr/bin/python3
"""zorvtool decode, info and tag on WAV, RF64, Wave64 and WavPack files.

usage: wav_and_wavpack.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
Fixtures are made here with sox, ffmpeg and wavpack; decoded samples must
equal what the source samples scale to, or what ffmpeg and wvunpack decode.
"""
import array
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def info(path):
    return json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"]


def chunks(data):
    """(id, payload) of a RIFF file's top-level chunks."""
    offset, found = 12, []
    while offset + 8 <= len(data):
        cid, size = data[offset:offset + 4], struct.unpack("<I", data[offset + 4:offset + 8])[0]
        found.append((cid, data[offset + 8:offset + 8 + size]))
        offset += 8 + size + (size & 1)
    return found


def chunk(data, cid):
    return next((payload for c, payload in chunks(data) if c == cid), None)


def expected_floats(path):
    """The samples of a PCM or float WAV scaled to float32, as the player scales them."""
    data = open(path, "rb").read()
    fmt, payload = chunk(data, b"fmt "), chunk(data, b"data")
    tag, bits = struct.unpack("<H", fmt[:2])[0], struct.unpack("<H", fmt[14:16])[0]
    if tag == 0xFFFE:
        tag = struct.unpack("<H", fmt[24:26])[0]
    width = bits // 8
    payload = payload[:len(payload) - len(payload) % width]
    if tag == 3:
        values = array.array("f" if bits == 32 else "d", payload)
    elif bits == 8:
        values = [(b - 128) / 128.0 for b in payload]
    elif bits == 24:
        values = [int.from_bytes(payload[i:i + 3], "little", signed=True) / 8388608.0
                  for i in range(0, len(payload), 3)]
    else:
        values = [v / float(1 << (bits - 1)) for v in array.array("h" if bits == 16 else "i", payload)]
    return array.array("f", values)


def decoded(path, *extra, kind="f"):
    """zorvtool's decode as 32-bit floats ("f") or 16-bit integers ("h")."""
    out = path + ".out.wav"
    zorvtool("decode", windows_path(path), windows_path(out), *(("--bits", "16") if kind == "h" else ()), *extra)
    samples = array.array(kind, chunk(open(out, "rb").read(), b"data"))
    os.remove(out)
    return samples


def decoded_floats(path, *extra):
    return decoded(path, *extra)


def decoded_s16(path, *extra):
    return decoded(path, *extra, kind="h")


def ffmpeg_s16(path):
    raw = subprocess.run(["ffmpeg", "-v", "quiet", "-i", path, "-f", "s16le", "-"], capture_output=True,
                         check=True).stdout
    return array.array("h", raw)


def sox(out, *args):
    subprocess.run(["sox", "-n", *args, out, "synth", "1.1", "sine", "440", "sine", "663", "vol", "0.9"], check=True)


def wav_decoding(work):
    # One table over the sample formats: the decode is exact, not close.
    table = [
        ("u8", ["-r", "44100", "-c", "2", "-b", "8", "-e", "unsigned-integer"]),
        ("s16", ["-r", "44100", "-c", "2", "-b", "16"]),
        ("s24", ["-r", "48000", "-c", "2", "-b", "24"]),
        ("s32", ["-r", "44100", "-c", "1", "-b", "32"]),
        ("f32", ["-r", "44100", "-c", "2", "-b", "32", "-e", "floating-point"]),
        ("f64", ["-r", "96000", "-c", "2", "-b", "64", "-e", "floating-point"]),
        ("six_channels", ["-r", "44100", "-c", "6", "-b", "16"]),
    ]
    for name, args in table:
        path = os.path.join(work, name + ".wav")
        sox(path, *args)
        check(decoded_floats(path) == expected_floats(path), "%s decodes exactly" % name)

    source = os.path.join(work, "s16.wav")
    expected = expected_floats(source)
    # The same samples in the other two containers.
    w64 = os.path.join(work, "s16.w64")
    subprocess.run(["sox", source, w64], check=True)
    check(decoded_floats(w64) == expected, "Wave64 decodes exactly")
    rf64 = os.path.join(work, "s16.rf64.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", source, "-c:a", "pcm_s16le", "-rf64", "always", rf64], check=True)
    check(open(rf64, "rb").read(4) == b"RF64", "ffmpeg wrote RF64")
    check(decoded_floats(rf64) == expected, "RF64 decodes exactly")
    check(abs(info(rf64)[0]["info"]["length"] - 1.1) < 1e-9, "RF64 length from ds64")
    # A ds64 data size beyond the file is cut to it, as 32-bit sizes are.
    huge = os.path.join(work, "huge_ds64.rf64.wav")
    data = bytearray(open(rf64, "rb").read())
    ds64 = data.index(b"ds64") + 8
    data[ds64 + 8:ds64 + 16] = struct.pack("<Q", 0xFFFFFFFFFFFF)
    open(huge, "wb").write(data)
    check(abs(info(huge)[0]["info"]["length"] - 1.1) < 1e-9 and decoded_floats(huge) == expected,
          "RF64 with a ds64 data size past the file")

    # An unfinished recording (RIFF and data sizes 0) that a tagger then
    # appended chunks to: those chunks are not played.
    unfinished = os.path.join(work, "unfinished.wav")
    data = bytearray(open(source, "rb").read())
    data[4:8] = struct.pack("<I", 0)
    data[data.index(b"data") + 4:data.index(b"data") + 8] = struct.pack("<I", 0)
    title = b"INAM" + struct.pack("<I", 6) + b"Later\0"
    data += b"LIST" + struct.pack("<I", 4 + len(title)) + b"INFO" + title
    open(unfinished, "wb").write(data)
    got = info(unfinished)[0]["info"]
    check(decoded_floats(unfinished) == expected and abs(got["length"] - 1.1) < 1e-9,
          "unfinished recording: the appended chunks are not audio")
    check(got["fields"].get("title") in ("Later", ["Later"]), "unfinished recording: its tags read: %s" % got)

    # A data chunk cut short (a copy that stopped early) plays to the last whole frame.
    truncated = os.path.join(work, "truncated.wav")
    data = open(source, "rb").read()
    open(truncated, "wb").write(data[:len(data) - 4001])
    got = decoded_floats(truncated)
    whole_frames = (len(chunk(data, b"data")) - 4001) // 4
    check(len(got) == whole_frames * 2 and got == expected[:whole_frames * 2], "truncated data chunk")

    # Seeking lands on the sample asked for.
    seeked = decoded_floats(source, "--seek", "0.5")
    check(seeked == expected[44100:], "PCM seek to 0.5 s")


def adpcm_decoding(work):
    source = os.path.join(work, "s16.wav")
    for codec in ("adpcm_ms", "adpcm_ima_wav"):
        path = os.path.join(work, codec + ".wav")
        subprocess.run(["ffmpeg", "-v", "quiet", "-i", source, "-c:a", codec, path], check=True)
        reference = ffmpeg_s16(path)
        ours = decoded_s16(path)
        if codec == "adpcm_ms":
            check(ours == reference, "%s decodes as ffmpeg does" % codec)
        else:
            # Wine's IMA decoder rounds its steps differently from ffmpeg's:
            # some units apart, never drifting (each block restarts).
            check(len(ours) == len(reference) and max(abs(a - b) for a, b in zip(ours, reference)) <= 256,
                  "%s decodes close to ffmpeg" % codec)
        # The length is ffmpeg's sample count (its fact chunk), not what the
        # stored byte rate makes of the data size.
        fact = struct.unpack("<I", chunk(open(path, "rb").read(), b"fact")[:4])[0]
        check(len(ours) == 2 * fact and abs(info(path)[0]["info"]["length"] - fact / 44100.0) < 1e-9,
              "%s length %d samples" % (codec, fact))
        # A seek lands on the exact sample: inside a block, on a block start.
        samples_per_block = struct.unpack("<H", chunk(open(path, "rb").read(), b"fmt ")[18:20])[0]
        for first in (26460, 3 * samples_per_block, 1):
            seeked = decoded_s16(path, "--seek", repr(first / 44100.0))
            check(seeked == ours[2 * first:], "%s seek to sample %d" % (codec, first))
        technical = info(path)[0]["info"]["technical"]
        check(technical.get("encoding") == "lossy" and technical.get("decoded_bitspersample") == "16",
              "%s info: %s" % (codec, technical))

    # sox pads the last block and counts only the real samples in "fact":
    # playback ends there, where ffmpeg's reading of the file ends too.
    for encoding in ("ms-adpcm", "ima-adpcm"):
        path = os.path.join(work, "sox_%s.wav" % encoding)
        subprocess.run(["sox", source, "-e", encoding, path], check=True)
        probe = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "stream=duration_ts", "-of", "csv=p=0", path],
                               capture_output=True, text=True, check=True).stdout
        ours = decoded_s16(path)
        check(len(ours) == 2 * int(probe) == 2 * 48510, "sox %s ends at its fact count: %d" % (encoding, len(ours)))


def riff_tags(work):
    source = os.path.join(work, "s16.wav")
    tagged = os.path.join(work, "ffmpeg_tags.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", source, "-c:a", "copy", "-metadata", "title=FF Title",
                    "-metadata", "artist=FF Artist", "-metadata", "album=FF Album", tagged], check=True)
    fields = info(tagged)[0]["info"]["fields"]
    check(fields.get("title") in ("FF Title", ["FF Title"]) and fields.get("album") in ("FF Album", ["FF Album"]),
          "ffmpeg's INFO tags read: %s" % fields)
    # ffmpeg writes INFO text as UTF-8; other writers use the ANSI code page.
    utf8 = os.path.join(work, "ffmpeg_utf8.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", source, "-c:a", "copy", "-metadata", "title=Ünï Çà", utf8], check=True)
    fields = info(utf8)[0]["info"]["fields"]
    check(fields.get("title") in ("Ünï Çà", ["Ünï Çà"]), "UTF-8 INFO text: %s" % fields)
    ansi = os.path.join(work, "ansi.wav")
    open(ansi, "wb").write(open(utf8, "rb").read().replace("Ünï Çà".encode("utf-8"), "Ünï Çà".encode("cp1252") + bytes(4)))
    fields = info(ansi)[0]["info"]["fields"]
    check(fields.get("title") in ("Ünï Çà", ["Ünï Çà"]), "ANSI INFO text: %s" % fields)

    audio = chunk(open(tagged, "rb").read(), b"data")
    zorvtool("tag", windows_path(tagged), "title=Ünï", "artist=A", "artist=B", "date=2024")
    after = open(tagged, "rb").read()
    info_list = chunk(after, b"LIST")
    # Characters outside US-ASCII become what the system's conversion makes of them.
    title_at = info_list.find(b"INAM\x04\x00\x00\x00") if info_list else -1
    check(title_at > 0 and all(32 <= b < 127 for b in info_list[title_at + 8:title_at + 11])
          and info_list[title_at + 11] == 0, "INFO title as ASCII")
    check(b"IART\x05\x00\x00\x00A, B\x00\x00" in info_list, "two artists joined in one item")
    check(chunk(after, b"id3 ") is not None and chunk(after, b"data") == audio, "id3 chunk beside intact audio")
    fields = info(tagged)[0]["info"]
    check(fields["fields"].get("title") in ("Ünï", ["Ünï"]) and "tagtype" not in fields["technical"],
          "id3 chunk read, without tagtype: %s" % fields)
    probe = json.loads(subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", tagged],
                                      capture_output=True, text=True).stdout)["format"].get("tags", {})
    check(probe.get("artist") == "A, B" and probe.get("date") == "2024", "ffprobe reads our INFO: %s" % probe)

    # Writing again finds the filler the first write left: the size stays.
    size = os.path.getsize(tagged)
    zorvtool("tag", windows_path(tagged), "title=Ünï")
    check(os.path.getsize(tagged) == size, "second write keeps the file size")
    check(chunk(open(tagged, "rb").read(), b"data") == audio, "audio intact after the second write")

    # RF64 and Wave64 are read-only here.
    refused = zorvtool("tag", windows_path(os.path.join(work, "s16.w64")), "title=x", ok=False)
    check(refused.returncode != 0 and "not supported" in (refused.stdout + refused.stderr), "Wave64 tagging refused")


def wavpack_files(work):
    source = os.path.join(work, "s16.wav")
    expected = expected_floats(source)
    s24 = os.path.join(work, "s24.wav")
    for mode, args in (("normal", []), ("high", ["-h"]), ("fast", ["-f"])):
        for name, wav in (("s16", source), ("s24", s24)):
            wv = os.path.join(work, "%s_%s.wv" % (name, mode))
            subprocess.run(["wavpack", "-q", "-m", *args, wav, "-o", wv], check=True)
            check(decoded_floats(wv) == expected_floats(wav), "WavPack %s %s decodes exactly" % (name, mode))
            technical = info(wv)[0]["info"]["technical"]
            check(technical.get("codec_profile") == mode and technical.get("encoding") == "lossless",
                  "WavPack %s profile: %s" % (mode, technical))
            shown = subprocess.run(["wvunpack", "-s", wv], capture_output=True, text=True)
            md5 = next(line.split()[-1] for line in (shown.stdout + shown.stderr).splitlines() if "md5" in line)
            check(technical.get("md5", "").lower() == md5.lower(), "WavPack %s md5" % mode)

    # Hybrid with its correction file beside it: lossless again.
    hybrid = os.path.join(work, "hybrid.wv")
    subprocess.run(["wavpack", "-q", "-b3", "-c", source, "-o", hybrid], check=True)
    check(os.path.exists(hybrid + "c"), "wavpack wrote the correction file")
    check(decoded_floats(hybrid) == expected, "hybrid with correction decodes exactly")
    technical = info(hybrid)[0]["info"]["technical"]
    check(technical.get("encoding") == "hybrid" and technical.get("codec_profile") == "normal, hybrid",
          "hybrid info: %s" % technical)
    os.rename(hybrid + "c", hybrid + "c.away")
    lossy = decoded_floats(hybrid)
    check(len(lossy) == len(expected) and lossy != expected, "hybrid without correction plays lossy")
    with open(hybrid + "c.away", "rb") as f:
        correction = f.read()
    with open(hybrid + "c", "wb") as f:
        f.write(correction[:100])
    check(decoded_floats(hybrid) == lossy, "a correction file cut short leaves the lossy stream playing")
    os.replace(hybrid + "c.away", hybrid + "c")

    # An embedded cue sheet of three tracks gives subsongs 1 to 3.
    cue = os.path.join(work, "sheet.cue")
    open(cue, "w").write('FILE "x.wav" WAVE\n'
                         '  TRACK 01 AUDIO\n    TITLE "One"\n    INDEX 01 00:00:00\n'
                         '  TRACK 02 AUDIO\n    TITLE "Two"\n    INDEX 01 00:00:30\n'
                         '  TRACK 03 AUDIO\n    TITLE "Three"\n    INDEX 01 00:00:60\n')
    with_cue = os.path.join(work, "cue.wv")
    subprocess.run(["wavpack", "-q", "-w", "Cuesheet=@" + cue, source, "-o", with_cue], check=True)
    subsongs = info(with_cue)
    check([s["subsong"] for s in subsongs] == [1, 2, 3], "cue subsongs: %s" % [s["subsong"] for s in subsongs])
    bounds = [0, 17640, 35280, len(expected) // 2]  # 30 and 60 frames of 1/75 s
    for track in (1, 2, 3):
        got = decoded_floats(with_cue, "--subsong", str(track))
        want = expected[bounds[track - 1] * 2:bounds[track] * 2]
        check(got == want, "cue track %d exact range (%d of %d samples)" % (track, len(got), len(want)))

    # APEv2 tags: wavpack's read here, ours read by mutagen.
    tagged = os.path.join(work, "tags.wv")
    subprocess.run(["wavpack", "-q", "-w", "Title=WV Title", "-w", "Artist=WV Artist", source, "-o", tagged],
                   check=True)
    fields = {k.lower(): v for k, v in info(tagged)[0]["info"]["fields"].items()}
    check(fields.get("title") in ("WV Title", ["WV Title"]), "wavpack's APEv2 title: %s" % fields)
    zorvtool("tag", windows_path(tagged), "title=Ours", "album=Album")
    from mutagen.apev2 import APEv2
    ape = APEv2(tagged)
    check(str(ape["Title"]) == "Ours" and str(ape["Album"]) == "Album", "mutagen reads our APEv2")
    check(decoded_floats(tagged) == expected, "audio intact after tagging")


def main():
    work = tempfile.mkdtemp(prefix="zorv-wav-")
    try:
        wav_decoding(work)
        adpcm_decoding(work)
        riff_tags(work)
        wavpack_files(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
