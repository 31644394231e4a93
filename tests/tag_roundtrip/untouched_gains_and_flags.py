#!/usr/bin/python3
"""What a title edit leaves alone stays as other programs wrote it:
ReplayGain texts of a precision or form the player does not write itself
("-3.14159 dB", "1.23456789", "-3.2 dB") in an MP3's ID3v2 tag (versions
2.3 and 2.4), a WAV's ID3 chunk and an MP4's freeform items, and the status
flags (tag alter, file alter, read only) of ID3v2.3 and 2.4 frames; read
back byte for byte, with mutagen and with ffprobe. A frame the edit changes
is no longer marked read only.

usage: untouched_gains_and_flags.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
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
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
