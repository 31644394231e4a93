#!/usr/bin/python3
"""Growing edits of MP4 files (a title and a 9,000-character comment) on
ffmpeg's fast-start files (the movie box in front of the media data) and on
files whose movie box is last, and a chapter rename of books of both
layouts (its list and its text track), stopped before each of their writes
and by a power cut after each of their waits for the disk, rebuilt from
what strace records as matroska_first_edit_stops.py does.

usage: mp4_growing_edit_stops.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
After every stop the audio lies in a top-level "mdat" box, never in the
content of a "free" box that any tagger may drop, and the player reads the
old tags or the new. The same edit made again then leaves exactly the bytes
of the unstopped edit, and another edit (an artist) leaves the boxes and
the tags that edit leaves on the file the stop left readable as (the old
one or the edited one); on a book, another chapter's rename.
"""
import hashlib
import os
import shutil
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

from matroska_first_edit_stops import applied, traced_edit
from matroska_first_edit_stops import state_file as shared_state_file
from matroska_first_edit_stops import stopped_states as shared_stopped_states
from tag_files import Zorvtool, add_mp4_fixtures, run, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

EDIT = ["title=A new title", "comment=" + "c" * 9000]
ANOTHER_EDIT = ["artist=Another artist"]
BOOK_EDIT = ["--subsong", "1", "title=A much longer name for the first chapter"]
ANOTHER_BOOK_EDIT = ["--subsong", "2", "title=Another second"]


def make_fixtures(folder):
    """{name: (path, edit, another edit, suffix)}"""
    src = os.path.join(folder, "src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"])
    out = {}
    for name, flags in (("fast start", ["-movflags", "+faststart"]), ("movie box last", [])):
        path = os.path.join(folder, name.replace(" ", "-") + ".m4a")
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-b:a", "64k", "-metadata", "title=Old title",
             *flags, path])
        out[name] = (path, EDIT, ANOTHER_EDIT, ".m4a")
    books = {}
    add_mp4_fixtures(folder, src, books)
    out["book, movie box last"] = (books["m4b"], BOOK_EDIT, ANOTHER_BOOK_EDIT, ".m4b")
    out["book, fast start"] = (books["m4bfast"], BOOK_EDIT, ANOTHER_BOOK_EDIT, ".m4b")
    return out


def top_level_boxes(data):
    """[(type, offset, size)]; a size of 0 runs to the end."""
    boxes, at = [], 0
    while at + 8 <= len(data):
        size = int.from_bytes(data[at:at + 4], "big")
        if size == 1:
            size = int.from_bytes(data[at + 8:at + 16], "big")
        elif size == 0:
            size = len(data) - at
        boxes.append((data[at + 4:at + 8].decode("latin-1"), at, size))
        if size < 8:
            break
        at += size
    return boxes


def box_holding(data, at):
    for kind, start, size in top_level_boxes(data):
        if start + 8 <= at < start + size:
            return kind
    return None


def media_sample(data):
    """A run of the media data's bytes that no other part of the file holds."""
    start = [b for b in top_level_boxes(data) if b[0] == "mdat"][0][1] + 8
    return data[start + 64:start + 576]


def state_file(work, data, suffix=".m4a"):
    return shared_state_file(work, data, suffix)


def edited(tool, work, data, edit, suffix):
    """(bytes, the player's fields) of `data` after `edit`."""
    folder, path = state_file(work, data, suffix)
    tool.run("tag", windows_path(path), *edit)[0]
    with open(path, "rb") as f:
        out = f.read()
    fields = tool.all_fields(path)
    shutil.rmtree(folder, ignore_errors=True)
    return out, fields


def with_server_cut(original, calls, done):
    """The calls with the cut that ends the edit, where it cuts the file:
    Wine's server makes a cut, out of strace's sight."""
    made = applied(original, calls)
    if len(made) > len(done) and made.startswith(done):
        return calls + [("cut", len(done))]
    return calls


def stopped_states(tool, work, name, path, calls, names, edit, suffix):
    """{description: bytes} of zorvtool killed before each write (checked
    against the record), before the cut that ends the edit, and of every
    power cut; the same keyed by their bytes' digest."""
    states, unique = shared_stopped_states(tool, work, name, path, calls, names, edit, suffix)
    if calls[-1][0] == "cut":
        # The server's cut, which strace cannot stop a process before.
        with open(path, "rb") as f:
            stopped = applied(f.read(), calls[:-1])
        states["stopped before the cut"] = stopped
        unique.setdefault(hashlib.sha1(stopped).digest(), ("stopped before the cut", stopped))
    return states, unique


def main():
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-mp4-stops-")
    try:
        for name, (path, edit, another_edit, suffix) in make_fixtures(work).items():
            with open(path, "rb") as f:
                original = f.read()
            sample = media_sample(original)
            old_fields = tool.all_fields(path)
            folder, done_path = state_file(work, original, suffix)
            rc, parsed = traced_edit(tool, done_path, None, edit)
            with open(done_path, "rb") as f:
                done = f.read()
            new_fields = tool.all_fields(done_path)
            recorded = isinstance(parsed, tuple) and parsed[0]
            check(rc == 0 and recorded and new_fields != old_fields,
                  "%s: the unstopped edit succeeds and strace records its writes (exit code %s)" % (name, rc))
            if not recorded:
                continue
            calls, names = parsed
            calls = with_server_cut(original, calls, done)
            check(applied(original, calls) == done, "%s: the record makes the edited file" % name)
            # What another edit leaves on the untouched file and on the edited one.
            another = {"old": edited(tool, work, original, another_edit, suffix),
                       "new": edited(tool, work, done, another_edit, suffix)}
            states, unique = stopped_states(tool, work, name, path, calls, names, edit, suffix)

            def judged(item):
                what, data = item
                problems = []
                at = data.find(sample)
                if at < 0 or box_holding(data, at) != "mdat":
                    problems.append("the audio lies in %s, boxes %s" %
                                    (box_holding(data, at) if at >= 0 else "nothing", top_level_boxes(data)))
                folder, path = state_file(work, data, suffix)
                fields = tool.all_fields(path)
                shutil.rmtree(folder, ignore_errors=True)
                if fields not in (old_fields, new_fields):
                    problems.append("the player reads %s" % fields)
                    return what, problems
                again, again_fields = edited(tool, work, data, edit, suffix)
                if again != done or again_fields != new_fields:
                    problems.append("the same edit again leaves boxes %s, not %s" %
                                    (top_level_boxes(again), top_level_boxes(done)))
                start = "new" if fields == new_fields else "old"
                other, other_fields = edited(tool, work, data, another_edit, suffix)
                if top_level_boxes(other) != top_level_boxes(another[start][0]) or other_fields != another[start][1]:
                    problems.append("another edit leaves boxes %s, not those of that edit of the %s file, %s" %
                                    (top_level_boxes(other), start, top_level_boxes(another[start][0])))
                return what, problems

            with ThreadPoolExecutor(4) as pool:
                results = list(pool.map(judged, sorted(unique.values())))
            for what, problems in results:
                for problem in problems:
                    check(False, "%s, %s: %s" % (name, what, problem))
            print("%s: %d writes, %d stops (%d files), the audio in a top-level media box after each, mended by the "
                  "next edit" % (name, sum(c[0] != "flush" for c in calls), len(states), len(unique)), flush=True)
            shutil.rmtree(folder, ignore_errors=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every stop left the audio in a top-level media box")
    return 0


if __name__ == "__main__":
    sys.exit(main())
