#!/usr/bin/python3
"""Apply of a title and artist edit on FILES tracks, through
bench_metadata_update (the metadata update the tag editor's Apply runs),
against mutagen making the same edit to the same files, per format (FLAC,
MP3, M4A, and WavPack and Musepack when asked for as wv and mpc), each
without and with a 100 KB front cover. The files are tagged by mutagen as
a library tagged elsewhere holds them. The Matroska set (mkv, FLAC audio)
is made by ffmpeg, the cover an attachment; mutagen cannot edit it, so
only the player's builds are compared there. Two edits in a row are
timed: the first meets the file as mutagen laid it out (and may rewrite it),
the second meets the file as the same program's first edit left it.

Every block gives each side a fresh copy of the untouched files and times
its two edits, the sides back to back in a new order every block, so that
each ratio holds on a busy machine. Prints one line per format, cover and
edit: the median over the blocks of the player's and mutagen's milliseconds
per file, their ratio (and the per-block ratios' range), how many files the player rewrote through a temporary copy (a new
inode) rather than in place, the floor of any in-place retag (open, read
64 KiB, write 16 bytes, close) per file, and how much the files grew (the
median size after the edit against the untouched file's). After every edit
mutagen checks that every file holds the values the player wrote.

usage: bench/metadata_update_bench.py BUILD_DIR [FILES] [ROUNDS] [FORMATS]
after building bench_metadata_update in BUILD_DIR. FILES defaults to 1000,
ROUNDS (blocks) to 5, FORMATS (comma-separated, of flac,mp3,m4a,wv,mpc,mkv)
to flac,mp3,m4a. Needs python3-mutagen, sox, flac, lame, ffmpeg (ffprobe;
wavpack and mpcenc for wv and mpc). ZORV_BENCH_BASE names the build
folder of an earlier tree (with this benchmark built there) to measure
beside it as a third side, with its own line and the ratio of the two
players.
"""
import json
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
# An earlier build measured beside this one in every block, on its own copy.
BASE = os.path.abspath(os.environ["ZORV_BENCH_BASE"]) if os.environ.get("ZORV_BENCH_BASE") else None
COVER_SIZE = 100 * 1024
# Each edit appends to the title and sets a new artist: both fields change
# size, as most real edits do.
EDITS = (("edit 1", " (edited)", "Bench Artist"), ("edit 2", " (edited again)", "Bench Artist and Guests"))


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def inodes(folder):
    return {name: os.stat(os.path.join(folder, name)).st_ino for name in os.listdir(folder)}


def player_edit(build, folder, title_suffix, artist):
    """The player's milliseconds for the edit and for the floor, and how
    many files got a new inode; or the player's complaint when a file
    failed."""
    before = inodes(folder)
    exe = os.path.join(build, "bench", "bench_metadata_update.exe")
    run = subprocess.run([os.path.join(TOOLS, "wine-exec"), build, exe, windows_path(folder), title_suffix,
                          artist], stdout=subprocess.PIPE, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    if run.returncode != 0:
        return run.stderr.strip() or "exit code %d" % run.returncode
    out = run.stdout
    update = float(re.search(r"^update of \d+ files ([0-9.]+) ms", out, re.M).group(1))
    floor = float(re.search(r"^open, read, write back, close \(floor\) of \d+ files ([0-9.]+) ms", out, re.M).group(1))
    after = inodes(folder)
    return update, floor, sum(1 for name in after if after[name] != before.get(name))


def make_matroska_files(music, count, seeds, cover):
    """`count` FLAC-in-Matroska files in `music` (made here) by ffmpeg, with
    four text fields and `cover` (or none) attached, in albums of 20."""
    os.makedirs(music)
    source = music + "-seed.flac"
    with open(source, "wb") as f:
        f.write(seeds[".flac"])
    attached = []
    if cover is not None:
        attached = ["-attach", music + "-cover.jpg", "-metadata:s:t", "mimetype=image/jpeg"]
        with open(music + "-cover.jpg", "wb") as f:
            f.write(cover)
    for i in range(count):
        path = os.path.join(music, "%04d Song.mkv" % i)
        # ffmpeg puts a file's title into the Segment's Info, which is no
        # tag; the track's title is one.
        subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", source, *attached, "-c:a", "copy", "-metadata:s:a:0",
                        "title=Song %d" % i, "-metadata", "artist=Artist", "-metadata", "album=Album %d" % (i // 20),
                        "-metadata", "track=%d" % (i % 20 + 1), path], check=True, stdin=subprocess.DEVNULL)


def ffprobe_tags(path):
    """The file's tags and its stream's as ffprobe reads them, the stream's
    where both hold a name."""
    found = json.loads(subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of",
                                       "json", path], capture_output=True, text=True).stdout or "{}")
    tag_sets = [found.get("format", {}).get("tags", {})] + [s.get("tags", {}) for s in found.get("streams", [])]
    return {key.lower(): value for tags in tag_sets for key, value in tags.items()}


def check_values(folder, title_suffixes, artist):
    """Every file reads, in mutagen, with the title and artist the edits so
    far wrote (Matroska: every 50th file, in ffprobe): a faster write that
    loses the edit measures nothing."""
    for name in sorted(os.listdir(folder)):
        title = "Song %d%s" % (int(name[:4]), "".join(title_suffixes))
        if name.endswith(".mkv"):
            tags = ffprobe_tags(os.path.join(folder, name)) if int(name[:4]) % 50 == 0 else None
            if tags is not None and (tags.get("title"), tags.get("artist")) != (title, artist):
                raise SystemExit("%s reads %r after the player's edit; expected %r, %r" % (name, tags, title, artist))
            continue
        tags = mutagen.File(os.path.join(folder, name), easy=True)
        if tags is not None and name.endswith((".wv", ".mpc")):  # APEv2 items, not lists
            tags = {key.lower(): list(value) for key, value in tags.tags.items() if key.lower() in ("title", "artist")}
        if tags is None or tags.get("title") != [title] or tags.get("artist") != [artist]:
            raise SystemExit("%s reads %r, %r after the player's edit; expected %r, %r" %
                             (name, tags and tags.get("title"), tags and tags.get("artist"), title, artist))


def median_size(folder):
    return statistics.median(os.path.getsize(os.path.join(folder, name)) for name in os.listdir(folder))


def fresh_copy(source, target):
    if os.path.exists(target):
        shutil.rmtree(target)
    shutil.copytree(source, target)


def player_side(build):
    """Edits a folder the way `build`'s player does; returns its figures
    for each edit, or stops at the first edit that failed."""
    def run(folder, record):
        suffixes = []
        for edit, title_suffix, artist in EDITS:
            result = player_edit(build, folder, title_suffix, artist)
            if isinstance(result, str):
                # A later edit would meet files this one left half done.
                record[edit]["failures"].append(result)
                return
            update, floor, rewritten = result
            suffixes.append(title_suffix)
            check_values(folder, suffixes, artist)
            record[edit]["ms"].append(update / FILES)
            record[edit]["floor"].append(floor / FILES)
            record[edit]["rewritten"].append(rewritten)
            record[edit]["size"].append(median_size(folder))
    return run


def mutagen_side(folder, record):
    paths = sorted(os.path.join(folder, name) for name in os.listdir(folder))
    if any(path.endswith(".mkv") for path in paths):
        return
    for edit, title_suffix, artist in EDITS:
        record[edit]["ms"].append(mutagen_edit(paths, title_suffix, artist) / FILES)
        record[edit]["size"].append(median_size(folder))


def block(pristine, root, sides, number, figures):
    """One block over one set of files: each side edits its own fresh copy
    twice, the sides taking turns in a new order every block."""
    turn = number % len(sides)
    for name, run in sides[turn:] + sides[:turn]:
        folder = os.path.join(root, name)
        fresh_copy(pristine, folder)
        run(folder, figures[name])


def median(values):
    return statistics.median(values) if values else float("nan")


def report(label, size, figures, name, edit, compared_with=None):
    f, peer = figures[name][edit], figures["mutagen"][edit]
    if f["failures"] or not f["ms"]:
        failed = ("failed in %d of %d blocks: %s" % (len(f["failures"]), ROUNDS, f["failures"][0])
                  if f["failures"] else "not run: an earlier edit failed")
        print("%-19s %-7s %-7s %s  mutagen %6.2f" % (label, edit, name, failed, median(peer["ms"])))
        return
    ratios = [ours / theirs for ours, theirs in zip(f["ms"], peer["ms"])] or [float("nan")]
    line = ("%-19s %-7s %-7s %6.2f  mutagen %6.2f  ratio %5.2f (blocks %.2f-%.2f)  rewritten %4.0f of %d  "
            "floor %4.2f  files of %d bytes grew %+d (mutagen's %+g)" %
            (label, edit, name, median(f["ms"]), median(peer["ms"]), median(f["ms"]) / median(peer["ms"]),
             min(ratios), max(ratios), median(f["rewritten"]), FILES, median(f["floor"]), size,
             median(f["size"]) - size, median(peer["size"]) - size))
    other = figures.get(compared_with, {}).get(edit, {}).get("ms")
    if other and len(other) == len(f["ms"]):
        by_block = [theirs / ours for ours, theirs in zip(f["ms"], other)]
        line += "  %s/%s %.2f (blocks %.2f-%.2f)" % (compared_with, name, median(other) / median(f["ms"]),
                                                       min(by_block), max(by_block))
    print(line)


def main():
    builds = [("player", BUILD)] + ([("base", BASE)] if BASE else [])
    for _, build in builds:
        # A wine call that starts the session would hand it this script's pipes.
        subprocess.run([os.path.join(TOOLS, "wine-session"), "start", build], check=True, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sides = [(name, player_side(build)) for name, build in builds] + [("mutagen", mutagen_side)]
    with tempfile.TemporaryDirectory() as root:
        seeds = tone_seeds(root)
        cover = jpeg_cover(COVER_SIZE)
        sets = []
        for name in FORMATS:
            for with_cover in (False, True):
                label = "%s, %s" % (name.upper(), "100 KB cover" if with_cover else "no cover")
                pristine = os.path.join(root, "%s-%s" % (name, "cover" if with_cover else "bare"))
                if name == "mkv":
                    make_matroska_files(pristine, FILES, seeds, cover if with_cover else None)
                else:
                    make_format_files(pristine, "." + name, FILES, seeds, cover if with_cover else None)
                figures = {side: {edit: {"ms": [], "floor": [], "rewritten": [], "size": [], "failures": []}
                                  for edit, _, _ in EDITS} for side, _ in sides}
                sets.append((label, pristine, median_size(pristine), figures))
        for number in range(ROUNDS):
            for label, pristine, size, figures in sets:
                block(pristine, root, sides, number, figures)
        print("%d files per set, %d blocks; medians over the blocks, in ms per file%s" %
              (FILES, ROUNDS, "; base is " + BASE if BASE else ""))
        for label, pristine, size, figures in sets:
            for edit, _, _ in EDITS:
                report(label, size, figures, "player", edit)
                if BASE:
                    report(label, size, figures, "base", edit, compared_with="player")


main()
