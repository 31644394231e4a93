#!/usr/bin/python3
"""One track of a cue image (FLAC with its sheet in a comment, WavPack with
its sheet in an APE item) selected in the real zorv.exe, its title edited in
the properties dialog and applied: read back with mutagen, the sheet changes
in that track's TITLE line only, so every other track keeps its PERFORMER
and other values though the file's ARTIST shows over them, and the file's
other tags stay as they were (no "Track" item, no TOTALTRACKS).

usage: properties_keeps_cue.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
from cue_images import SHEET, make_cue_image, sheet_tracks, tags  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import edit_and_apply  # noqa: E402
from properties_window import CANCEL, DIALOG, LIST, METADATA_LIST, PLAY, dialog_window, rows  # noqa: E402

TITLE_ROW = 1  # Artist, Title, Album, Date, Genre


def test_title_edit_of_one_cue_track(root):
    player = Player(root, "cue")
    images = []
    for kind in ("comment.flac", "image.wv"):
        folder = os.path.join(player.folder, "music", kind.split(".")[-1])
        os.makedirs(folder)
        images.append(os.path.join(folder, "disc." + kind))
        make_cue_image(images[-1], kind)
    player.start(windows_path(os.path.dirname(images[0])))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "cue: the folder is listed")
    for image in images:
        name = os.path.basename(image)
        before = tags(image)
        # The dropped image's tracks are selected in its folder; the second alone then.
        player.probe("drop", windows_path(image))
        player.probe("--title", "Zorv Audio Player", "control-keys", str(LIST), "home", "down")
        player.probe("context-menu", str(LIST))
        player.probe("menu-keys", "up", "return")
        if not player.wait(lambda: dialog_window(player)[0] is not None, 60):
            check(False, "%s: Properties opens the dialog" % name)
            continue
        shown = rows(player, METADATA_LIST)
        check(shown.get("Title") == "Second" and shown.get("Artist") == "File Artist",
              "%s: the dialog shows track 2, the file's ARTIST over the sheet's: %r" % (name, shown))
        check(edit_and_apply(player, TITLE_ROW, "Zweite"), "%s: Apply ends with the dialog enabled" % name)
        after = tags(image)
        sheet = after.get("CUESHEET", [""])[0]
        tracks, old_tracks = sheet_tracks(sheet), sheet_tracks(SHEET)
        check(tracks[2] == [line.replace('"Second"', '"Zweite"') for line in old_tracks[2]],
              "%s: track 2's sheet lines hold the new title and nothing else new: %r" % (name, tracks.get(2)))
        for number in (0, 1, 3):
            check(tracks.get(number) == old_tracks[number], "%s: the sheet's lines of %s are unchanged: %r" %
                  (name, "track %d" % number if number else "the disc", tracks.get(number)))
        check({n: v for n, v in after.items() if n != "CUESHEET"} == {n: v for n, v in before.items() if n != "CUESHEET"},
              "%s: every other tag is as it was, no Track item: %r" % (name, after))
        player.probe(*DIALOG, "command", str(CANCEL))
        check(player.wait(lambda: dialog_window(player)[0] is None, 30), "%s: the dialog closes" % name)
    check(player.stop() == 0, "cue: the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_title_edit_of_one_cue_track)
