#!/usr/bin/python3
"""Closing the real zorv.exe always ends the process, many times over: right
after the first scan of a large folder, right after an Apply on many MP3
files, while a track plays, and after an Apply with errors (a file another program holds, a file
deleted) whose unsaved edits are dropped with No. A close that leaves the
process behind holds the profile, and a later start with it could not run.

usage: closing.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe,
ZORV_FILE_HOLDER_EXE the helper that holds a file open; ZORV_CLOSE_ROUNDS the
rounds of each loop, ZORV_CLOSE_SCAN_FILES the files of the scanned folder)
"""
import os
import shutil
import subprocess
import sys
import time

import mutagen
from mutagen.easyid3 import EasyID3

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
import main_window  # noqa: E402  (the window tests' player)
from library_window import notice_shown  # noqa: E402

PLAY, LIST, LINE_1 = 1000, 1069, 1079
METADATA_LIST, APPLY = 1257, 1074
YES, NO = 6, 7
DIALOG = ("--title", "Properties")
ROUNDS = int(os.environ.get("ZORV_CLOSE_ROUNDS", "6"))
SCAN_FILES = int(os.environ.get("ZORV_CLOSE_SCAN_FILES", "10000"))
# Far beyond what a close takes on a loaded machine; a hung one never ends.
CLOSE_BOUND = 60
HOLDER = os.environ.get("ZORV_FILE_HOLDER_EXE")


def closes(player, what):
    """Closes the window and answers whether the process then ends."""
    player.probe("close")
    return ends(player, what)


def ends(player, what):
    try:
        code = player.process.wait(timeout=CLOSE_BOUND)
    except subprocess.TimeoutExpired:
        player.process.kill()
        player.process.wait()
        check(False, "%s: the process ends after the window closes" % what)
        return False
    check(code == 0, "%s: ends with exit code 0: %r" % (what, code))
    no_crash(player, what)
    return True


def no_crash(player, what):
    """Checks that the run left no crash dump in the profile; keeps any it
    left beside the other artifacts."""
    profile = os.path.join(player.folder, "zorv-configuration")
    dumps = [name for name in os.listdir(profile) if name.startswith("failure-")] if os.path.isdir(profile) else []
    for name in dumps:
        os.makedirs(main_window.ARTIFACTS, exist_ok=True)
        shutil.copy(os.path.join(profile, name), os.path.join(main_window.ARTIFACTS, "closing-%s-%s" %
                                                               (os.path.basename(player.folder), name)))
    check(not dumps, "%s: no crash: %r" % (what, dumps))


def listed(player):
    return player.controls()[1].get(PLAY, (0, 0, False))[2]


def dialog_state(player):
    """The properties dialog's window line and {id: enabled}, or (None, {})."""
    lines = player.probe(*DIALOG, "descendants").stdout.splitlines()
    if not lines or not lines[0].startswith("window\t"):
        return None, {}
    return lines[0].split("\t"), {int(f[0]): f[3] == "1" for f in (line.split("\t") for line in lines[1:])
                                  if len(f) >= 7 and f[0].lstrip("-").isdigit()}


def dialog_ids(player, title):
    lines = player.probe("--title", title, "descendants").stdout.splitlines()
    return {int(f[0]) for f in (line.split("\t") for line in lines[1:]) if f and f[0].lstrip("-").isdigit()}


def make_mp3s(music, count, seconds=1):
    """`count` tagged MP3 files, each a copy of one seed."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    seed = os.path.join(music, "seed.mp3")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", str(seconds), "sine", "440"],
                   check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", tone, seed], check=True)
    tags = EasyID3()
    tags.update({"artist": "Old Artist", "album": "Album"})
    tags.save(seed)
    paths = []
    for i in range(count):
        path = os.path.join(music, "%04d Song.mp3" % i)
        shutil.copyfile(seed, path)
        paths.append(path)
    os.remove(tone)
    os.remove(seed)
    return paths


def make_scan_folder(folder, files):
    """`files` tagged MP3 and FLAC files in albums of 20, hard links to two
    seeds of each format (the MP3s are read through their ID3v2 tags)."""
    seeds = os.path.join(folder, "seeds")
    os.makedirs(seeds)
    tone = os.path.join(seeds, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    for n in range(2):
        flac = os.path.join(seeds, "seed%d.flac" % n)
        subprocess.run(["flac", "-s", "-f", "-T", "ARTIST=Artist %d" % n, "-T", "ALBUM=Album %d" % n, "-o", flac, tone],
                       check=True)
        mp3 = os.path.join(seeds, "seed%d.mp3" % n)
        subprocess.run(["lame", "--quiet", "-b", "128", tone, mp3], check=True)
        tags = EasyID3()
        tags.update({"artist": "Artist %d" % n, "album": "Album %d" % n})
        tags.save(mp3)
    for i in range(files):
        album = os.path.join(folder, "music", "Artist %d" % (i // 200), "Album %d" % (i // 20))
        if i % 20 == 0:
            os.makedirs(album)
        extension = ".mp3" if i % 2 else ".flac"
        os.link(os.path.join(seeds, "seed%d%s" % (i // 2 % 2, extension)),
                os.path.join(album, "%02d Song%s" % (i % 20, extension)))


def edit_artist(player, artist):
    """Properties on every listed track, the artist edited in place; answers
    whether the dialog opened."""
    player.keys("home", "shift+end")
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    if not player.wait(lambda: dialog_state(player)[0] is not None, 120):
        return False
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
    player.probe(*DIALOG, "type", artist)
    player.probe(*DIALOG, "focus-keys", "return")
    return True


def apply_and_wait(player):
    """Apply, then the dialog back with Apply off (or, after failures, with
    whatever the player shows about them)."""
    player.probe(*DIALOG, "command", str(APPLY))
    time.sleep(1)
    return player.wait(lambda: (lambda s: s[0] is not None and not int(s[0][3], 16) & 0x08000000)(dialog_state(player)),
                       180)


def test_close_right_after_first_scan(root):
    seeds = os.path.join(root, "scan-seed")
    os.makedirs(seeds)
    make_scan_folder(seeds, SCAN_FILES)
    for n in range(ROUNDS):
        what = "first scan, round %d" % (n + 1)
        player = main_window.Player(root, "scan%d" % n, library=True)
        shutil.copytree(os.path.join(seeds, "music"), os.path.join(player.folder, "music"), copy_function=os.link)
        player.start()
        check(player.wait(lambda: listed(player), 180), "%s: the albums show" % what)
        check(player.wait(lambda: not notice_shown(player), 300), "%s: the scan ends" % what)
        if not closes(player, what):
            return
        check(os.path.isfile(os.path.join(player.folder, "zorv-configuration", "database.dat")),
              "%s: the library is saved" % what)
        shutil.rmtree(player.folder)


def test_close_right_after_apply(root):
    for n in range(ROUNDS):
        what = "apply, round %d" % (n + 1)
        # In the library, so that its folder watch reads what the Apply writes.
        player = main_window.Player(root, "apply%d" % n, library=True)
        paths = make_mp3s(os.path.join(player.folder, "music"), 1000)
        player.start(windows_path(os.path.dirname(paths[0])))
        check(player.wait(lambda: listed(player), 120), "%s: the folder is listed" % what)
        if not edit_artist(player, "New Artist %d" % n):
            check(False, "%s: the properties dialog opens" % what)
            player.process.kill()
            return
        check(apply_and_wait(player), "%s: Apply ends" % what)
        if not closes(player, what):
            return
        wrong = [p for p in paths if mutagen.File(p, easy=True).get("artist") != ["New Artist %d" % n]]
        check(not wrong, "%s: every file holds the edit: %r" % (what, wrong[:3]))
        shutil.rmtree(player.folder)


def test_close_while_playing(root):
    """The output's feeding thread and the playback thread are busy when the
    close comes."""
    for n in range(ROUNDS):
        what = "playing, round %d" % (n + 1)
        player = main_window.Player(root, "playing%d" % n)
        paths = make_mp3s(os.path.join(player.folder, "music"), 3, seconds=30)
        player.start(windows_path(os.path.dirname(paths[0])))
        check(player.wait(lambda: listed(player), 120), "%s: the folder is listed" % what)
        player.probe("command", str(PLAY))
        check(player.wait(lambda: player.text(LINE_1) not in ("", "Playback stopped"), 60), "%s: it plays" % what)
        if not closes(player, what):
            return
        shutil.rmtree(player.folder)


def test_close_after_failed_apply_and_no(root):
    """A held file and a deleted one fail the Apply; the edits left unsaved
    are dropped with No at the close, and the process ends."""
    for n in range(ROUNDS):
        what = "failed apply and No, round %d" % (n + 1)
        player = main_window.Player(root, "failed%d" % n)
        paths = make_mp3s(os.path.join(player.folder, "music"), 200)
        player.start(windows_path(os.path.dirname(paths[0])))
        check(player.wait(lambda: listed(player), 120), "%s: the folder is listed" % what)
        if not edit_artist(player, "Never Written"):
            check(False, "%s: the properties dialog opens" % what)
            player.process.kill()
            return
        os.remove(paths[7])
        holder = None
        if HOLDER:
            holder = subprocess.Popen([main_window.WINE_EXEC, main_window.BUILD_DIR, HOLDER, windows_path(paths[3]),
                                       "20000", "zorv-closing-holder"], **main_window.QUIET)
            time.sleep(2)
        check(apply_and_wait(player), "%s: Apply ends" % what)
        if n == 0:
            player.shot("closing-failed-apply")  # the failures listed, for a person to look at
        player.probe("close")
        asked = player.wait(lambda: {YES, NO} <= dialog_ids(player, "Properties"), 60)
        check(asked, "%s: the unsaved edits are asked about" % what)
        if asked:
            player.probe("--title", "Properties", "command", str(NO))
        if ends(player, what):
            # The profile is free again: a new start with it shows its window.
            player.start()
            check(player.wait(lambda: player.controls()[0] is not None, 60), "%s: the player starts again" % what)
            closes(player, what + ", started again")
        if holder:
            holder.kill()
            holder.wait()
        shutil.rmtree(player.folder, ignore_errors=True)


if __name__ == "__main__":
    main_window.run_window_tests(test_close_right_after_first_scan, test_close_right_after_apply,
                                 test_close_while_playing, test_close_after_failed_apply_and_no)
