#!/usr/bin/python3
"""Files that hold several tracks, opened in the properties dialog from the
real zorv.exe's file-system view, which lists each such file once: a book
with chapters (an M4B and a Matroska file by ffmpeg) shows the values the
file holds for itself, and an edit made in place, with the field editor, by
capitalisation or by automatic filling goes into the file's own tags, read
back with mutagen and mkvextract, with every chapter name kept. A FLAC cue
image whose file and sheet both hold a comment: the Comment row deleted, the
file's COMMENT and the sheet's REM COMMENT both go, read back with metaflac.
A genre only the sheet's header gives shows, and goes when its row is
deleted; an artist deleted takes every PERFORMER line with the file's
ARTIST, so no track shows one (metaflac, mutagen, ffprobe).

usage: properties_folder_view.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
from chaptered_files import BOOK, CHAPTERS, chapter_names, file_tags, make_chaptered  # noqa: E402
from cue_images import FILE_TAGS, SHEET, make_cue_image, tags  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import apply_and_wait, edit_in_place  # noqa: E402
from properties_untouched_fields import autofill, dialogs, field_editor, list_menu, row_of  # noqa: E402
from properties_window import CANCEL, DIALOG, METADATA_LIST, dialog_closed, popups, rows  # noqa: E402


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                         capture_output=True, text=True).stdout
    return {k.lower(): v for k, v in json.loads(out)["format"].get("tags", {}).items()}


def music_folder(player):
    music = os.path.join(player.folder, "music")
    os.makedirs(music, exist_ok=True)
    return music


def open_from_folder_view(player, path, case):
    """The player started, the file dropped on it (its folder opens in the
    file-system view with the file selected, nothing plays) and Properties
    opened on it: true once the dialog shows."""
    player.start()
    check(player.wait(lambda: player.controls()[0] is not None, 60), "%s: the window opens" % case)
    player.probe("drop", windows_path(path))
    folder = os.path.basename(os.path.dirname(path))
    check(player.wait(lambda: folder in player.text(1067), 30), "%s: the file's folder shows: %r" %
          (case, player.text(1067)))
    player.probe("context-menu", "1069")
    player.probe("menu-keys", "up", "return")
    if player.wait(lambda: dialogs(player), 60):
        return True
    check(False, "%s: Properties opens the dialog" % case)
    player.stop()
    return False


def applied(player, case, way):
    """Apply; true when it ends with the dialog enabled and no message beside it."""
    windows = popups(player)
    done = apply_and_wait(player)
    check(done and popups(player) == windows, "%s: Apply after %s ends without a message: %r" %
          (case, way, popups(player)))
    return done


def close(player, case):
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "%s: the dialog closes" % case)
    check(player.stop() == 0, "%s: the player ends cleanly" % case)


def edit_book(root, ext):
    """A book's album typed in place, its genre in the field editor, its
    title capitalised and its disc number filled from the file name: each
    Apply writes the file's own tags, and the chapters keep their names."""
    case = "book." + ext
    player = Player(root, "folder-" + ext)
    path = make_chaptered(os.path.join(music_folder(player), "2 - Spoken." + ext))
    before = file_tags(path)
    if not open_from_folder_view(player, path, case):
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Album") == BOOK["album"] and shown.get("Genre") == BOOK["genre"],
          "%s: the dialog shows the file's own values: %r" % (case, shown))
    expected = dict(before)
    ways = (("typing in place", lambda: edit_in_place(player, row_of(player, "Album"), "New Album"),
             dict(album=["New Album"])),
            ("the field editor", lambda: field_editor(player), dict(genre=["Rock"])),
            ("capitalisation", lambda: list_menu(player, "Title", "end", *["up"] * 5, "return"),  # Capitalize
             dict(title=["The Book"])),
            # From the file name "2 - Spoken": the disc number and the comment.
            ("automatic filling", lambda: autofill(player, "%discnumber% - %comment%"), dict(comment=["Spoken"])))
    for way, change, written in ways:
        change()
        if not applied(player, case, way):
            break
        # Matroska keeps the title of the file as a whole in its Segment, not in its Tags.
        expected.update({n: v for n, v in written.items() if not (ext == "mka" and n == "title")})
        now = {n: v for n, v in file_tags(path).items() if n not in ("discnumber", "part_number", "disc")}
        check(now == expected, "%s: after %s the file's own tags read %r, expected %r" % (case, way, now, expected))
    check(chapter_names(path) == list(CHAPTERS), "%s: the chapters keep their names: %r" % (case, chapter_names(path)))
    close(player, case)


def test_books_edited_from_the_folder_view(root):
    for ext in ("m4b", "mka"):
        edit_book(root, ext)


def test_comment_removed_from_a_cue_image_as_a_whole(root):
    player = Player(root, "folder-cue")
    image = os.path.join(music_folder(player), "disc.flac")
    make_cue_image(image, "comment.flac", file_tags=dict(FILE_TAGS, COMMENT="Ripped"))
    if not open_from_folder_view(player, image, "cue"):
        return
    comment = row_of(player, "Comment")
    check(comment >= 0, "cue: the dialog shows the file's comment")
    player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(comment))
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "delete")
    applied(player, "cue", "deleting the Comment row")
    exported = subprocess.run(["metaflac", "--export-tags-to=-", image], capture_output=True, text=True).stdout
    check("COMMENT=" not in exported and "ARTIST=File Artist" in exported,
          "cue: the file's COMMENT goes, its other tags stay: %r" % exported)
    sheet = exported[exported.index("CUESHEET="):] if "CUESHEET=" in exported else ""
    check("REM COMMENT" not in sheet and 'REM GENRE "Chamber Jazz"' in sheet,
          "cue: the sheet's REM COMMENT goes with it, its other lines stay: %r" % sheet)
    close(player, "cue")


def test_header_genre_and_artist_removed_from_a_cue_image_as_a_whole(root):
    """A FLAC cue image whose sheet's header alone gives every track its
    genre, and whose file's ARTIST hides the tracks' own PERFORMER lines: the
    dialog on the file shows the sheet's genre; the Genre and Artist rows
    deleted, the header's REM GENRE, the file's ARTIST and every PERFORMER
    line go, so no track shows an artist, and the album artist the header
    PERFORMER gave becomes the file's ALBUMARTIST; read back with metaflac,
    mutagen and ffprobe."""
    player = Player(root, "folder-cue-header")
    image = os.path.join(music_folder(player), "disc.flac")
    sheet = SHEET.replace("    REM GENRE Blues\r\n", "")
    make_cue_image(image, "comment.flac", sheet)
    if not open_from_folder_view(player, image, "cue header"):
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Genre") == "Chamber Jazz" and shown.get("Artist") == FILE_TAGS["ARTIST"],
          "cue header: the dialog shows the sheet's genre and the file's artist: %r" % shown)
    for name in ("Genre", "Artist"):
        if row_of(player, name) >= 0:
            player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row_of(player, name)))
            player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "delete")
    applied(player, "cue header", "deleting the Genre and Artist rows")
    exported = subprocess.run(["metaflac", "--export-tags-to=-", image], capture_output=True, text=True).stdout
    lines = exported.splitlines()
    check(not any(line.startswith("ARTIST=") for line in lines) and "GENRE" not in exported and
          "ALBUM=File Album" in lines and "ALBUMARTIST=The Quartet" in lines,
          "cue header: the file's ARTIST and the sheet's genre go, the album artist stays: %r" % exported)
    no_performers = "".join(line for line in sheet.splitlines(True) if not line.strip().startswith("PERFORMER"))
    check(tags(image).get("CUESHEET") == [no_performers.replace('REM GENRE "Chamber Jazz"\r\n', "")],
          "cue header: the sheet loses its REM GENRE and every PERFORMER: %r" % tags(image).get("CUESHEET"))
    probed = ffprobe_tags(image)
    check("artist" not in probed and "genre" not in probed and probed.get("album_artist") == "The Quartet",
          "cue header: ffprobe reads no artist or genre: %r" % probed)
    player.shot("folder-cue-header-removed")
    close(player, "cue header")


if __name__ == "__main__":
    run_window_tests(test_books_edited_from_the_folder_view, test_comment_removed_from_a_cue_image_as_a_whole,
                     test_header_genre_and_artist_removed_from_a_cue_image_as_a_whole)
