#!/usr/bin/python3
"""MP4 files whose movie box holds a second item list: in a second user-data
box (beside a location box), in a second "meta" of the user-data box, or a
second "ilst" in its "meta"; with the movie box last and first.

usage: second_item_lists.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

The player shows every field of both lists (the first list's title where
both hold one); a title edit leaves one list that mutagen, ffprobe and
AtomicParsley read every field from, the location kept and the audio as it
was; a removal takes the field from all of them. Two different covers, one
per list, cannot share one list: the edit is refused, the file unchanged.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tiny_png, tool, windows_path, zorvtool_runner  # noqa: E402
from mp4_bytes import box, meta_box, text_item, with_child  # noqa: E402
from mutagen.mp4 import MP4, MP4Cover  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)
SECOND = [text_item(b"\xa9nam", b"Second title"), text_item(b"\xa9alb", b"Second album"),
          text_item(b"\xa9day", b"2001")]
LOCATION = box(b"\xa9xyz", (18).to_bytes(2, "big") + (0x15c7).to_bytes(2, "big") + b"+48.8577+002.2950/")
SHAPES = {
    "second-udta": ((b"moov",), box(b"udta", LOCATION + meta_box(*SECOND))),
    "second-meta": ((b"moov", b"udta"), meta_box(*SECOND)),
    "second-ilst": ((b"moov", b"udta", b"meta"), box(b"ilst", b"".join(SECOND))),
}


def output(*args):
    return subprocess.run(args, check=True, capture_output=True, text=True, errors="replace").stdout


def audio_md5(path):
    return output("ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "md5", "-").strip()


def readings(path):
    """{reader: {field: value}} of the player, mutagen and ffprobe; AtomicParsley's atoms."""
    info = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"].get("fields", {})
    tags = MP4(path).tags or {}
    probed = json.loads(output("ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path))
    atoms = output("AtomicParsley", path, "-t")
    return {"player": {k.lower(): v[0] for k, v in info.items()},
            "mutagen": {k: str(tags[key][0]) for k, key in (("title", "\xa9nam"), ("artist", "\xa9ART"),
                                                            ("album", "\xa9alb"), ("date", "\xa9day")) if key in tags},
            "ffprobe": probed.get("format", {}).get("tags", {})}, atoms


def check_fields(label, path, expected):
    found, atoms = readings(path)
    for reader, fields in found.items():
        for field, value in expected.items():
            check(fields.get(field) == value, "%s: %s reads %s %r: %s" % (label, reader, field, value, fields))
    for atom in ("\xa9nam", "\xa9alb", "\xa9day"):
        check(atoms.count('Atom "%s"' % atom) <= 1, "%s: one %s for AtomicParsley: %s" % (label, atom, atoms))


def main():
    work = tempfile.mkdtemp(prefix="zorv-second-item-lists-")
    try:
        wav = os.path.join(work, "src.wav")
        tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "2", "sine", "440")
        for layout, flags in (("movie-last", []), ("movie-first", ["-movflags", "+faststart"])):
            made = os.path.join(work, layout + ".m4a")
            tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "64k", "-metadata", "title=First title",
                 "-metadata", "artist=First artist", *flags, made)
            data = open(made, "rb").read()
            for shape, (path, child) in SHAPES.items():
                label = "%s, %s" % (layout, shape)
                file = os.path.join(work, "%s-%s.m4a" % (layout, shape))
                open(file, "wb").write(with_child(data, path, child))
                md5 = audio_md5(file)
                shown = readings(file)[0]["player"]
                check(shown == {**shown, "title": "First title", "artist": "First artist", "album": "Second album",
                                "date": "2001"}, "%s: the player shows both lists: %s" % (label, shown))
                done = zorvtool("tag", windows_path(file), "title=Edited", ok=False)
                check(done.returncode == 0, "%s: edited: %s" % (label, done.stderr.strip()))
                check_fields(label + ", edited", file, {"title": "Edited", "artist": "First artist",
                                                        "album": "Second album", "date": "2001"})
                if shape == "second-udta":
                    location = readings(file)[0]["ffprobe"].get("location")
                    check(location == "+48.8577+002.2950/", "%s: the location kept: %s" % (label, location))
                check(audio_md5(file) == md5, "%s: the audio as it was" % label)
                zorvtool("tag", windows_path(file), "-album")
                check_fields(label + ", album removed", file, {"title": "Edited", "album": None, "date": "2001"})
            # A cover in each list, and not the same.
            covered = os.path.join(work, layout + "-two-covers.m4a")
            shutil.copyfile(made, covered)
            tags = MP4(covered)
            tags["covr"] = [MP4Cover(tiny_png(), imageformat=MP4Cover.FORMAT_PNG)]
            tags.save()
            jpeg = b"\xff\xd8\xff\xe0" + bytes(60) + b"\xff\xd9"
            before = with_child(open(covered, "rb").read(), (b"moov",),
                                box(b"udta", meta_box(text_item(b"covr", jpeg, 13))))
            open(covered, "wb").write(before)
            done = zorvtool("tag", windows_path(covered), "title=Edited", ok=False)
            check(done.returncode != 0 and "item lists" in done.stderr,
                  "%s: two covers refused: %s" % (layout, done.stderr.strip()))
            check(open(covered, "rb").read() == before, "%s: two covers, the file unchanged" % layout)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every item list read and kept")
    return 0


if __name__ == "__main__":
    sys.exit(main())
