#!/usr/bin/python3
"""The properties dialog's Apply in the real zorv.exe, killed in the middle
of writing a FLAC file whose 300 KB comment (added by mutagen, with its
padding) takes many pages: the title and artist are edited in the dialog,
Apply is pressed, and the player is killed at a moment spread over the
write (timed from its first change to the file), which pauses at every
page (ZORV_TEST_WRITE_PAUSE_MS). Afterwards
the player, mutagen, ffprobe, flac and metaflac each find the old file or
the one a finished Apply leaves, the audio decodes as before, nothing but
the program's own temporary file is left beside it, and zorvtool's tag
command (the same update as Apply) then succeeds and leaves what the
finished Apply left, with no file beside it.

usage: properties_apply_kill.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import random
import shutil
import signal
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "main_window"))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, wait_until_wine_lets_go, windows_path  # noqa: E402
from large_tag_files import make_big_comment_flac, reader_views  # noqa: E402
from main_window import BUILD_DIR, WINE_EXEC, Player, run_window_tests  # noqa: E402
from properties_apply_formats import apply_and_wait, edit_in_place  # noqa: E402
from properties_window import APPLY, DIALOG, open_dialog_on_tracks  # noqa: E402
from tag_files import Zorvtool  # noqa: E402
from tag_write_kill import brief, change_times, kill_delays, temp_file_name  # noqa: E402

PAUSE_MS = "30"
KILLS = int(os.environ.get("ZORV_APPLY_KILLS", "4"))
# Rows of the metadata list, from the top.
ARTIST_ROW, TITLE_ROW = 0, 1
# The next write after a kill, spelled as the dialog spells the field names
# (a comment name keeps the case its writer gives it).
CHANGES = ["ARTIST=A new artist", "TITLE=A new title"]


def start_apply(root, name, original):
    """A player over a copy of the file with the dialog open on it and the
    title and artist edited; answers the player and the copy's path, or None
    when the dialog does not open."""
    player = Player(root, name)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    path = os.path.join(music, os.path.basename(original))
    shutil.copyfile(original, path)
    os.environ["ZORV_TEST_WRITE_PAUSE_MS"] = PAUSE_MS
    try:
        if not open_dialog_on_tracks(player, [path]):
            check(False, "%s: Properties opens the dialog" % name)
            player.stop()
            return None, path
    finally:
        del os.environ["ZORV_TEST_WRITE_PAUSE_MS"]
    edit_in_place(player, ARTIST_ROW, "A new artist")
    edit_in_place(player, TITLE_ROW, "A new title")
    return player, path


def in_background(work):
    thread = threading.Thread(target=work)
    thread.start()
    return thread


def test_apply_killed_inside_the_write(root):
    tool = Zorvtool(WINE_EXEC, BUILD_DIR, os.path.join(BUILD_DIR, "tools", "zorvtool.exe"))
    fixtures = os.path.join(root, "fixtures")
    os.makedirs(fixtures)
    src = os.path.join(fixtures, "src.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"],
                   check=True)
    original = make_big_comment_flac(fixtures, src)
    old_fields, old_audio, old_readers = tool.all_fields(original), tool.decoded(original), reader_views(original)

    # A finished Apply gives the new file and the stretch from its first
    # change to its last.
    player, done = start_apply(root, "finished", original)
    if player is None:
        return
    finished = []
    applying = in_background(lambda: finished.append(apply_and_wait(player, DIALOG)))
    first, last = change_times(done, applying.is_alive)
    applying.join()
    check(finished == [True], "finished: Apply ends with the dialog enabled")
    check(player.stop() == 0, "finished: the player ends cleanly")
    new_fields, new_readers = tool.all_fields(done), reader_views(done)
    written = new_fields is not None and new_fields[0].get("title") == ["A new title"] and \
        new_fields[0].get("artist") == ["A new artist"]
    check(written, "finished: Apply writes the edit: %s" % brief(new_fields))
    check(tool.decoded(done) == old_audio, "finished: the written file decodes as before")
    if not written or first is None:
        return  # no kill can be judged against it

    rng = random.Random(int(os.environ.get("ZORV_TAG_KILL_SEED", str(int(time.time())))))
    pause = int(PAUSE_MS) / 1000
    for n, delay in enumerate(kill_delays(rng, 0, last - first + 2 * pause, KILLS)):
        name = "killed %.2f s after the first change" % delay
        player, path = start_apply(root, "kill%d" % n, original)
        if player is None:
            continue
        deadline = time.monotonic() + 60
        pressing = in_background(lambda: player.probe(*DIALOG, "command", str(APPLY)))
        changed, _ = change_times(path, lambda: time.monotonic() < deadline, first_only=True)
        check(changed is not None, "%s: Apply changes the file" % name)
        time.sleep(max(0, (changed or 0) + delay - time.monotonic()))
        os.kill(player.process.pid, signal.SIGKILL)
        player.process.wait()
        pressing.join()
        wait_until_wine_lets_go(path)
        fields = tool.all_fields(path)
        check(fields in (old_fields, new_fields), "%s: the player reads the old or the new tags: %s" %
              (name, brief(fields)))
        check(tool.decoded(path) == old_audio, "%s: the audio decodes as before" % name)
        for reader, view in reader_views(path).items():
            check(view in (old_readers[reader], new_readers[reader]),
                  "%s: %s reads the old or the new file: %s" % (name, reader, view))
        folder, target = os.path.dirname(path), os.path.basename(path)
        left = set(os.listdir(folder)) - {target}
        check(left <= {temp_file_name(target)}, "%s: nothing but the temporary file is left: %s" % (name, left))

        check(tool.run("tag", windows_path(path), *CHANGES)[0] == 0, "%s: the next write succeeds" % name)
        check(tool.all_fields(path) == new_fields, "%s: the next write reads as Apply's" % name)
        check(tool.decoded(path) == old_audio, "%s: after the next write the audio decodes as before" % name)
        for reader, view in reader_views(path).items():
            check(view == new_readers[reader], "%s: after the next write %s reads %s" % (name, reader, view))
        check(os.listdir(folder) == [target], "%s: the next write leaves nothing beside the file" % name)
        print("%s: %s" % (name, "old" if fields == old_fields else "new" if fields == new_fields else "damaged"),
              flush=True)


if __name__ == "__main__":
    run_window_tests(test_apply_killed_inside_the_write)
