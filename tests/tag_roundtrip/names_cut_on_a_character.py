#!/usr/bin/python3
"""Names longer than the field of fixed size that holds them, edited through
zorvtool: an MP4 book's chapter list (255 bytes a name) of ffmpeg's books,
movie box first and last, and an MP3's ID3v1 fields in a code page of two
bytes a character. The field holds the name cut before the character that
does not fit whole, so mutagen still opens the file; the player shows the
whole name where the file has room for it.

usage: names_cut_on_a_character.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from mutagen.id3 import ParseID3v1, delete as id3_delete
from mutagen.mp4 import MP4

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, mp4_chapter_titles, tool, windows_path, zorvtool_runner  # noqa: E402
from chaptered_files import CHAPTERS, make_chaptered  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def subsong_titles(path):
    """The title the player shows for each subsong, in order."""
    subsongs = sorted(json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"], key=lambda s: s["subsong"])
    fields = [{k.lower(): v for k, v in s["info"].get("fields", {}).items()} for s in subsongs]
    return [(f.get("title") or [None])[0] for f in fields]


def cut_on_a_character(name, limit):
    """The longest start of name whose UTF-8 fits limit bytes."""
    while len(name.encode()) > limit:
        name = name[:-1]
    return name


def check_long_chapter_names(folder):
    # 200 two-byte characters, and an ASCII letter before 100 four-byte ones
    # (so that the limit falls inside a character at another offset).
    names = ("\u00e9" * 200, "a" + "\U0001F600" * 100)
    for layout, flags in (("movie box last", ()), ("movie box first", ("-movflags", "+faststart"))):
        for name in names:
            label = "%s, %d-byte characters" % (layout, len(name[-1].encode()))
            book = make_chaptered(os.path.join(folder, "book.m4b"), flags)
            zorvtool("tag", windows_path(book), "--subsong", "1", "title=" + name)
            cut = cut_on_a_character(name, 255)
            try:
                opened = [c.title for c in MP4(book).chapters]
            except Exception as e:  # mutagen refuses the whole file over half a character
                opened = "refused: %s" % e
            check(opened == [cut] + list(CHAPTERS[1:]), "%s: mutagen's chapters, the long one cut on a character "
                  "(%d bytes): %s" % (label, len(cut.encode()), str(opened)[:120]))
            # ffprobe reads the chapter text track, which holds the whole name.
            probed = mp4_chapter_titles(book)[0]
            check(probed == [name] + list(CHAPTERS[1:]), "%s: ffprobe's chapters: %s" % (label, str(probed)[:120]))
            check(subsong_titles(book) == [name] + list(CHAPTERS[1:]), "%s: the player shows the whole name: %s" %
                  (label, str(subsong_titles(book))[:120]))
            # An edit of another chapter keeps the long name as it stands.
            zorvtool("tag", windows_path(book), "--subsong", "2", "title=Two")
            check([c.title for c in MP4(book).chapters] == [cut, "Two", CHAPTERS[2]] and
                  subsong_titles(book) == [name, "Two", CHAPTERS[2]],
                  "%s: the long name kept through the next edit" % label)


def check_id3v1_fields_in_a_double_byte_code_page(folder):
    # Wine takes the system's code page from the locale (Shift-JIS here), and
    # reads its arguments by it. The locale is made for this test alone: a
    # machine need not have generated it.
    locales = os.path.join(folder, "locales")
    os.makedirs(locales, exist_ok=True)
    subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", os.path.join(locales, "ja_JP.UTF-8")],
                   capture_output=True)
    check(os.path.isdir(os.path.join(locales, "ja_JP.UTF-8")), "a Japanese locale could be made for the test")
    japanese = dict(os.environ, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8", LOCPATH=locales)
    wav = os.path.join(folder, "tone.wav")
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440")
    path, only_v1 = os.path.join(folder, "v1.mp3"), os.path.join(folder, "only-v1.mp3")
    tool("lame", "--quiet", "--id3v1-only", "--tt", "Old", "--tn", "3", wav, path)
    # "a" and 15 kana: 31 bytes in Shift-JIS, whose 30-byte title field
    # would end in a lone lead byte; the comment beside a track number holds 28.
    kana = "a" + "\u3042" * 15
    done = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "tag", windows_path(path), "title=" + kana,
                           "comment=" + kana, "album=" + "\u3044" * 20], capture_output=True, text=True, env=japanese,
                          encoding="utf-8", errors="replace")
    check(done.returncode == 0, "ID3v1 in Shift-JIS: written (%s)" % done.stderr.strip())
    block = open(path, "rb").read()[-128:]
    title, album, comment = block[3:33], block[63:93], block[97:125]
    check(title == ("a" + "\u3042" * 14).encode("cp932") + b"\0" and album == ("\u3044" * 15).encode("cp932") and
          comment == ("a" + "\u3042" * 13).encode("cp932") + b"\0" and block[126] == 3,
          "ID3v1 in Shift-JIS: each field ends on a whole character: %r" % block)
    # mutagen reads the block as Latin-1, byte for byte.
    v1 = {name: str(frame) for name, frame in ParseID3v1(block).items()}
    check(v1.get("TIT2") == title.rstrip(b"\0").decode("latin-1") and v1.get("TRCK") == "3",
          "mutagen reads the cut title: %s" % v1)
    # The player reads the block back, without the ID3v2 tag the edit may have added in front.
    shutil.copy(path, only_v1)
    id3_delete(only_v1, delete_v1=False, delete_v2=True)
    done = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "info", windows_path(only_v1)], capture_output=True,
                          text=True, env=japanese, encoding="utf-8", errors="replace")
    fields = {k.lower(): v for k, v in json.loads(done.stdout)["subsongs"][0]["info"].get("fields", {}).items()}
    check(fields.get("title") == ["a" + "\u3042" * 14] and fields.get("album") == ["\u3044" * 15] and
          fields.get("comment") == ["a" + "\u3042" * 13], "the player reads whole characters back: %s" % fields)


def main():
    with tempfile.TemporaryDirectory() as folder:
        check_long_chapter_names(folder)
        check_id3v1_fields_in_a_double_byte_code_page(folder)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
