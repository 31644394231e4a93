#!/usr/bin/python3
"""The metadata update (what the tag editor's Apply runs) on FILES tagged
files, half FLAC, half MP3 with 40 KB covers, through bench_metadata_update,
and mutagen writing the same change to the same files in the same run.
Prints min / median / max of each and the ratio of the player's update of
both formats to mutagen's.

usage: bench/metadata_update_bench.py BUILD_DIR [FILES] [ROUNDS]
after building bench_metadata_update in BUILD_DIR. FILES defaults to 1000,
ROUNDS to 5. Needs python3-mutagen, sox, flac, lame.
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile

from tagged_files import make_files, mutagen_write

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 5
WINE_EXEC = os.path.join(HERE, "..", "tools", "wine-exec")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def main():
    with tempfile.TemporaryDirectory() as root:
        music = os.path.join(root, "music")
        paths = make_files(music, FILES)
        peer = [mutagen_write(paths, "Peer %d" % n) for n in range(ROUNDS)]
        out = subprocess.run([WINE_EXEC, BUILD, os.path.join(BUILD, "bench", "bench_metadata_update.exe"),
                              windows_path(music), str(ROUNDS)], check=True, stdout=subprocess.PIPE,
                             stdin=subprocess.DEVNULL, text=True).stdout
        print(out, end="")
        print("%-40s min %8.1f  median %8.1f  max %8.1f ms" %
              ("mutagen writes the artist (peer)", min(peer), statistics.median(peer), max(peer)))
        medians = [float(m) for m in re.findall(r"^update.*median\s+([0-9.]+)", out, re.M)]
        print("update of both formats / mutagen (medians): %.2f" % (sum(medians) / statistics.median(peer)))


main()
