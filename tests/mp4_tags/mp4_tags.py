#!/usr/bin/python3
"""Black-box runs of zorvtool mp4-tags on files made here with ffmpeg and
tagged by mutagen and AtomicParsley.

usage: mp4_tags.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

The retags killed at random moments run as a test of their own
(mp4_tags_kills.py, the same arguments) beside the others;
ZORV_MP4_KILL_COUNT sets how many (100 by default). That test first stops a
growing retag (a title and a 9,000-character comment) of each layout before
each of its writes, as strace records them, and of the fast-start file also
the way earlier builds stopped it: each time AtomicParsley's edit keeps the
audio, and the player's next retag ends as the unstopped one.
"""
import json
from concurrent.futures import ThreadPoolExecutor
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402
import mutagen  # noqa: E402
from mutagen.mp4 import MP4, AtomDataType, MP4Cover, MP4FreeForm  # noqa: E402
import gapless_record  # noqa: E402
import mp4_bytes  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tag_write_safety"))
from matroska_first_edit_stops import TRACED, applied, parse_calls  # noqa: E402
from mp4_growing_edit_stops import with_server_cut  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
PNG = bytes.fromhex("89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c4890000000d4944415478da63f8ffff3f0005fe02fea7d6a4" "0000000049454e44ae426082")
JPEG = b"\xff\xd8\xff\xe0" + b"\x00" * 60 + b"\xff\xd9"


def zorvtool_cmd(*args):
    return [WINE_EXEC, BUILD_DIR, ZORVTOOL, *args]


zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def fields_of(path):
    result = zorvtool("mp4-tags", windows_path(path), ok=False)
    if result.returncode != 0:
        return {"error": result.stderr}
    return json.loads(result.stdout)


def retag(path, *changes):
    return zorvtool("mp4-tags", windows_path(path), *changes, ok=False)


def audio_md5(path):
    done = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "md5", "-"],
                          capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else "unplayable: " + done.stderr.strip()[-200:]


def top_level_boxes(path):
    return top_level_boxes_of(open(path, "rb").read())


def top_level_boxes_of(data):
    boxes, at = [], 0
    while at + 8 <= len(data):
        size = int.from_bytes(data[at:at + 4], "big")
        if size == 1:
            size = int.from_bytes(data[at + 8:at + 16], "big")
        boxes.append((data[at + 4:at + 8].decode("latin-1"), at, size))
        if size < 8:
            break
        at += size
    return boxes


def make_fixtures(folder):
    wav = os.path.join(folder, "src.wav")
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "3", "sine", "440", "sine", "550")
    last = os.path.join(folder, "last.m4a")
    fast = os.path.join(folder, "fast.m4a")
    tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "64k", last)
    tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "64k", "-movflags", "+faststart", fast)
    return last, fast


def tag_with_mutagen(path):
    f = MP4(path)
    f["\xa9nam"] = ["Title"]
    f["\xa9ART"] = ["Artist One", "Artist Two"]
    f["aART"] = ["Band"]
    f["\xa9alb"] = ["Album"]
    f["\xa9day"] = ["2009-05-12T00:00:00Z"]
    f["trkn"] = [(3, 12)]
    f["disk"] = [(1, 2)]
    f["tmpo"] = [120]
    f["\xa9gen"] = ["Jazz"]
    f["cpil"] = True
    f["covr"] = [MP4Cover(JPEG, MP4Cover.FORMAT_JPEG), MP4Cover(PNG, MP4Cover.FORMAT_PNG)]
    f["----:com.apple.iTunes:replaygain_track_gain"] = [MP4FreeForm(b"-6.50 dB")]
    f["----:com.apple.iTunes:MusicBrainz Album Id"] = [MP4FreeForm(b"0a1b2c")]
    f["----:org.example:private"] = [MP4FreeForm(b"keep me")]
    f["desc"] = ["an item no field maps"]
    f.save()


def mutagen_items(path):
    return {k: [bytes(v) if isinstance(v, bytes) else v for v in vals] if isinstance(vals, list) else vals
            for k, vals in MP4(path).tags.items()}


def check_reading(path, name):
    got = fields_of(path)
    f = got.get("fields", {})
    expected = {"title": ["Title"], "artist": ["Artist One", "Artist Two"], "album artist": ["Band"],
                "album": ["Album"], "year": ["2009-05-12"], "track": ["3"], "totaltracks": ["12"], "disc": ["1"],
                "totaldiscs": ["2"], "tempo": ["00120 BPM"], "genre": ["Jazz"], "itunescompilation": ["1"],
                "replaygain_track_gain": ["-6.50 dB"], "MusicBrainz Album Id": ["0a1b2c"]}
    check(all(f.get(k) == v for k, v in expected.items()), "%s: items read as their fields: %s" % (name, f))
    check(got.get("front_cover_bytes") == len(PNG), "%s: the last picture is the front cover" % name)
    check(set(got.get("raw_items", [])) == {"----",
          "desc"}, "%s: unmapped items kept: %s" % (name, got.get("raw_items")))


def check_round_trip(path, name):
    before_items, before_md5 = mutagen_items(path), audio_md5(path)
    result = retag(path, "title=New Title", "artist=X", "artist=Y", "-album")
    check(result.returncode == 0, "%s: retag succeeds: %s" % (name, result.stderr))
    after = mutagen_items(path)
    check(after.get("\xa9nam") == ["New Title"] and after.get("\xa9ART") == ["X", "Y"] and "\xa9alb" not in after,
          "%s: mutagen reads the new values" % name)
    unchanged = {k: v for k, v in before_items.items() if k not in ("\xa9nam", "\xa9ART", "\xa9alb")}
    check(all(after.get(k) == v for k, v in unchanged.items()),
          "%s: every other item, both pictures and the foreign items kept: %s" %
          (name, [k for k, v in unchanged.items() if after.get(k) != v]))
    check(audio_md5(path) == before_md5, "%s: audio unchanged by the retag" % name)
    listing = subprocess.run(["AtomicParsley", path, "-t"], capture_output=True, text=True).stdout
    check("New Title" in listing and "Band" in listing, "%s: AtomicParsley reads the retagged file" % name)


def check_atomicparsley_items(path):
    tool("AtomicParsley", path, "--genre", "Rock", "--tracknum", "4/9", "--title", "AP", "--overWrite")
    f = fields_of(path).get("fields", {})
    check(f.get("genre") == ["Rock"] and f.get("track") == ["4"] and f.get("title") == ["AP"],
          "AtomicParsley's gnre, trkn and title read: %s" % f)
    retag(path, "genre=Jazz", "tempo=00090 BPM")
    listing = subprocess.run(["AtomicParsley", path, "-t"], capture_output=True, text=True).stdout
    check("Jazz" in listing and "90" in listing and "4 of 9" in listing, "AtomicParsley reads our gnre, tmpo, trkn")


def check_layouts(last, fast):
    moov_at = [b for b in top_level_boxes(last) if b[0] == "moov"][0][1]
    retag(last, "title=a much longer title than before to grow the movie box")
    boxes = top_level_boxes(last)
    check(boxes[-1][0] == "moov" and boxes[-1][1] == moov_at and boxes[-1][1] + boxes[-1][2] == os.path.getsize(last),
          "moov last: rewritten in place and the file ends with it: %s" % boxes)
    before = top_level_boxes(fast)
    retag(fast, "title=appended")
    boxes = top_level_boxes(fast)
    # The new movie box was staged behind a "free" header that ended the boxes.
    end = os.path.getsize(fast) - boxes[-1][2]
    check(boxes[:-2] == [("free",) + b[1:] if b[0] == "moov" else b for b in before] and
          boxes[-2] == ("free", end - 8, 8) and boxes[-1][0] == "moov",
          "fast start: old moov freed in place, every other box where it was, new moov appended: %s" % boxes)
    size = os.path.getsize(fast)
    retag(fast, "title=appended again")
    check(os.path.getsize(fast) == size, "fast start: a second retag rewrites in place, no further growth")


def check_damage(folder, last):
    id3 = os.path.join(folder, "id3.m4a")
    shutil.copy(last, id3)
    md5 = audio_md5(id3)
    with open(id3, "ab") as f:
        f.write(b"TAG" + b" " * 125)
    result = zorvtool("mp4-tags", windows_path(id3), "--check", ok=False)
    check(result.stdout.strip() == "File is corrupted, apparent ID3 tag found at the end.",
          "ID3v1 reported: %r" % result.stdout)
    result = retag(id3, "title=cut")
    check("Removed 128 bytes of trailing garbage." in result.stdout and b"TAG" not in open(id3, "rb").read()[-128:],
          "ID3v1 removed by the retag: %r" % result.stdout)
    check(audio_md5(id3) == md5 and MP4(id3).tags["\xa9nam"] == ["cut"], "ID3v1 file: audio and new title")

    # A box of size 0 runs to the end of the file: writing after moov as if
    # it were last would cut it off (a "free" one holds nothing and is taken
    # over).
    for label, tail in (("size-0 box", b"\0\0\0\0uuid" + b"z" * 40), ("stray bytes", b"zz"), ("cut box", b"\0\0\1\0free")):
        damaged = os.path.join(folder, "damaged.m4a")
        shutil.copy(last, damaged)
        with open(damaged, "ab") as f:
            f.write(tail)
        before = open(damaged, "rb").read()
        result = retag(damaged, "title=never")
        check(result.returncode != 0 and open(damaged,
              "rb").read() == before, "%s after moov: refused untouched (%s)" % (label, result.stderr.strip()))

    # A 64-bit moov header at the end of the file.
    wide = os.path.join(folder, "wide.m4a")
    data = open(last, "rb").read()
    name, at, size = [b for b in top_level_boxes(last) if b[0] == "moov"][0]
    data = data[:at] + (1).to_bytes(4, "big") + b"moov" + (size + 8).to_bytes(8, "big") + data[at + 8:]
    open(wide, "wb").write(data)
    md5 = audio_md5(wide)
    result = retag(wide, "title=wide")
    check(result.returncode == 0 and MP4(wide).tags["\xa9nam"] == ["wide"] and audio_md5(wide) == md5,
          "64-bit moov header: retagged, audio unchanged (%s)" % result.stderr.strip())


def check_kills(folder, last, fast):
    count = int(os.environ.get("ZORV_MP4_KILL_COUNT", "100"))
    sources = {}
    for layout, path in (("last", last), ("fast", fast)):
        source = os.path.join(folder, "kill_source_" + layout + ".m4a")
        shutil.copy(path, source)
        retag(source, "title=old")
        sources[layout] = (source, audio_md5(source))
    # A run of its own, as the killed ones: its program's start counts.
    started = time.monotonic()
    subprocess.run(zorvtool_cmd("mp4-tags", windows_path(os.path.join(folder, "kill_source_last.m4a")), "title=old"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    span = time.monotonic() - started
    rng = random.Random(43)
    delays = [rng.uniform(0, span * 1.2) for _ in range(count)]

    def one_kill(i):
        layout = "last" if i % 2 == 0 else "fast"
        source, md5 = sources[layout]
        target = os.path.join(folder, "kill-%d.m4a" % i)
        shutil.copy(source, target)
        if i % 4 >= 2:  # some files already retagged once, so the append case meets its free box
            retag(target, "title=old")
        child = subprocess.Popen(zorvtool_cmd("mp4-tags", windows_path(target), "title=new", "artist=killed"),
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(delays[i])
        child.kill()
        child.wait()
        try:
            title = MP4(target).tags.get("\xa9nam")
        except Exception as e:  # noqa: BLE001
            title = "unreadable: %s" % e
        played = audio_md5(target) == md5
        os.remove(target)
        return i, layout, title, played

    # Four kills at a time, each on a file of its own.
    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(one_kill, range(count)))
    outcomes = {}
    for _, _, title, _ in results:
        outcomes[str(title)] = outcomes.get(str(title), 0) + 1
    bad = [(i, layout, title) for i, layout, title, played in results if not played or title not in (["old"], ["new"])]
    print("killed retags by the title they left:", outcomes)
    check(not bad, "%d killed retags: every file plays the same audio with old or new tags: %s" % (count, bad[:5]))


def ffmpeg_tags(path):
    done = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:chapter_tags", "-of", "json", path],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return {"error": done.stderr.strip()[-200:]}
    data = json.loads(done.stdout)
    return {"tags": {k.lower(): v for k, v in data.get("format", {}).get("tags", {}).items()},
            "chapters": [c.get("tags", {}).get("title") for c in data.get("chapters", [])]}


def song_titles(path):
    result = zorvtool("mp4", windows_path(path), ok=False)
    if result.returncode != 0:
        return "unreadable: " + result.stderr.strip()
    return [(song["fields"].get("title") or [None])[0] for song in json.loads(result.stdout)["songs"]]


def make_book(folder, name, movflags=()):
    """An ffmpeg audiobook with the book's own tags and three named chapters."""
    meta = os.path.join(folder, "book.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\ntitle=Book Title\nartist=Book Artist\ncomment=Book comment\ngenre=Audiobook\n")
        for i in range(3):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=Chapter %d\n" % (i * 1000, i * 1000 + 1000, i + 1))
    wav = os.path.join(folder, "src.wav")
    book = os.path.join(folder, name)
    tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-i", meta, "-map", "0:a", "-map_metadata", "1", "-map_chapters", "1",
        "-c:a", "aac", "-b:a", "64k", *movflags, book)
    return book


def check_books(folder):
    book = make_book(folder, "book.m4b")
    check(song_titles(book) == ["Chapter 1", "Chapter 2", "Chapter 3"],
          "ffmpeg book: chapters go by their names, not the book's title: %s" % song_titles(book))
    before_mutagen, before_ffmpeg, md5 = mutagen_items(book), ffmpeg_tags(book), audio_md5(book)
    result = zorvtool("tag", windows_path(book), "title=X", "--subsong", "1", ok=False)
    check(result.returncode == 0, "ffmpeg book: a chapter is retagged: %s" % result.stderr.strip())
    check(mutagen_items(book) == before_mutagen, "ffmpeg book: mutagen reads the book's own tags as before: %s" %
          mutagen_items(book))
    after_ffmpeg = ffmpeg_tags(book)
    check(after_ffmpeg.get("tags") == before_ffmpeg.get("tags"),
          "ffmpeg book: ffprobe reads the book's own tags as before: %s" % after_ffmpeg)
    check(song_titles(book) == ["X", "Chapter 2", "Chapter 3"], "ffmpeg book: only the edited chapter is renamed: %s" %
          song_titles(book))
    check([c.title for c in MP4(book).chapters] == ["X", "Chapter 2", "Chapter 3"], "ffmpeg book: mutagen's chapters")
    check(audio_md5(book) == md5, "ffmpeg book: audio unchanged")
    # A book without a cover: removing the cover, or a field it lacks,
    # changes no value and writes nothing.
    for change in ("--no-cover", "-lyrics"):
        data, stamp = open(book, "rb").read(), os.stat(book).st_mtime_ns
        result = retag(book, change)
        check(result.returncode == 0 and open(book, "rb").read() == data and os.stat(book).st_mtime_ns == stamp,
              "ffmpeg book: mp4-tags %s writes nothing (%s)" % (change, result.stderr.strip()))

    # Cut inside its media data: the tags and chapters are still there.
    whole = make_book(folder, "whole.m4b", ("-movflags", "+faststart"))
    cut = os.path.join(folder, "cut.m4b")
    data = open(whole, "rb").read()
    open(cut, "wb").write(data[:len(data) * 2 // 3])
    check(MP4(cut).tags["\xa9nam"] == ["Book Title"], "cut book: mutagen reads its tags")
    check(song_titles(cut) == ["Chapter 1", "Chapter 2", "Chapter 3"], "cut book: chapters read: %s" % song_titles(cut))
    check(fields_of(cut).get("fields", {}).get("artist") == ["Book Artist"], "cut book: tags read: %s" % fields_of(cut))


def check_fragmented(folder):
    wav = os.path.join(folder, "src.wav")
    for name, codec in (("frag-aac.m4a", ["-c:a", "aac"]), ("frag-alac.m4a", ["-c:a", "alac"]),
                        ("frag.3gp", ["-ar", "8000", "-ac", "1", "-c:a", "aac", "-f", "3gp"])):
        path = os.path.join(folder, name)
        tool("ffmpeg", "-v", "error", "-y", "-i", wav, *codec, "-metadata", "title=Old", "-movflags",
            "frag_keyframe+empty_moov", path)
        md5 = audio_md5(path)
        for change in (["-genre"], ["title=a much longer title that grows the movie box"], ["title=S"]):
            before = open(path, "rb").read()
            result = retag(path, *change)
            if result.returncode == 0:
                check(audio_md5(path) == md5 and fields_of(path).get("fields") is not None,
                      "%s %s: a write keeps the file playable" % (name, change))
                boxes = [b[0] for b in top_level_boxes(path)]
                check(boxes.index("moov") < boxes.index("moof"), "%s %s: moov before the fragments" % (name, change))
            else:
                check(open(path, "rb").read() == before and result.stderr.strip(),
                      "%s %s: refused with a message, file byte-identical" % (name, change))
            check(audio_md5(path) == md5, "%s %s: ffmpeg plays it as before" % (name, change))


def rewritten_moov(data, edit):
    """The file with its last box, moov, replaced by edit(moov payload); sizes fixed."""
    name, at, size = top_level_boxes_of(data)[-1]
    assert name == "moov" and at + size == len(data)
    payload = edit(data[at + 8:])
    return data[:at] + (len(payload) + 8).to_bytes(4, "big") + b"moov" + payload


def child_boxes(payload):
    out, at = [], 0
    while at + 8 <= len(payload):
        size = int.from_bytes(payload[at:at + 4], "big")
        out.append((payload[at + 4:at + 8], payload[at + 8:at + size]))
        at += size
    return out


def boxes_bytes(children):
    return b"".join((len(p) + 8).to_bytes(4, "big") + t + p for t, p in children)


def check_quicktime_meta_and_open_ended_media(folder):
    wav = os.path.join(folder, "src.wav")
    qt, fast = os.path.join(folder, "qt.m4a"), os.path.join(folder, "open-ended-source.m4a")
    tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", qt)
    tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-movflags", "+faststart", fast)
    f = MP4(qt)
    f["\xa9nam"] = ["QT title"]
    f.save()

    def drop_meta_version(moov):
        def udta(payload):
            return boxes_bytes([(t, p[4:] if t == b"meta" else p) for t, p in child_boxes(payload)])
        return boxes_bytes([(t, udta(p) if t == b"udta" else p) for t, p in child_boxes(moov)])

    data = rewritten_moov(open(qt, "rb").read(), drop_meta_version)
    open(qt, "wb").write(data)
    check(not audio_md5(qt).startswith("unplayable"), "QuickTime meta: ffmpeg plays it")
    check(fields_of(qt).get("fields", {}).get("title") == ["QT title"],
          "QuickTime meta box read: %s" % fields_of(qt))

    # Media data whose size field is 0 runs to the end of the file.
    open_ended = os.path.join(folder, "open-ended.m4a")
    data = bytearray(open(fast, "rb").read())
    name, at, size = top_level_boxes(fast)[-1]
    assert name == "mdat" and at + size == len(data)
    data[at:at + 4] = bytes(4)
    open(open_ended, "wb").write(bytes(data))
    md5 = audio_md5(open_ended)
    result = retag(open_ended, "title=open ended")
    check(result.returncode == 0 and MP4(open_ended).tags["\xa9nam"] == ["open ended"] and audio_md5(open_ended) == md5,
          "mdat of size 0: retagged, audio unchanged (%s)" % result.stderr.strip())


def ffprobe_chapter_titles(path):
    return ffmpeg_tags(path).get("chapters")


def make_text_track_book(folder, name, fflags=()):
    """An ffmpeg book whose chapters are both in its chapter list and in a
    QuickTime chapter text track (which ffprobe and players read)."""
    meta = os.path.join(folder, "chapters.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\n")
        for i, title in enumerate(("Chapter 1: Start", "Chapter 2: End")):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" % (i * 1500, i * 1500 + 1500, title))
    book = os.path.join(folder, name)
    tool("ffmpeg", "-v", "error", "-y", "-i", os.path.join(folder, "src.wav"), "-i", meta, "-map", "0:a",
         "-map_chapters", "1", *fflags, "-c:a", "aac", "-b:a", "64k", book)
    return book


def check_writes_keep_what_others_wrote(folder, last):
    # Binary freeform items, and freeform names no player field can take,
    # are another program's: an edit elsewhere keeps them byte for byte.
    path = os.path.join(folder, "freeform.m4a")
    shutil.copy(last, path)
    params = b"vers\x00\x00\x00\x01acbf\x00\x00\x00\x02brat\x00\x01\xf4\x00"
    f = MP4(path)
    f["----:com.apple.iTunes:Encoding Params"] = [MP4FreeForm(params, dataformat=AtomDataType.IMPLICIT)]
    f["----:com.apple.iTunes:odd=name"] = [MP4FreeForm(b"kept")]
    f.save()
    zorvtool("tag", windows_path(path), "title=X")
    items = MP4(path).tags
    kept = items.get("----:com.apple.iTunes:Encoding Params", [b""])[0]
    check(bytes(kept) == params and kept.dataformat == AtomDataType.IMPLICIT,
          "binary freeform item kept byte for byte with its type: %r" % (kept,))
    check(items.get("----:com.apple.iTunes:odd=name") == [b"kept"] and items["\xa9nam"] == ["X"],
          "freeform item whose name is no field's kept: %s" % list(items.keys()))
    zorvtool("tag", windows_path(path), "Encoding Params=typed")
    check(MP4(path).tags.get("----:com.apple.iTunes:Encoding Params") == [b"typed"],
          "an edited freeform item is the user's text")

    # A renamed chapter is renamed in the chapter text track too.
    book = make_text_track_book(folder, "text-track.m4b")
    check(ffprobe_chapter_titles(book) == ["Chapter 1: Start", "Chapter 2: End"], "text track book made")
    md5 = audio_md5(book)
    for layout, flags in (("moov last", ()), ("fast start", ("-movflags", "+faststart"))):
        book = make_text_track_book(folder, "text-track.m4b", flags)
        result = zorvtool("tag", windows_path(book), "--subsong", "1", "title=A much longer name than before", ok=False)
        check(result.returncode == 0, "%s: chapter renamed: %s" % (layout, result.stderr.strip()))
        want = ["A much longer name than before", "Chapter 2: End"]
        check(ffprobe_chapter_titles(book) == want, "%s: ffprobe reads the new chapter name: %s" %
              (layout, ffprobe_chapter_titles(book)))
        check([c.title for c in MP4(book).chapters] == want and song_titles(book) == want,
              "%s: the chapter list holds it too" % layout)
        zorvtool("tag", windows_path(book), "--subsong", "2", "title=N")
        check(ffprobe_chapter_titles(book) == ["A much longer name than before", "N"] and audio_md5(book) == md5,
              "%s: a second, shorter rename; the audio unchanged: %s" % (layout, ffprobe_chapter_titles(book)))

    # Set and removed on a book with an empty item list: gone for every reader.
    book = make_text_track_book(folder, "bare.m4b", ("-fflags", "+bitexact"))
    zorvtool("tag", windows_path(book), "title=NewT")
    check(ffmpeg_tags(book).get("tags", {}).get("title") == "NewT" and song_titles(book) == ["NewT", "NewT"],
          "title set on every chapter: %s" % ffmpeg_tags(book))
    zorvtool("tag", windows_path(book), "-title")
    probed = ffmpeg_tags(book)
    check("NewT" not in json.dumps(probed) and "NewT" not in json.dumps(song_titles(book)) and
          "\xa9nam" not in (MP4(book).tags or {}), "title removed from every chapter is gone: %s %s" % (probed, song_titles(book)))

    # A refused write changes no byte, whatever trails the file.
    frag = os.path.join(folder, "frag-id3.m4a")
    tool("ffmpeg", "-v", "error", "-y", "-i", os.path.join(folder, "src.wav"), "-c:a", "aac", "-metadata", "title=Old",
         "-movflags", "frag_keyframe+empty_moov", frag)
    with open(frag, "ab") as f:
        f.write(b"TAG" + b"x" * 125)
    before = open(frag, "rb").read()
    result = zorvtool("tag", windows_path(frag), "title=New", ok=False)
    check(result.returncode != 0 and open(frag, "rb").read() == before,
          "fragmented file with an ID3v1 tag: refused, byte-identical (%s)" % result.stderr.strip())


def check_items_of_several_values(folder, last):
    # mutagen stores a list as data children of one item: an edit of another
    # field leaves those items as they were, for every reader.
    path = os.path.join(folder, "lists.m4a")
    shutil.copy(last, path)
    f = MP4(path)
    f["\xa9gen"] = ["Rock", "Jazz"]
    f["trkn"] = [(3, 12), (4, 12)]
    f["disk"] = [(1, 2), (2, 2)]
    f["tmpo"] = [120, 90]
    f["\xa9day"] = ["2009-05-12T00:00:00Z"]
    f.save()
    before, probed = mutagen_items(path), ffmpeg_tags(path)["tags"]
    zorvtool("tag", windows_path(path), "title=X")
    after = mutagen_items(path)
    before.pop("\xa9nam", None)
    check(after.pop("\xa9nam", None) == ["X"] and after == before,
          "several values: every other item reads as before: %s" % after)
    check(MP4(path).tags.get("----:com.apple.iTunes:genre") is None and
          mutagen.File(path, easy=True).get("genre") == ["Rock", "Jazz"],
          "several values: the genres stay in the genre item: %s" % list(after))
    check(ffmpeg_tags(path)["tags"] == dict(probed, title="X"), "several values: ffprobe reads the same: %s" %
          ffmpeg_tags(path)["tags"])
    zorvtool("tag", windows_path(path), "genre=Pop", "genre=Soul")
    check(mutagen.File(path, easy=True).get("genre") == ["Pop", "Soul"] and
          "----:com.apple.iTunes:genre" not in MP4(path).tags, "several genres typed go into the genre item: %s" %
          mutagen_items(path))


def check_in_place_or_through_a_copy(folder, last):
    """A retag goes in place (the file keeps its inode) only while every
    header that readers see change lies within one 4 KiB page; a file whose
    boxes end 4 bytes before a page boundary is rewritten into a copy that
    replaces it (a new inode), through the player's road and the library's
    alike, and reads the same either way."""
    data = open(last, "rb").read()
    for end_in_page, road in ((0, "in place"), (4092, "copy")):
        for command in ("tag", "mp4-tags"):
            path = os.path.join(folder, "road.m4a")
            padding = (end_in_page - len(data) - 8) % 4096 + 8
            open(path, "wb").write(data + padding.to_bytes(4, "big") + b"free" + bytes(padding - 8))
            md5, inode = audio_md5(path), os.stat(path).st_ino
            # Longer than the room an earlier retag left in the item list:
            # the movie box moves.
            title = "%s road %s" % (road, "x" * 600)
            result = zorvtool(command, windows_path(path), "title=" + title, ok=False)
            replaced = os.stat(path).st_ino != inode
            check(result.returncode == 0 and replaced == (road == "copy"),
                  "%s: boxes ending at %d in a page: written %s (%s)" % (command, end_in_page,
                                                                         "through a copy" if replaced else "in place",
                                                                         result.stderr.strip()))
            check(MP4(path).tags["\xa9nam"] == [title] and audio_md5(path) == md5 and
                  not [name for name in os.listdir(folder) if name.endswith(".tmp")],
                  "%s, %s: mutagen reads the new title, the audio is the same, no temporary file is left" % (command, road))


def check_cut_media_data_and_gapless_record_past_the_end(folder, last):
    """A file cut inside its media data is refused untouched, with the
    reason, whether its media data box keeps its size or says 0 ("to the end
    of the file"); a gapless record whose priming, padding or valid samples
    run past the track's end gives no length beyond the track's."""
    # The fast-start fixture has been retagged (its movie box moved last) by now.
    fresh = os.path.join(folder, "fresh_fast.m4a")
    tool("ffmpeg", "-v", "error", "-y", "-i", os.path.join(folder, "src.wav"), "-c:a", "aac", "-b:a", "64k",
         "-movflags", "+faststart", fresh)
    for open_ended in (False, True):
        path = os.path.join(folder, "cut.m4a")
        open(path, "wb").write(mp4_bytes.cut_in_media_data(open(fresh, "rb").read(), open_ended))
        before = open(path, "rb").read()
        result = zorvtool("tag", windows_path(path), "title=never", ok=False)
        check(result.returncode != 0 and open(path, "rb").read() == before,
              "media data cut short, box size %s: refused untouched (%s)" % (0 if open_ended else "kept",
                                                                            result.stderr.strip()))
        # The user learns why, not that the file is unreadable: it plays.
        check("media data lies past the file's boxes" in result.stderr or "cut short" in result.stderr,
              "the refusal says why: %s" % result.stderr.strip())
    trimmed = os.path.join(folder, "trimmed.m4a")
    shutil.copy(last, trimmed)
    gapless_record.add_record(trimmed, 3 * 44100)
    for field, digits in ((1, "FFFFFFFF"), (2, "FFFFFFFF"), (3, "F" * 16)):
        path = os.path.join(folder, "past_end.m4a")
        open(path, "wb").write(mp4_bytes.with_gapless_field(open(trimmed, "rb").read(), field, digits))
        length = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"]["length"]
        check(2.9 < length < 3.2, "gapless record with field %d past the end: length %s s" % (field, length))


def check_freeform_names(folder, last):
    """A freeform item keeps the name it has, in its letter case, as mutagen
    and AtomicParsley wrote it; one made anew takes the name other taggers
    write (the mood as MOOD): readers look names up as written."""
    path = os.path.join(folder, "names.m4a")
    for writer, name in (("mutagen", "MOOD"), ("AtomicParsley", "Mood")):
        shutil.copy(last, path)
        if writer == "mutagen":
            f = MP4(path)
            f["----:com.apple.iTunes:MOOD"] = [MP4FreeForm(b"calm")]
            f.save()
        else:
            tool("AtomicParsley", path, "--rDNSatom", "calm", "name=Mood", "domain=com.apple.iTunes", "--overWrite")
        zorvtool("tag", windows_path(path), "mood=dark")
        names = [k for k in MP4(path).tags.keys() if k.lower() == "----:com.apple.itunes:mood"]
        check(names == ["----:com.apple.iTunes:" + name] and
              MP4(path).tags[names[0]] == [b"dark"], "%s's %s: the edited mood keeps its name: %s" % (writer, name, names))
        listing = subprocess.run(["AtomicParsley", path, "-t"], capture_output=True, text=True).stdout
        check("[com.apple.iTunes;%s] contains: dark" % name in listing, "%s's %s: AtomicParsley reads it: %s" % (writer, name, listing))
    shutil.copy(last, path)
    zorvtool("tag", windows_path(path), "mood=calm", "barcode=0123", "replaygain_track_gain=-1.00 dB")
    names = sorted(k for k in MP4(path).tags.keys() if k.startswith("----"))
    check(names == ["----:com.apple.iTunes:BARCODE", "----:com.apple.iTunes:MOOD",
                    "----:com.apple.iTunes:replaygain_track_gain"], "new freeform items as others name them: %s" % names)


def cover_items(path):
    """The bytes of the "covr" items in the item list, in order."""
    data = open(path, "rb").read()
    _, at, size = mp4_bytes.find(data, b"moov", b"udta", b"meta", b"ilst")
    return [data[start:start + length] for kind, start, length in mp4_bytes.boxes(data, at + 8, at + size)
            if kind == b"covr"]


def pictures(path):
    return [bytes(c) for c in MP4(path).tags.get("covr", [])]


def check_pictures_in_several_cover_items(folder):
    """Two "covr" items, as some taggers leave them, the second with two
    pictures as mutagen writes a list: a title edit keeps every item byte for
    byte in its order; a new or removed front cover changes only the last
    picture, the one the player shows."""
    # Made anew with its movie box last: an item put into it moves no media.
    path = os.path.join(folder, "covers.m4a")
    tool("ffmpeg", "-v", "error", "-y", "-i", os.path.join(folder, "src.wav"), "-c:a", "aac", "-b:a", "64k", path)
    f = MP4(path)
    f["covr"] = [MP4Cover(PNG, MP4Cover.FORMAT_PNG), MP4Cover(JPEG, MP4Cover.FORMAT_JPEG)]
    f.save()
    first = JPEG[:4] + b"\x01" * 60 + JPEG[-2:]
    item = (len(first) + 24).to_bytes(4, "big") + b"covr" + (len(first) + 16).to_bytes(4, "big") + b"data" + \
        (13).to_bytes(4, "big") + bytes(4) + first
    data = mp4_bytes.with_item(open(path, "rb").read(), item)
    open(path, "wb").write(data)
    items = cover_items(path)
    check(len(items) == 2 and fields_of(path).get("front_cover_bytes") == len(JPEG),
          "two cover items, the last picture shows: %s" % fields_of(path))
    zorvtool("tag", windows_path(path), "title=Covers kept")
    check(cover_items(path) == items and MP4(path).tags["\xa9nam"] == ["Covers kept"],
          "title edit: every cover item byte for byte, in order")
    check(pictures(path) == [first, PNG, JPEG], "title edit: mutagen reads all three pictures")
    new = os.path.join(folder, "new-cover.jpg")
    open(new, "wb").write(JPEG[:4] + b"\x02" * 70 + JPEG[-2:])
    retag(path, "--cover=" + windows_path(new))
    check(pictures(path) == [first, PNG, open(new, "rb").read()] and
          cover_items(path)[:1] == items[:1], "new front cover: only the picture shown is replaced")
    retag(path, "--no-cover")
    check(pictures(path) == [first, PNG] and cover_items(path)[:1] == items[:1],
          "front cover removed: the other pictures stay")


def main():
    with tempfile.TemporaryDirectory() as folder:
        last, fast = make_fixtures(folder)
        for name, path in (("moov last", last), ("fast start", fast)):
            tagged = os.path.join(folder, "tagged_" + os.path.basename(path))
            shutil.copy(path, tagged)
            tag_with_mutagen(tagged)
            check_reading(tagged, name)
            check_round_trip(tagged, name)
        ap = os.path.join(folder, "ap.m4a")
        shutil.copy(last, ap)
        check_atomicparsley_items(ap)
        check_damage(folder, last)
        check_layouts(last, fast)
        check_books(folder)
        check_book_edit_of_no_value_after_first_write(folder)
        check_fragmented(folder)
        check_quicktime_meta_and_open_ended_media(folder)
        check_writes_keep_what_others_wrote(folder, last)
        check_items_of_several_values(folder, last)
        check_in_place_or_through_a_copy(folder, last)
        check_cut_media_data_and_gapless_record_past_the_end(folder, last)
        check_freeform_names(folder, last)
        check_pictures_in_several_cover_items(folder)
        check_media_shaped_like_a_leftover(folder, last)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


GROWING = ["title=A new title", "comment=" + "c" * 9000]



def traced_retag(path, changes):
    """The writes, cuts and waits for the disk of a retag, as strace records
    them (see matroska_first_edit_stops.py), or None."""
    with open(path, "rb") as f:
        original = f.read()
    log = path + ".calls"
    subprocess.run(["strace", "-f", "-qq", "-y", "-xx", "-s", "100000000", "-P", path, "-e", "trace=" + TRACED,
                    "-o", log, *zorvtool_cmd("mp4-tags", windows_path(path), *changes)],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(log, errors="replace") as f:
        parsed = parse_calls(f.read())
    os.remove(log)
    if not isinstance(parsed, tuple):
        return None
    with open(path, "rb") as f:
        return with_server_cut(original, parsed[0], f.read())


def decode_errors(path):
    done = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-f", "null", "-"],
                          capture_output=True, text=True)
    return done.stderr.strip() if done.returncode == 0 else "exit %d: %s" % (done.returncode, done.stderr.strip())


def check_after_stop(folder, label, data, media, md5, done):
    """A file a stopped edit left: its audio in a top-level "mdat", an
    AtomicParsley title edit keeps it decodable, and the player's next edit
    (the same one) ends with the boxes of the unstopped edit."""
    path = os.path.join(folder, "stopped.m4a")
    with open(path, "wb") as f:
        f.write(data)
    at = data.find(media)
    holder = [kind for kind, start, size in top_level_boxes_of(data) if start + 8 <= at < start + size]
    check(at >= 0 and holder == ["mdat"],
          "%s: the audio lies in a top-level mdat: %s" % (label, top_level_boxes_of(data)))
    other = os.path.join(folder, "stopped-ap.m4a")
    shutil.copy(path, other)
    tool("AtomicParsley", other, "--title", "By AtomicParsley", "--overWrite")
    errors = decode_errors(other)
    check(not errors and audio_md5(other) == md5,
          "%s: AtomicParsley's edit keeps the audio: %s" % (label, errors[:300]))
    result = retag(path, *GROWING)
    check(result.returncode == 0 and top_level_boxes(path) == top_level_boxes(done) and audio_md5(path) == md5,
          "%s: the next edit ends as the unstopped one: %s, not %s"
          % (label, top_level_boxes(path), top_level_boxes(done)))


def check_media_shaped_like_a_leftover(folder, last):
    """Media data in front of the movie box that another program shaped as a
    stopped edit leaves its old movie box (a movie header, then a "trak" box,
    here holding the samples the track reads, then a "free" header) stays
    media data through the player's title edit, and AtomicParsley's edit
    after it keeps the audio."""
    with open(last, "rb") as f:
        data = f.read()
    md5 = audio_md5(last)
    _, moov_at, moov_size = mp4_bytes.find(data, b"moov")
    _, mdat_at, mdat_size = mp4_bytes.find(data, b"mdat")
    children = [data[at:at + size] for kind, at, size in mp4_bytes.boxes(data, moov_at + 8, moov_at + moov_size)
                if kind != b"udta"]
    samples = data[mdat_at + 8:mdat_at + mdat_size]
    holder = [i for i, child in enumerate(children) if child[4:8] == b"trak"][0]
    before = b"".join(children[:holder]) + (8 + len(samples)).to_bytes(4, "big") + b"trak"
    content = before + samples + b"".join(children[holder + 1:]) + (8).to_bytes(4, "big") + b"free"
    shaped = mp4_bytes.with_media_moved(data, len(before))
    shaped = shaped[:mdat_at] + (8 + len(content)).to_bytes(4, "big") + b"mdat" + content + shaped[mdat_at + mdat_size:]
    path = os.path.join(folder, "shaped.m4a")
    with open(path, "wb") as f:
        f.write(shaped)
    check(audio_md5(path) == md5, "media shaped like a leftover: the crafted file plays")
    result = retag(path, "title=By the player")
    check(result.returncode == 0 and fields_of(path)["fields"].get("title") == ["By the player"],
          "media shaped like a leftover: the player's edit is written: %s" % result.stderr.strip())
    with open(path, "rb") as f:
        edited = f.read()
    check(edited[mdat_at:mdat_at + len(content) + 8] == shaped[mdat_at:mdat_at + len(content) + 8],
          "media shaped like a leftover: the player keeps the media box: %s" % top_level_boxes_of(edited))
    check(not decode_errors(path) and audio_md5(path) == md5, "media shaped like a leftover: plays after the player")
    tool("AtomicParsley", path, "--title", "By AtomicParsley", "--overWrite")
    check(not decode_errors(path) and audio_md5(path) == md5,
          "media shaped like a leftover: AtomicParsley's next edit keeps the audio: %s" % top_level_boxes(path))


def check_book_edit_of_no_value_after_first_write(folder):
    """A growing edit of a book stopped after its first write leaves the old
    file and a "free" header open to the end; an edit that changes no value
    then gives back the old file byte for byte, on both layouts."""
    for layout, movflags in (("movie box last", ()), ("fast start", ("-movflags", "+faststart"))):
        book = make_book(folder, "stopped.m4b", movflags)
        with open(book, "rb") as f:
            old = f.read()
        with open(book, "wb") as f:
            f.write(old + bytes(4) + b"free")
        result = retag(book, "-lyrics")
        with open(book, "rb") as f:
            now = f.read()
        check(result.returncode == 0 and now == old,
              "%s book, an edit of no value after the stop: the old file comes back (%d bytes, not %d): %s"
              % (layout, len(now), len(old), top_level_boxes_of(now)))


def check_stopped_growing_edits(folder, last, fast):
    for layout, source in (("moov last", last), ("fast start", fast)):
        with open(source, "rb") as f:
            original = f.read()
        md5 = audio_md5(source)
        mdat = [b for b in top_level_boxes_of(original) if b[0] == "mdat"][0]
        media = original[mdat[1] + 72:mdat[1] + 584]
        done = os.path.join(folder, "growing-done.m4a")
        shutil.copy(source, done)
        calls = traced_retag(done, GROWING)
        check(calls and fields_of(done)["fields"].get("title") == ["A new title"],
              "%s: the growing edit is written and recorded" % layout)
        if not calls:
            continue
        stops = [index for index, call in enumerate(calls) if call[0] != "flush"]
        for index in stops:
            check_after_stop(folder, "%s, stopped before write %d" % (layout, index), applied(original, calls[:index]),
                             media, md5, done)
        print("%s: %d stops of the growing edit, each mended by the next edit" % (layout, len(stops)))
        if layout != "fast start":
            continue
        # Earlier builds stopped with a "free" header where the old movie box
        # stood that spanned the media data up to the new movie box.
        with open(done, "rb") as f:
            data = bytearray(f.read())
        boxes = top_level_boxes_of(bytes(data))
        freed, staged, moov = boxes[1], boxes[-2], boxes[-1]
        check(freed[0] == "free" and staged == ("free", moov[1] - 8, 8), "fast start: the edit's layout: %s" % boxes)
        data[freed[1]:freed[1] + 4] = (moov[1] - freed[1]).to_bytes(4, "big")
        data[staged[1]:staged[1] + 4] = bytes(4)
        left = os.path.join(folder, "earlier.m4a")
        with open(left, "wb") as f:
            f.write(data)
        result = zorvtool("mp4-tags", windows_path(left), "--check", ok=False)
        check("No MDAT" not in result.stdout, "earlier builds' leftover: the check finds the media: %r" % result.stdout)
        check(audio_md5(left) == md5, "earlier builds' leftover: the audio plays")
        result = retag(left, *GROWING)
        check(result.returncode == 0 and top_level_boxes(left) == top_level_boxes(done) and audio_md5(left) == md5,
              "earlier builds' leftover: the same edit again mends it: %s" % top_level_boxes(left))
        tool("AtomicParsley", left, "--title", "By AtomicParsley", "--overWrite")
        check(not decode_errors(left) and audio_md5(left) == md5, "earlier builds' leftover, mended: AtomicParsley's "
              "edit keeps the audio")


def kills_main():
    with tempfile.TemporaryDirectory() as folder:
        last, fast = make_fixtures(folder)
        check_stopped_growing_edits(folder, last, fast)
        check_kills(folder, last, fast)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
