#!/usr/bin/python3
"""A title edited and applied in the real zorv.exe's properties dialog over
MP3 files holding a second tag kind beside the ID3v2 tag the player reads: a
gain tool's APEv2 items (read or not) all stay as they were, and an album
that only the ID3v1 block holds stays, read back with mutagen; the title
reaches every tag. Frames and pictures keep their order through a title
edit, and a title a file holds already is not written. A version 2.2 tag
retitled keeps every frame under its later form; one holding a frame that
has none is left as it is.

usage: properties_keeps_mp3.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys

from mutagen.apev2 import APEv2
from mutagen.id3 import APIC, COMM, ID3, PRIV, TCMP, TIT2, TPE1, TPOS, TRCK, TXXX

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
from closing import NO, YES, dialog_ids  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import APPLY, edit_and_apply, edit_in_place  # noqa: E402
from properties_window import CANCEL, DIALOG, METADATA_LIST, dialog_closed, open_dialog_on_tracks, rows  # noqa: E402
import id3v22_tags  # noqa: E402
from two_tag_kinds import GAIN_ITEMS, tag_with_album_only_in_id3v1, tag_with_gain_items  # noqa: E402

# Rows of the metadata list, from the top: Artist, Title, Album, ...
TITLE_ROW = 1
REPORT = ("--title", "Information")  # the popup that lists the files an Apply could not write


def untagged_mp3s(music, *names, seconds=1):
    """MP3 files by lame (one second long unless asked), without tags, in a new folder."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", str(seconds), "sine", "440"],
                   check=True)
    paths = [os.path.join(music, name) for name in names]
    for path in paths:
        subprocess.run(["lame", "--quiet", "-b", "128", tone, path], check=True)
    os.remove(tone)
    return paths


def make_files(music):
    """An MP3 with ID3v2 and APEv2 tags, and one with ID3v2 and ID3v1 tags
    whose album only the ID3v1 block holds."""
    ape, v1 = untagged_mp3s(music, "1 ape.mp3", "2 id3v1.mp3")
    tag_with_gain_items(ape, "Old One")
    tag_with_album_only_in_id3v1(v1, "Old Two", "V1 Album")
    return ape, v1


def test_title_edit_keeps_the_other_tags_values(root):
    player = Player(root, "keeps_mp3")
    ape, v1 = make_files(os.path.join(player.folder, "music"))
    with open(v1, "rb") as f:
        block = f.read()[-128:]
    check(str(ID3(v1)["TALB"]) == "V1 Album" and "TALB" not in ID3(v1, load_v1=False),
          "keeps_mp3: the album is only in the ID3v1 block")
    if not open_dialog_on_tracks(player, [ape, v1]):
        check(False, "keeps_mp3: Properties opens the dialog")
        player.stop()
        return
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "keeps_mp3: Apply ends with the dialog enabled")
    check(rows(player, METADATA_LIST).get("Title") == "New Title", "keeps_mp3: the dialog shows the new title")

    items = APEv2(ape)
    kept = {key: str(items[key]) for key in GAIN_ITEMS if key in items}
    check(kept == GAIN_ITEMS, "keeps_mp3: every APEv2 item stays: %r" % dict(items))
    check(set(items.keys()) - set(GAIN_ITEMS) <= {"Title"} and str(items.get("Title", "New Title")) == "New Title",
          "keeps_mp3: the APEv2 tag gets the title alone: %r" % dict(items))
    check(str(ID3(ape)["TIT2"]) == "New Title" and str(ID3(ape)["TPE1"]) == "Band", "keeps_mp3: ID3v2 title edited")

    tags = ID3(v1)
    with open(v1, "rb") as f:
        new_block = f.read()[-128:]
    check(str(tags["TIT2"]) == "New Title" and str(tags.get("TALB")) == "V1 Album",
          "keeps_mp3: the ID3v1 album stays: %s" % tags.pprint())
    check(new_block[3:33].rstrip(b"\0") == b"New Title" and new_block[33:] == block[33:],
          "keeps_mp3: only the ID3v1 title changed")

    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "keeps_mp3: the dialog closes")
    check(player.stop() == 0, "keeps_mp3: the player ends cleanly")


def test_title_edit_of_a_compilation_stores_no_album_artist(root):
    """An MP3 marked as a compilation (TCMP) with no album artist: the
    dialog shows "Various Artists", and a title edit applied does not write
    it into the file."""
    player = Player(root, "compilation_mp3")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone, path = os.path.join(music, "tone.wav"), os.path.join(music, "compilation.mp3")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", tone, path], check=True)
    os.remove(tone)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Old"]))
    tags.add(TCMP(encoding=1, text=["1"]))
    tags.save(path)
    if not open_dialog_on_tracks(player, [path]):
        check(False, "compilation_mp3: Properties opens the dialog")
        player.stop()
        return
    check(rows(player, METADATA_LIST).get("Album Artist") in ("Various Artists", None),
          "compilation_mp3: the dialog shows the compilation's album artist: %r" % rows(player, METADATA_LIST))
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "compilation_mp3: Apply ends with the dialog enabled")
    tags = ID3(path)
    check(str(tags["TIT2"]) == "New Title" and not tags.getall("TPE2") and str(tags["TCMP"]) == "1",
          "compilation_mp3: the title alone is written, no album artist: %s" % tags.pprint())
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "compilation_mp3: the dialog closes")
    check(player.stop() == 0, "compilation_mp3: the player ends cleanly")


def frame_ids(path):
    """The frame identifiers of the version 2.3 tag at the file's start, in file order."""
    with open(path, "rb") as f:
        data = f.read()
    size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
    ids, pos = [], 10
    while pos + 10 <= size + 10 and data[pos:pos + 4] != bytes(4):
        ids.append(data[pos:pos + 4].decode("latin-1"))
        pos += 10 + int.from_bytes(data[pos + 4:pos + 8], "big")
    return ids


def test_title_edit_keeps_frame_and_picture_order(root):
    """An MP3 whose version 2.3 tag holds track and disc numbers, pictures of
    the artist, the back and the front cover and another, comments in two
    languages, a user-defined and a private frame, retitled with a title that
    a second file holds already: the pictures keep their order among
    themselves and the other frames theirs, and neither that applied again
    nor the second file is written."""
    player = Player(root, "frame_order")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    paths = [os.path.join(music, name) for name in ("1 pictures.mp3", "2 holds.mp3")]
    for path, title in zip(paths, ("Old", "Shared")):
        subprocess.run(["lame", "--quiet", "-b", "128", tone, path], check=True)
        tags = ID3()
        tags.add(TIT2(encoding=1, text=[title]))
        tags.add(TPE1(encoding=1, text=["Band"]))
        tags.add(TRCK(encoding=0, text=["3/12"]))
        tags.add(TPOS(encoding=0, text=["1/2"]))
        for kind, desc in ((8, "artist"), (4, "back"), (3, "front"), (0, "other")):
            tags.add(APIC(encoding=0, mime="image/png", type=kind, desc=desc, data=bytes([kind]) * 1500))
        tags.add(COMM(encoding=1, lang="eng", desc="", text=["english"]))
        tags.add(COMM(encoding=1, lang="deu", desc="note", text=["deutsch"]))
        tags.add(TXXX(encoding=1, desc="MOOD", text=["calm"]))
        tags.add(PRIV(owner="org.example", data=b"private"))
        tags.save(path, v2_version=3)
    os.remove(tone)
    pictures, order = [p.desc for p in ID3(paths[0]).getall("APIC")], frame_ids(paths[0])
    # mutagen puts them in an order of its own; the front cover is not first.
    check(pictures[0] != "front", "frame_order: the fixture's pictures: %s" % pictures)
    with open(paths[1], "rb") as f:
        held = f.read()
    stamp = os.stat(paths[1]).st_mtime_ns
    if not open_dialog_on_tracks(player, paths):
        check(False, "frame_order: Properties opens the dialog")
        player.stop()
        return
    check(edit_and_apply(player, TITLE_ROW, "Shared"), "frame_order: Apply ends with the dialog enabled")
    with open(paths[0], "rb") as f:
        written = f.read()
    written_stamp = os.stat(paths[0]).st_mtime_ns
    check(edit_and_apply(player, TITLE_ROW, "Shared"), "frame_order: Apply again ends with the dialog enabled")
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "frame_order: the dialog closes")
    check(player.stop() == 0, "frame_order: the player ends cleanly")

    tags = ID3(paths[0])
    check(str(tags["TIT2"]) == "Shared", "frame_order: the title is written")
    check([p.desc for p in tags.getall("APIC")] == pictures, "frame_order: the pictures keep their order: %s" %
          [p.desc for p in tags.getall("APIC")])
    # A tag rewritten through a copy puts its pictures first, ready for
    # later edits in place; the other frames keep their order.
    others = [frame for frame in frame_ids(paths[0]) if frame != "APIC"]
    check(others == [frame for frame in order if frame != "APIC"],
          "frame_order: the frames keep their order: %s, then %s" % (order, frame_ids(paths[0])))
    with open(paths[0], "rb") as f:
        check(f.read() == written and os.stat(paths[0]).st_mtime_ns == written_stamp,
              "frame_order: the same title applied again writes nothing")
    with open(paths[1], "rb") as f:
        check(f.read() == held and os.stat(paths[1]).st_mtime_ns == stamp,
              "frame_order: the file that holds the title is not written")


def test_title_edit_of_version_22_tags(root):
    """Two MP3 files with version 2.2 tags as older taggers wrote them (a
    picture, lyrics, the compilation flag ...), the second also with an
    encrypted meta frame, which later versions dropped: retitled, the first
    is written as version 2.3 with every other frame as it was, the second
    is not written."""
    player = Player(root, "version_22")
    carried, refused = untagged_mp3s(os.path.join(player.folder, "music"), "1 carried.mp3", "2 refused.mp3")
    id3v22_tags.put_tag(carried, id3v22_tags.COMMON_FRAMES)
    id3v22_tags.put_tag(refused, id3v22_tags.COMMON_FRAMES + [id3v22_tags.ENCRYPTED_META])
    before = id3v22_tags.later_forms(carried)
    with open(refused, "rb") as f:
        held = f.read()
    if not open_dialog_on_tracks(player, [carried, refused]):
        check(False, "version_22: Properties opens the dialog")
        player.stop()
        return
    check(rows(player, METADATA_LIST).get("Title") == "Old Title", "version_22: the dialog shows the title: %r" %
          rows(player, METADATA_LIST))
    edit_in_place(player, TITLE_ROW, "New Title")
    player.probe(*DIALOG, "command", str(APPLY))
    reported = player.wait(lambda: "no such window" not in player.probe(*REPORT, "descendants").stdout, 120)
    report = player.probe(*REPORT, "descendants").stdout
    check(reported and "ID3v2.2 frame CRM" in report, "version_22: the refused file is reported: %s" % report)
    player.probe(*REPORT, "close")
    # The edit of the refused file is still unsaved: Cancel asks, and No drops it.
    player.probe(*DIALOG, "command", str(CANCEL))
    asked = player.wait(lambda: {YES, NO} <= dialog_ids(player, "Properties"), 30)
    if asked:
        player.probe("--title", "Properties", "command", str(NO))
    check(player.wait(lambda: dialog_closed(player), 30), "version_22: the dialog closes")
    check(player.stop() == 0, "version_22: the player ends cleanly")

    tags = ID3(carried)
    check(tags.version == (2, 3, 0) and str(tags["TIT2"]) == "New Title", "version_22: retitled as version 2.3")
    now = [f for f in id3v22_tags.later_forms(carried) if not f.startswith("TIT2(")]
    kept = [f for f in before if not f.startswith("TIT2(")]
    check(now == kept, "version_22: every other frame carried over: lost %s, gained %s" %
          ([f for f in kept if f not in now], [f for f in now if f not in kept]))
    lyrics_and_flag = [str(f) for f in tags.getall("USLT")] + [str(f) for f in tags.getall("TCMP")]
    check(lyrics_and_flag == ["the lyrics", "1"], "version_22: the lyrics and the compilation flag stay: %s" % tags.pprint())
    with open(refused, "rb") as f:
        check(f.read() == held, "version_22: the file with a frame that has no later form is not written")


if __name__ == "__main__":
    run_window_tests(test_title_edit_keeps_the_other_tags_values,
                     test_title_edit_of_a_compilation_stores_no_album_artist,
                     test_title_edit_keeps_frame_and_picture_order,
                     test_title_edit_of_version_22_tags)
