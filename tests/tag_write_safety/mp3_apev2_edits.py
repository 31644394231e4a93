#!/usr/bin/python3
"""MP3 files whose APEv2 tag mutagen wrote (header, items, footer), with and
without a 100 KB picture and with and without an ID3v1 block behind it, are
edited four times by zorvtool: a longer title, one of the same size, a
shorter one, a new field. After each edit ffmpeg decodes the file without a
message and mpg123 without a note, each to the samples it decoded before
the edits; mutagen reads every value and the picture whole, mpg123 the
ID3v1 block's; the tag starts with its header. An edit whose bytes from the
first that differs to the end share a page keeps the file and changes that
page alone. A tag an earlier build left without its header gets one at its
next write.

The player's own ID3v2 tag, with its padding, and ID3v1 block on a file
without tags decode as cleanly. Then a file with mutagen's ID3v2, APEv2 (the
picture in it) and ID3v1 tags is edited by mutagen, mid3v2, eyeD3 and
kid3-cli (TagLib) in turn, the player after each: each program's edit is
read by the player, the player's by mutagen, eyeD3 and kid3-cli, ffmpeg
and mpg123 decode the file cleanly, and the ID3v2 frames the player's edit
does not name stay.

usage: mp3_apev2_edits.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

import mutagen
from mutagen.apev2 import APEv2, APEValue, BINARY
from mutagen.id3 import ID3
from tag_files import Zorvtool, changed_pages, ffmpeg_decode, run, tail_change_fits_one_page, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402
from large_tag_files import picture_bytes  # noqa: E402
import apev2_layouts  # noqa: E402
import two_tag_kinds  # noqa: E402

COVER = "Cover Art (Front)"
EDITS = [
    ("title", "A much longer title than that"),
    ("title", "The same size title than that"),
    ("title", "Short"),
    ("album", "A new album"),
]
# ffmpeg's MP3 reader skips a tag from its header to the next bytes that
# look like a frame header: a picture holding such bytes trips it whoever
# wrote the tag. This one holds no 0xFF byte, so no frame sync.
PICTURE = picture_bytes().replace(b"\xff", b"\xfe")
# kid3-cli needs no display for its work.
QUIET_QT = dict(os.environ, QT_QPA_PLATFORM="offscreen")


def mpg123_decode(path):
    """(md5 of the samples, mpg123's notes about the stream, {field: value}
    of the tag it shows)."""
    done = subprocess.run(["mpg123", "-s", path], capture_output=True)
    shown = {}
    notes = []
    for line in done.stderr.decode("latin-1").splitlines():
        name, sep, value = line.strip().partition(":")
        if name in ("Title", "Artist", "Album") and sep:
            shown[name.lower()] = value.strip()
        elif name in ("Note", "Warning", "Error") and "Xing stream size" not in value:
            # Xing's byte count is off by the size of any large tag.
            notes.append(line.strip())
    return hashlib.md5(done.stdout).hexdigest(), notes, shown


def mutagen_ape(path):
    try:
        return APEv2(path)
    except Exception as error:  # mutagen's refusal is what is checked
        return {"~error": str(error)}


def ape_header_agrees(data):
    """Whether the APEv2 tag starts with a header that says so and agrees
    with its footer."""
    found = apev2_layouts.footer(data)
    if found is None:
        return False
    at, size, count = found
    header = at - (size - 32) - 32
    return (header >= 0 and data[header:header + 8] == b"APETAGEX" and
            struct.unpack_from("<III", data, header + 12) == (size, count, 0xA0000000))


def make_fixtures(folder, mp3):
    """{name: path} of copies of `mp3` with mutagen's APEv2 tag, with and
    without a cover, with and without an ID3v1 block behind it; and one whose
    tag has no header, as earlier builds of the player wrote it."""
    out = {}
    for cover in (False, True):
        for v1 in (False, True):
            name = "ape" + ("-cover" if cover else "") + ("-id3v1" if v1 else "")
            out[name] = os.path.join(folder, name + ".mp3")
            shutil.copyfile(mp3, out[name])
            items = APEv2()
            items["Title"], items["Artist"], items["Album"] = "Old title", "Old artist", "Old album"
            if cover:
                items[COVER] = APEValue(b"cover.png\0" + PICTURE, BINARY)
            items.save(out[name])
            if v1:  # mutagen drops an ID3v1 block when it saves an APEv2 tag
                with open(out[name], "ab") as f:
                    f.write(two_tag_kinds.id3v1_block(b"Old title", b"Old album"))
    with open(out["ape-id3v1"], "rb") as f:
        data = f.read()
    at, size, count = apev2_layouts.footer(data)
    header = at - (size - 32) - 32
    footer = data[at:at + 20] + struct.pack("<I", 0) + data[at + 24:at + 32]
    out["ape-no-header"] = os.path.join(folder, "ape-no-header.mp3")
    with open(out["ape-no-header"], "wb") as f:
        f.write(data[:header] + data[header + 32:at] + footer + data[at + 32:])
    return out


def check_clean_decodes(name, path, ffmpeg_before, mpg123_before):
    samples, messages = ffmpeg_decode(path)
    check(not messages, "%s: ffmpeg decodes without a message: %s" % (name, messages))
    check(samples == ffmpeg_before, "%s: ffmpeg decodes the samples it decoded before" % name)
    samples, notes, shown = mpg123_decode(path)
    check(not notes, "%s: mpg123 decodes without a note: %s" % (name, notes))
    check(samples == mpg123_before, "%s: mpg123 decodes the samples it decoded before" % name)
    return shown


def check_edits(tool, name, path, ffmpeg_before, mpg123_before):
    expected = {"title": "Old title", "artist": "Old artist", "album": "Old album"}
    cover = mutagen_ape(path).get(COVER)
    for field, value in EDITS:
        what = "%s, %s=%s" % (name, field, value)
        with open(path, "rb") as f:
            before = f.read()
        inode = os.stat(path).st_ino
        rc, _, err = tool.run("tag", windows_path(path), "%s=%s" % (field, value))
        check(rc == 0, "%s: zorvtool writes the edit: %s" % (what, err.strip()[-300:]))
        expected[field] = value
        with open(path, "rb") as f:
            after = f.read()
        check(ape_header_agrees(after), "%s: the tag starts with its header" % what)
        check(apev2_layouts.items_before_footer(after) == b"", "%s: the footer follows the last item" % what)
        if tail_change_fits_one_page(before, after):
            check(os.stat(path).st_ino == inode and changed_pages(before, after) == 1,
                  "%s: the edit of one page is made in place, %d pages changed" % (what, changed_pages(before, after)))
        shown = check_clean_decodes(what, path, ffmpeg_before, mpg123_before)
        tags = mutagen_ape(path)
        read = {key: str(tags[key]) for key in ("Title", "Artist", "Album") if key in tags}
        check(read == {k.capitalize(): v for k, v in expected.items()}, "%s: mutagen reads %s" % (what, read))
        check(cover is None or tags.get(COVER) == cover, "%s: the picture stays whole" % what)
        if name.endswith("id3v1"):  # the block's artist is its own
            check(all(shown.get(k) == expected[k] for k in ("title", "album")),
                  "%s: mpg123 shows the ID3v1 block's values: %s" % (what, shown))
        fields = tool.fields(path)
        check(fields is not None and all(fields.get(k) == [v] for k, v in expected.items()),
              "%s: zorvtool reads every value: %s" % (what, fields))


def check_new_tags_decode_cleanly(tool, folder, mp3):
    """lame's file without tags gets the player's ID3v2 tag, with its
    padding, and an ID3v1 block; a long comment then outgrows the padding."""
    path = os.path.join(folder, "new-tags.mp3")
    shutil.copyfile(mp3, path)
    ffmpeg_before, mpg123_before = ffmpeg_decode(mp3)[0], mpg123_decode(mp3)[0]
    for edit in ("title=New tags", "comment=" + "c" * 5000):
        rc, _, _ = tool.run("tag", windows_path(path), edit)
        shown = check_clean_decodes("new tags, " + edit[:20], path, ffmpeg_before, mpg123_before)
        check(rc == 0 and shown.get("title") == "New tags", "new tags, %s: mpg123 shows the title" % edit[:20])


def other_taggers(path):
    """(name, command, field, value) of each other program's edit."""
    def by_mutagen():
        tags = ID3(path)
        tags.add(mutagen.id3.TCOM(encoding=3, text=["By mutagen"]))
        tags.save(path, v1=1)
    return [
        ("mutagen", by_mutagen, "composer", "By mutagen"),
        ("mid3v2", ["mid3v2", "--TPUB", "By mid3v2", path], "publisher", "By mid3v2"),
        ("eyeD3", ["eyeD3", "--quiet", "--no-color", "--text-frame", "TCOP:By eyeD3", path], "copyright", "By eyeD3"),
        ("kid3-cli", ["kid3-cli", "-c", "set comment 'By kid3' 2", "-c", "save", path], "comment", "By kid3"),
    ]


def check_others_go_on_editing(tool, folder, mp3):
    path = os.path.join(folder, "all-kinds.mp3")
    shutil.copyfile(mp3, path)
    items = APEv2()
    items["Title"], items["Artist"] = "Old title", "Old artist"
    items[COVER] = APEValue(b"cover.png\0" + PICTURE, BINARY)
    items.save(path)
    with open(path, "ab") as f:
        f.write(two_tag_kinds.id3v1_block(b"Old title", b"Old album"))
    two_tag_kinds.id3v2("Old title").save(path, v1=1)
    ffmpeg_before, mpg123_before = ffmpeg_decode(path)[0], mpg123_decode(path)[0]
    check_clean_decodes("ID3v2, APEv2 and ID3v1 as mutagen wrote them", path, ffmpeg_before, mpg123_before)
    for name, command, field, value in other_taggers(path):
        if callable(command):
            command()
        else:
            subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=QUIET_QT)
        fields = tool.fields(path)
        check(fields is not None and fields.get(field) == [value], "%s: the player reads its edit: %s" % (name, fields))
        other_frames = lambda: [line for line in ID3(path).pprint().splitlines() if not line.startswith("TIT2=")]
        frames_before = other_frames()
        title = "After " + name
        rc, _, _ = tool.run("tag", windows_path(path), "title=" + title)
        with open(path, "rb") as f:
            data = f.read()
        check(rc == 0 and other_frames() == frames_before,
              "after %s: the player's edit keeps every other ID3v2 frame: %s" % (name, other_frames()))
        check(str(ID3(path).get("TIT2")) == title and mutagen_ape(path).get("Title") == title,
              "after %s: mutagen reads the player's edit in both tags" % name)
        listed = subprocess.run(["eyeD3", "--no-color", path], capture_output=True, text=True, errors="replace").stdout
        check(title in listed, "after %s: eyeD3 reads the player's edit" % name)
        listed = subprocess.run(["kid3-cli", "-c", "get title 2", "-c", "get title 3", path], capture_output=True,
                                text=True, errors="replace", env=QUIET_QT).stdout.splitlines()
        check(listed == [title, title], "after %s: kid3-cli reads the player's edit in both tags: %s" % (name, listed))
        check(ape_header_agrees(data), "after %s: the APEv2 tag starts with its header" % name)
        check_clean_decodes("after " + name, path, ffmpeg_before, mpg123_before)


def main():
    tool = Zorvtool(*sys.argv[1:4])
    work = tempfile.mkdtemp(prefix="zorv-mp3-apev2-")
    try:
        src = os.path.join(work, "src.wav")
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "3", "sine", "440", "sine", "660"])
        mp3 = os.path.join(work, "plain.mp3")
        run(["lame", "--quiet", "-b", "128", src, mp3])
        fixtures = make_fixtures(work, mp3)
        for name, path in sorted(fixtures.items()):
            # A large tag puts ffmpeg's and mpg123's reading of lame's length
            # record off: the samples to keep are those of mutagen's file.
            as_written = fixtures["ape-id3v1" if name == "ape-no-header" else name]
            ffmpeg_before, mpg123_before = ffmpeg_decode(as_written)[0], mpg123_decode(as_written)[0]
            if name != "ape-no-header":
                check_clean_decodes(name + " as mutagen wrote it", path, ffmpeg_before, mpg123_before)
            check_edits(tool, name, path, ffmpeg_before, mpg123_before)
            print("%s: %d edits checked" % (name, len(EDITS)), flush=True)
        check_new_tags_decode_cleanly(tool, work, mp3)
        check_others_go_on_editing(tool, work, mp3)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every edit left a file other MP3 readers read cleanly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
