#!/usr/bin/python3
"""Edits that remove fields, and edits of several fields at once, of Matroska
files where a stop can leave an old Tags element beside the new one, stopped
before each of their writes and by a power cut after each wait for the disk,
as matroska_first_edit_stops.py stops them: ffmpeg's stereo Vorbis (its Tags
start past the first page), and it and mkvmerge's remux of ffmpeg's FLAC (its
Tags behind the Clusters) each with another program's Tags element in front
of the Clusters, holding values of its own and one the file's Tags hold too.

usage: matroska_removal_stops.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

The edits remove a field the file's Tags hold, one only the other element
holds, and several fields of both at once beside new values. After every
stop the player reads the old fields or the new ones, never a mix and never
a value twice; the readers that walk the Segment (ffprobe, mkvextract) read
the old or the new tags, or both once the player reads the new ones. Then the
same edit made again leaves exactly what an unstopped edit leaves (the
player's fields, ffprobe's and mkvextract's tags, mkvinfo walking the file,
one Tags element), and so does another edit: what that edit makes of the
file as the player read it.
"""
import os
import shutil
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

from matroska_first_edit_stops import applied, state_file, stopped_states, traced_edit, views
from tag_files import Zorvtool, matroska_bytes, run, top_level_tags_count, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

# The other program's values; its ARTIST is the file's own album artist.
BESIDE_VALUES = (("COMPOSER", "Writer"), ("COMMENT", "Said"), ("ARTIST", "Old artist"))
SEVERAL = ["artist=A new artist", "comment=A new comment", "-composer", "-album"]
EDITS = {
    "vorbis": [["title=A new title", "-album"], SEVERAL],
    "vorbis beside": [["title=A new title", "-album"], ["-comment"], SEVERAL],
    "mkvmerge beside": [["-album"], ["-comment"], SEVERAL],
}
ANOTHER = ["genre=Another genre", "-title"]


def make_fixtures(folder):
    """{name: path}"""
    src = os.path.join(folder, "src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"])
    tagged = ["-metadata", "title=Old title", "-metadata", "artist=Old artist", "-metadata", "album=Old album"]
    vorbis, flac = os.path.join(folder, "vorbis.mka"), os.path.join(folder, "flac.mka")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "libvorbis", *tagged, vorbis])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "flac", *tagged, flac])
    remux = os.path.join(folder, "mkvmerge.mka")
    run(["mkvmerge", "-q", "-o", remux, flac])
    out = {"vorbis": vorbis}
    for name, source in (("vorbis beside", vorbis), ("mkvmerge beside", remux)):
        with open(source, "rb") as f:
            data = matroska_bytes.with_other_tags_in_void(f.read(), *BESIDE_VALUES)
        out[name] = os.path.join(folder, name.replace(" ", "-") + ".mka")
        with open(out[name], "wb") as f:
            f.write(data)
    return out


def edited(tool, source, folder, edit):
    """The views of a copy of `source` after `edit`, and the edit's exit code."""
    path = os.path.join(folder, "edited.mka")
    shutil.copyfile(source, path)
    rc = tool.run("tag", windows_path(path), *edit)[0]
    return rc, views(tool, path), top_level_tags_count(path)


def check_fixture(tool, work, name, original, edit):
    """Stops `edit` of `original` before each write and by every power cut;
    prints what the stops left."""
    road = "%s, %s" % (name, " ".join(edit))
    with open(original, "rb") as f:
        old_bytes = f.read()
    old = views(tool, original)
    if "beside" in name:
        check(old["player"] and old["player"][0].get("composer") == ["Writer"] and
              old["player"][0].get("album artist") == ["Old artist"],
              "%s: the player shows the other element's values, each once: %s" % (road, old["player"]))
    done = os.path.join(work, "done.mka")
    shutil.copyfile(original, done)
    rc, parsed = traced_edit(tool, done, edit=edit)
    new = views(tool, done)
    recorded = isinstance(parsed, tuple) and parsed[0]
    check(rc == 0 and recorded and new["player"] != old["player"] and top_level_tags_count(done) == 1,
          "%s: the unstopped edit succeeds, leaves one Tags element and strace records it (exit code %s)" % (road, rc))
    if not recorded:
        return
    calls, names = parsed
    check(applied(old_bytes, calls) == open(done, "rb").read(), "%s: the record makes the edited file" % road)
    another = {}
    for start, source in (("old", original), ("new", done)):
        folder = tempfile.mkdtemp(dir=work)
        rc, another[start], count = edited(tool, source, folder, ANOTHER)
        check(rc == 0 and count == 1, "%s: another edit of the %s file succeeds, one Tags element" % (road, start))
        shutil.rmtree(folder, ignore_errors=True)

    states, unique = stopped_states(tool, work, road, original, calls, names, edit)

    def judged(item):
        what, data = item
        folder, path = state_file(work, data)
        problems = []
        seen = views(tool, path)
        read = "old" if seen["player"] == old["player"] else "new" if seen["player"] == new["player"] else None
        mixed = [reader for reader in seen if seen[reader] not in (old[reader], new[reader])]
        if read is None or (mixed and not (set(mixed) <= {"ffprobe", "mkvextract"} and read == "new")):
            problems.append("%s read neither the old nor the new tags: %s" %
                            (mixed, {reader: seen[reader] for reader in mixed}))
        rc, after_another, count = edited(tool, path, folder, ANOTHER)
        if rc != 0 or count != 1 or (read and after_another != another[read]):
            problems.append("another edit then reads %s, %d Tags elements" %
                            ({r: after_another[r] for r in after_another if after_another[r] != another[read]}, count))
        rc = tool.run("tag", windows_path(path), *edit)[0]
        again = views(tool, path)
        if rc != 0 or again != new or top_level_tags_count(path) != 1:
            problems.append("the same edit again reads %s, %d Tags elements" %
                            ({r: again[r] for r in again if again[r] != new[r]}, top_level_tags_count(path)))
        shutil.rmtree(folder, ignore_errors=True)
        return what, read, bool(mixed), problems

    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(judged, sorted(unique.values())))
    for what, _, _, problems in results:
        for problem in problems:
            check(False, "%s, %s: %s" % (road, what, problem))
    print("%s: %d stops (%d files), %d read as the old fields, %d as the new, %d of these read by walking readers "
          "as both tags" % (road, len(states), len(unique), sum(r == "old" for _, r, _, _ in results),
                            sum(r == "new" for _, r, _, _ in results), sum(m for _, _, m, _ in results)), flush=True)


def main():
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-removal-stops-")
    try:
        for name, path in make_fixtures(work).items():
            for edit in EDITS[name]:
                check_fixture(tool, work, name, path, edit)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every stop left the old fields or the new, and the next edit what an unstopped one leaves")
    return 0


if __name__ == "__main__":
    sys.exit(main())
