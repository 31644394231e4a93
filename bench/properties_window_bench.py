#!/usr/bin/python3
"""The tag editor on many tracks in the real zorv.exe, as a user meets it:
FILES tracks (half FLAC, half MP3, each with a 40 KB picture) in one folder
of the player's library, all selected in the main window; the time from
"Properties" in their item menu until the dialog shows, and from Apply after
an artist edit until the dialog is back with Apply off and the main window
answers. Beside them, in every round, mutagen reads copies of the same
files, and writes the same change to them. Every round writes a new artist, so every
file changes; mutagen then checks what the player wrote. Prints min / median
/ max of each.

usage: bench/properties_window_bench.py BUILD_DIR [FILES] [ROUNDS]
after building the targets zorv and zorv_window_probe in BUILD_DIR.
FILES defaults to 1000, ROUNDS to 5. Needs python3-mutagen, sox, flac, lame.
ZORV_BENCH_EXE names another zorv.exe to measure (an earlier build);
ZORV_BENCH_BASE names one to measure beside it, in alternate turns of every
round, each over its own copy of the files.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5

ZORV = os.environ.get("ZORV_BENCH_EXE", os.path.join(BUILD, "zorv.exe"))
BASE = os.environ.get("ZORV_BENCH_BASE")
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from window_bench_setup import use_build  # noqa: E402
use_build(BUILD, ZORV)
import mutagen  # noqa: E402
from main_window import Player, QUIET, WINE_EXEC  # noqa: E402
from blackbox_checks import windows_path  # noqa: E402
from tagged_files import make_files, mutagen_write  # noqa: E402

LIST, METADATA_LIST, APPLY, CANCEL = 1069, 1257, 1074, 2
DIALOG = ("--title", "Properties")


def mutagen_read(paths):
    start = time.perf_counter()
    for path in paths:
        mutagen.File(path)
    return (time.perf_counter() - start) * 1000.0


def artist_of(path):
    tags = mutagen.File(path, easy=path.endswith(".mp3"))
    return list(tags.get("artist", [])) if tags is not None else []


def stopwatch(player, control, *command):
    """Milliseconds from the command until the properties dialog settles."""
    out = player.probe("stopwatch", "Properties", str(control), *command).stdout.strip()
    try:
        return float(out.splitlines()[-1])
    except (ValueError, IndexError):
        raise RuntimeError("the stopwatch ended without a time: %r" % out)


def rows(player):
    listed = player.probe(*DIALOG, "rows", str(METADATA_LIST)).stdout.splitlines()
    return dict(line.split("\t", 1) for line in listed if "\t" in line)


def summary(name, values):
    return "%-44s min %8.0f  median %8.0f  max %8.0f ms" % (name, min(values), statistics.median(values), max(values))


class Measured:
    """One player copy over its own copy of the files, and its figures."""

    def __init__(self, root, name, exe, music_source=None):
        self.name = name
        self.player = Player(root, name, library=True)
        if exe is not None:
            shutil.copy(exe, self.player.exe)
        self.music = os.path.join(self.player.folder, "music")
        if music_source is None:
            self.paths = make_files(self.music, FILES)
        else:
            shutil.copytree(music_source, self.music)
            self.paths = [os.path.join(self.music, os.path.basename(path)) for path in os.listdir(music_source)]
            self.paths = sorted(path for path in self.paths if path.endswith((".flac", ".mp3")))
        self.opened, self.applied = [], []

    def start(self):
        player = self.player
        player.start(windows_path(self.music))
        if not player.wait(lambda: player.controls()[1].get(1000, (0, 0, False))[2], 120):
            raise SystemExit("the folder was not listed")

    def round(self, round_number):
        player = self.player
        artist = "Artist %d" % round_number
        player.keys("home", "shift+end")
        player.probe("context-menu", str(LIST))
        if not player.wait(player.menu_open, 30):
            raise SystemExit("the item menu did not open")
        self.opened.append(stopwatch(player, 0, "menu-keys", "up", "return"))
        player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
        player.probe(*DIALOG, "type", artist)
        player.probe(*DIALOG, "focus-keys", "return")
        if rows(player).get("Artist") != artist:
            raise SystemExit("the artist edit did not take: %r" % rows(player).get("Artist"))
        self.applied.append(stopwatch(player, APPLY, *DIALOG, "command", str(APPLY)))
        shown = rows(player).get("Artist")
        written = sum(1 for path in self.paths if artist_of(path) == [artist])
        print("round %d, %s: open %.0f ms, apply %.0f ms; the dialog shows %r, %d of %d files hold it" %
              (round_number + 1, self.name, self.opened[-1], self.applied[-1], shown, written, len(self.paths)),
              flush=True)
        if shown != artist or written != len(self.paths):
            raise SystemExit("Apply did not write every file")
        player.probe(*DIALOG, "command", str(CANCEL))
        player.wait(lambda: player.probe("--title", "Properties", "descendants").returncode != 0, 30)

    def report(self, peer_write):
        label = "" if self.name == "bench" else " (%s)" % self.name
        print(summary("Properties until the dialog shows" + label, self.opened))
        print(summary("Apply until the dialog is back" + label, self.applied))
        ratios = [a / p for a, p in zip(self.applied, peer_write)]
        print("Apply / mutagen write (same round)%s: min %.2f  median %.2f  max %.2f" %
              (label, min(ratios), statistics.median(ratios), max(ratios)))


def main():
    subprocess.run([WINE_EXEC, BUILD, "cmd", "/c", "exit"], **QUIET)
    with tempfile.TemporaryDirectory() as root:
        measured = [Measured(root, "bench", None)]
        source = measured[0].music
        if BASE is not None:
            measured.append(Measured(root, "base", BASE, source))
        # The peer works on a copy outside the players' libraries, so that
        # their reading of changed files does not weigh on the peer.
        shutil.copytree(source, os.path.join(root, "peer"))
        peer_paths = [os.path.join(root, "peer", os.path.basename(path)) for path in measured[0].paths]
        peer_read, peer_write = [], []
        for item in measured:
            item.start()
        time.sleep(5)  # the library's first scan of the folder
        for round_number in range(ROUNDS):
            # The peer runs in every round, beside the player, so that both
            # meet the same load of a shared machine; two builds take turns
            # at going first.
            peer_read.append(mutagen_read(peer_paths))
            peer_write.append(mutagen_write(peer_paths, "Peer %d" % round_number))
            for item in (measured if round_number % 2 == 0 else measured[::-1]):
                item.round(round_number)
        for item in measured:
            item.player.stop()

    print("%d files, %d rounds" % (FILES, ROUNDS))
    print(summary("mutagen reads every file (peer)", peer_read))
    print(summary("mutagen writes the artist (peer)", peer_write))
    for item in measured:
        item.report(peer_write)

main()
