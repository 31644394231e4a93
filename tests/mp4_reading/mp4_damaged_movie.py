#!/usr/bin/python3
"""MP4 files made here with ffmpeg and mutagen, then damaged where other
programs leave damage (a broken item, user data whose size does not add up,
a movie box cut inside its item list, media data with no samples, a sample-
size table cut to its header), read and
played through the real zorvtool and compared with mutagen and ffmpeg: the
damage costs the damaged part, the audio plays, and a write is refused
with the file untouched.

usage: mp4_damaged_movie.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402
import mp4_bytes  # noqa: E402
from mutagen.mp4 import MP4, MP4Cover  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
run = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)
JPEG = b"\xff\xd8\xff\xe0" + bytes(60) + b"\xff\xd9"
# The fields mutagen's item keys are read as.
FIELDS = {"\xa9nam": "title", "\xa9ART": "artist", "\xa9alb": "album", "\xa9day": "date", "\xa9gen": "genre",
          "\xa9wrt": "composer", "\xa9cmt": "comment", "aART": "album artist", "\xa9grp": "contentgroup",
          "cprt": "copyright"}


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)
    return path


def info(path):
    """The subsongs zorvtool's info reads, or its error."""
    done = run("info", windows_path(path), ok=False)
    return json.loads(done.stdout)["subsongs"] if done.returncode == 0 else done.stderr.strip()


def fields_of(path):
    subsongs = info(path)
    return subsongs[0]["info"]["fields"] if isinstance(subsongs, list) else {"error": subsongs}


def decoded(path, *options):
    """(exit status, PCM bytes or None, messages) of zorvtool's decode."""
    out = path + ".wav"
    done = run("decode", windows_path(path), windows_path(out), "--bits", "16", *options, ok=False)
    pcm = None
    if done.returncode == 0:
        with open(out, "rb") as f:
            data = f.read()
        pcm = data[data.index(b"data") + 8:]
        os.remove(out)
    return done.returncode, pcm, done.stderr


def mutagen_fields(path):
    """What mutagen reads of the file, as the player's fields."""
    tags = MP4(path).tags
    fields = {FIELDS[k]: [str(v) for v in values] for k, values in tags.items() if k in FIELDS}
    if "trkn" in tags:
        fields["tracknumber"] = [str(tags["trkn"][0][0])]
        fields["totaltracks"] = [str(tags["trkn"][0][1])]
    return fields


def refused_untouched(path, what):
    with open(path, "rb") as f:
        before = f.read()
    done = run("tag", windows_path(path), "title=never", ok=False)
    with open(path, "rb") as f:
        after = f.read()
    check(done.returncode != 0 and after == before and done.stderr.strip(),
          "%s: a tag write is refused with the file untouched: %r" % (what, done.stderr.strip()))


def make_tagged(work, source):
    """ffmpeg's AAC with its movie box last, tagged by mutagen with no padding."""
    path = os.path.join(work, "tagged.m4a")
    tool("ffmpeg", "-v", "error", "-y", "-i", source, "-c:a", "aac", path)
    f = MP4(path)
    f.update({"\xa9nam": ["T"], "\xa9ART": ["A"], "\xa9alb": ["B"], "\xa9day": ["2001"], "trkn": [(4, 9)]})
    f["covr"] = [MP4Cover(b"\x89PNG\r\n\x1a\n" + bytes(2300), MP4Cover.FORMAT_PNG)]
    f.save(padding=lambda _: 0)
    return path


def test_broken_item(work, tagged):
    path = write(os.path.join(work, "gnre0.m4a"), mp4_bytes.genre_with_empty_data(open(tagged, "rb").read()))
    expected = mutagen_fields(path)
    check(set(expected) >= {"title", "artist", "album", "date", "tracknumber"},
          "mutagen reads the items beside the broken one: %s" % expected)
    fields = fields_of(path)
    check(fields == expected, "a broken gnre item costs that item alone: %s, mutagen %s" % (fields, expected))
    status, _, messages = decoded(path)
    check(status == 0 and "Damaged MP4 tags skipped" in messages, "it plays and warns: %r" % messages)
    refused_untouched(path, "broken gnre item")


def test_damaged_user_data(work, tagged):
    data = open(tagged, "rb").read()
    _, whole, _ = decoded(tagged)
    tags = mutagen_fields(tagged)
    for name, damaged in mp4_bytes.user_data_shapes(data):
        if name.startswith("gnre"):
            continue
        path = write(os.path.join(work, name + ".m4a"), damaged)
        ffmpeg = subprocess.run(["ffmpeg", "-v", "quiet", "-i", path, "-f", "s16le", "-"], capture_output=True)
        check(ffmpeg.returncode == 0 and len(ffmpeg.stdout) > 0, "%s: ffmpeg plays it" % name)
        status, pcm, messages = decoded(path)
        check(status == 0 and pcm == whole and "Damaged MP4 tags skipped" in messages,
              "%s: plays every sample of the whole file, with the warning: %r" % (name, messages.strip()))
        fields = fields_of(path)
        check(all(tags.get(k) == v for k, v in fields.items()),
              "%s: reads what is left of the tags, nothing else: %s" % (name, fields))
        if name in ("udta-4-short", "udta-past-moov", "moov-cut-12"):
            check(fields.get("title") == ["T"], "%s: the whole items are read: %s" % (name, fields))
        refused_untouched(path, name)


def make_book(work, source):
    """An ffmpeg audiobook of two chapters, fast-start, with 12 tags and a cover from mutagen."""
    meta = os.path.join(work, "book.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\ntitle=Book\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1500\ntitle=One\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1500\nEND=3000\ntitle=Two\n")
    book = os.path.join(work, "book.m4b")
    tool("ffmpeg", "-v", "error", "-y", "-i", source, "-i", meta, "-map", "0", "-map_metadata", "1", "-map_chapters",
         "1", "-c:a", "aac", "-movflags", "+faststart", "-f", "ipod", book)
    f = MP4(book)
    f.update({"\xa9ART": ["A"], "\xa9alb": ["B"], "\xa9day": ["2001"], "\xa9gen": ["Speech"], "\xa9wrt": ["C"],
              "\xa9cmt": ["note"], "aART": ["AA"], "\xa9grp": ["G"], "cprt": ["(c)"], "trkn": [(1, 2)]})
    f["covr"] = [MP4Cover(JPEG, MP4Cover.FORMAT_JPEG)]
    f.save()
    return book


def test_no_samples(work, book, name, damage):
    path = write(os.path.join(work, name + ".m4b"), damage(open(book, "rb").read()))
    m = MP4(path)
    check(len(m.tags) == 13 and [c.title for c in m.chapters] == ["One", "Two"],
          "%s: mutagen reads 12 tags, the cover and the chapters: %s" % (name, list(m.tags)))
    subsongs = info(path)
    check(isinstance(subsongs, list) and [s["info"]["fields"].get("title") for s in subsongs] == [["One"], ["Two"]],
          "%s: its chapters are read: %s" % (name, subsongs))
    if isinstance(subsongs, list):
        fields = subsongs[0]["info"]["fields"]
        expected = dict(mutagen_fields(path), title=["One"], tracknumber=["1"])
        check(fields == expected, "%s: its tags are read: %s, mutagen %s" % (name, fields, expected))
    cover = json.loads(run("mp4-tags", windows_path(path)).stdout).get("front_cover_bytes")
    check(cover == len(JPEG), "%s: its cover is read: %s" % (name, cover))
    status, _, messages = decoded(path)
    check(status != 0 and "The file holds no audio data" in messages, "%s: playing it says there is no audio: %r" %
          (name, messages.strip()))
    return path, messages


def test_cut_size_table(work, book):
    """The sample-size table cut to its header, the media data emptied."""
    path, messages = test_no_samples(work, book, "cut-stsz", lambda data: mp4_bytes.without_samples(
        mp4_bytes.with_cut_size_table(data)))
    check("Damaged MP4 sample size table: 0 of" in messages, "cut-stsz: playing it says why: %r" % messages.strip())
    probed = json.loads(subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "format_tags:chapter_tags", "-of",
                                        "json", path], capture_output=True, text=True).stdout or "{}")
    check(probed.get("format", {}).get("tags", {}).get("artist") == "A" and len(probed.get("chapters", [])) == 2,
          "cut-stsz: ffprobe reads its tags and chapters: %s" % probed)
    library = os.path.join(work, "library")
    os.makedirs(library)
    write(os.path.join(library, "cut-stsz.m4b"), open(path, "rb").read())
    listed = run("scan", windows_path(library), ok=False)
    check(listed.returncode == 0 and "cut-stsz.m4b #1" in listed.stdout and "cut-stsz.m4b #2" in listed.stdout,
          "cut-stsz: the library lists its chapters: %r" % listed.stdout)


def main():
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "src.wav")
        tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "3", "sine", "440", "sine", "660")
        tagged = make_tagged(work, source)
        test_broken_item(work, tagged)
        test_damaged_user_data(work, tagged)
        book = make_book(work, source)
        test_no_samples(work, book, "no-samples", mp4_bytes.without_samples)
        test_cut_size_table(work, book)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
