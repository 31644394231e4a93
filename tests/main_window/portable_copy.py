#!/usr/bin/python3
"""A portable copy of the real zorv.exe (its configuration and library beside
it, music in a folder there) started from another working folder: the
music-folders view names the program's folder, Enter there leads into it,
a file opened from it plays (heard in the capture file) and its Properties
show the file's values; the next start, again from elsewhere, opens the same
folder.

usage: portable_copy.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import array
import os
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, heard_levels, windows_path, write_stereo_wav  # noqa: E402
from main_window import BUILD_DIR, WINE_EXEC, Player, QUIET, run_window_tests  # noqa: E402

LIST, PLAY, CAPTION, LINE_1 = 1069, 1000, 1067, 1079
METADATA_LIST = 1257
EXTRA_FOLDERS = "5AA02BF0-431E-4460-B1F0-9EE74D02754F"
LAST_LOCATION = "6490F07D-F12E-4963-8946-FDE5DCC08F3A"
MUSIC_FOLDERS_VIEW = "{7644CAF4-800E-4771-B16D-D161B8B08887}"
LEVEL = 3000


def text_list(*texts):
    return struct.pack("<I", len(texts)) + b"".join(struct.pack("<I", len(t)) + t.encode() for t in texts)


class PortableCopy(Player):
    """Started from `working`, never from its own folder, with a capture file
    of its own per start."""

    def __init__(self, root, name, working):
        super().__init__(root, name, library=True)
        self.working = working

    def start(self, *args):
        # Beside the copy's folder: the sink's shell command would split a
        # path with a space.
        self.capture = os.path.join(os.path.dirname(self.folder), "capture-%d.wav" % time.monotonic_ns())
        env = dict(os.environ, AUDIO_CAPTURE="|cat >> " + self.capture)
        self.process = subprocess.Popen([WINE_EXEC, BUILD_DIR, self.exe, *args], env=env, cwd=self.working, **QUIET)

    def other_windows(self):
        """Titles of the program's visible windows besides the main window
        (a tooltip the pointer happens to call up is none of them)."""
        return [line.split("\t")[-1] for line in self.probe("popups").stdout.splitlines()
                if line and not line.startswith("tooltips_class32")]


def test_portable_copy_from_another_working_folder(root):
    working = os.path.join(root, "elsewhere")
    os.makedirs(working)
    player = PortableCopy(root, "Portable Zorv", working)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    wav = os.path.join(root, "level.wav")
    write_stereo_wav(wav, array.array("h", [LEVEL] * 48000))
    subprocess.run(["flac", "-s", "-f", "-T", "TITLE=Beside the program", "-T", "ARTIST=Carried", "-o",
                    os.path.join(music, "song.flac"), wav], check=True)
    # A second music folder, so the navigation offers the music-folders view,
    # where the program opens.
    other = os.path.join(root, "other music")
    os.makedirs(other)
    root_key = struct.pack("<III", 1, 1, len(MUSIC_FOLDERS_VIEW)) + MUSIC_FOLDERS_VIEW.encode()
    player.write_config({EXTRA_FOLDERS: text_list(windows_path(other)),
                         LAST_LOCATION: struct.pack("<I", 2) + root_key})

    player.start()
    check(player.wait(lambda: player.text(CAPTION) == "Music folders", 60),
          "portable: the music-folders view is shown: %r" % player.text(CAPTION))
    # Its first entry is the program's folder; Enter opens it.
    player.keys("home", "return")
    check(player.wait(lambda: player.text(CAPTION).endswith(" \\ Portable Zorv"), 20),
          "portable: Enter on the first music folder opens the program's folder: %r" % player.text(CAPTION))
    player.keys("home", "return")
    check(player.wait(lambda: player.text(CAPTION).endswith("<a>Portable Zorv</a> \\ music"), 20),
          "portable: its music folder opens: %r" % player.text(CAPTION))
    player.keys("home", "return")
    check(player.wait(lambda: LEVEL in heard_levels(player.capture), 20),
          "portable: Enter on the file plays it: %r, other windows %r" % (player.text(LINE_1), player.other_windows()))
    check(player.wait(lambda: player.text(LINE_1) == "Playback stopped", 20), "portable: the file plays to its end")
    check(player.other_windows() == [], "portable: no error is shown: %r" % player.other_windows())

    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")  # "Properties" is the item menu's last entry
    rows = {}
    player.wait(lambda: rows.update(line.split("\t", 1) for line in player.probe(
        "--title", "Properties", "rows", str(METADATA_LIST)).stdout.splitlines() if "\t" in line) or rows, 30)
    check(rows.get("Title") == "Beside the program" and rows.get("Artist") == "Carried",
          "portable: Properties shows the file's values: %r, other windows %r" % (rows, player.other_windows()))
    player.probe("--title", "Properties", "command", "2")
    check(player.wait(lambda: player.other_windows() == [], 20), "portable: the dialog closes")
    check(player.stop() == 0, "portable: ends cleanly")

    # The last location is the program's music folder, wherever it starts from.
    player.start()
    check(player.wait(lambda: player.text(CAPTION).endswith("<a>Portable Zorv</a> \\ music"), 60),
          "portable: the next start opens the music folder again: %r" % player.text(CAPTION))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 20),
          "portable: with its file listed")
    check(player.stop() == 0, "portable: the second run ends cleanly")


run_window_tests(test_portable_copy_from_another_working_folder)
