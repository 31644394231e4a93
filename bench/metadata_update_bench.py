#!/usr/bin/python3
"""Apply of a title and artist edit on FILES tracks, through
bench_metadata_update (the metadata update the tag editor's Apply runs),
against mutagen making the same edit to the same files, per format (FLAC,
MP3, M4A), each without and with a 100 KB front cover. The files are tagged
by mutagen as a library tagged elsewhere holds them. Two edits in a row are
timed: the first meets the file as mutagen laid it out (and may rewrite it),
the second meets the file as the same program's first edit left it.

Every block copies the untouched files afresh for each side, then times
mutagen's two edits and the player's two edits back to back (in alternating
order), so that each ratio holds on a busy machine. Prints one line per
format, cover and edit: the median over the blocks of the player's and
mutagen's milliseconds per file, their ratio (and the per-block ratios'
range), how many files the player rewrote through a temporary copy (a new
inode) rather than in place, the floor of any in-place retag (open, read
64 KiB, write 16 bytes, close) per file, and how much the files grew (the
median size after the edit against the untouched file's). After every edit
mutagen checks that every file holds the values the player wrote.

usage: bench/metadata_update_bench.py BUILD_DIR [FILES] [ROUNDS] [FORMATS]
after building bench_metadata_update in BUILD_DIR. FILES defaults to 1000,
ROUNDS (blocks) to 5, FORMATS (comma-separated) to flac,mp3,m4a. Needs
python3-mutagen, sox, flac, lame, ffmpeg.
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

import mutagen

sys.dont_write_bytecode = True
from tagged_files import jpeg_cover, make_format_files, mutagen_edit, tone_seeds  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
FORMATS = sys.argv[4].split(",") if len(sys.argv) > 4 else ["flac", "mp3", "m4a"]
TOOLS = os.path.join(HERE, "..", "tools")
BENCH_EXE = os.path.join(BUILD, "bench", "bench_metadata_update.exe")
COVER_SIZE = 100 * 1024
# Each edit appends to the title and sets a new artist: both fields change
# size, as most real edits do.
EDITS = (("edit 1", " (edited)", "Bench Artist"), ("edit 2", " (edited again)", "Bench Artist and Guests"))


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def inodes(folder):
    return {name: os.stat(os.path.join(folder, name)).st_ino for name in os.listdir(folder)}


def player_edit(folder, title_suffix, artist):
    """The player's milliseconds for the edit and for the floor, and how
    many files got a new inode; or the player's complaint when a file
    failed."""
    before = inodes(folder)
    run = subprocess.run([os.path.join(TOOLS, "wine-exec"), BUILD, BENCH_EXE, windows_path(folder), title_suffix,
                          artist], stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    if run.returncode != 0:
        return run.stderr.strip() or "exit code %d" % run.returncode
    out = run.stdout
    update = float(re.search(r"^update of \d+ files ([0-9.]+) ms", out, re.M).group(1))
    floor = float(re.search(r"^open, read, write back, close \(floor\) of \d+ files ([0-9.]+) ms", out, re.M).group(1))
    after = inodes(folder)
    return update, floor, sum(1 for name in after if after[name] != before.get(name))


def check_values(folder, title_suffixes, artist):
    """Every file reads, in mutagen, with the title and artist the edits so
    far wrote: a faster write that loses the edit measures nothing."""
    for name in os.listdir(folder):
        tags = mutagen.File(os.path.join(folder, name), easy=True)
        title = "Song %d%s" % (int(name[:4]), "".join(title_suffixes))
        if tags is None or tags.get("title") != [title] or tags.get("artist") != [artist]:
            raise SystemExit("%s reads %r, %r after the player's edit; expected %r, %r" %
                             (name, tags and tags.get("title"), tags and tags.get("artist"), title, artist))


def median_size(folder):
    return statistics.median(os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder))


def fresh_copy(source, target):
    if os.path.exists(target):
        shutil.rmtree(target)
    shutil.copytree(source, target)


def block(pristine, root, player_first, figures):
    """One block over one set of files: each side edits its own fresh copy
    twice; `figures[edit]` gathers the times."""
    ours, peers = os.path.join(root, "player"), os.path.join(root, "mutagen")
    fresh_copy(pristine, ours)
    fresh_copy(pristine, peers)
    peer_paths = sorted(os.path.join(peers, name) for name in os.listdir(peers))

    def run_player():
        suffixes = []
        for edit, title_suffix, artist in EDITS:
            result = player_edit(ours, title_suffix, artist)
            if isinstance(result, str):
                # A later edit would meet files this one left half done.
                figures[edit]["failures"].append(result)
                return
            update, floor, rewritten = result
            suffixes.append(title_suffix)
            check_values(ours, suffixes, artist)
            figures[edit]["player"].append(update / FILES)
            figures[edit]["floor"].append(floor / FILES)
            figures[edit]["rewritten"].append(rewritten)
            figures[edit]["player size"].append(median_size(ours))

    def run_peer():
        for edit, title_suffix, artist in EDITS:
            figures[edit]["mutagen"].append(mutagen_edit(peer_paths, title_suffix, artist) / FILES)
            figures[edit]["mutagen size"].append(median_size(peers))

    for side in ((run_player, run_peer) if player_first else (run_peer, run_player)):
        side()


def main():
    # A wine call that starts the session would hand it this script's pipes.
    subprocess.run([os.path.join(TOOLS, "wine-session"), "start", BUILD], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with tempfile.TemporaryDirectory() as root:
        seeds = tone_seeds(root)
        cover = jpeg_cover(COVER_SIZE)
        sets = []
        for name in FORMATS:
            for with_cover in (False, True):
                label = "%s, %s" % (name.upper(), "100 KB cover" if with_cover else "no cover")
                pristine = os.path.join(root, "%s-%s" % (name, "cover" if with_cover else "bare"))
                make_format_files(pristine, "." + name, FILES, seeds, cover if with_cover else None)
                size = median_size(pristine)
                figures = {edit: {"player": [], "mutagen": [], "floor": [], "rewritten": [],
                                  "player size": [], "mutagen size": [],
                                  "failures": []} for edit, _, _ in EDITS}
                sets.append((label, pristine, size, figures))
        for number in range(ROUNDS):
            for label, pristine, size, figures in sets:
                block(pristine, root, number % 2 == 0, figures)
        print("%d files per set, %d blocks; medians over the blocks, in ms per file" % (FILES, ROUNDS))
        for label, pristine, size, figures in sets:
            for edit, _, _ in EDITS:
                f = figures[edit]
                if f["failures"] or not f["player"]:
                    failed = ("failed in %d of %d blocks: %s" % (len(f["failures"]), ROUNDS, f["failures"][0])
                              if f["failures"] else "not run: an earlier edit failed")
                    print("%-22s %-7s player %s  mutagen %6.2f" % (label, edit, failed,
                                                                   statistics.median(f["mutagen"])))
                    continue
                ratios = [ours / peer for ours, peer in zip(f["player"], f["mutagen"])]
                print("%-22s %-7s player %6.2f  mutagen %6.2f  ratio %5.2f (blocks %.2f-%.2f)  "
                      "rewritten %4.0f of %d  floor %5.2f  files of %d bytes now %+d (mutagen's %+d)" %
                      (label, edit, statistics.median(f["player"]), statistics.median(f["mutagen"]),
                       statistics.median(f["player"]) / statistics.median(f["mutagen"]), min(ratios), max(ratios),
                       statistics.median(f["rewritten"]), FILES, statistics.median(f["floor"]), size,
                       statistics.median(f["player size"]) - size, statistics.median(f["mutagen size"]) - size))


main()
