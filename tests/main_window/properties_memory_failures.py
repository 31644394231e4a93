#!/usr/bin/python3
"""The real zorv.exe's properties dialog when memory runs out where an
operation ends (injected here: a selection that exhausts a 32-bit process
takes gigabytes). The closing message says what was written: after an
Apply that a reload follows, after a tag removal that one file, held by
another program, refused, and after one every file refused (no file
changed). An operation whose storing of what it read runs out of memory
says so, and the player goes on: it opens Properties again, plays, and ends
when its window closes, leaving no crash dump. An Apply whose storing runs
out of memory says that every file was written, and the dialog shows the
edit as done. A field editor whose value cannot be taken into the dialog
goes, and the dialog closes saying that nothing was written.

usage: properties_memory_failures.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe,
ZORV_FILE_HOLDER_EXE the helper that holds a file open)
"""
import os
import subprocess
import sys
import time

from mutagen.id3 import ID3, ID3NoHeaderError

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
import main_window  # noqa: E402
from main_window import run_window_tests  # noqa: E402
from closing import no_crash  # noqa: E402
from properties_apply_formats import edit_in_place  # noqa: E402
from properties_limits import open_failing_dialog  # noqa: E402
from properties_window import (APPLY, DIALOG, LIST, METADATA_LIST, WS_DISABLED, dialog_closed, dialog_window,  # noqa: E402
                               rows, shot)

TOOLS = 1100
METADATA = 1257
EDITOR, EDITOR_NOW = ("--title", "Editing Field"), ("--title-now", "Editing Field")
YES = 6
PAUSE = 4
APPCOMMAND_MEDIA_PLAY_PAUSE = 14
HOLDER = os.environ.get("ZORV_FILE_HOLDER_EXE")


def popup_windows(player, title):
    """The handles of the player's shown windows with exactly that title."""
    handles = []
    for line in player.probe("popups").stdout.splitlines():
        f = line.split("\t")
        if len(f) >= 4 and f[3] == title:
            handles.append(f[2])
    return handles


def answer_yes(player, title):
    """Yes in the question titled so, once it shows."""
    if not player.wait(lambda: popup_windows(player, title), 60):
        return False
    return player.probe("--window", popup_windows(player, title)[0], "click", str(YES)).returncode == 0


def messages(player, count):
    """The texts of the program's messages, once `count` of them show."""
    player.wait(lambda: len(popup_windows(player, "Information")) >= count, 60)
    return [player.probe("--window", handle, "descendants").stdout for handle in popup_windows(player, "Information")]


def close_messages(player):
    for handle in popup_windows(player, "Information"):
        player.probe("--window", handle, "close")


def ends_cleanly(player, what):
    check(player.stop() == 0, "%s: the player ends when its window closes" % what)
    no_crash(player, what)


def test_a_reload_after_an_apply_says_the_files_were_written(root):
    """Tools > Reload with an edit, Yes to saving: the Apply writes both
    files, then showing the reloaded tracks (the third showing) fails."""
    player, paths = open_failing_dialog(root, "reload_after_apply", 3)
    if not player.wait(lambda: not dialog_closed(player), 60):
        check(False, "reload_after_apply: Properties opens the dialog")
        player.stop()
        return
    edit_in_place(player, 1, "New Title")
    player.probe(*DIALOG, "command", str(TOOLS))
    player.wait(player.menu_open, 30)
    player.probe("menu-keys", "up", "up", "return")  # Reload, above Remove tags
    check(answer_yes(player, "Properties"), "reload_after_apply: Yes to saving the changes")
    texts = messages(player, 1)
    text = " ".join(texts)
    check(len(texts) == 1 and "written to every file" in text and "not enough memory" in text and
          "Nothing was written" not in text,
          "reload_after_apply: one message says the files were written and why the dialog closes: %r" % texts)
    shot(player, "reload-after-apply-failed", "--title", "Information")
    check(player.wait(lambda: dialog_closed(player), 30), "reload_after_apply: the dialog closes")
    check([str(ID3(path)["TIT2"]) for path in paths] == ["New Title"] * 2,
          "reload_after_apply: both files hold the new title")
    close_messages(player)
    ends_cleanly(player, "reload_after_apply")


def remove_tags_while_held(root, name, held):
    """Tools > Remove tags while other programs hold the files numbered in
    `held`, then showing the tracks (the second showing) fails. The player,
    the two files, and the texts of the message listing the refused files
    and of the closing message, once the dialog has closed; None when the
    dialog did not open."""
    player, paths = open_failing_dialog(root, name, 2)
    if not player.wait(lambda: not dialog_closed(player), 60):
        check(False, "%s: Properties opens the dialog" % name)
        player.stop()
        return None
    holders = [subprocess.Popen([main_window.WINE_EXEC, main_window.BUILD_DIR, HOLDER, windows_path(paths[n]), "30000",
                                 "zorv-removal-holder-%d" % n], **main_window.QUIET) for n in held if HOLDER]
    time.sleep(2)
    player.probe(*DIALOG, "command", str(TOOLS))
    player.wait(player.menu_open, 30)
    player.probe("menu-keys", "up", "return")  # Remove tags, the last entry
    check(answer_yes(player, "Warning"), "%s: Yes to removing the tags" % name)
    texts = messages(player, 2)
    refused = [t for t in texts if "Could not remove tags" in t]
    closing = [t for t in texts if "Properties cannot show" in t]
    for n, handle in enumerate(popup_windows(player, "Information")):
        player.probe("--window", handle, "move", str(40 * n), str(400 * n))  # the two come up in one place
        shot(player, "%s-message-%d" % (name, n), "--window", handle)
    check(player.wait(lambda: dialog_closed(player), 30), "%s: the dialog closes" % name)
    for holder in holders:
        holder.kill()
        holder.wait()
    return player, paths, refused, closing


def test_a_removal_one_file_refused_says_which_files_lost_their_tags(root):
    ended = remove_tags_while_held(root, "partial_removal", [1])
    if ended is None:
        return
    player, paths, refused, closing = ended
    check(len(refused) == 1 and "2 two.mp3" in refused[0] and "1 one.mp3" not in refused[0],
          "partial_removal: a message lists the held file as not written: %r" % refused)
    check(len(closing) == 1 and "except those the other message lists" in closing[0] and
          "every file," not in closing[0] and "not enough memory" in closing[0],
          "partial_removal: the closing message says the tags went from every file but the listed one: %r" % closing)
    try:
        first = ID3(paths[0])
    except ID3NoHeaderError:
        first = None
    check(first is None or "TIT2" not in first, "partial_removal: the first file has lost its tags")
    check(str(ID3(paths[1])["TIT2"]) == "Old", "partial_removal: the held file keeps its tags")
    close_messages(player)
    ends_cleanly(player, "partial_removal")


def test_a_removal_every_file_refused_says_no_file_changed(root):
    ended = remove_tags_while_held(root, "failed_removal", [0, 1])
    if ended is None:
        return
    player, paths, refused, closing = ended
    check(len(refused) == 1 and "1 one.mp3" in refused[0] and "2 two.mp3" in refused[0],
          "failed_removal: a message lists both files as not written: %r" % refused)
    check(len(closing) == 1 and "No file changed" in closing[0] and "were removed" not in closing[0] and
          "not enough memory" in closing[0],
          "failed_removal: the closing message says that no file changed: %r" % closing)
    check([str(ID3(path)["TIT2"]) for path in paths] == ["Old"] * 2, "failed_removal: both files keep their tags")
    close_messages(player)
    ends_cleanly(player, "failed_removal")


def test_an_apply_that_cannot_store_what_it_read_back_says_the_files_were_written(root):
    """The second operation to end (the Apply, after the load for Properties)
    writes both files, then runs out of memory as it stores what it read back."""
    os.environ["ZORV_TEST_INFO_COMMIT_FAILS"] = "2"
    try:
        player, paths = open_failing_dialog(root, "apply_not_stored", 0)
    finally:
        del os.environ["ZORV_TEST_INFO_COMMIT_FAILS"]
    if not player.wait(lambda: not dialog_closed(player), 60):
        check(False, "apply_not_stored: Properties opens the dialog")
        player.stop()
        return
    edit_in_place(player, 1, "New Title")
    player.probe(*DIALOG, "command", str(APPLY))
    texts = messages(player, 1)
    text = " ".join(texts)
    check(len(texts) == 1 and "could not be stored" in text and "written to every file" in text and
          "not enough memory" in text and "changed no file" not in text,
          "apply_not_stored: one message says the files were written and what was not stored: %r" % texts)
    shot(player, "apply-not-stored-message", "--title", "Information")
    check([str(ID3(path)["TIT2"]) for path in paths] == ["New Title"] * 2, "apply_not_stored: both files hold the new title")
    close_messages(player)
    done = player.wait(lambda: (lambda w: w[0] is not None and not w[1].get(APPLY, (0, 1))[1] and
                                not int(w[0][3], 16) & WS_DISABLED)(dialog_window(player)), 30)
    shot(player, "apply-not-stored-dialog", *DIALOG)
    check(done and rows(player, METADATA_LIST).get("Title") == "New Title",
          "apply_not_stored: the dialog shows the new title with Apply disabled (the edit is done): %r %r" %
          (dialog_window(player)[1].get(APPLY), rows(player, METADATA_LIST).get("Title")))
    player.probe(*DIALOG, "command", "2")
    check(player.wait(lambda: dialog_closed(player), 30), "apply_not_stored: Cancel closes with no question")
    ends_cleanly(player, "apply_not_stored")


def test_an_operation_that_cannot_store_what_it_read_says_so_and_the_player_goes_on(root):
    """The first operation to end (the load for Properties) runs out of memory
    as it stores what it read: a message says so and no dialog opens; then
    Properties opens, the player plays and ends as usual."""
    os.environ["ZORV_TEST_INFO_COMMIT_FAILS"] = "1"
    try:
        # Tracks long enough to be seen playing: on a busy machine one look
        # at the buttons can take longer than two one-second tracks play.
        player, paths = open_failing_dialog(root, "store_failed", 0, seconds=30)
    finally:
        del os.environ["ZORV_TEST_INFO_COMMIT_FAILS"]
    texts = messages(player, 1)
    check(len(texts) == 1 and "could not be stored" in texts[0] and "not enough memory" in texts[0],
          "store_failed: a message says what was read could not be stored: %r" % texts)
    shot(player, "store-failed-message", "--title", "Information")
    check(dialog_closed(player), "store_failed: no dialog opens on tracks whose info was not stored")
    close_messages(player)

    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    check(player.wait(lambda: dialog_window(player)[0] is not None, 60), "store_failed: Properties opens next time")
    player.probe(*DIALOG, "command", "2")
    check(player.wait(lambda: dialog_closed(player), 30), "store_failed: the dialog closes")
    player.probe("media-key", str(APPCOMMAND_MEDIA_PLAY_PAUSE))
    check(player.wait(lambda: player.controls()[1].get(PAUSE, (0, 0, False))[2], 30),
          "store_failed: the player plays (the Pause button comes alive)")
    ends_cleanly(player, "store_failed")


def test_a_field_editor_whose_result_cannot_be_taken_goes_and_says_nothing_was_written(root):
    """Artist edited in the field editor, OK: taking its value into the rows
    (the second showing) fails. The editor goes, the dialog closes with a
    message that nothing was written, the files keep their artist, and the
    player goes on."""
    player, paths = open_failing_dialog(root, "field_editor_result", 2)
    if not player.wait(lambda: not dialog_closed(player), 60):
        check(False, "field_editor_result: Properties opens the dialog")
        player.stop()
        return
    player.probe(*DIALOG, "control-keys", str(METADATA), "home")  # Artist, the first row
    player.probe(*DIALOG, "keys", "apps")
    player.probe("menu-keys", "down", "return")  # Edit...
    check(player.wait(lambda: player.probe(*EDITOR, "descendants").returncode == 0, 30),
          "field_editor_result: Edit... opens the field editor")
    player.probe(*EDITOR, "type", "New Artist")
    player.probe(*EDITOR, "command", "1")
    texts = messages(player, 1)
    check(len(texts) == 1 and "Nothing was written" in texts[0] and "not enough memory" in texts[0],
          "field_editor_result: one message says nothing was written and why: %r" % texts)
    shot(player, "field-editor-result-failed", "--title", "Information")
    check(player.wait(lambda: player.probe(*EDITOR_NOW, "descendants").returncode != 0, 30),
          "field_editor_result: the field editor goes")
    check(player.wait(lambda: dialog_closed(player), 30), "field_editor_result: the dialog closes")
    check([str(ID3(path)["TPE1"]) for path in paths] == ["Anna"] * 2,
          "field_editor_result: both files keep their artist")
    close_messages(player)
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    check(player.wait(lambda: dialog_window(player)[0] is not None, 60),
          "field_editor_result: Properties opens again")
    player.probe(*DIALOG, "command", "2")
    check(player.wait(lambda: dialog_closed(player), 30), "field_editor_result: that dialog closes")
    ends_cleanly(player, "field_editor_result")


if __name__ == "__main__":
    run_window_tests(test_a_reload_after_an_apply_says_the_files_were_written,
                     test_a_removal_one_file_refused_says_which_files_lost_their_tags,
                     test_a_removal_every_file_refused_says_no_file_changed,
                     test_an_apply_that_cannot_store_what_it_read_back_says_the_files_were_written,
                     test_an_operation_that_cannot_store_what_it_read_says_so_and_the_player_goes_on,
                     test_a_field_editor_whose_result_cannot_be_taken_goes_and_says_nothing_was_written)
