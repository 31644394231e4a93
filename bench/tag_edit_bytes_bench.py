#!/usr/bin/python3
"""Bytes a title edit writes, edit after edit, on files with a 100 KB
picture as mutagen tags them: WavPack and Musepack with an APEv2 cover item,
Ogg Vorbis and Opus with a picture comment, and a WavPack of SECONDS of
noise (24 MB at the default) with the same cover.

Each file gets EDITS title edits in a row through zorvtool's tag command
(the metadata update Apply runs), alternately growing and shrinking the
title and once keeping its size. Prints one line per file and edit: whether
the file was copied (a new inode) or written in place, and the bytes the
edit wrote: the whole file for a copy, the span from the first byte that
changed to the last for a write in place (a guarded overwrite writes just
that span, within one 4 KiB page). ZORV_BENCH_BASE names the build folder
of an earlier tree, whose zorvtool runs the same edits on its own copies in
the same Wine session, with its own lines.

usage: bench/tag_edit_bytes_bench.py BUILD_DIR [EDITS] [SECONDS]
after building zorvtool in BUILD_DIR and starting its Wine session
(tools/wine-session start BUILD_DIR). Needs python3-mutagen, sox, wavpack,
mpcenc, oggenc, opusenc.
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
from large_tag_files import make_cover_fixtures  # noqa: E402

BUILD = os.path.abspath(sys.argv[1])
EDITS = int(sys.argv[2]) if len(sys.argv) > 2 else 4
SECONDS = int(sys.argv[3]) if len(sys.argv) > 3 else 245
BASE = os.path.abspath(os.environ["ZORV_BENCH_BASE"]) if os.environ.get("ZORV_BENCH_BASE") else None
TITLES = ["A title grown by an edit", "Shrunk", "Shrank", "A title grown again by a later edit"]


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def tag(build, path, title):
    exe = os.path.join(build, "tools", "zorvtool.exe")
    wine_exec = os.path.join(HERE, "..", "tools", "wine-exec")
    done = subprocess.run([wine_exec, BUILD, exe, "tag", windows_path(path), "title=" + title],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return done.returncode


def first_difference(a, b, indexes):
    """The first index of `indexes` (4 KiB steps) whose chunk differs, then
    the first byte that differs in it; None when none does."""
    for i in indexes:
        if a[i:i + 4096] != b[i:i + 4096]:
            return i
    return None


def written(before, after, copied):
    """The bytes an edit wrote: the whole file for a copy, else from the
    first byte that changed to the last (the file's new end when it grew)."""
    if copied:
        return len(after)
    size = min(len(before), len(after))
    chunks = range(0, size, 4096)
    first = first_difference(before, after, chunks)
    if first is None:
        return len(after) - len(before) if len(after) > len(before) else 0
    first += next(i for i in range(4096) if before[first + i:first + i + 1] != after[first + i:first + i + 1])
    last = first_difference(before, after, reversed(chunks))
    last += max(i for i in range(4096) if before[last + i:last + i + 1] != after[last + i:last + i + 1])
    end = len(after) if len(after) > len(before) else last + 1
    return end - first


def run_side(name, build, fixtures, work):
    for kind, original in sorted(fixtures.items()):
        path = os.path.join(work, name + "-" + os.path.basename(original))
        shutil.copyfile(original, path)
        total = 0
        for edit in range(EDITS):
            with open(path, "rb") as f:
                before = f.read()
            inode = os.stat(path).st_ino
            rc = tag(build, path, TITLES[edit % len(TITLES)])
            with open(path, "rb") as f:
                after = f.read()
            copied = os.stat(path).st_ino != inode
            bytes_written = written(before, after, copied)
            total += bytes_written
            print("%-5s %-9s %.1f MB, edit %d: %s, %d bytes written%s" %
                  (name, kind, len(before) / 1e6, edit + 1, "copied" if copied else "in place", bytes_written,
                   "" if rc == 0 else " (exit code %d)" % rc), flush=True)
        print("%-5s %-9s %d edits: %d bytes written in all" % (name, kind, EDITS, total), flush=True)
        os.remove(path)


def main():
    work = tempfile.mkdtemp(prefix="zorv-tag-edit-bytes-")
    try:
        src = os.path.join(work, "src.wav")
        subprocess.run(["sox", "-V1", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "3", "sine", "440"],
                       check=True)
        fixtures = make_cover_fixtures(work, src)
        # Noise compresses badly: a WavPack of about 24 MB for 245 seconds.
        long_src = os.path.join(work, "long.wav")
        subprocess.run(["sox", "-V1", "-n", "-r", "44100", "-c", "2", "-b", "16", long_src, "synth", str(SECONDS),
                        "whitenoise"], check=True)
        large_folder = os.path.join(work, "large")
        os.makedirs(large_folder)
        fixtures["largewv"] = make_cover_fixtures(large_folder, long_src)["coverwv"]
        os.remove(long_src)
        run_side("this", BUILD, fixtures, work)
        if BASE:
            run_side("base", BASE, fixtures, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
