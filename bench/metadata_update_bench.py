#!/usr/bin/python3
"""The metadata update (what the tag editor's Apply runs) on FILES tagged
files, half FLAC, half MP3 with 40 KB covers, through bench_metadata_update,
and mutagen writing the same change to the same files in the same run.
Prints min / median / max of each and the ratio of the player's update of
both formats to mutagen's. Each block runs mutagen three times, then the
player three rounds (medians taken), back to back, so that the ratio holds
on a busy machine.

usage: bench/metadata_update_bench.py BUILD_DIR [FILES] [ROUNDS]
after building bench_metadata_update in BUILD_DIR. FILES defaults to 1000,
ROUNDS (blocks) to 5. Needs python3-mutagen, sox, flac, lame.
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
    # The machine is shared: each block times mutagen and the player back to
    # back, and the ratio is taken block by block as well as over the medians.
    with tempfile.TemporaryDirectory() as root:
        music = os.path.join(root, "music")
        paths = make_files(music, FILES)
        mutagen_write(paths, "Warm-up")
        peer, ours, ratios = [], [], []
        flac, mp3 = [], []
        for block in range(ROUNDS):
            peer.append(statistics.median(mutagen_write(paths, "Peer %d %d" % (block, n)) for n in range(3)))
            out = subprocess.run([WINE_EXEC, BUILD, os.path.join(BUILD, "bench", "bench_metadata_update.exe"),
                                  windows_path(music), "3"], check=True, stdout=subprocess.PIPE,
                                 stdin=subprocess.DEVNULL, text=True).stdout
            medians = [float(m) for m in re.findall(r"^update.*median\s+([0-9.]+)", out, re.M)]
            flac.append(medians[0])
            mp3.append(medians[1])
            ours.append(sum(medians))
            ratios.append(ours[-1] / peer[-1])
        print("%d files, half FLAC, half MP3; %d blocks of 3 rounds each" % (FILES, ROUNDS))
        for name, values in (("update, FLAC files", flac), ("update, MP3 files", mp3),
                             ("update of both formats", ours), ("mutagen writes the artist (peer)", peer)):
            print("%-40s min %8.1f  median %8.1f  max %8.1f ms" %
                  (name, min(values), statistics.median(values), max(values)))
        print("update of both formats / mutagen: median %.2f; per block min %.2f median %.2f max %.2f" %
              (statistics.median(ours) / statistics.median(peer), min(ratios), statistics.median(ratios),
               max(ratios)))


main()
