#!/usr/bin/python3
"""CPU time of `zorvtool info` and of a title edit (`zorvtool tag`) on
Matroska files with many SimpleTags, the best of ROUNDS runs each.

One Tag: mkvmerge files with one Tag of SMALL and of LARGE SimpleTags
(tests/support/long_tag_lists.py makes them from a tags XML), one line per
command and size, then per command the ratio of the larger file to the
smaller: about 4 where the cost grows in step with the tags, 16 where it
grows with their square.

Many elements: for each count N of ELEMENTS, ffmpeg's FLAC in Matroska with
N values of another program in front of the first Cluster, in N Tags
elements of one value each and in one Tag of N SimpleTags of one element;
one line per command and N with both times and the ratio of the first to
the second, which stays a few times where each element costs about what a
SimpleTag does.

ZORV_BENCH_BASE names the build folder of an earlier tree, whose zorvtool
runs the same commands on its own copies, with its own lines.

usage: bench/matroska_many_tags_bench.py BUILD_DIR [SMALL] [LARGE] [ELEMENTS] [ROUNDS]
(defaults 32000, 128000, "4096,16384,65536" and 3) after building zorvtool
in BUILD_DIR and starting its Wine session (tools/wine-session start
BUILD_DIR). Needs sox, flac, mkvmerge and ffmpeg.
"""
import os
import resource
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
import long_tag_lists  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
SIZES = [int(sys.argv[2]) if len(sys.argv) > 2 else 32000, int(sys.argv[3]) if len(sys.argv) > 3 else 128000]
ELEMENTS = [int(n) for n in (sys.argv[4] if len(sys.argv) > 4 else "4096,16384,65536").split(",") if n]
ROUNDS = int(sys.argv[5]) if len(sys.argv) > 5 else 3
BASE = os.path.abspath(os.environ["ZORV_BENCH_BASE"]) if os.environ.get("ZORV_BENCH_BASE") else None
COMMANDS = {"info": [], "tag": ["title=A new title"]}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def cpu_seconds(build, *args):
    """The CPU time the command's processes took, and its exit status."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    done = subprocess.run([os.path.join(HERE, "..", "tools", "wine-exec"), BUILD,
                           os.path.join(build, "tools", "zorvtool.exe")] + list(args),
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime, done.returncode


def best_of_rounds(build, command, source, copy):
    """The least CPU time of the command over the rounds, each on a fresh
    copy of `source`, and a note of any failing exit status."""
    best, failed = None, ""
    for _ in range(ROUNDS):
        shutil.copyfile(source, copy)
        seconds, status = cpu_seconds(build, command, windows_path(copy), *COMMANDS[command])
        best = seconds if best is None else min(best, seconds)
        if status != 0:
            failed = " (exit %d)" % status
    return best, failed


def measure_one_tag(build, label, folder, files):
    for command in COMMANDS:
        seconds = {}
        for count in SIZES:
            copy = os.path.join(folder, "%s-%s-%d.mka" % (label, command, count))
            seconds[count], failed = best_of_rounds(build, command, files[count], copy)
            print("%s %s %d SimpleTags: %.2f s CPU%s" % (label, command, count, seconds[count], failed), flush=True)
        small, large = (seconds[count] for count in SIZES)
        print("%s %s ratio %d/%d: %.1f" % (label, command, SIZES[1], SIZES[0], large / small if small else 0.0))


def measure_elements(build, label, folder, files):
    for command in COMMANDS:
        for count in ELEMENTS:
            copy = os.path.join(folder, "%s-%s-elements.mka" % (label, command))
            each, failed_each = best_of_rounds(build, command, files[count, count], copy)
            one, failed_one = best_of_rounds(build, command, files[count, 1], copy)
            print("%s %s %d one-value elements: %.2f s CPU%s, one element: %.2f s CPU%s, ratio %.1f" % (
                label, command, count, each, failed_each, one, failed_one, each / one if one else 0.0), flush=True)


def main():
    folder = tempfile.mkdtemp(prefix="zorv-mkv-tags-")
    try:
        one_tag = {count: long_tag_lists.mkvmerge_file(folder, count) for count in SIZES}
        elements = {(count, split): long_tag_lists.ffmpeg_file_with_front_tags(folder, count, split)
                    for count in ELEMENTS for split in (1, count)}
        for build, label in [(BUILD, "this")] + ([(BASE, "base")] if BASE else []):
            measure_one_tag(build, label, folder, one_tag)
            measure_elements(build, label, folder, elements)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
