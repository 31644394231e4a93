"""Files whose tracks are chapters, as other programs make them: an M4B and a
Matroska file by ffmpeg from one chapter list, a Musepack file by mpcenc and
mpcchap; each with the file-level tags of BOOK, which every chapter shows
where its own give none, and those tags read back by mutagen (MP4,
Musepack) or mkvextract (the Matroska Tags aimed at no chapter)."""
import os
import subprocess
from xml.etree import ElementTree

import mutagen

BOOK = {"title": "the book", "artist": "Narrator", "album": "Book Album", "genre": "Audiobook", "date": "2020",
        "comment": "Read aloud"}
CHAPTERS = ("Prologue", "Middle Part", "Epilogue")
SECONDS_PER_CHAPTER = 2


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_chaptered(path, ffmpeg_flags=()):
    """A file of three chapters at path, its kind from the extension: .m4b, .mka or .mpc;
    ffmpeg_flags go to the ffmpeg that makes the first two (such as a layout's -movflags)."""
    tone = path + ".wav"
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", str(SECONDS_PER_CHAPTER * len(CHAPTERS)),
        "sine", "440")
    if path.endswith(".mpc"):
        run("mpcenc", "--silent", "--overwrite", *[arg for name, value in BOOK.items()
                                                   for arg in ("--" + ("year" if name == "date" else name), value)],
            tone, path)
        chapters = path + ".ini"
        with open(chapters, "w") as f:
            f.write("".join("[%d]\nTITLE=%s\n" % (i * SECONDS_PER_CHAPTER * 44100, name)
                            for i, name in enumerate(CHAPTERS)))
        run("mpcchap", path, chapters)
    else:
        chapters = path + ".ffmeta"
        with open(chapters, "w") as f:
            f.write(";FFMETADATA1\n" + "".join("%s=%s\n" % item for item in BOOK.items()) +
                    "".join("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" %
                            (i * SECONDS_PER_CHAPTER * 1000, (i + 1) * SECONDS_PER_CHAPTER * 1000, name)
                            for i, name in enumerate(CHAPTERS)))
        codec = ["-c:a", "aac", "-b:a", "64k"] if path.endswith(".m4b") else ["-c:a", "flac"]
        run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-i", chapters, "-map", "0:a", "-map_metadata", "1",
            "-map_chapters", "1", *codec, *ffmpeg_flags, path)
    os.remove(tone)
    os.remove(chapters)
    return path


def matroska_file_tags(path):
    """{lower-case TagName: [values]} of the Tags aimed at no chapter."""
    xml = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True, check=True).stdout
    tags = {}
    if not xml.strip():
        return tags
    for tag in ElementTree.fromstring(xml.lstrip("\ufeff").encode()).iter("Tag"):
        if tag.find("Targets/ChapterUID") is not None:
            continue
        for simple in tag.findall("Simple"):
            tags.setdefault(simple.findtext("Name", "").lower(), []).append(simple.findtext("String"))
    return tags


def file_tags(path):
    """{lower-case name: [values]} of the file's own tags as another program reads them."""
    if path.endswith(".mka"):
        return matroska_file_tags(path)
    tags = mutagen.File(path, easy=path.endswith(".m4b")).tags or {}
    return {key.lower(): [str(value) for value in values] if isinstance(values, list) else str(values).split("\0")
            for key, values in tags.items()}


def chapter_names(path):
    """The chapter names ffprobe reads."""
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "chapter_tags=title", "-of", "csv=p=0", path],
                         capture_output=True, text=True).stdout
    return [line for line in out.splitlines() if line]
