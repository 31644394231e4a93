#!/usr/bin/python3
"""WAV files holding an INFO list (ffmpeg's, kid3-cli's) beside an ID3 chunk
(mutagen's): zorvtool shows the fields of both, removes a field from both,
and shows what an INFO-only tagger adds after its edit. A WAV tagged by an
ID3 chunk alone gets no INFO list from an edit, so ffprobe, which reads only
the list once it holds an item, still finds every field it found before.

usage: wav_info_beside_id3.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import shutil
import subprocess
import sys
import tempfile

from mutagen.id3 import TALB, TCOM, TIT2, TPE2, TPOS
from mutagen.wave import WAVE

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402
# The readers the suite of other taggers' WAV files uses, on the same arguments.
from wav_tags_of_other_taggers import ffprobe_tags, kid3, shown, zorvtool  # noqa: E402


def taglib(path, field, tag):
    """TagLib's value of the field in tag 2 (ID3) or 3 (INFO), None for none."""
    return (kid3(path, "get %s %d" % (field, tag)) or [None])[0] or None


def tag(path, *edits):
    return zorvtool("tag", windows_path(path), *edits, ok=False).returncode


def add_id3(path, *frames):
    wave = WAVE(path)
    wave.add_tags()
    for frame in frames:
        wave.tags.add(frame)
    wave.save()


def check_info_beside_id3(work, tone):
    path = os.path.join(work, "info_and_id3.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", tone, "-c:a", "copy", "-metadata", "title=Info Title",
                    "-metadata", "artist=Info Artist", path], check=True)
    add_id3(path, TALB(encoding=3, text=["ID3 Album"]))
    got = shown(path)
    check((got.get("title"), got.get("artist"), got.get("album")) == ("Info Title", "Info Artist", "ID3 Album"),
          "INFO beside ID3: zorvtool shows both: %r" % got)
    check(tag(path, "-title") == 0, "INFO beside ID3: the title removal succeeds")
    got, probe = shown(path), ffprobe_tags(path)
    check("title" not in got and "title" not in probe and taglib(path, "title", 3) is None
          and (got.get("artist"), got.get("album"), probe.get("artist")) == ("Info Artist", "ID3 Album", "Info Artist"),
          "INFO beside ID3: the INFO title is gone for every reader, the rest stays: %r %r" % (got, probe))
    check(tag(path, "album=New Album") == 0, "INFO beside ID3: the album edit succeeds")
    readers = (str(WAVE(path).tags["TALB"]), ffprobe_tags(path).get("album"), taglib(path, "album", 2), shown(path))
    check(readers[:3] == ("New Album",) * 3 and readers[3].get("artist") == "Info Artist",
          "INFO beside ID3: mutagen, ffprobe and TagLib read the edit: %r" % (readers,))
    # A tagger of INFO lists alone writes after the player's edit.
    kid3(path, "set genre 'Kid3 Genre' 3", "save")
    got = shown(path)
    check((got.get("genre"), got.get("album"), got.get("artist")) == ("Kid3 Genre", "New Album", "Info Artist"),
          "INFO beside ID3: what kid3-cli then writes to the INFO list is shown: %r" % got)


def check_id3_alone(work, tone):
    path = os.path.join(work, "id3_alone.wav")
    shutil.copyfile(tone, path)
    add_id3(path, TIT2(encoding=3, text=["Old"]), TCOM(encoding=3, text=["Composer"]),
            TPE2(encoding=3, text=["Album Artist"]), TPOS(encoding=3, text=["2"]))
    before = ffprobe_tags(path)
    check(tag(path, "title=New") == 0, "ID3 alone: the title edit succeeds")
    after = ffprobe_tags(path)
    check(len(before) == 4 and all(after.get(key) == value for key, value in dict(before, title="New").items()),
          "ID3 alone: ffprobe finds every field after the edit: %r -> %r" % (before, after))
    tags = WAVE(path).tags
    check((str(tags["TIT2"]), str(tags["TCOM"]), taglib(path, "title", 2), taglib(path, "title", 3))
          == ("New", "Composer", "New", None),
          "ID3 alone: mutagen and TagLib read the edit in the ID3 chunk, and no INFO list is made")


def main():
    work = tempfile.mkdtemp(prefix="zorv-wav-info-id3-")
    try:
        tone = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "0.5", "sine", "440"],
                       check=True)
        check_info_beside_id3(work, tone)
        check_id3_alone(work, tone)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("WAV INFO lists beside ID3 chunks shown and edited")
    return 0


if __name__ == "__main__":
    sys.exit(main())
