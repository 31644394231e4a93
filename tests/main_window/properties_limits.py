#!/usr/bin/python3
"""The real zorv.exe's properties dialog at its limits. Text typed at the end
of an artist field of 10,000 values in place and of a comment of 6,000 lines
in the field editor (each over 300,000 characters, past the limits of edit
controls) is written, read back with mutagen; so is text typed into both
editors opened on fields that are one line of 800,000 characters, which open
at once. When the dialog cannot show its tracks (memory runs
out, injected here: a selection that exhausts it takes gigabytes), it says
so in a message, what was written and that it closes, at its opening and
after an Apply that wrote every file.

usage: properties_limits.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys

from mutagen.id3 import COMM, ID3, TIT2, TPE1

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import apply_and_wait, edit_in_place  # noqa: E402
from properties_keeps_mp3 import untagged_mp3s  # noqa: E402
from properties_window import DIALOG, LIST, METADATA_LIST, PLAY, dialog_closed, open_dialog_on_tracks, shot  # noqa: E402

ARTISTS = ["Performer Number %05d of Many" % n for n in range(1, 10001)]
COMMENT = "\n".join("Line %04d of a long comment that another program wrote" % n for n in range(1, 6001))
MESSAGE = ("--title", "Information")
EDITOR = ("--title", "Editing Field")
FAILURE_AT = "ZORV_TEST_PROPERTIES_SHOW_FAILS"


def tag(path, title, artists, comment=None):
    tags = ID3()
    tags.add(TIT2(encoding=3, text=[title]))
    tags.add(TPE1(encoding=3, text=artists))
    if comment is not None:
        tags.add(COMM(encoding=3, lang="eng", desc="", text=[comment]))
    tags.save(path, v2_version=4)


def open_on_tagged_file(root, name, artists, comment):
    """A player with the properties dialog open on one MP3 file so tagged;
    (None, path) when the dialog did not open."""
    player = Player(root, name)
    (path,) = untagged_mp3s(os.path.join(player.folder, "music"), name + ".mp3")
    tag(path, name, artists, comment)
    if open_dialog_on_tracks(player, [path]):
        return player, path
    check(False, "%s: Properties opens the dialog" % name)
    player.stop()
    return None, path


def open_field_editor(player, row_key):
    """Edit..., the first entry of the menu of the row that the key reaches;
    whether the field editor opened within a minute."""
    # Apply disabled the dialog for its write, which took the list's focus.
    player.probe(*DIALOG, "focus", str(METADATA_LIST))
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), row_key)
    player.probe(*DIALOG, "keys", "apps")
    player.probe("menu-keys", "down", "return")
    return player.wait(lambda: player.probe(*EDITOR, "descendants").returncode == 0, 60)


def type_and_accept(player, text):
    """Types the text at the end of the field editor's value; whether OK
    closed it."""
    player.probe(*EDITOR, "type-at-end", text)
    player.probe(*EDITOR, "command", "1")
    return player.wait(lambda: player.probe(*EDITOR, "descendants").returncode != 0, 30)


def test_text_typed_at_the_end_of_a_long_field_is_written(root):
    """Typed at the end of the artist (the first row) in place, and of a
    comment of 6,000 lines (the last row) in the field editor, opened with
    Edit..., the first entry of the row's menu. The comment's lines keep the
    editor's wrapping of each line short."""
    check(len("; ".join(ARTISTS)) > 300000 and len(COMMENT) > 300000, "long_field: both fields exceed 300,000 characters")
    player, path = open_on_tagged_file(root, "long_field", ARTISTS, COMMENT)
    if player is None:
        return
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
    player.probe(*DIALOG, "type-at-end", "x")
    player.probe(*DIALOG, "focus-keys", "return")
    check(apply_and_wait(player), "long_field: Apply ends with the dialog enabled")
    written = list(ID3(path)["TPE1"].text)
    check(written[:-1] == ARTISTS[:-1] and written[-1] == ARTISTS[-1] + "x",
          "long_field: the key typed in place is written: %d artists, the last %r" % (len(written), written[-1]))
    shot(player, "long-field-dialog", *DIALOG)

    opened = open_field_editor(player, "end")
    check(opened, "long_field: Edit... opens the field editor")
    if opened:
        check(type_and_accept(player, "y"), "long_field: OK closes the field editor")
        check(apply_and_wait(player), "long_field: the second Apply ends with the dialog enabled")
        written = str(ID3(path).getall("COMM")[0])
        check(written == COMMENT + "y", "long_field: the key typed in the field editor is written: %d characters, "
              "ending %r" % (len(written), written[-20:]))
    player.probe(*DIALOG, "command", "2")
    check(player.wait(lambda: dialog_closed(player), 30), "long_field: the dialog closes")
    check(player.stop() == 0, "long_field: the player ends cleanly")


def test_editors_open_at_once_on_one_very_long_line(root):
    """A comment (a multi-line field) that is one line of 800,000 characters
    edited in place, and the field editor opened with Edit... on an artist
    field of 25,000 values, as long: a box that wraps such a line took
    minutes to show it (a probe waiting on the player gives up), one that
    scrolls sideways opens at once. Keys typed at their ends are written."""
    artists = ["Performer Number %05d of Many" % n for n in range(1, 25001)]
    comment = "; ".join(artists)
    player, path = open_on_tagged_file(root, "long_line", artists, comment)
    if player is None:
        return
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "end", "f2")
    player.probe(*DIALOG, "type-at-end", "q")
    shot(player, "long-line-in-place", *DIALOG)
    player.probe(*DIALOG, "focus-keys", "return")
    check(apply_and_wait(player), "long_line: Apply ends with the dialog enabled")
    written = str(ID3(path).getall("COMM")[0])
    check(written == comment + "q", "long_line: the key typed in place is written: %d characters, ending %r"
          % (len(written), written[-20:]))

    opened = open_field_editor(player, "home")
    check(opened, "long_line: Edit... opens the field editor within a minute")
    if opened:
        shot(player, "long-line-field-editor", *EDITOR)
        check(type_and_accept(player, "z"), "long_line: OK closes the field editor")
        check(apply_and_wait(player), "long_line: the second Apply ends with the dialog enabled")
        written = list(ID3(path)["TPE1"].text)
        check(written[:-1] == artists[:-1] and written[-1] == artists[-1] + "z",
              "long_line: the key typed in the field editor is written: %d artists, the last %r"
              % (len(written), written[-1]))
    player.probe(*DIALOG, "command", "2")
    check(player.wait(lambda: dialog_closed(player), 30), "long_line: the dialog closes")
    check(player.stop() == 0, "long_line: the player ends cleanly")


def open_failing_dialog(root, name, showing, seconds=1):
    """Properties opened on two files (of that many seconds) in a player whose
    properties dialogs run out of memory at that showing of their tracks (1:
    opening, 2: the next, after an Apply)."""
    player = Player(root, name)
    paths = untagged_mp3s(os.path.join(player.folder, "music"), "1 one.mp3", "2 two.mp3", seconds=seconds)
    for path in paths:
        tag(path, "Old", ["Anna"])
    os.environ[FAILURE_AT] = str(showing)
    try:
        player.start(windows_path(os.path.dirname(paths[0])))
    finally:
        del os.environ[FAILURE_AT]
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "%s: the folder is listed" % name)
    player.probe("drop", *[windows_path(path) for path in paths])
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    return player, paths


def message_text(player):
    """The text of the program's message, once it shows."""
    player.wait(lambda: "no such window" not in player.probe(*MESSAGE, "descendants").stdout, 60)
    return player.probe(*MESSAGE, "descendants").stdout


def test_a_dialog_that_cannot_show_its_tracks_says_so(root):
    player, paths = open_failing_dialog(root, "fails_after_apply", 2)
    if not player.wait(lambda: not dialog_closed(player), 60):
        check(False, "fails_after_apply: Properties opens the dialog")
        player.stop()
        return
    edit_in_place(player, 1, "New Title")
    player.probe(*DIALOG, "command", "1074")  # Apply
    text = message_text(player)
    check("written to every file" in text and "not enough memory" in text and "closes" in text,
          "fails_after_apply: a message says the files were written and why the dialog closes: %r" % text)
    shot(player, "show-failed-after-apply", *MESSAGE)
    check(player.wait(lambda: dialog_closed(player), 30), "fails_after_apply: the dialog closes")
    check([str(ID3(path)["TIT2"]) for path in paths] == ["New Title"] * 2,
          "fails_after_apply: both files hold the new title")
    player.probe(*MESSAGE, "close")
    check(player.stop() == 0, "fails_after_apply: the player ends cleanly")

    player, paths = open_failing_dialog(root, "fails_at_opening", 1)
    text = message_text(player)
    check("cannot show the selected tracks" in text and "Nothing was written" in text,
          "fails_at_opening: a message says the dialog cannot show the tracks: %r" % text)
    check(dialog_closed(player), "fails_at_opening: no dialog stays")
    player.probe(*MESSAGE, "close")
    check(player.stop() == 0, "fails_at_opening: the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_text_typed_at_the_end_of_a_long_field_is_written,
                     test_editors_open_at_once_on_one_very_long_line,
                     test_a_dialog_that_cannot_show_its_tracks_says_so)
