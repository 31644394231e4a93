#!/usr/bin/python3
"""A title edited in the real zorv.exe's properties dialog and applied to an
M4A trimmed by its gapless record: the file gains no chapter list (read back
with ffprobe and mutagen), and plays the same frames as before, in the
player (zorvtool's decode) and in ffmpeg. A title typed for two M4A files
leaves the one that holds it unwritten. A title Apply failing after the
switch to the new movie box (a failure injected at the change where
zorvtool's same edit first reports so) says that the tags were written and
what failed after, never that they could not be, and the dialog and the
file hold the new title; a second Apply, which changes no value, finishes
what the failed one left, with the movie box first or last, as the edit
made without a failure leaves it (screenshots under the build folder's
test-artifacts/properties_window).

usage: properties_keeps_mp4.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import array
import os
import shutil
import subprocess
import sys

from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, mp4_chapter_titles, windows_path  # noqa: E402
import gapless_record  # noqa: E402
import mp4_bytes  # noqa: E402
from main_window import BUILD_DIR, WINE_EXEC, Player, run_window_tests  # noqa: E402
from properties_apply_formats import edit_and_apply, edit_in_place  # noqa: E402
from properties_window import (APPLY, CANCEL, DIALOG, METADATA_LIST, dialog_closed, open_dialog_on_tracks,  # noqa: E402
                               rows, shot)

TITLE_ROW = 1  # Artist, Title, Album, ...
SECONDS = 2
MESSAGE = ("--title", "Information")  # the message listing a failed Apply's errors


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def decodes(path):
    """The PCM of zorvtool's decode and of ffmpeg's."""
    out = path + ".wav"
    subprocess.run([WINE_EXEC, BUILD_DIR, os.path.join(BUILD_DIR, "tools", "zorvtool.exe"), "decode",
                    windows_path(path), windows_path(out), "--bits", "16"], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(out, "rb") as f:
        ours = f.read()
    os.remove(out)
    theirs = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"], capture_output=True,
                            check=True).stdout
    return ours[ours.index(b"data") + 8:], theirs


def same_frames(ours, theirs):
    """16-bit PCM that differs by at most the decoders' rounding over our
    length (ffmpeg leaves the last frame's padding on)."""
    ours, theirs = array.array("h", ours), array.array("h", theirs[:len(ours)])
    return len(ours) == len(theirs) and all(abs(a - b) <= 2 for a, b in zip(ours, theirs))


def test_title_edit_of_a_trimmed_m4a(root):
    player = Player(root, "trimmed")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone, path = os.path.join(player.folder, "tone.wav"), os.path.join(music, "trimmed.m4a")
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", str(SECONDS), "sine", "440", "sine", "660")
    run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "aac", path)
    gapless_record.add_record(path, SECONDS * 44100, **{"\xa9nam": ["Song"], "\xa9ART": ["Anna"]})
    ours, theirs = decodes(path)
    check(len(ours) == SECONDS * 44100 * 4 and len(theirs) >= len(ours) and same_frames(ours, theirs),
          "trimmed: the player plays the record's samples, ffmpeg's frames: %d bytes, ffmpeg %d" %
          (len(ours), len(theirs)))
    if not open_dialog_on_tracks(player, [path]):
        check(False, "trimmed: Properties opens the dialog")
        player.stop()
        return
    check(rows(player, METADATA_LIST).get("Title") == "Song", "trimmed: the dialog shows the title")
    check(edit_and_apply(player, TITLE_ROW, "New Song"), "trimmed: Apply ends with the dialog enabled and Apply off")
    check(rows(player, METADATA_LIST).get("Title") == "New Song", "trimmed: the dialog shows the new title")
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "trimmed: Cancel after Apply closes the dialog")
    check(player.stop() == 0, "trimmed: the player ends cleanly")

    check(MP4(path).tags.get("\xa9nam") == ["New Song"], "trimmed: mutagen reads the new title")
    check(mp4_chapter_titles(path) == ([], []),
          "trimmed: no chapter appears for ffprobe or mutagen: %s" % (mp4_chapter_titles(path),))
    check(decodes(path) == (ours, theirs), "trimmed: the player and ffmpeg play the same frames as before")


def item_keys(path):
    with open(path, "rb") as f:
        data = f.read()
    ilst = mp4_bytes.find(data, b"moov", b"udta", b"meta", b"ilst")
    # A "free" box is room for later edits, not an item.
    return [box[0] for box in mp4_bytes.boxes(data, ilst[1] + 8, ilst[1] + ilst[2]) if box[0] != b"free"]


def test_a_title_one_file_holds_already(root):
    """Two M4A files with a cover, a composer and a freeform item; the title
    one of them holds already is typed for both and applied: that file is not
    written (same bytes and time stamp), and the other's items keep their
    places."""
    player = Player(root, "shared_title")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone = os.path.join(player.folder, "tone.wav")
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", str(SECONDS), "sine", "440")
    paths = [os.path.join(music, name) for name in ("1 holds.m4a", "2 other.m4a")]
    for path, title in zip(paths, ("Shared", "Other")):
        run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "aac", "-metadata", "title=" + title,
            "-metadata", "artist=Anna", path)
        items = MP4(path)
        items["\xa9wrt"] = ["Carl"]
        items["----:com.apple.iTunes:MOOD"] = [MP4FreeForm(b"calm")]
        items["covr"] = [MP4Cover(b"\x89PNG\r\n\x1a\n" + bytes(64), MP4Cover.FORMAT_PNG)]
        items.save()
    with open(paths[0], "rb") as f:
        held = f.read()
    stamp = os.stat(paths[0]).st_mtime_ns
    order = item_keys(paths[1])
    if not open_dialog_on_tracks(player, paths):
        check(False, "shared_title: Properties opens the dialog")
        player.stop()
        return
    check(edit_and_apply(player, TITLE_ROW, "Shared"), "shared_title: Apply ends with the dialog enabled")
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "shared_title: the dialog closes")
    check(player.stop() == 0, "shared_title: the player ends cleanly")
    with open(paths[0], "rb") as f:
        check(f.read() == held and os.stat(paths[0]).st_mtime_ns == stamp,
              "shared_title: the file that holds the title is not written")
    check(MP4(paths[1]).tags.get("\xa9nam") == ["Shared"], "shared_title: the other file gets the title")
    check(item_keys(paths[1]) == order, "shared_title: its items keep their places: %s, then %s" %
          (order, item_keys(paths[1])))


def first_fault_after_switch(path, change):
    """The first change of zorvtool's edit of a copy of `path` whose failure
    comes after the switch to the new tags (exit status 4); None if none."""
    copy = path + ".probe.m4a"
    zorvtool = os.path.join(BUILD_DIR, "tools", "zorvtool.exe")
    try:
        for fault in range(1, 30):
            shutil.copyfile(path, copy)
            done = subprocess.run([WINE_EXEC, BUILD_DIR, zorvtool, "tag", windows_path(copy), change],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                  env=dict(os.environ, ZORV_TEST_WRITE_FAULT_AT=str(fault)))
            if done.returncode in (0, 4):
                return fault if done.returncode == 4 else None
    finally:
        os.remove(copy)
    return None


def top_level_layout(path):
    """(type, size) of the file's top-level boxes."""
    with open(path, "rb") as f:
        return [(kind.decode("latin-1"), size) for kind, _, size in mp4_bytes.boxes(f.read())]


def edited_without_failure(path, change):
    """The top-level layout zorvtool's same edit leaves on a copy of `path`."""
    copy = path + ".unfailed.m4a"
    shutil.copyfile(path, copy)
    try:
        subprocess.run([WINE_EXEC, BUILD_DIR, os.path.join(BUILD_DIR, "tools", "zorvtool.exe"), "tag", windows_path(copy),
                        change], check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return top_level_layout(copy)
    finally:
        os.remove(copy)


def apply_failing_after_the_switch(root, name, movie_first):
    """A title Apply failing after the switch, then a second Apply, which
    changes no value and must still finish what the first left."""
    player = Player(root, name)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone, path = os.path.join(player.folder, "tone.wav"), os.path.join(music, "song.m4a")
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", str(SECONDS), "sine", "440")
    run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "aac", "-metadata", "title=Song",
        *(["-movflags", "+faststart"] if movie_first else []), path)
    expected = edited_without_failure(path, "title=New Song")
    fault = first_fault_after_switch(path, "title=New Song")
    check(fault, "%s: zorvtool's title edit has a change after the switch" % name)
    if not fault:
        return
    # The player changes no file before the Apply: its changes count as zorvtool's.
    os.environ["ZORV_TEST_WRITE_FAULT_AT"] = str(fault)
    try:
        opened = open_dialog_on_tracks(player, [path])
    finally:
        del os.environ["ZORV_TEST_WRITE_FAULT_AT"]
    check(opened, "%s: Properties opens the dialog" % name)
    if not opened:
        player.stop()
        return
    edit_in_place(player, TITLE_ROW, "New Song")
    player.probe(*DIALOG, "command", str(APPLY))
    told = player.wait(lambda: "The new tags were written, but a later step failed: I/O error" in
                       player.probe(*MESSAGE, "descendants").stdout, 120)
    message = player.probe(*MESSAGE, "descendants").stdout
    shot(player, name + "-message", *MESSAGE)
    check(told and "Could not write" not in message and "song.m4a" in message,
          "%s: the message says the file's tags were written and what failed after: %r" % (name, message))
    check(MP4(path).tags.get("\xa9nam") == ["New Song"], "%s: mutagen reads the new title" % name)
    check(top_level_layout(path) != expected, "%s: the failed write left its tidying undone" % name)
    player.probe(*MESSAGE, "command", "2")
    check(player.wait(lambda: rows(player, METADATA_LIST).get("Title") == "New Song", 30),
          "%s: the dialog shows the new title: %r" % (name, rows(player, METADATA_LIST)))
    player.probe(*DIALOG, "command", str(APPLY))
    check(player.wait(lambda: top_level_layout(path) == expected, 60),
          "%s: the second Apply ends with the layout of the edit made without a failure: %s, not %s" %
          (name, expected, top_level_layout(path)))
    shot(player, name + "-second-apply", *DIALOG)
    check(MP4(path).tags.get("\xa9nam") == ["New Song"] and same_frames(*decodes(path)),
          "%s: the file holds the new title and decodes" % name)
    player.process.kill()
    player.process.wait()


def test_apply_failing_after_the_switch(root):
    apply_failing_after_the_switch(root, "after-switch-movie-last", False)
    apply_failing_after_the_switch(root, "after-switch-movie-first", True)


if __name__ == "__main__":
    run_window_tests(test_title_edit_of_a_trimmed_m4a, test_a_title_one_file_holds_already,
                     test_apply_failing_after_the_switch)
