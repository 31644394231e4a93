#!/usr/bin/python3
"""An Apply in the real zorv.exe whose files are all copied (FLAC files with
their comment before a large picture, as a tagger lays them out): its
progress window shows while the copies are written, also while the main
window shows the folder being written (how long the main window and the
dialog take to answer meanwhile is printed); a close asked for then
puts its question above every window of the player, says that the files
being written are finished, and Yes, several times over, ends the player
once those files are written (how long after its windows is printed): every
file whole, holding its old tags or the new ones, none taken after the Yes,
and no temporary file left beside.

usage: apply_while_copying.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import mutagen
from mutagen.flac import FLAC, Picture

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
import main_window  # noqa: E402  (the window tests' player)
from closing import APPLY, DIALOG, YES, edit_artist, ends  # noqa: E402

FILES = 100
PROGRESS, QUESTION = "Updating Files", "Closing Zorv Application"
STILL_WRITING = "finishes the files it is writing"
SECONDS = 10
# A pause before each write the player makes (its own settings' at the close
# too), so that the Apply runs on for seconds on any machine, as it does on
# large files; with as many files copied at once as the machine has
# processors, FILES keep it running until a close answered on a busy machine
# comes, and far beyond the files being written then.
WRITE_PAUSE_MS = "600"
CLOSE_ROUNDS = 3
ANSWER_FILES, ANSWER_WRITE_PAUSE_MS = 150, "20"


def make_flacs(music, files, seconds):
    """FLAC files of noise, each with its comment before a 200 KB picture and
    its padding behind it: a longer comment only fits through a copy of the
    file."""
    os.makedirs(music)
    seed = os.path.join(music, "seed.flac")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", seed, "synth", str(seconds), "whitenoise"],
                   check=True)
    tags = FLAC(seed)
    tags["artist"] = "Old Artist"
    tags["album"] = "Album"
    picture = Picture()
    picture.type = 3
    picture.mime = "image/jpeg"
    picture.data = b"\xff\xd8\xff\xe0" + os.urandom(200 * 1024)
    tags.add_picture(picture)
    tags.save()
    paths = []
    for i in range(files):
        path = os.path.join(music, "%03d Song.flac" % i)
        shutil.copyfile(seed, path)
        paths.append(path)
    os.remove(seed)
    return paths


def popups(player):
    """The player's visible windows other than the main window, from the
    top of the screen's order down: (class, title)."""
    lines = player.probe("popups").stdout.splitlines()
    return [(f[0], f[3] if len(f) > 3 else "") for f in (line.split("\t") for line in lines)]


def shown(player, title):
    return any(t == title for _, t in popups(player))


def question_text(player):
    """Every text the question's window shows (a text may run over lines)."""
    return " ".join(player.probe("--title", QUESTION, "descendants").stdout.split())


def whole(path):
    """Whether the file decodes to its end and reads with one artist of the two."""
    if subprocess.run(["flac", "-s", "-t", path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
        return False
    artist = mutagen.File(path, easy=True).get("artist")
    return artist in (["Old Artist"], ["New Artist of This Apply"])


def start_edit(player, files, seconds, pause_ms, what):
    """The player on a folder of such files, each write it makes paused for
    `pause_ms`, with the artist of every file edited in the properties
    dialog; answers the paths and their inodes, or None when the dialog
    did not open."""
    music = os.path.join(player.folder, "music")
    paths = make_flacs(music, files, seconds)
    inodes = {path: os.stat(path).st_ino for path in paths}
    os.environ["ZORV_TEST_WRITE_PAUSE_MS"] = pause_ms
    try:
        player.start(windows_path(music))
    finally:
        del os.environ["ZORV_TEST_WRITE_PAUSE_MS"]
    check(player.wait(lambda: player.controls()[1].get(1000, (0, 0, False))[2], 120), "%sthe folder is listed" % what)
    if not edit_artist(player, "New Artist of This Apply"):
        check(False, "%sthe properties dialog opens" % what)
        player.process.kill()
        return None
    return paths, inodes


def copied_count(paths, inodes):
    return sum(1 for path in paths if os.path.exists(path) and os.stat(path).st_ino != inodes[path])


def temporary_files(music):
    return sum(1 for name in os.listdir(music) if not name.endswith(".flac"))


def watching(out):
    """Whether the windows-end probe writing into `out` has begun to watch."""
    out.seek(0)
    return out.read().startswith(b"watching")


def test_progress_and_close_while_files_are_copied(root):
    for n in range(CLOSE_ROUNDS):
        if not close_while_copying(root, n):
            return


def close_while_copying(root, n):
    """One Yes during the Apply; answers whether the next round may run."""
    what = "round %d: " % (n + 1)
    player = main_window.Player(root, "copying%d" % n)
    music = os.path.join(player.folder, "music")
    started = start_edit(player, FILES, SECONDS, WRITE_PAUSE_MS, what)
    if started is None:
        return False
    paths, inodes = started
    applied = time.time()
    player.probe("--title", "Properties", "command", "1074")  # Apply
    check(player.wait(lambda: shown(player, PROGRESS), 60), "%sthe progress window shows while the files are copied"
          % what)
    # What one file's write takes here and now: the first files' from the
    # Apply on. Once the windows are gone the process has at most the files
    # then in flight to finish.
    check(player.wait(lambda: copied_count(paths, inodes) > 0, 120), "%sthe first files are written" % what)
    one_file = time.time() - applied
    player.probe("close")
    asked = player.wait(lambda: shown(player, QUESTION), 60)
    check(asked, "%sthe close asks about the running Apply" % what)
    if not asked:
        player.process.kill()
        return False
    if n == 0:
        order = popups(player)
        check(order[0][1] == QUESTION, "the question stands above the player's other windows: %r" % order)
        text = question_text(player)
        check(STILL_WRITING in text and "will be lost" not in text, "the question says what a close does: %r" % text)
        player.shot("apply-while-copying-question")  # for a person to look at
    with tempfile.TemporaryFile() as out:
        ending = subprocess.Popen([main_window.WINE_EXEC, main_window.BUILD_DIR, main_window.PROBE,
                                   windows_path(player.exe), "windows-end", "300"],
                                  stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
        check(player.wait(lambda: watching(out), 60), "%sthe windows are watched" % what)
        # Nothing but the files begun by now, and those the Apply may take
        # while the answer is on its way, may be written after the Yes.
        in_flight = temporary_files(music)
        begun = copied_count(paths, inodes) + in_flight
        check(begun < FILES, "%sthe Apply is still running when the close comes (%d of %d begun)" %
              (what, begun, FILES))
        player.probe("--title", QUESTION, "command", str(YES))
        ending.wait(timeout=360)
        out.seek(0)
        times = out.read().decode().split()[1:]
    if not ends(player, what + "Yes during the Apply"):
        return False
    check(len(times) == 2, "%sthe windows and then the process end: %r" % (what, times))
    if len(times) == 2:
        windows, process = int(times[0]) / 1000, int(times[1]) / 1000
        print("%sthe windows went about %.1f s after the Yes, the process %.1f s after them (a file takes %.1f s)" %
              (what, windows, process, one_file))
        check(process < one_file, "%sthe process ends once the files in flight are written: %.1f s after its "
              "windows, a file takes %.1f s" % (what, process, one_file))
    broken = [path for path in paths if not whole(path)]
    check(not broken, "%severy file is whole, with the old or the new tags: %r" % (what, broken))
    left = [name for name in os.listdir(music) if not name.endswith(".flac")]
    check(not left, "%sno temporary file is left beside them: %r" % (what, left))
    written = copied_count(paths, inodes)
    check(written <= begun + in_flight, "%sno file is taken after the Yes: %d written, %d begun before it" %
          (what, written, begun))
    check(written < FILES, "%sthe close stopped the Apply before its last file (%d of %d written)" %
          (what, written, FILES))
    shutil.rmtree(player.folder, ignore_errors=True)
    return True


def test_windows_answer_while_the_shown_folder_is_copied(root):
    """Many copied files in the folder the main window shows: every copy and
    rename changes that folder while the Apply runs."""
    player = main_window.Player(root, "answering")
    started = start_edit(player, ANSWER_FILES, 1, ANSWER_WRITE_PAUSE_MS, "answering: ")
    if started is None:
        return
    paths, inodes = started
    stop = os.path.join(player.folder, "answers.stop")
    out = open(os.path.join(player.folder, "answers.txt"), "w+")
    answers = subprocess.Popen([main_window.WINE_EXEC, main_window.BUILD_DIR, main_window.PROBE,
                                windows_path(player.exe), "answers", "Properties", "600"],
                               env=dict(os.environ, ZORV_ANSWERS_STOP=windows_path(stop)),
                               stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
    rebuilds = lambda: int(player.probe("property", "ZorvViewRebuilds").stdout.strip() or 0)  # noqa: E731
    before = rebuilds()
    player.probe(*DIALOG, "command", str(APPLY))
    check(player.wait(lambda: shown(player, PROGRESS), 60), "answering: the progress window shows")
    copied = lambda: all(os.stat(path).st_ino != inodes[path] for path in paths)  # noqa: E731
    check(player.wait(lambda: copied() and not shown(player, PROGRESS), 300), "answering: the Apply ends")
    open(stop, "w").close()
    # Each copy and rename changed the shown folder; the view follows them
    # with one listing after the writes rather than one per file.
    check(player.wait(lambda: rebuilds() > before, 30), "answering: the folder view is listed again after the Apply")
    time.sleep(1)
    during = rebuilds() - before
    check(during <= 2, "answering: the folder view was listed %d times for %d files copied" % (during, ANSWER_FILES))
    answers.wait(timeout=120)
    out.seek(0)
    # Worst answer time (ms) and answers over 250 ms, per window.
    print("answers during the Apply of %d copied files: %s" % (ANSWER_FILES, " | ".join(out.read().splitlines())))
    written = [path for path in paths if mutagen.File(path, easy=True).get("artist") == ["New Artist of This Apply"]]
    check(len(written) == ANSWER_FILES, "answering: every file written (%d of %d)" % (len(written), ANSWER_FILES))
    check(player.stop() == 0, "answering: ends cleanly")


if __name__ == "__main__":
    main_window.run_window_tests(test_progress_and_close_while_files_are_copied,
                                 test_windows_answer_while_the_shown_folder_is_copied)
