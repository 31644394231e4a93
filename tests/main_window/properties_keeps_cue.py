#!/usr/bin/python3
"""One track of a cue image (FLAC with its sheet in a comment, WavPack with
its sheet in an APE item) selected in its album in the real zorv.exe's
library, its title edited in the properties dialog and applied: read back
with mutagen, the sheet changes in that track's TITLE line only, so every
other track keeps its PERFORMER and other values though the file's ARTIST
shows over them, and the file's other tags stay as they were (no "Track"
item, no TOTALTRACKS). The artist removed from every track leaves no track
showing one, not even a PERFORMER the file's ARTIST hid. A sheet that
begins with a byte-order mark gives the album view its three tracks.

Shared by two tests, each a player started anew for every case, so that
they run side by side: properties_keeps_cue_titles.py (titles, and the
sheet with a byte-order mark) and properties_keeps_cue_removals.py (fields
removed from every track), each run as
SCRIPT WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe).
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
from cue_images import (FILE_TAGS, SHEET, block_sheet, make_cue_image, sheet_tracks, store_marked_sheet,  # noqa: E402
                        tags)
from main_window import Player  # noqa: E402
from properties_apply_formats import apply_and_wait, edit_and_apply  # noqa: E402
from properties_window import (CANCEL, DIALOG, LIST, METADATA_LIST, PLAY, dialog_window, open_dialog_in_album,  # noqa: E402
                               rows)

TITLE_ROW = 1  # Artist, Title, Album, Date, Genre
# Track 2's own date puts it in an album of its own: track 3 is the last of the first album.


def cancel_and_stop(player, label):
    """Closes the dialog unchanged and ends the player, each checked."""
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_window(player)[0] is None, 30), "%s: the dialog closes" % label)
    check(player.stop() == 0, "%s: the player ends cleanly" % label)


def retitle_last_track(root, kind):
    """The image alone in a new library; its album opened, its last track
    (track 3) retitled in the dialog; the file read back."""
    player = Player(root, "cue-" + kind, library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    image = os.path.join(player.folder, "music", "disc." + kind)
    make_cue_image(image, kind)
    before = tags(image)
    player.start()
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 120), "%s: the scan finds it" % kind)
    player.keys("home", "down", "return")
    check(player.text(1067).startswith("Album:"), "%s: its album opens: %r" % (kind, player.text(1067)))
    player.keys("end")
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    if not player.wait(lambda: dialog_window(player)[0] is not None, 60):
        check(False, "%s: Properties opens the dialog" % kind)
        player.stop()
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") == "Third" and shown.get("Artist") == "File Artist",
          "%s: the dialog shows track 3, the file's ARTIST over the sheet's: %r" % (kind, shown))
    check(edit_and_apply(player, TITLE_ROW, "Dritte"), "%s: Apply ends with the dialog enabled" % kind)
    after = tags(image)
    tracks, old_tracks = sheet_tracks(after.get("CUESHEET", [""])[0]), sheet_tracks(SHEET)
    check(tracks.get(3) == [line.replace('"Third"', '"Dritte"') for line in old_tracks[3]],
          "%s: track 3's sheet lines hold the new title and nothing else new: %r" % (kind, tracks.get(3)))
    for number in (0, 1, 2):
        check(tracks.get(number) == old_tracks[number], "%s: the sheet's lines of %s are unchanged: %r" %
              (kind, "track %d" % number if number else "the disc", tracks.get(number)))
    check({n: v for n, v in after.items() if n != "CUESHEET"} == {n: v for n, v in before.items() if n != "CUESHEET"},
          "%s: every other tag is as it was, no Track item: %r" % (kind, after))
    cancel_and_stop(player, kind)


def remove_row_and_apply(player, kind, field):
    """Deletes the open dialog's row of `field` and applies the change."""
    names = [line.split("\t", 1)[0] for line in player.probe(*DIALOG, "rows", str(METADATA_LIST)).stdout.splitlines()]
    row = [i for i, name in enumerate(names) if name.strip("<>").lower() == field]
    check(len(row) == 1, "%s: the dialog has a %s row: %r" % (kind, field, names))
    if row:
        player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row[0]))
        player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "delete")
        check(apply_and_wait(player), "%s: Apply ends with the dialog enabled" % kind)


def test_title_edit_of_one_cue_track(root):
    for kind in ("comment.flac", "image.wv"):
        retitle_last_track(root, kind)


# Without track 2's own date the three tracks make one album.
ONE_ALBUM = SHEET.replace("    REM DATE 2001\r\n", "")
RIP_TAGS = dict(FILE_TAGS, COMMENT="Ripped", BPM="120")


def open_whole_album(player, kind):
    """The library's first album opened, all its tracks selected and
    Properties opened on them; false with the player stopped when the
    dialog does not open."""
    return open_dialog_in_album(player, kind, "home", "shift+end")


def remove_comment_from_every_track(root, kind):
    """Every track of the image selected and its comment row removed in the
    dialog: the file loses its COMMENT tag and the sheet its REM COMMENT
    header line, and nothing else changes: the sheet reaches no other tag and
    no track gains an override."""
    player = Player(root, "cue-removal-" + kind, library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    image = os.path.join(player.folder, "music", "disc." + kind)
    make_cue_image(image, kind, ONE_ALBUM, RIP_TAGS)
    before = tags(image)
    if not open_whole_album(player, kind):
        return
    remove_row_and_apply(player, kind, "comment")
    expected = {n: v for n, v in before.items() if n != "COMMENT"}
    expected["CUESHEET"] = [ONE_ALBUM.replace('REM COMMENT "ExactAudioCopy v1.6"\r\n', "")]
    after = tags(image)
    check(after == expected, "%s: the comment alone goes, from the tags and the sheet's header: %r" % (kind, after))
    cancel_and_stop(player, kind)


def test_comment_removed_from_every_cue_track(root):
    for kind in ("comment.flac", "image.wv"):
        remove_comment_from_every_track(root, kind)


def remove_album_artist_from_every_track(root, kind):
    """Every track of the image selected and its album artist row removed in
    the dialog: the file loses that tag and the sheet its header PERFORMER,
    which every track's own PERFORMER left as the album artist alone and
    which would otherwise show in its place; nothing else changes."""
    player = Player(root, "cue-album-artist-" + kind, library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    image = os.path.join(player.folder, "music", "disc." + kind)
    album_artist = "ALBUM ARTIST" if kind.endswith(".wv") else "ALBUMARTIST"
    make_cue_image(image, kind, ONE_ALBUM, dict(RIP_TAGS, **{album_artist: "Tag Various"}))
    before = tags(image)
    if not open_whole_album(player, kind):
        return
    names = [line.split("\t", 1)[0] for line in player.probe(*DIALOG, "rows", str(METADATA_LIST)).stdout.splitlines()]
    row = [i for i, name in enumerate(names) if name.strip("<>").lower() == "album artist"]
    check(len(row) == 1, "%s: the dialog has an album artist row: %r" % (kind, names))
    if row:
        player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row[0]))
        player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "delete")
        check(apply_and_wait(player), "%s: Apply ends with the dialog enabled" % kind)
    expected = {n: v for n, v in before.items() if n != album_artist}
    expected["CUESHEET"] = [ONE_ALBUM.replace('PERFORMER "The Quartet"\r\n', "")]
    after = tags(image)
    check(after == expected, "%s: the album artist goes, from the tags and the sheet's header: %r" % (kind, after))
    cancel_and_stop(player, kind)


def test_album_artist_removed_from_every_cue_track(root):
    for kind in ("comment.flac", "image.wv"):
        remove_album_artist_from_every_track(root, kind)


# The header PERFORMER gives track 3 its artist; tracks 1 and 2 have their
# own; the file's ARTIST shows over all three.
HEADER_AND_OWN_PERFORMERS = "".join(
    line for line in ONE_ALBUM.splitlines(True) if not line.startswith("    PERFORMER \"Third")).replace(
    "The Quartet", "Sheet Artist").replace("First Guest", "Performer One").replace("Second Guest", "Performer Two")


def remove_artist_from_every_track(root, kind):
    """Every track of the image selected and its Artist row removed in the
    dialog: the file's ARTIST, the header PERFORMER and the tracks' own go,
    so no track shows an artist, not even one the file's tag hid; the album
    artist the header gave stays as the file's tag. Read back with mutagen,
    metaflac or wvunpack, and ffprobe."""
    player = Player(root, "cue-artist-" + kind, library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    image = os.path.join(player.folder, "music", "disc." + kind)
    make_cue_image(image, kind, HEADER_AND_OWN_PERFORMERS)
    before = tags(image)
    if not open_whole_album(player, kind):
        return
    remove_row_and_apply(player, kind, "artist")
    album_artist = "ALBUM ARTIST" if kind.endswith(".wv") else "ALBUMARTIST"
    expected = {n: v for n, v in before.items() if n != "ARTIST"}
    expected["CUESHEET"] = ["".join(line for line in HEADER_AND_OWN_PERFORMERS.splitlines(True)
                                    if not line.strip().startswith("PERFORMER"))]
    expected[album_artist] = ["Sheet Artist"]
    after = tags(image)
    check(after == expected, "%s: the artist goes from the tags and every sheet line: %r" % (kind, after))
    if kind.endswith(".wv"):
        other = subprocess.run(["wvunpack", "-q", "-x", "artist", image], capture_output=True, text=True).stdout
    else:
        other = subprocess.run(["metaflac", "--show-tag=ARTIST", image], capture_output=True, text=True).stdout
    probed = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "format_tags", "-of", "json", image],
                            capture_output=True, text=True).stdout.lower()
    check(other.strip() == "" and '"artist"' not in probed and "sheet artist" in probed,
          "%s: metaflac or wvunpack and ffprobe read no artist: %r %r" % (kind, other, probed))
    player.shot("cue-artist-removed-" + kind.replace(".", "-"))
    cancel_and_stop(player, kind)


def test_artist_removed_from_every_cue_track(root):
    for kind in ("comment.flac", "image.wv"):
        remove_artist_from_every_track(root, kind)


def test_title_edit_beside_a_cue_sheet_block(root):
    """A FLAC whose sheet is a CUESHEET block (no sheet comment): its last
    track retitled in the dialog gets the title in its own tag; no sheet
    comment is made up, the block and every other tag stay."""
    player = Player(root, "cue-block", library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    image = os.path.join(player.folder, "music", "disc.flac")
    make_cue_image(image, "block.flac")
    before, block = tags(image), block_sheet(image)
    player.start()
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 120), "block: the scan finds it")
    player.keys("home", "down", "return")
    player.keys("end")
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    if not player.wait(lambda: dialog_window(player)[0] is not None, 60):
        check(False, "block: Properties opens the dialog")
        player.stop()
        return
    check(edit_and_apply(player, TITLE_ROW, "Dritte"), "block: Apply ends with the dialog enabled")
    after = tags(image)
    check(after == dict(before, CUE_TRACK03_TITLE=["Dritte"]) and block_sheet(image) == block,
          "block: the title goes into track 3's own tag alone: %r" % after)
    cancel_and_stop(player, "block")


def test_sheet_with_a_byte_order_mark_lists_its_tracks(root):
    """Cue images whose sheet begins with a UTF-8 byte-order mark: the album
    view lists the image's three tracks, as Properties on all its rows names
    them."""
    for kind in ("comment.flac", "image.wv"):
        player = Player(root, "cue-marked-" + kind, library=True)
        os.makedirs(os.path.join(player.folder, "music"))
        image = os.path.join(player.folder, "music", "disc." + kind)
        make_cue_image(image, kind, ONE_ALBUM)
        store_marked_sheet(image, ONE_ALBUM)
        if not open_whole_album(player, kind):
            continue
        caption = dialog_window(player)[0][-1]
        check(caption == 'Properties (3 items) - "Opening", "Second", "Third"',
              "%s: the album lists the three tracks: %r" % (kind, caption))
        player.probe(*DIALOG, "command", str(CANCEL))
        check(player.wait(lambda: dialog_window(player)[0] is None, 30), "%s: the dialog closes" % kind)
        player.shot("cue-marked-album-" + kind.replace(".", "-"))
        check(player.stop() == 0, "%s: the player ends cleanly" % kind)
