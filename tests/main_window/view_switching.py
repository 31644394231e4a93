#!/usr/bin/python3
"""The real zorv.exe's window over a library of 30,000 tracks, large enough
that its views are built on a worker: the window answers while a view is
built, and a quick second switch lands in place of the first, which never
shows. The same for a folder of 10,000 files, listed on the worker: its
rows land in natural order, first and last played from the list.

usage: view_switching.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
import library_window  # noqa: E402
import main_window  # noqa: E402

CAPTION, NOW_PLAYING = 1067, 1079
APPCOMMAND_BROWSER_BACKWARD, APPCOMMAND_BROWSER_FORWARD = "1", "2"


def test_window_answers_while_a_view_builds(root):
    player = main_window.Player(root, "switching", library=True)
    library_window.make_large_music(player.folder, 30000)
    player.start()
    check(player.wait(lambda: library_window.albums_shown(player), 180), "switching: the albums level fills")
    check(player.wait(lambda: not library_window.notice_shown(player), 180), "switching: the scan ends")
    check(player.wait(lambda: player.text(CAPTION) == "All albums", 30), "switching: starts at the albums")
    player.keys("home", "return")
    check(player.wait(lambda: player.text(CAPTION) == "All songs", 30), "switching: All songs opens")
    # The window has handled Back and answers the probe while the albums of
    # 30,000 tracks are still being built (even on a busy machine, where the
    # probe may wait its turn for tens of milliseconds).
    lines = player.probe("send-app-commands", str(CAPTION), APPCOMMAND_BROWSER_BACKWARD).stdout.splitlines()
    check(lines == ["All songs"], "switching: the window answers before the albums are built: %r" % lines)
    check(player.wait(lambda: player.text(CAPTION) == "All albums", 30), "switching: the albums arrive")
    # Forward and at once Back: the songs never show, the albums come back.
    lines = player.probe("send-app-commands", str(CAPTION), APPCOMMAND_BROWSER_FORWARD,
                         APPCOMMAND_BROWSER_BACKWARD).stdout.splitlines()
    check(lines == ["All albums", "All albums"], "switching: both commands answered at once: %r" % lines)
    seen = set()
    deadline = time.time() + 3
    while time.time() < deadline:
        seen.add(player.text(CAPTION))
        time.sleep(0.1)
    check(seen == {"All albums"}, "switching: the second switch lands, never the first: %r" % seen)
    player.shot("albums-after-quick-switches")
    check(player.stop() == 0, "switching: ends cleanly")


def make_large_folder(parent, files):
    """parent/big with `files` untagged FLAC files named "N Song.flac"
    (hard links to one seed, long enough to be playing when looked at), and
    parent/small with one."""
    os.makedirs(parent)
    seed = os.path.join(parent, "seed.flac")
    tone = os.path.join(parent, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "120", "sine", "440"], check=True)
    subprocess.run(["flac", "-s", "-f", "-o", seed, tone], check=True)
    for name, count in (("big", files), ("small", 1)):
        os.makedirs(os.path.join(parent, name))
        for i in range(1, count + 1):
            os.link(seed, os.path.join(parent, name, "%d Song.flac" % i))
    os.remove(tone)
    os.remove(seed)


def test_window_answers_while_a_folder_is_listed(root):
    player = main_window.Player(root, "folder")
    parent = os.path.join(root, "folders")
    make_large_folder(parent, 10000)
    player.start()
    check(player.wait(lambda: player.text(CAPTION) == "All albums", 60), "folder: the window shows")
    player.probe("drop", windows_path(parent))
    check(player.wait(lambda: player.text(CAPTION).endswith(" \\ folders"), 20),
          "folder: the dropped folder is shown: %r" % player.text(CAPTION))
    player.keys("home", "return")
    check(player.wait(lambda: player.text(CAPTION).endswith(" \\ big"), 30),
          "folder: Enter opens the large folder: %r" % player.text(CAPTION))
    # Its rows, in natural order: the last one is the 10,000th file.
    player.keys("end", "return")
    check(player.wait(lambda: "<a>10000 Song</a>" in player.text(NOW_PLAYING), 20),
          "folder: the last row plays the 10,000th file: %r" % player.text(NOW_PLAYING))
    player.keys("home", "return")
    check(player.wait(lambda: "<a>1 Song</a>" in player.text(NOW_PLAYING), 20),
          "folder: the first row plays the first file: %r" % player.text(NOW_PLAYING))
    player.shot("large-folder")
    player.keys("back")
    check(player.wait(lambda: player.text(CAPTION).endswith(" \\ folders"), 20), "folder: Back goes to its parent")
    # Forward into the large folder and at once Back: both are answered while
    # the folder is still being listed, and it never shows.
    lines = player.probe("send-app-commands", str(CAPTION), APPCOMMAND_BROWSER_FORWARD,
                         APPCOMMAND_BROWSER_BACKWARD).stdout.splitlines()
    folders = player.text(CAPTION)
    check(lines == [folders, folders], "folder: both commands answered before the folder is listed: %r" % lines)
    seen = set()
    deadline = time.time() + 3
    while time.time() < deadline:
        seen.add(player.text(CAPTION))
        time.sleep(0.1)
    check(seen == {folders}, "folder: the second switch lands, never the first: %r" % seen)
    player.probe("app-command", APPCOMMAND_BROWSER_FORWARD)
    check(player.wait(lambda: player.text(CAPTION).endswith(" \\ big"), 30), "folder: Forward lists it again")
    player.shot("large-folder-again")
    check(player.stop() == 0, "folder: ends cleanly")


if __name__ == "__main__":
    main_window.run_window_tests(test_window_answers_while_a_view_builds, test_window_answers_while_a_folder_is_listed)
