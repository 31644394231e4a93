#!/usr/bin/python3
"""Other taggers go on editing the MP4 files the player wrote.

usage: taggers_after_player.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

M4A and M4B files made by ffmpeg (movie box last and first, with and without
chapters), edited first by mutagen (with and without a 100 KB cover), by
AtomicParsley or by nothing, take two edits by the player. After each, the
item list holds nothing but items, and AtomicParsley edits a copy: in the
file and in that copy the audio, the chapters (ffprobe's and the player's
tracks) and every edit so far (read by mutagen, ffprobe and the player) are
all there. (The player reads a book's fields from its own "tags" box, which
AtomicParsley leaves as it was: there the player is not asked for
AtomicParsley's edit.)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402
from large_tag_files import picture_bytes  # noqa: E402
from mutagen.mp4 import MP4, MP4Cover  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)
CHAPTERS = 4
MP4_KEYS = {"artist": "\xa9ART", "album": "\xa9alb", "composer": "\xa9wrt", "comment": "\xa9cmt"}
PLAYER_EDITS = [{"album": "Album by the player"}, {"composer": "Composer by the player, a longer text"}]
AFTER = {"comment": "Comment by AtomicParsley"}


def make_files(folder):
    """{name: (path, {field: value} the first tagger wrote)}."""
    wav = os.path.join(folder, "src.wav")
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "4", "sine", "440", "sine", "660")
    chapters = os.path.join(folder, "chapters.txt")
    with open(chapters, "w") as f:
        f.write(";FFMETADATA1\ntitle=Book\n")
        for i in range(CHAPTERS):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=Part %d\n" % (i * 1000, i * 1000 + 1000, i + 1))
    files = {}
    for movie, flags in (("last", []), ("first", ["-movflags", "+faststart"])):
        for book in (False, True):
            made = os.path.join(folder, "%s%s.%s" % (movie, "book" if book else "", "m4b" if book else "m4a"))
            with_chapters = ["-i", chapters, "-map", "0:a", "-map_metadata", "1", "-map_chapters", "1"] if book else []
            tool("ffmpeg", "-v", "error", "-y", "-i", wav, *with_chapters, "-c:a", "aac", "-b:a", "64k", *flags, made)
            for first in ("ffmpeg", "mutagen", "mutagencover", "atomicparsley"):
                path = made.replace(".", "-%s." % first)
                shutil.copyfile(made, path)
                edit = {"artist": "Artist by " + first} if first != "ffmpeg" else {}
                if first.startswith("mutagen"):
                    tags = MP4(path)
                    tags["\xa9ART"] = edit["artist"]
                    if first.endswith("cover"):
                        tags["covr"] = [MP4Cover(picture_bytes(), imageformat=MP4Cover.FORMAT_PNG)]
                    tags.save()
                elif first == "atomicparsley":
                    tool("AtomicParsley", path, "--artist", edit["artist"], "--overWrite")
                files[os.path.basename(path)] = (path, edit)
    return files


def audio_md5(path):
    done = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "md5", "-"],
                          capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else "unplayable: " + done.stderr.strip()[-200:]


def ffprobe_reading(path):
    """(format tags, chapter count) as ffprobe reads them."""
    done = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:chapter", "-of", "json", path],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return {}, None
    found = json.loads(done.stdout)
    return found.get("format", {}).get("tags", {}), len(found.get("chapters", []))


def player_reading(path):
    """(fields of the first track, track count) as the player reads them."""
    done = zorvtool("info", windows_path(path), ok=False)
    if done.returncode != 0:
        return {}, None
    subsongs = json.loads(done.stdout)["subsongs"]
    return {k.lower(): v for k, v in subsongs[0]["info"].get("fields", {}).items()}, len(subsongs)


def boxes(data, start, end):
    """(type, offset, size) of the boxes between start and end, None for bytes that are no box."""
    found = []
    while start < end:
        size = int.from_bytes(data[start:start + 4], "big") if start + 8 <= end else 0
        if size < 8 or start + size > end:
            return found + [None]
        found.append((data[start + 4:start + 8], start, size))
        start += size
    return found


def not_items(path):
    """The boxes inside the item list that hold no "data" box."""
    data = open(path, "rb").read()
    start, end = 0, len(data)
    for kind in (b"moov", b"udta", b"meta", b"ilst"):
        box = next(b for b in boxes(data, start, end) if b and b[0] == kind)
        start, end = box[1] + 8 + (4 if kind == b"meta" else 0), box[1] + box[2]
    outside = [b for b in boxes(data, start, end) if b is None or b"data" not in
               [c and c[0] for c in boxes(data, b[1] + 8 + (8 if b[0] == b"----" else 0), b[1] + b[2])]]
    return [b and b[0] for b in outside]


def check_everything_there(label, path, edits, md5, book, cover, not_by_player=()):
    check(audio_md5(path) == md5, "%s: the audio is as it was" % label)
    probed, chapters = ffprobe_reading(path)
    fields, tracks = player_reading(path)
    check(chapters == (CHAPTERS if book else 0), "%s: ffprobe's chapters: %s" % (label, chapters))
    check(tracks == (CHAPTERS if book else 1), "%s: the player's tracks: %s" % (label, tracks))
    tags = MP4(path).tags or {}
    for field, value in edits.items():
        check(tags.get(MP4_KEYS[field]) == [value], "%s: mutagen reads %s: %s" % (label, field, tags.keys()))
        check(probed.get(field) == value, "%s: ffprobe reads %s: %s" % (label, field, probed))
        check(field in not_by_player or fields.get(field) == [value],
              "%s: the player reads %s: %s" % (label, field, fields))
    check(not cover or [bytes(c) for c in tags.get("covr", [])] == [picture_bytes()], "%s: the cover kept" % label)


def main():
    work = tempfile.mkdtemp(prefix="zorv-taggers-after-player-")
    try:
        for name, (path, edits) in sorted(make_files(work).items()):
            md5, book, cover = audio_md5(path), name.endswith(".m4b"), "cover" in name
            for round_number, edit in enumerate(PLAYER_EDITS, 1):
                label = "%s, player edit %d" % (name, round_number)
                done = zorvtool("tag", windows_path(path), *("%s=%s" % pair for pair in edit.items()), ok=False)
                check(done.returncode == 0, "%s: written: %s" % (label, done.stderr.strip()))
                edits = {**edits, **edit}
                check(not_items(path) == [], "%s: nothing but items in the item list: %s" % (label, not_items(path)))
                check_everything_there(label, path, edits, md5, book, cover)
                copy = path + ".atomicparsley.m4a"
                shutil.copyfile(path, copy)
                edited = subprocess.run(["AtomicParsley", copy, "--comment", AFTER["comment"], "--overWrite"],
                                        capture_output=True, text=True, errors="replace")
                check(edited.returncode == 0, "%s: AtomicParsley edits it: %s" % (label, edited.stdout[-200:]))
                check_everything_there(label + ", then AtomicParsley", copy, {**edits, **AFTER}, md5, book, cover,
                                       AFTER if book else ())
                os.remove(copy)
            print("%s: checked" % name, flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every file stays editable by the others")
    return 0


if __name__ == "__main__":
    sys.exit(main())
