#!/usr/bin/python3
"""zorvtool nav over a folder of tagged FLAC files: each library view's
caption and entries, in order; and browsing that folder, where two names that
differ only in case (made from Linux) are both listed. Over a folder of
books whose chapters sort otherwise by name (Matroska from ffmpeg and from
mkvmerge, without track numbers, and an MP4 book): every view lists each
file's chapters in the order of the file.

usage: library_nav.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

TRACKS = [  # file, tags (a repeated name gives several values)
    ("a1.flac", [("GENRE", "Rock"), ("GENRE", "Pop"), ("ARTIST", "Anna"), ("ALBUM", "First"), ("DATE", "2001"),
                 ("DISCNUMBER", "1"), ("TRACKNUMBER", "2"), ("TITLE", "Beta")]),
    ("a2.flac", [("GENRE", "Disc 10"), ("ARTIST", "Guest"), ("ALBUM ARTIST", "Anna"), ("ALBUM", "First"),
                 ("DATE", "2001"), ("DISCNUMBER", "2"), ("TRACKNUMBER", "5"), ("TITLE", "Gamma")]),
    ("c1.flac", [("GENRE", "Disc 2"), ("ARTIST", "Carl"), ("ALBUM", "Solo"), ("TRACKNUMBER", "1"), ("TITLE", "Eta")]),
]

CASES = [  # view arguments, expected lines (caption first)
    (["genres"], ["All genres", "Disc 2", "Disc 10", "Pop", "Rock"]),
    (["artists"], ["All artists", "Anna", "Carl", "Guest"]),
    (["genres", "Rock|Pop"], ["All artists in <a>Rock</a>, <a>Pop</a>", "[albums by all artists]", "Anna"]),
    (["albums"], ["All albums", "[songs from all albums]", "Anna - First [2001]", "Carl - Solo"]),
    (["artists", "Anna"], ["All albums, artist: <a>Anna</a>", "First [2001]"]),
    (["artists", "Guest"], ["All albums, artist: <a>Guest</a>", "First [2001] // Anna"]),
    (["artists", "Anna", "First [2001]"],
     ["Album: <a>First [2001]</a>, artist: <a>Anna</a>", "1.02. Beta", "2.05. Gamma // Guest"]),
]

BOOK_CHAPTERS = {"book.mka": ("Book", ["Prologue", "Middle Part", "Epilogue"]),
                 "tales.mka": ("Tales", ["Chapter One", "Chapter Two", "Chapter Three"]),
                 "audio.m4b": ("Audio", ["Zulu", "Yankee", "X-ray"])}
BOOK_CASES = [
    (["artists", "Dora", "Book"], ["Album: <a>Book</a>, artist: <a>Dora</a>", "Prologue", "Middle Part", "Epilogue"]),
    (["artists", "Dora", "Tales"],
     ["Album: <a>Tales</a>, artist: <a>Dora</a>", "Chapter One", "Chapter Two", "Chapter Three"]),
    # The book's chapters are numbered: its album lists them by number, and
    # the songs of every album by title, each file's chapters in its order.
    (["artists", "Dora", "Audio"], ["Album: <a>Audio</a>, artist: <a>Dora</a>", "01. Zulu", "02. Yankee", "03. X-ray"]),
    (["artists", "Dora", ""], ["All songs, artist: <a>Dora</a>", "Chapter One", "Chapter Two", "Chapter Three",
                               "Prologue", "Middle Part", "Epilogue", "Zulu", "Yankee", "X-ray"]),
]


def make_books(folder):
    """Books made by ffmpeg (their chapters from a metadata file), Matroska
    and MP4, and a Matroska one remuxed by mkvmerge with chapters of its own;
    the tags name the artist and album."""
    tone = os.path.join(folder, "..", "book-tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "0.4", "sine", "440"], check=True)
    for name, (album, titles) in BOOK_CHAPTERS.items():
        meta = os.path.join(folder, name + ".txt")
        with open(meta, "w") as f:
            f.write(";FFMETADATA1\nartist=Dora\nalbum=%s\n" % album)
            for i, title in enumerate(titles):
                f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" % (100 * i, 100 * i + 100, title))
        remuxed = name == "tales.mka"
        made = os.path.join(folder, "ffmpeg-" + name if remuxed else name)
        subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", tone, "-i", meta, "-map_metadata", "1", "-map_chapters", "1",
                        "-c:a", "aac" if name.endswith(".m4b") else "flac", "-f", "mp4" if name.endswith(".m4b")
                        else "matroska", made], check=True)
        os.remove(meta)
        if remuxed:
            chapters = os.path.join(folder, "chapters.xml")
            with open(chapters, "w") as f:
                f.write('<?xml version="1.0"?><Chapters><EditionEntry>' + "".join(
                    "<ChapterAtom><ChapterTimeStart>00:00:00.%03d</ChapterTimeStart><ChapterDisplay>"
                    "<ChapterString>%s</ChapterString></ChapterDisplay></ChapterAtom>" % (100 * i, title)
                    for i, title in enumerate(titles)) + "</EditionEntry></Chapters>")
            subprocess.run(["mkvmerge", "-q", "--no-chapters", "--chapters", chapters, "-o", os.path.join(folder, name),
                            made], check=True)
            os.remove(made)
            os.remove(chapters)


def views_failing(folder, cases):
    """How many of the library views of FOLDER's tracks list other lines than expected."""
    failing = 0
    for view, expected in cases:
        run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "nav", "--library", windows_path(folder), *view],
                             capture_output=True, text=True, encoding="utf-8", timeout=120)
        lines = run.stdout.splitlines()
        if run.returncode != 0 or lines != expected:
            failing += 1
            print("FAIL: nav %s %s (exit code %d)\n  got      %r\n  expected %r\n  %s" %
                  (os.path.basename(folder), view, run.returncode, lines, expected, run.stderr))
    return failing


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as root:
        tone = os.path.join(root, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "0.1", "sine", "440"],
                       check=True)
        music = os.path.join(root, "music")
        os.makedirs(music)
        for name, tags in TRACKS:
            options = [arg for tag in tags for arg in ("-T", "%s=%s" % tag)]
            subprocess.run(["flac", "-s", "-f", *options, "-o", os.path.join(music, name), tone], check=True)
        failures += views_failing(music, CASES)
        books = os.path.join(root, "books")
        os.makedirs(books)
        make_books(books)
        failures += views_failing(books, BOOK_CASES)
        for name in ("Song.flac", "song.flac"):
            shutil.copy(os.path.join(music, "c1.flac"), os.path.join(music, name))
        os.makedirs(os.path.join(music, "sub"))
        os.makedirs(os.path.join(music, ".git"))
        open(os.path.join(music, "cover.jpg"), "w").write("x")
        open(os.path.join(music, "Folder.jpg"), "w").write("x")
        run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "nav", windows_path(music)],
                             capture_output=True, text=True, encoding="utf-8", timeout=120)
        lines = run.stdout.splitlines()
        expected = ["sub", "a1.flac", "a2.flac", "c1.flac", "Song.flac", "song.flac",
                    "picture: " + windows_path(os.path.join(music, "cover.jpg"))]
        if run.returncode != 0 or lines[1:] != expected or not lines[0].endswith(" \\ music"):
            failures += 1
            print("FAIL: browse (exit code %d)\n  got      %r\n  expected %r\n  %s"
                  % (run.returncode, lines, expected, run.stderr))
    if failures:
        print("%d failure(s)" % failures)
        sys.exit(1)
    print("all checks passed")


main()
