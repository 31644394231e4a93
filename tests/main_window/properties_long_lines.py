#!/usr/bin/python3
"""The real zorv.exe's field editor and cell editor on one very long line: a
comment (a multi-line field) and an artist field (one line of many values),
each one line of 20,000 and of 800,000 characters, show in rows the
program breaks at the box's width. After Ctrl+End the keys typed show at
the caret, read back through EM_ messages and the screenshot's pixels, and
are written after the old text, read back with mutagen.

usage: properties_long_lines.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys

from mutagen.id3 import ID3

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
from main_window import run_window_tests  # noqa: E402
from properties_apply_formats import apply_and_wait  # noqa: E402
from properties_limits import EDITOR, open_field_editor, open_on_tagged_file  # noqa: E402
from properties_window import ARTIFACTS, DIALOG, METADATA_LIST, dialog_closed, shot  # noqa: E402


def pixels(png, box):
    """The (r, g, b) bytes of box (left, top, right, bottom) of a screenshot."""
    crop = "%dx%d+%d+%d" % (box[2] - box[0], box[3] - box[1], box[0], box[1])
    return subprocess.run(["convert", png, "-crop", crop, "-depth", "8", "rgb:-"], capture_output=True,
                          check=True).stdout


def check_typed_text_shown(player, name, target, typed, length):
    """Keys typed after Ctrl+End in the edit that has the focus: the caret
    ends the text, its row shows the typed characters inside the box, and
    there the screenshot has text it did not have before they were typed."""
    player.probe(*target, "keys", "ctrl+end")
    shot(player, name + "-before", *target)
    player.probe(*target, "keys", *["shift+" + c.lower() for c in typed])
    view = [int(v) for v in player.probe(*target, "edit-view", str(len(typed))).stdout.split()]
    if len(view) != 16:
        check(False, "%s: the edit's view is read: %r" % (name, view))
        return
    (text_length, caret, _, _, first_shown, last_shown, left, top, right, bottom,
     typed_x, typed_y, last_x, last_y, window_x, window_y) = view
    check(text_length >= length + len(typed) and caret == text_length,
          "%s: the caret ends the text of %d characters: %d of %d" % (name, length + len(typed), caret, text_length))
    check(first_shown <= caret - len(typed) and last_shown >= caret - 1,
          "%s: the caret's row shows the typed text: characters %d to %d shown, the caret at %d"
          % (name, first_shown, last_shown, caret))
    check(left <= typed_x <= last_x < right and top <= last_y < bottom - 8,
          "%s: the typed text is inside the box %r: from (%d, %d) to (%d, %d)"
          % (name, (left, top, right, bottom), typed_x, typed_y, last_x, last_y))
    shot(player, name, *target)
    before, after = (os.path.join(ARTIFACTS, shown + ".png") for shown in (name + "-before", name))
    check(os.path.exists(before) and os.path.exists(after), "%s: the screenshots are taken" % name)
    if os.path.exists(before) and os.path.exists(after):
        area = (typed_x - window_x, last_y - window_y, min(last_x + 8, right) - window_x, last_y + 12 - window_y)
        was, now = pixels(before, area), pixels(after, area)
        dark = sum(1 for i in range(0, len(now) - 2, 3) if max(now[i:i + 3]) < 96)
        changed = sum(1 for i in range(0, min(len(was), len(now)) - 2, 3) if was[i:i + 3] != now[i:i + 3])
        check(dark >= 20 and changed >= 30, "%s: the screenshot shows new text where the keys were typed: %d dark "
              "pixels, %d changed" % (name, dark, changed))


def test_typed_text_shows_at_the_caret_of_one_very_long_line(root):
    """A comment (a multi-line field) and an artist field (one line of many
    values) that are each one line of 20,000 and of 800,000 characters,
    shown in rows the program breaks at the box's width: after Ctrl+End,
    keys typed in place and in the field editor show at the caret (a box
    that scrolled sideways kept showing the line's start), and are written
    after the old text, with no line break added."""
    for length in (20000, 800000):
        name = "typed_at_%d" % length
        artists = ["Performer Number %06d of Many" % n for n in range(1, length // 30 + 2)]
        comment = "; ".join(artists)[:length]
        player, path = open_on_tagged_file(root, name, artists, comment)
        if player is None:
            continue
        player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "end", "f2")
        check_typed_text_shown(player, name + "-in-place", DIALOG, "WWWWW", length)
        player.probe(*DIALOG, "focus-keys", "return")
        check(apply_and_wait(player), "%s: Apply ends with the dialog enabled" % name)
        player.probe(*DIALOG, "focus", str(METADATA_LIST))
        player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
        check_typed_text_shown(player, name + "-artist-in-place", DIALOG, "QQQQQ", len("; ".join(artists)))
        player.probe(*DIALOG, "focus-keys", "return")
        check(apply_and_wait(player), "%s: the artist's Apply ends with the dialog enabled" % name)
        opened = open_field_editor(player, "end")
        check(opened, "%s: Edit... opens the field editor" % name)
        if opened:
            check_typed_text_shown(player, name + "-field-editor", EDITOR, "MMMMM", length + 5)
            player.probe(*EDITOR, "command", "1")
            check(player.wait(lambda: player.probe(*EDITOR, "descendants").returncode != 0, 30),
                  "%s: OK closes the field editor" % name)
            check(apply_and_wait(player), "%s: the last Apply ends with the dialog enabled" % name)
        written = str(ID3(path).getall("COMM")[0])
        check(written == comment + "WWWWW" + "MMMMM", "%s: the typed keys are written after the old comment: %d "
              "characters, ending %r" % (name, len(written), written[-20:]))
        written = list(ID3(path)["TPE1"].text)
        check(written[:-1] == artists[:-1] and written[-1] == artists[-1] + "QQQQQ",
              "%s: the typed keys are written after the last artist: %d artists, the last %r"
              % (name, len(written), written[-1]))
        player.probe(*DIALOG, "command", "2")
        check(player.wait(lambda: dialog_closed(player), 30), "%s: the dialog closes" % name)
        check(player.stop() == 0, "%s: the player ends cleanly" % name)


if __name__ == "__main__":
    run_window_tests(test_typed_text_shows_at_the_caret_of_one_very_long_line)
