#!/usr/bin/python3
"""The tag editor on many tracks in the real zorv.exe, as a user meets it:
FILES tracks (half FLAC, half MP3, each with a 40 KB picture) in one folder
of the player's library, all selected in the main window; the time from
"Properties" in their item menu until the dialog shows, and from Apply after
an artist edit until the dialog is back with Apply off and the main window
answers. Beside them, in the same run, mutagen reads the same files, and
writes the same change to them. Every round writes a new artist, so every
file changes; mutagen then checks what the player wrote. Prints min / median
/ max of each.

usage: bench/properties_window_bench.py BUILD_DIR [FILES] [ROUNDS]
after building the targets zorv and zorv_window_probe in BUILD_DIR.
FILES defaults to 1000, ROUNDS to 5. Needs python3-mutagen, sox, flac, lame.
ZORV_BENCH_EXE names another zorv.exe to measure (an earlier build).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5

# The window tests' player, set up for this build.
os.environ["ZORV_WINDOW_PROBE"] = os.path.join(BUILD, "tests", "main_window", "zorv_window_probe.exe")
ZORV = os.environ.get("ZORV_BENCH_EXE", os.path.join(BUILD, "zorv.exe"))
sys.argv = [sys.argv[0], os.path.join(HERE, "..", "tools", "wine-exec"), BUILD, ZORV]
sys.path.insert(0, os.path.join(HERE, "..", "tests", "main_window"))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
sys.dont_write_bytecode = True
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


def main():
    subprocess.run([WINE_EXEC, BUILD, "cmd", "/c", "exit"], **QUIET)
    with tempfile.TemporaryDirectory() as root:
        player = Player(root, "bench", library=True)
        music = os.path.join(player.folder, "music")
        paths = make_files(music, FILES)
        peer_read, peer_write, opened, applied = [], [], [], []
        for round_number in range(ROUNDS):
            peer_read.append(mutagen_read(paths))
            peer_write.append(mutagen_write(paths, "Peer %d" % round_number))

        player.start(windows_path(music))
        listed = player.wait(lambda: player.controls()[1].get(1000, (0, 0, False))[2], 120)
        if not listed:
            raise SystemExit("the folder was not listed")
        time.sleep(5)  # the library's first scan of the folder
        for round_number in range(ROUNDS):
            artist = "Artist %d" % round_number
            player.keys("home", "shift+end")
            player.probe("context-menu", str(LIST))
            if not player.wait(player.menu_open, 30):
                raise SystemExit("the item menu did not open")
            opened.append(stopwatch(player, 0, "menu-keys", "up", "return"))
            player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
            player.probe(*DIALOG, "type", artist)
            player.probe(*DIALOG, "focus-keys", "return")
            if rows(player).get("Artist") != artist:
                raise SystemExit("the artist edit did not take: %r" % rows(player).get("Artist"))
            applied.append(stopwatch(player, APPLY, *DIALOG, "command", str(APPLY)))
            shown = rows(player).get("Artist")
            written = sum(1 for path in paths if artist_of(path) == [artist])
            print("round %d: open %.0f ms, apply %.0f ms; the dialog shows %r, %d of %d files hold it" %
                  (round_number + 1, opened[-1], applied[-1], shown, written, len(paths)), flush=True)
            if shown != artist or written != len(paths):
                raise SystemExit("Apply did not write every file")
            player.probe(*DIALOG, "command", str(CANCEL))
            player.wait(lambda: player.probe("--title", "Properties", "descendants").returncode != 0, 30)
        player.stop()

    print("%d files, %d rounds" % (FILES, ROUNDS))
    print(summary("mutagen reads every file (peer)", peer_read))
    print(summary("Properties until the dialog shows", opened))
    print(summary("mutagen writes the artist (peer)", peer_write))
    print(summary("Apply until the dialog is back", applied))
    ratios = [a / statistics.median(peer_write) for a in applied]
    print("Apply / mutagen write (median peer): min %.2f  median %.2f  max %.2f" %
          (min(ratios), statistics.median(ratios), max(ratios)))


main()
