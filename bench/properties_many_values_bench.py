#!/usr/bin/python3
"""The tag editor over many tracks whose fields hold thousands of values, in
the real zorv.exe: FILES MP3 files (one second each) whose artist, genre and
a user-defined MOOD field hold VALUES values each (the same in every file),
all selected in the main window. Prints the time from "Properties" in their
item menu until the dialog shows, the time from Apply after a title edit
until the dialog is back, whether the dialog is still there (or what the
program said) a while later, whether every file holds the title, and the
player process's peak resident memory (VmHWM) after the opening and after
the Apply. A 32-bit process has 2 GB of address space to do all that in.

usage: bench/properties_many_values_bench.py BUILD_DIR [FILES] [VALUES] [distinct]
after building the targets zorv and zorv_window_probe in BUILD_DIR.
FILES defaults to 200, VALUES to 10000; with "distinct" every file holds
values of its own. Needs python3-mutagen, sox, lame.
ZORV_BENCH_BASE names an earlier zorv.exe measured after it on a copy of
the same files.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 200
VALUES = int(sys.argv[3]) if len(sys.argv) > 3 else 10000
DISTINCT = len(sys.argv) > 4 and sys.argv[4] == "distinct"

ZORV = os.path.join(BUILD, "zorv.exe")
BASE = os.environ.get("ZORV_BENCH_BASE")
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from window_bench_setup import use_build  # noqa: E402
use_build(BUILD, ZORV)
from mutagen.id3 import ID3, TCON, TIT2, TPE1, TXXX  # noqa: E402
from blackbox_checks import windows_path  # noqa: E402
from main_window import Player, QUIET, WINE_EXEC  # noqa: E402
from properties_keeps_mp3 import untagged_mp3s  # noqa: E402
from properties_window import APPLY, CANCEL, DIALOG, LIST, METADATA_LIST  # noqa: E402

TITLE = "Written Title"


def tag(path, suffix):
    tags = ID3()
    tags.add(TIT2(encoding=3, text=["Old Title"]))
    tags.add(TPE1(encoding=3, text=["Performer Number %05d%s" % (n, suffix) for n in range(VALUES)]))
    tags.add(TCON(encoding=3, text=["Genre Number %05d%s" % (n, suffix) for n in range(VALUES)]))
    tags.add(TXXX(encoding=3, desc="MOOD", text=["Mood Number %05d%s" % (n, suffix) for n in range(VALUES)]))
    tags.save(path, v2_version=4)


def make_files(folder):
    (first,) = untagged_mp3s(folder, "0000.mp3")
    tag(first, "")
    paths = [first]
    for n in range(1, FILES):
        paths.append(os.path.join(folder, "%04d.mp3" % n))
        shutil.copy(first, paths[-1])
        if DISTINCT:
            tag(paths[-1], " of file %d" % n)
    return paths


def linux_pid(exe):
    """The Wine process running that copy of zorv.exe."""
    name = os.path.basename(os.path.dirname(exe)).encode()
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                command = f.read()
        except OSError:
            continue
        if b"zorv.exe" in command and name in command and b"window_probe" not in command:
            return pid
    return None


def memory(pid):
    """Peak resident and peak virtual size in MB."""
    try:
        with open("/proc/%s/status" % pid) as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
        return int(fields["VmHWM"].split()[0]) // 1024, int(fields["VmPeak"].split()[0]) // 1024
    except (OSError, KeyError, TypeError):
        return None, None


def stopwatch(player, control, *command):
    """Milliseconds until the dialog settles; None when it never does (it
    went away)."""
    try:
        out = player.probe("stopwatch", "Properties", str(control), *command).stdout.strip()
        return float(out.splitlines()[-1])
    except (ValueError, IndexError, subprocess.TimeoutExpired):
        return None


def measure(root, name, exe, source):
    player = Player(root, name, library=True)
    if exe is not None:
        shutil.copy(exe, player.exe)
    music = os.path.join(player.folder, "music")
    shutil.copytree(source, music)
    paths = sorted(os.path.join(music, n) for n in os.listdir(music))
    player.start(windows_path(music))
    if not player.wait(lambda: player.controls()[1].get(1000, (0, 0, False))[2], 300):
        raise SystemExit("the folder was not listed")
    time.sleep(5)  # the library's first scan of the folder
    pid = linux_pid(player.exe)
    player.keys("home", "shift+end")
    player.probe("context-menu", str(LIST))
    if not player.wait(player.menu_open, 30):
        raise SystemExit("the item menu did not open")
    opened = stopwatch(player, 0, "menu-keys", "up", "return")
    open_peak = memory(pid)
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "down", "f2")
    player.probe(*DIALOG, "type", TITLE)
    player.probe(*DIALOG, "focus-keys", "return")
    applied = stopwatch(player, APPLY, *DIALOG, "command", str(APPLY))
    time.sleep(15)  # where the dialog of an earlier build went away
    there = player.probe("--title-now", "Properties", "descendants").returncode == 0
    said = player.probe("--title-now", "Information", "descendants").stdout
    apply_peak = memory(pid)
    written = sum(1 for path in paths if str(ID3(path)["TIT2"]) == TITLE)
    print("%s: Properties until the dialog shows: %s ms; peak resident %s MB, peak virtual %s MB" %
          (name, "%.0f" % opened if opened else "-", *open_peak), flush=True)
    print("%s: Apply until the dialog is back: %s ms; peak resident %s MB, peak virtual %s MB" %
          (name, "%.0f" % applied if applied else "- (not back)", *apply_peak), flush=True)
    print("%s: 15 s later the dialog is %s; %d of %d files hold the title" %
          (name, "open" if there else "gone", written, len(paths)), flush=True)
    if said.strip() and "no such window" not in said:
        print("%s: the program said: %s" % (name, " ".join(said.split("\t")[-1:]).strip()), flush=True)
    if there:
        player.probe(*DIALOG, "command", str(CANCEL))
    player.probe("--title-now", "Information", "close")
    player.stop()


def main():
    subprocess.run([WINE_EXEC, BUILD, "cmd", "/c", "exit"], **QUIET)
    with tempfile.TemporaryDirectory() as root:
        source = os.path.join(root, "source")
        make_files(source)
        print("%d files, artist, genre and MOOD of %d values each, %s in every file" %
              (FILES, VALUES, "others" if DISTINCT else "the same"), flush=True)
        measure(root, "bench", None, source)
        if BASE is not None:
            measure(root, "base", BASE, source)


main()
