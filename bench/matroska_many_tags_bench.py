#!/usr/bin/python3
"""CPU time of `zorvtool info` and of a title edit (`zorvtool tag`) on
Matroska files from mkvmerge with one Tag of 8,000 and of 32,000
SimpleTags (tests/support/long_tag_lists.py makes them from a tags XML).
Prints one line per command and size with the CPU seconds of the run, then
per command the ratio of the larger file to the smaller: about 4 where the
cost grows in step with the tags, 16 where it grows with their square.
ZORV_BENCH_BASE names the build folder of an earlier tree, whose zorvtool
runs the same commands on its own copies, with its own lines.

usage: bench/matroska_many_tags_bench.py BUILD_DIR [SMALL] [LARGE]
after building zorvtool in BUILD_DIR and starting its Wine session
(tools/wine-session start BUILD_DIR). Needs sox, flac and mkvmerge.
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
SIZES = [int(sys.argv[2]) if len(sys.argv) > 2 else 8000, int(sys.argv[3]) if len(sys.argv) > 3 else 32000]
BASE = os.path.abspath(os.environ["ZORV_BENCH_BASE"]) if os.environ.get("ZORV_BENCH_BASE") else None


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


def measure(build, label, folder, files):
    seconds = {}
    for command in ("info", "tag"):
        for count in SIZES:
            copy = os.path.join(folder, "%s-%s-%d.mka" % (label, command, count))
            shutil.copyfile(files[count], copy)
            extra = ["title=A new title"] if command == "tag" else []
            seconds[command, count], status = cpu_seconds(build, command, windows_path(copy), *extra)
            print("%s %s %d SimpleTags: %.2f s CPU%s" % (label, command, count, seconds[command, count],
                                                          "" if status == 0 else " (exit %d)" % status), flush=True)
        small, large = (seconds[command, count] for count in SIZES)
        print("%s %s ratio %d/%d: %.1f" % (label, command, SIZES[1], SIZES[0], large / small if small else 0.0))


def main():
    folder = tempfile.mkdtemp(prefix="zorv-mkv-tags-")
    try:
        files = {count: long_tag_lists.mkvmerge_file(folder, count) for count in SIZES}
        measure(BUILD, "this", folder, files)
        if BASE:
            measure(BASE, "base", folder, files)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()
