#!/usr/bin/python3
"""Places shown in the real zorv.exe's main window that disappear from
outside while they are shown: the folder deleted, its parent deleted, the
folder renamed, a folder above it renamed, a library album's folder deleted
(also once the folder view has shown and left it). The window keeps running
and shows the nearest place that still exists (screenshots kept under the
build folder's test-artifacts/main_window for a person to look at).

usage: vanishing_places.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
import main_window  # noqa: E402  (the window tests' player; its own checks run only as a script)
from main_window import Player, run_window_tests  # noqa: E402

PLAY, CAPTION, LIST = 1000, 1067, 1069


def last_name(caption):
    """The shown folder of a path caption ("<a>Z:</a> \\ ... \\ name")."""
    return caption.rsplit(" \\ ", 1)[-1]


def make_folder(path):
    os.makedirs(path)
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", os.path.join(path, "tone.wav"), "synth", "1",
                    "sine", "440"], check=True)


def shown_then_gone(root, name, change, expected):
    """Shows folder music/a/b, changes the disk with `change`, and expects the
    window alive on the folder named `expected`."""
    player = Player(root, name)
    music = os.path.join(player.folder, "music")
    make_folder(os.path.join(music, "a", "b"))
    player.start(windows_path(os.path.join(music, "a", "b")))
    check(player.wait(lambda: last_name(player.text(CAPTION)) == "b", 60), "%s: the folder is shown" % name)
    change(music)
    arrived = player.wait(lambda: last_name(player.text(CAPTION)) == expected, 10)
    time.sleep(1)
    alive = player.process.poll() is None and player.controls()[0] is not None
    check(alive, "%s: the player keeps running" % name)
    check(arrived, "%s: the window shows %r: %r" % (name, expected, player.text(CAPTION)))
    if alive:
        player.shot("vanished-" + name)
    check(player.stop() == 0, "%s: ends cleanly" % name)


def test_shown_folder_deleted(root):
    shown_then_gone(root, "folder-deleted", lambda music: shutil.rmtree(os.path.join(music, "a", "b")), "a")


def test_parent_of_shown_folder_deleted(root):
    shown_then_gone(root, "parent-deleted", lambda music: shutil.rmtree(os.path.join(music, "a")), "music")


def test_shown_folder_renamed(root):
    shown_then_gone(root, "folder-renamed",
                    lambda music: os.rename(os.path.join(music, "a", "b"), os.path.join(music, "a", "c")), "a")


def test_folder_above_renamed(root):
    # Nothing changes inside the shown folder or its parent: only the folder
    # above the renamed one sees it go.
    shown_then_gone(root, "parent-renamed",
                    lambda music: os.rename(os.path.join(music, "a"), os.path.join(music, "a2")), "music")
    shown_then_gone(root, "grandparent-renamed",
                    lambda music: os.rename(music, music + "2"), "grandparent-renamed")


def album_deleted(root, name, shown_as_folder_first):
    player = Player(root, name, library=True)
    main_window.make_music(player.folder)
    player.start()
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 120),
          "%s: the scan fills the albums level" % name)
    player.keys("home", "down", "return")
    check(player.text(CAPTION) == main_window.ALBUM_ANNA, "%s: the album is open: %r" % (name, player.text(CAPTION)))
    album = os.path.join(player.folder, "music", "anna")
    if shown_as_folder_first:
        # A second start hands the album's folder over: the window shows it,
        # and Back returns to the album.
        subprocess.run([main_window.WINE_EXEC, main_window.BUILD_DIR, player.exe, windows_path(album)], timeout=60,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        check(player.wait(lambda: last_name(player.text(CAPTION)) == "anna", 20),
              "%s: the album's folder is shown: %r" % (name, player.text(CAPTION)))
        player.keys("alt+left")
        check(player.text(CAPTION) == main_window.ALBUM_ANNA, "%s: back at the album: %r" % (name, player.text(CAPTION)))
    shutil.rmtree(album)
    arrived = player.wait(lambda: player.text(CAPTION) == "All albums", 20)
    check(player.process.poll() is None and player.controls()[0] is not None, "%s: the player keeps running" % name)
    check(arrived, "%s: the window goes back to the albums: %r" % (name, player.text(CAPTION)))
    player.shot("vanished-" + name)
    check(player.stop() == 0, "%s: ends cleanly" % name)


def test_library_album_folder_deleted(root):
    album_deleted(root, "library-album", False)
    # The folder view let go of the folder it watched: the library still
    # hears of it.
    album_deleted(root, "library-album-shown-as-folder", True)


def main():
    run_window_tests(test_shown_folder_deleted, test_parent_of_shown_folder_deleted, test_shown_folder_renamed,
                     test_folder_above_renamed, test_library_album_folder_deleted)


main()
