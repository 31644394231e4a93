#!/usr/bin/python3
"""A music folder added in the real zorv.exe's Preferences, as a user adds
one: the time from Apply until the library is ready (the indexing notice
has gone and the albums level offers the folder's music), against
`zorvtool scan` on the same folder in the same run. Each round starts a
fresh copy of the player with an empty library, chooses the folder in the
dialog's own picker, clicks Apply and polls the main window through the
window probe from the moment the click is done, so a reading is late by up
to one poll (the poll period is printed); zorvtool's side is given as the
scan time it counts itself and as its whole process. Beside
the folder of FILES tracks (half FLAC, half MP3, each with a 40 KB picture,
in albums of 20) an empty folder and a folder of one file are timed the
same way. Prints min / median / max of each.

usage: bench/library_add_folder_bench.py BUILD_DIR [FILES] [ROUNDS]
after building the targets zorv, zorvtool and zorv_window_probe in
BUILD_DIR. FILES defaults to 10,000, ROUNDS to 5. Needs sox, flac, lame, ffmpeg.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 10000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5

ZORV = os.path.join(BUILD, "zorv.exe")
ZORVTOOL = os.path.join(BUILD, "tools", "zorvtool.exe")
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from window_bench_setup import use_build  # noqa: E402
use_build(BUILD, ZORV)
from main_window import Player, QUIET, WINE_EXEC  # noqa: E402
from blackbox_checks import windows_path  # noqa: E402
from album_links import link_albums  # noqa: E402

PLAY, NOTICE = 1000, 1324
ADD_FOLDER, APPLY, OK, CANCEL = 1033, 1074, 1, 2
DIALOG, PICKER = "Preferences", "Choose folder to add"
INCLUDE_WINDOWS_FOLDERS = "F44473BB-9025-4204-AFB5-8F46C2102298"


def make_music(work, music, files):
    """`files` tagged files with pictures, hard links to four seeds each."""
    seeds = os.path.join(work, "seeds")
    os.makedirs(seeds, exist_ok=True)
    cover = os.path.join(seeds, "cover.jpg")
    if not os.path.exists(cover):
        subprocess.run(["ffmpeg", "-loglevel", "error", "-f", "lavfi", "-i", "testsrc=size=560x560", "-frames:v", "1",
                        "-q:v", "3", cover], check=True)
        for n in range(4):
            tone = os.path.join(seeds, "tone%d.wav" % n)
            subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine",
                            str(330 + 110 * n)], check=True)
            subprocess.run(["flac", "-s", "-f", "-T", "ARTIST=Artist %d" % n, "-T", "ALBUM=Album %d" % n, "-T",
                            "TITLE=Song %d" % n, "--picture=" + cover, "-o", os.path.join(seeds, "seed%d.flac" % n),
                            tone], check=True)
            subprocess.run(["lame", "--quiet", "-b", "128", "--ta", "Artist %d" % n, "--tl", "Album %d" % n, "--tt",
                            "Song %d" % n, "--ti", cover, tone, os.path.join(seeds, "seed%d.mp3" % n)], check=True)
    os.makedirs(music)
    link_albums(seeds, music, files, lambda i: "flac" if i % 2 == 0 else "mp3")


def zorvtool_scan(music, files):
    """Wall seconds of `zorvtool scan` (its process included, as the
    probe's is on the window's side) and the scan time it reports."""
    start = time.perf_counter()
    out = subprocess.run([WINE_EXEC, BUILD, ZORVTOOL, "scan", windows_path(music)], check=True,
                         capture_output=True, text=True).stdout
    wall = time.perf_counter() - start
    found = re.search(r"scanned (\d+) tracks in ([0-9.]+) s", out)
    if not found or int(found.group(1)) != files:
        raise RuntimeError("zorvtool scan: %r" % out[-200:])
    return wall, float(found.group(2))


def main_controls(player):
    return player.controls()[1]


def add_in_preferences(root, name, music, files):
    """Seconds from Apply until the library is ready, and the poll periods."""
    player = Player(root, name)
    player.write_config({INCLUDE_WINDOWS_FOLDERS: b"\x00"})
    player.start()
    try:
        if not player.wait(lambda: PLAY in main_controls(player), 60):
            raise RuntimeError("the main window did not show")
        for _ in range(3):
            player.keys("ctrl+p")
            if player.wait(lambda: player.probe("--title", DIALOG, "descendants").returncode == 0, 8):
                break
        player.probe("--title", DIALOG, "select-root", "0")
        player.probe("--title", DIALOG, "click", str(ADD_FOLDER))
        if not player.wait(lambda: player.probe("--title", PICKER, "descendants").returncode == 0, 20):
            raise RuntimeError("the folder picker did not show")
        player.probe("--title", PICKER, "set-text", "Edit", windows_path(music))
        player.probe("--title", PICKER, "click", str(OK))

        def apply_enabled():
            lines = player.probe("--title", DIALOG, "descendants").stdout.splitlines()
            return any(line.split("\t")[:1] == [str(APPLY)] and line.split("\t")[3] == "1" for line in lines)
        if not player.wait(apply_enabled, 20):
            raise RuntimeError("the chosen folder did not make Apply available")

        # From the end of the click: the probe's own start before it would
        # count as the program's time.
        player.probe("--title", DIALOG, "click", str(APPLY))
        start = time.perf_counter()
        # Ready: the notice is down and the albums level shows the music
        # (an empty folder shows none). A notice not yet seen may still be
        # on its way up, so a folder with music must also show albums.
        polls = []
        while True:
            before = time.perf_counter()
            controls = main_controls(player)
            polls.append(time.perf_counter() - before)
            notice = controls.get(NOTICE, (0, False))[1]
            albums = controls.get(PLAY, (0, 0, False))[2]
            if not notice and (albums or files == 0):
                ready = time.perf_counter() - start
                break
            if time.perf_counter() - start > 600:
                raise RuntimeError("the library was not ready within 10 minutes")
        player.probe("--title", DIALOG, "click", str(CANCEL))
        return ready, polls
    finally:
        player.stop()


def spread(values):
    return "min %.0f ms, median %.0f ms, max %.0f ms" % (
        min(values) * 1000, statistics.median(values) * 1000, max(values) * 1000)


def main():
    subprocess.run(["cmake", "--build", BUILD, "--target", "zorv", "zorvtool", "zorv_window_probe"], **QUIET)
    # The Wine server first, with its output elsewhere, so that capturing
    # zorvtool's output never waits for it.
    subprocess.run([WINE_EXEC, BUILD, "cmd", "/c", "exit"], **QUIET)
    work = tempfile.mkdtemp(prefix="zorv-addfolder.")
    try:
        folders = {"empty": 0, "one file": 1, "%d files" % FILES: FILES}
        paths = {}
        for label, files in folders.items():
            paths[label] = os.path.join(work, "music-%d" % files)
            make_music(work, paths[label], files)
        zorvtool_scan(paths["%d files" % FILES], FILES)  # unmeasured: warms the system's cache
        for label, files in folders.items():
            window, tool_wall, tool_own, polls = [], [], [], []
            for round_ in range(ROUNDS):
                wall, own = zorvtool_scan(paths[label], files)
                tool_wall.append(wall)
                tool_own.append(own)
                ready, periods = add_in_preferences(work, "player-%d-%d" % (files, round_), paths[label], files)
                window.append(ready)
                polls += periods
            print("%s: window, Apply to ready: %s (poll period median %.0f ms)" % (
                label, spread(window), statistics.median(polls) * 1000))
            print("%s: zorvtool scan, process: %s; its own count: %s" % (label, spread(tool_wall), spread(tool_own)))
            if files:
                print("%s: window / zorvtool scan's own count, medians: %.2f; / its process: %.2f" % (
                    label, statistics.median(window) / statistics.median(tool_own),
                    statistics.median(window) / statistics.median(tool_wall)))
            sys.stdout.flush()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
