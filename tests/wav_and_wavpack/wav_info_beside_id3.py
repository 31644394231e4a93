#!/usr/bin/python3
"""WAV files holding an INFO list (ffmpeg's, kid3-cli's) beside an ID3 chunk
(mutagen's): zorvtool shows the fields of both, removes a field from both,
and shows what an INFO-only tagger adds after its edit. A WAV tagged by an
ID3 chunk alone gets no INFO list from an edit, so ffprobe, which reads only
the list once it holds an item, still finds every field it found before.
A WAV tagged by an INFO list alone (kid3-cli's, ffmpeg's) keeps it alone
through an edit, its composer item among the fields; an edit the list cannot
hold adds an ID3 chunk holding every field, which mutagen, TagLib (its own
reading and kid3-cli) and ffprobe read whole, also after TagLib's own edit.
ffmpeg's list of its encoder alone is no tag: the first edit reaches every
reader.

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
from wav_tags_of_other_taggers import (build_taglib_properties, chunk_ids, ffprobe_tags, kid3, shown,  # noqa: E402
                                       taglib_properties, zorvtool)


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


def id3_frames(path):
    """{frame id: text} of the ID3 chunk as mutagen reads it."""
    return {key: str(frame) for key, frame in (WAVE(path).tags or {}).items()}


def check_info_alone(work, tone):
    path = os.path.join(work, "info_alone.wav")
    shutil.copyfile(tone, path)
    kid3(path, "set title 'Kid3 Title' 3", "set composer 'Old Composer' 3", "set album 'Old Album' 3", "save")
    check(shown(path).get("composer") == "Old Composer", "INFO alone: kid3-cli's composer is shown: %r" % shown(path))
    check(tag(path, "composer=New Composer", "artist=Player Artist") == 0, "INFO alone: the edit succeeds")
    check((ffprobe_tags(path).get("IMUS"), taglib(path, "composer", 3), ffprobe_tags(path).get("artist"))
          == ("New Composer", "New Composer", "Player Artist") and "ID3 " not in map(str.upper, chunk_ids(path)),
          "INFO alone: ffprobe and TagLib read the edit from the list, which stays alone: %r %r"
          % (ffprobe_tags(path), chunk_ids(path)))
    kid3(path, "set album 'Kid3 Album' 3", "save")
    check(shown(path).get("album") == "Kid3 Album", "INFO alone: kid3-cli's later album is shown: %r" % shown(path))
    # Fields the list cannot hold: an album artist, text beyond ASCII. The
    # ID3 chunk they need holds every field, for the readers that show it alone.
    check(tag(path, "album artist=Band", "title=Caf\u00e9") == 0, "INFO alone: the album artist edit succeeds")
    every = {"TPE2": "Band", "TIT2": "Caf\u00e9", "TCOM": "New Composer", "TPE1": "Player Artist", "TALB": "Kid3 Album"}
    got = shown(path)
    check((got.get("album artist"), got.get("title"), got.get("album")) == ("Band", "Caf\u00e9", "Kid3 Album")
          and id3_frames(path) == every, "INFO alone: the ID3 chunk holds every field: %r %r" % (got, id3_frames(path)))
    kid3(path, "set album 'Kid3 Again' 3", "save")
    check(tag(path, "title=Plain") == 0, "INFO alone: the ASCII title edit succeeds")
    got = shown(path)
    check((got.get("album"), got.get("title"), ffprobe_tags(path).get("title"), ffprobe_tags(path).get("album"),
           id3_frames(path)) == ("Kid3 Album", "Plain", "Plain", "Kid3 Again", dict(every, TIT2="Plain")),
          "INFO alone: the title edit reaches both, the player shows the ID3 chunk's album as mutagen does and "
          "leaves kid3-cli's INFO album: %r %r" % (got, id3_frames(path)))


FIELDS = ("title", "artist", "album", "comment", "date")


def every_reader(path, taglib_program, *args):
    """{reader: (title, artist, album, comment, date)} of mutagen, TagLib's
    own reading, kid3-cli and ffprobe; `args` "edit" lets TagLib edit first."""
    native = taglib_properties(taglib_program, path, *args)
    frames = id3_frames(path)
    comment = next((text for key, text in frames.items() if key.startswith("COMM")), None)
    probe = ffprobe_tags(path)
    return {"mutagen": tuple(frames.get(key) for key in ("TIT2", "TPE1", "TALB")) + (comment, frames.get("TDRC")),
            "taglib": tuple(native.get(name.upper()) for name in FIELDS),
            "kid3-cli": tuple(taglib(path, name, 2) for name in FIELDS),
            "ffprobe": tuple(probe.get(name) for name in FIELDS)}


def check_edits_info_cannot_hold(work, tone):
    """ffmpeg's INFO list of five fields, then an edit the list cannot hold:
    the ID3 chunk it needs holds every field for every reader, and TagLib's
    own next edit leaves ffprobe every field."""
    taglib_program = build_taglib_properties(work)
    tagged = os.path.join(work, "ffmpeg_tagged.wav")
    values = ("Title", "Artist", "Album", "Comment", "2001")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", tone, "-c:a", "copy"] +
                   [arg for name, value in zip(FIELDS, values) for arg in ("-metadata", name + "=" + value)] + [tagged],
                   check=True)
    # ffprobe reads the INFO list, which holds the title in ASCII and the
    # artists joined.
    for edit, edited, wanted in ((["title=Caf\u00e9"], 0, "Caf"), (["artist=A", "artist=B"], 1, "B")):
        path = os.path.join(work, "beyond_info.wav")
        shutil.copyfile(tagged, path)
        check(tag(path, *edit) == 0, "%s: the edit succeeds" % edit)
        others = [i for i in range(len(FIELDS)) if i != edited]
        every = every_reader(path, taglib_program)
        check(all([view[i] for i in others] == [values[i] for i in others] and wanted in (view[edited] or "")
                  for view in every.values()), "%s: every reader reads every field: %r" % (edit, every))
        every = every_reader(path, taglib_program, "edit")
        check(every["ffprobe"][2:] == values[2:] and shown(path).get("genre") == "TagLib Genre",
              "%s: TagLib's own next edit leaves ffprobe every field: %r" % (edit, every))


def check_encoder_alone(work, tone):
    """ffmpeg's INFO list of its encoder alone is no tag: the first edit
    reaches every reader, mutagen and TagLib through an ID3 chunk."""
    path = os.path.join(work, "ffmpeg_plain.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", tone, "-c:a", "copy", path], check=True)
    check(tag(path, "title=T", "artist=A") == 0, "encoder alone: the edit succeeds")
    frames, probe = id3_frames(path), ffprobe_tags(path)
    readers = ((frames.get("TIT2"), frames.get("TPE1")), (taglib(path, "title", 2), taglib(path, "artist", 2)),
               (probe.get("title"), probe.get("artist")), (shown(path).get("title"), shown(path).get("artist")))
    check(all(pair == ("T", "A") for pair in readers) and probe.get("encoder"),
          "encoder alone: mutagen, TagLib, ffprobe and zorvtool read the edit, ffprobe the encoder: %r" % (readers,))


def main():
    work = tempfile.mkdtemp(prefix="zorv-wav-info-id3-")
    try:
        tone = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "0.5", "sine", "440"],
                       check=True)
        check_info_beside_id3(work, tone)
        check_id3_alone(work, tone)
        check_info_alone(work, tone)
        check_edits_info_cannot_hold(work, tone)
        check_encoder_alone(work, tone)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("WAV INFO lists beside ID3 chunks shown and edited")
    return 0


if __name__ == "__main__":
    sys.exit(main())
