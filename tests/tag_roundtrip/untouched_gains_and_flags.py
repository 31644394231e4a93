#!/usr/bin/python3
"""What a title edit leaves alone stays as other programs wrote it:
ReplayGain texts of a precision or form the player does not write itself
("-3.14159 dB", "1.23456789", "-3.2 dB") in an MP3's ID3v2 tag (versions
2.3 and 2.4), a WAV's ID3 chunk and an MP4's freeform items, and the status
flags (tag alter, file alter, read only) of ID3v2.3 and 2.4 frames; read
back byte for byte, with mutagen and with ffprobe. A frame the edit changes
is no longer marked read only. Flagged frames, in an MP3 and in a WAV's ID3
chunk, are shown, edited and removed as any other, for mutagen, TagLib
(kid3-cli) and ffprobe.

usage: untouched_gains_and_flags.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from mutagen.id3 import ID3, TIT2, TXXX
from mutagen.mp4 import MP4, MP4FreeForm
from mutagen.wave import WAVE

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
from id3v2_bytes import tag_bytes, tag_frames, v23_frame, v24_frame  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)

# kid3-cli needs no display for its work.
QUIET_QT = dict(os.environ, QT_QPA_PLATFORM="offscreen")

GAINS = {"replaygain_track_gain": "-3.14159 dB", "replaygain_track_peak": "1.23456789",
         "REPLAYGAIN_ALBUM_GAIN": "-3.2 dB"}


def probed_gains(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                         capture_output=True, text=True, check=True).stdout
    return {k: v for k, v in json.loads(out)["format"].get("tags", {}).items() if k.lower().startswith("replaygain")}


def retitle(path):
    zorvtool("tag", windows_path(path), "title=New Title")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_id3_gain_texts(plain_mp3, tone_wav, work):
    for version in (3, 4):
        frames = [TIT2(encoding=3, text=["Old"])] + [TXXX(encoding=0, desc=d, text=[t]) for d, t in GAINS.items()]
        mp3, wav = os.path.join(work, "gain%d.mp3" % version), os.path.join(work, "gain%d.wav" % version)
        shutil.copy(plain_mp3, mp3)
        shutil.copy(tone_wav, wav)
        tags = ID3()
        for f in frames:
            tags.add(f)
        tags.save(mp3, v2_version=version)
        wave = WAVE(wav)
        wave.add_tags()
        for f in frames:
            wave.tags.add(f)
        wave.save(v2_version=version)
        gain_frames = [f for f in tag_frames(read(mp3)) if f[0] == "TXXX"]
        for path in (mp3, wav):
            retitle(path)
            label = "v2.%d %s" % (version, path[-3:])
            texts = {f.desc: f.text[0] for f in (ID3(path) if path == mp3 else WAVE(path).tags).getall("TXXX")}
            check(texts == GAINS, "%s: mutagen reads the gain texts as they were: %r" % (label, texts))
            check(probed_gains(path) == GAINS, "%s: ffprobe reads them as they were: %r" % (label, probed_gains(path)))
        kept = [f for f in tag_frames(read(mp3)) if f[0] == "TXXX"]
        check(kept == gain_frames, "v2.%d mp3: the gain frames byte for byte: %r, now %r" % (version, gain_frames, kept))


def check_mp4_gain_texts(work):
    path = os.path.join(work, "gain.m4a")
    subprocess.run(["ffmpeg", "-v", "quiet", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac",
                    path], check=True)
    tags = MP4(path)
    tags["\xa9nam"] = ["Old"]
    for name, text in GAINS.items():
        tags["----:com.apple.iTunes:" + name] = [MP4FreeForm(text.encode())]
    tags.save()
    retitle(path)
    items = {k[len("----:com.apple.iTunes:"):]: bytes(v[0]).decode() for k, v in MP4(path).items() if k[:4] == "----"}
    check(items == GAINS, "mp4: mutagen reads the gain items as they were: %r" % items)
    check(probed_gains(path) == GAINS, "mp4: ffprobe reads them as they were: %r" % probed_gains(path))


def check_frame_status_flags(plain_mp3, work):
    text = b"\x00%s"
    for version, frame, flags in ((3, v23_frame, (0x20, 0x80, 0x40)), (4, v24_frame, (0x10, 0x40, 0x20))):
        path = os.path.join(work, "flags%d.mp3" % version)
        flagged = [frame("TPE1", text % b"Artist", status=flags[0]), frame("TALB", text % b"Album", status=flags[1]),
                   frame("TCON", text % b"Genre", status=flags[2])]
        with open(path, "wb") as f:
            f.write(tag_bytes(version, frame("TIT2", text % b"Old") + b"".join(flagged)) + read(plain_mp3))
        retitle(path)
        kept = [raw for name, raw in tag_frames(read(path)) if name != "TIT2"]
        check(kept == flagged, "v2.%d: the flagged frames byte for byte: %r, now %r" % (version, flagged, kept))
        tags = ID3(path)
        got = [str(tags.get(k)) for k in ("TIT2", "TPE1", "TALB", "TCON")]
        check(got == ["New Title", "Artist", "Album", "Genre"], "v2.%d: mutagen reads every frame: %r" % (version, got))
    path = os.path.join(work, "flags3.mp3")
    zorvtool("tag", windows_path(path), "artist=Another")
    artist = [raw for name, raw in tag_frames(read(path)) if name == "TPE1"]
    check([a[8] for a in artist] == [0], "v2.3: the changed artist frame is no longer read only: %r" % artist)


def with_id3_chunk(tone_wav, path, tag):
    """The tone with `tag` in an "id3 " chunk behind its data, as mutagen writes one."""
    chunk = b"id3 " + struct.pack("<I", len(tag)) + tag + b"\0" * (len(tag) & 1)
    data = read(tone_wav) + chunk
    with open(path, "wb") as f:
        f.write(data[:4] + struct.pack("<I", len(data) - 8) + data[8:])


def stored_id3(path):
    """The ID3v2 tag's bytes at the file's start, or in a WAV's ID3 chunk."""
    data = read(path)
    at = 12 if data[:4] == b"RIFF" else None
    while at is not None and data[at:at + 4].lower() != b"id3 ":
        at += 8 + ((struct.unpack("<I", data[at + 4:at + 8])[0] + 1) & ~1)
    return data if at is None else data[at + 8:]


def every_reading(path):
    """{reader: (title, artist, album, genre)} of zorvtool, mutagen, TagLib and ffprobe."""
    names = ("title", "artist", "album", "genre")
    fields = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"].get("fields", {})
    fields = {k.lower(): v if isinstance(v, list) else [v] for k, v in fields.items()}
    tags = (WAVE(path).tags if path.endswith(".wav") else ID3(path)) or {}
    # kid3-cli prints nothing for a field the tag lacks: one run a field.
    kid3 = [subprocess.run(["kid3-cli", "-c", "get %s 2" % n, path], capture_output=True, text=True, env=QUIET_QT,
                           check=True).stdout.strip() for n in names]
    probe = {k.lower(): v for k, v in json.loads(subprocess.run(
        ["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
        capture_output=True, text=True, check=True).stdout)["format"].get("tags", {}).items()}
    return {"zorvtool": tuple(fields.get(n, [None])[0] for n in names),
            "mutagen": tuple(str(tags[k].text[0]) if k in tags else None for k in ("TIT2", "TPE1", "TALB", "TCON")),
            "taglib": tuple(value or None for value in kid3),
            "ffprobe": tuple(probe.get(n) for n in names)}


def check_flagged_frames_edited(plain_mp3, tone_wav, work):
    """Every frame but the title carries a status flag (read only, tag
    alter, file alter): each reader shows every field; the artist's removal
    and the album's edit reach every reader, the new album frame unflagged,
    and the untouched genre keeps its bytes and flags."""
    text = b"\0%s"
    for version, frame, flags in ((3, v23_frame, (0x20, 0x80, 0x40)), (4, v24_frame, (0x10, 0x40, 0x20))):
        genre = frame("TCON", text % b"Genre", status=flags[2])
        tag = tag_bytes(version, frame("TIT2", text % b"Title") + frame("TPE1", text % b"Artist", status=flags[0]) +
                        frame("TALB", text % b"Album", status=flags[1]) + genre)
        mp3, wav = os.path.join(work, "edited%d.mp3" % version), os.path.join(work, "edited%d.wav" % version)
        with open(mp3, "wb") as f:
            f.write(tag + read(plain_mp3))
        with_id3_chunk(tone_wav, wav, tag)
        for path in (mp3, wav):
            label = "v2.%d %s" % (version, path[-3:])
            before = every_reading(path)
            check(all(seen == ("Title", "Artist", "Album", "Genre") for seen in before.values()),
                  "%s: every reader shows every flagged frame: %r" % (label, before))
            done = zorvtool("tag", windows_path(path), "-artist", ok=False)
            check(done.returncode == 0, "%s: the artist is removed: %s%s" % (label, done.stdout, done.stderr))
            zorvtool("tag", windows_path(path), "album=Other")
            after = every_reading(path)
            check(all(seen == ("Title", None, "Other", "Genre") for seen in after.values()),
                  "%s: every reader reads the removal and the edit: %r" % (label, after))
            frames = dict(tag_frames(stored_id3(path)))
            check("TPE1" not in frames and frames.get("TALB", b"")[8:10] == b"\0\0" and frames.get("TCON") == genre,
                  "%s: no artist frame, the album unflagged, the genre byte for byte: %r" % (label, frames))


def main():
    work = tempfile.mkdtemp(prefix="zorv-untouched-")
    try:
        wav = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        plain = os.path.join(work, "plain.mp3")
        subprocess.run(["lame", "--quiet", wav, plain], check=True)
        check_id3_gain_texts(plain, wav, work)
        check_mp4_gain_texts(work)
        check_frame_status_flags(plain, work)
        check_flagged_frames_edited(plain, wav, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
