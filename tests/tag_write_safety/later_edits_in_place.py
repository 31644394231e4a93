#!/usr/bin/python3
"""Text edits of files with a 100 KB picture go down in place once the file
has been rewritten: WavPack and Musepack with an APEv2 cover item, Ogg
Vorbis and Opus with a picture comment, each tagged by mutagen.

usage: later_edits_in_place.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
The first edit may copy the file (mutagen put the text before the picture
or left no room); the copy lays the file out for later edits. Each later
edit, growing, shrinking or keeping the size of a field, must then keep the
file (same inode, same size) and change at most two of its 4 KiB pages,
while zorvtool, mutagen and ffprobe read the new value and the picture
stays byte for byte. An APEv2 tag keeps no room between its items and its
footer (other taggers append their items there), and its header gives its
size: there only an edit that keeps the tag's size goes down in place, the
others copy the file, each leaving the footer right behind the last item.
"""
import base64
import os
import shutil
import sys
import tempfile

import mutagen
from mutagen.flac import Picture
from tag_files import Zorvtool, run, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402
from large_tag_files import ffprobe_view, make_cover_fixtures, picture_bytes  # noqa: E402
import apev2_layouts  # noqa: E402

PAGE = 4096
FIRST_EDIT = ["title=First edit"]
LATER_EDITS = [
    ["title=A much longer second title"],
    ["title=Short"],
    ["title=Other"],
    ["artist=Someone else entirely"],
]


def changed_pages(before, after):
    return sum(before[i:i + PAGE] != after[i:i + PAGE] for i in range(0, max(len(before), len(after)), PAGE))


def mutagen_value(path, field):
    value = mutagen.File(path).tags.get(field)
    if isinstance(value, list):  # Vorbis comments
        value = value[0] if value else None
    return None if value is None else str(value)


def picture_kept(path):
    """Whether mutagen finds the fixture's picture whole."""
    tags = mutagen.File(path).tags
    if "Cover Art (Front)" in tags.keys():
        return tags["Cover Art (Front)"].value == b"cover.png\0" + picture_bytes()
    pictures = tags.get("metadata_block_picture", [])
    return [Picture(base64.b64decode(p)).data for p in pictures] == [picture_bytes()]


def main():
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-later-edits-")
    try:
        src = os.path.join(work, "src.wav")
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "3", "sine", "440", "sine", "660"])
        for name, original in sorted(make_cover_fixtures(work, src).items()):
            path = os.path.join(work, "edited-" + os.path.basename(original))
            shutil.copyfile(original, path)
            rc, _, _ = tool.run("tag", windows_path(path), *FIRST_EDIT)
            check(rc == 0, "%s: the first edit succeeds" % name)
            for edit in LATER_EDITS:
                with open(path, "rb") as f:
                    before = f.read()
                inode = os.stat(path).st_ino
                rc, _, _ = tool.run("tag", windows_path(path), *edit)
                with open(path, "rb") as f:
                    after = f.read()
                field, value = edit[0].split("=", 1)
                check(rc == 0 and tool.fields(path).get(field) == [value],
                      "%s, %s: zorvtool reads the edit back" % (name, edit[0]))
                in_place = os.stat(path).st_ino == inode and len(after) == len(before)
                apev2 = name in ("coverwv", "covermpc")
                check(in_place or (apev2 and len(after) != len(before)),
                      "%s, %s: the file is written in place (inode %d -> %d, %d -> %d bytes)" %
                      (name, edit[0], inode, os.stat(path).st_ino, len(before), len(after)))
                check(not apev2 or apev2_layouts.items_before_footer(after) == b"",
                      "%s, %s: the footer follows the last item" % (name, edit[0]))
                pages = changed_pages(before, after)
                check(pages <= 2 or not in_place, "%s, %s: %d pages of 4 KiB change" % (name, edit[0], pages))
                check(mutagen_value(path, field) == value, "%s, %s: mutagen reads the edit" % (name, edit[0]))
                check(field != "title" or ("title %r" % value) in ffprobe_view(path),
                      "%s, %s: ffprobe reads the edit: %s" % (name, edit[0], ffprobe_view(path)))
                check(picture_kept(path), "%s, %s: the picture stays whole" % (name, edit[0]))
            print("%s: %d later edits checked" % (name, len(LATER_EDITS)), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every later edit went down in place")
    return 0


if __name__ == "__main__":
    sys.exit(main())
