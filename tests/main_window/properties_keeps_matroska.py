#!/usr/bin/python3
"""A title edited in the real zorv.exe's properties dialog over a Matroska
file mkvmerge made from an Ogg Vorbis file with ARTIST and ALBUMARTIST
comments: mkvmerge aims the album artist at the track in a Tag of its own,
TargetType ALBUM without a TargetTypeValue (so at the default level 50).
The dialog shows it as the Album Artist before and after Apply, and
mkvextract finds it after Apply where it was, every other Tag unchanged.
Then the title of one chapter of a chaptered file (ffmpeg's stream tags and
mkvpropedit's track-level title and artist aimed at the track, a title Tag
aimed at each chapter) changes in that chapter's Tag alone, and an album
edit beside a collection's title changes the album's TITLE alone: every
other Tag stays as mkvextract shows it. A title edit beside the titles of a
side (40), a movement (20) and a shot (10) changes the track's TITLE alone,
and an album edit after it beside a box set's title (60) the album's alone.
Chapters beside the track's level-30 TITLE list apart by their names; an
album edit of one chapter is refused with the file unchanged (ffmpeg would
read an album's TITLE aimed at the chapter as its title); an artist edit of
every chapter leaves the old artist in no chapter's Tag nor the track's.

usage: properties_keeps_matroska.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys
from xml.etree import ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import edit_and_apply, edit_in_place  # noqa: E402
from properties_window import (APPLY, CANCEL, DIALOG, METADATA_LIST, dialog_closed, open_dialog_in_album,  # noqa: E402
                               open_dialog_on_tracks, rows)
from matroska_tag_levels import (CHAPTER_NAMES, NAMED_CHAPTERS, make_chapter_artists, make_chaptered,  # noqa: E402
                                 make_collection, make_every_level, make_named_chapters, simple_pairs,
                                 simple_strings, tag_list)

# Rows of the metadata list, from the top: Artist, Title, Album, Date, Genre.
ARTIST_ROW, TITLE_ROW, ALBUM_ROW = 0, 1, 2
MESSAGE = ("--title", "Information")  # the message listing a failed Apply's errors
MESSAGE_TEXT = 1077


def remuxed_ogg(music):
    os.makedirs(music)
    tone, ogg, mka = (os.path.join(music, name) for name in ("tone.wav", "source.ogg", "01 remuxed.mka"))
    for command in (["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"],
                    ["oggenc", "-Q", "-t", "Song", "-a", "Track Artist", "-l", "The Album", "-c",
                     "ALBUMARTIST=Album Artist", tone, "-o", ogg],
                    ["mkvmerge", "-q", "-o", mka, ogg]):
        subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.remove(tone)
    os.remove(ogg)
    return mka


def tags(path):
    """mkvextract's Tags as (Targets, [SimpleTag]) in XML, without the
    SimpleTags holding the title and the Tags left empty by that."""
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    shape = []
    for tag in ElementTree.fromstring(extracted.lstrip("\ufeff").encode()):
        for element in tag:
            element.tail = None
        simples = [ElementTree.tostring(s) for s in tag.findall("Simple") if s.findtext("Name") != "TITLE"]
        if simples:
            shape.append((ElementTree.tostring(tag.find("Targets")), simples))
    return shape


def album_artist_levels(path):
    """The level of every Tag holding ARTIST=Album Artist (50 when unsaid)."""
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    return [tag.findtext("Targets/TargetTypeValue", "50")
            for tag in ElementTree.fromstring(extracted.lstrip("\ufeff").encode())
            if any(s.findtext("Name") == "ARTIST" and s.findtext("String") == "Album Artist" for s in tag.iter("Simple"))]


def test_title_edit_keeps_the_album_artist(root):
    player = Player(root, "matroska")
    path = remuxed_ogg(os.path.join(player.folder, "music"))
    before = tags(path)
    check(album_artist_levels(path) == ["50"], "mkvmerge puts the album artist at level 50: %s" % before)
    if not open_dialog_on_tracks(player, [path]):
        check(False, "matroska: Properties opens the dialog")
        player.stop()
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Artist") == "Track Artist" and shown.get("Album artist") == "Album Artist",
          "matroska: the ALBUM Tag's artist shows as the Album Artist: %r" % shown)

    check(edit_and_apply(player, TITLE_ROW, "New Title"), "matroska: Apply ends with the dialog enabled and Apply off")
    check(album_artist_levels(path) == ["50"], "matroska: the album artist stays at level 50: %s" % tags(path))
    check(tags(path) == before, "matroska: every Tag but the title is as it was:\n%s\n%s" % (before, tags(path)))
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") == "New Title" and shown.get("Artist") == "Track Artist" and
          shown.get("Album artist") == "Album Artist", "matroska: the dialog shows what the file holds: %r" % shown)

    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "matroska: Cancel after Apply closes unasked")
    check(player.stop() == 0, "matroska: the player ends cleanly")


def close(player, name):
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "%s: Cancel after Apply closes unasked" % name)
    check(player.stop() == 0, "%s: the player ends cleanly" % name)


def test_title_edit_of_one_chapter(root):
    """The chapters carry their names in TITLE Tags aimed at each (the
    library lists them apart by title); the last one retitled in its album."""
    player = Player(root, "chapters", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    path = make_chaptered(music, chapter_titles=True)
    before = tag_list(path)
    if not open_dialog_in_album(player, "chapters", "end"):
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") in CHAPTER_NAMES and shown.get("Artist") == "Track Artist",
          "chapters: one chapter with its title and the track's artist: %r" % shown)
    old_title = shown.get("Title")
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "chapters: Apply ends with the dialog enabled and Apply off")
    after = tag_list(path)
    changed = [n for n, tag in enumerate(before) if n >= len(after) or after[n] != tag]
    check(len(after) == len(before) and len(changed) == 1 and simple_strings(before[changed[0]]) == [old_title] and
          simple_strings(after[changed[0]]) == ["New Title"] and after[changed[0]][0] == before[changed[0]][0],
          "chapters: only that chapter's TITLE changes; the track's title and artist, ENCODER and DURATION "
          "aimed at the track and every other Tag stay:\n%s\n%s" % (before, after))
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") == "New Title" and shown.get("Artist") == "Track Artist",
          "chapters: the dialog shows what the file holds: %r" % shown)
    close(player, "chapters")


def test_album_edit_beside_a_collection(root):
    player = Player(root, "collection")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    path = make_collection(music)
    before = tag_list(path)
    if not open_dialog_on_tracks(player, [path]):
        check(False, "collection: Properties opens the dialog")
        player.stop()
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Album") == "The Album", "collection: the album is the ALBUM Tag's title alone: %r" % shown)
    check(edit_and_apply(player, ALBUM_ROW, "New Album"), "collection: Apply ends with the dialog enabled")
    after = tag_list(path)
    check(len(after) == len(before) and [t for n, t in enumerate(after) if n != 1] == before[:1] + before[2:] and
          after[1][0] == before[1][0] and
          simple_strings(after[1]) == ["New Album", "Album Artist"],
          "collection: the album's TITLE changes alone, the collection's stays:\n%s\n%s" % (before, after))
    shown = rows(player, METADATA_LIST)
    check(shown.get("Album") == "New Album" and shown.get("Title") == "Song",
          "collection: the dialog shows what the file holds: %r" % shown)
    close(player, "collection")


def test_title_edit_beside_other_levels(root):
    player = Player(root, "levels")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    path = make_every_level(music)
    before = tag_list(path)
    if not open_dialog_on_tracks(player, [path]):
        check(False, "levels: Properties opens the dialog")
        player.stop()
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") == "Song" and shown.get("Album") == "The Album",
          "levels: the title is the track level's alone: %r" % shown)
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "levels: Apply ends with the dialog enabled")
    after = tag_list(path)
    changed = [n for n, tag in enumerate(before) if n >= len(after) or after[n] != tag]
    check(len(after) == len(before) and len(changed) == 1 and after[changed[0]][0] == before[changed[0]][0] and
          simple_strings(after[changed[0]]) == ["New Title", "Singer"],
          "levels: the track level's TITLE changes alone; the side's, movement's and shot's stay:\n%s\n%s" %
          (before, after))
    before = after
    check(edit_and_apply(player, ALBUM_ROW, "New Album"), "levels: the second Apply ends with the dialog enabled")
    after = tag_list(path)
    changed = [n for n, tag in enumerate(before) if n >= len(after) or after[n] != tag]
    check(len(after) == len(before) and len(changed) == 1 and after[changed[0]][0] == before[changed[0]][0] and
          simple_strings(after[changed[0]]) == ["New Album", "Album Artist", None],
          "levels: the album's TITLE changes alone; the box set's and the collection's stay:\n%s\n%s" %
          (before, after))
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") == "New Title" and shown.get("Album") == "New Album",
          "levels: the dialog shows what the file holds: %r" % shown)
    close(player, "levels")


def test_chapters_by_their_names(root):
    """ffmpeg's chapters beside mkvpropedit's title aimed at the track: the
    album lists each chapter by its name (in their order by title, so End
    reaches one of them and not the track's title)."""
    player = Player(root, "named", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    make_named_chapters(music)
    if not open_dialog_in_album(player, "named", "end"):
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") in NAMED_CHAPTERS, "named: the last row is a chapter, by its name: %r" % shown)
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "named: Cancel closes the dialog")
    check(player.stop() == 0, "named: the player ends cleanly")


def test_album_of_one_chapter(root):
    """mkvmerge's chapters with their artists: one chapter's album (an
    album's TITLE, which ffmpeg would read aimed at the chapter as its
    title) is refused, the refusal shown and the file keeps every byte."""
    player = Player(root, "one-album", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    path = make_chapter_artists(music)
    with open(path, "rb") as f:
        before = f.read()
    if not open_dialog_in_album(player, "one album", "end"):
        return
    edit_in_place(player, ALBUM_ROW, "Chapter Album")
    player.probe(*DIALOG, "command", str(APPLY))
    told = player.wait(lambda: "of a single chapter cannot be stored" in
                       player.probe(*MESSAGE, "descendants").stdout, 120)
    check(told, "one album: the refusal is shown: %r" % player.probe(*MESSAGE, "descendants").stdout)
    with open(path, "rb") as f:
        check(f.read() == before, "one album: the refused edit leaves the file unchanged")
    player.process.kill()  # the refused edit stays unsaved in the dialog; what counts is on disk
    player.process.wait()


def test_artist_of_every_chapter(root):
    player = Player(root, "artists", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    path = make_chapter_artists(music)
    others = [p for p in simple_pairs(path) if p[0] != "30"]
    if not open_dialog_in_album(player, "artists", "home", "shift+end"):
        return
    check(edit_and_apply(player, ARTIST_ROW, "New Artist"), "artists: Apply ends with the dialog enabled")
    pairs = simple_pairs(path)
    check([p for p in pairs if p[1] == "ARTIST" and p[0] == "30"] == [("30", "ARTIST", "New Artist")] * 3 and
          [p for p in pairs if p[0] != "30"] == others,
          "artists: the chapters' and the track's ARTIST hold the new artist where they were, no old one stays, "
          "the other levels' stay: %s" % pairs)
    shown = rows(player, METADATA_LIST)
    check(shown.get("Artist") == "New Artist" and shown.get("Album artist") == "Album Artist",
          "artists: the dialog shows what the file holds: %r" % shown)
    close(player, "artists")


if __name__ == "__main__":
    run_window_tests(test_title_edit_keeps_the_album_artist, test_title_edit_of_one_chapter,
                     test_album_edit_beside_a_collection, test_title_edit_beside_other_levels,
                     test_chapters_by_their_names, test_album_of_one_chapter, test_artist_of_every_chapter)
