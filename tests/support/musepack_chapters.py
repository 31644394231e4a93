"""A Musepack file whose chapters mpcchap wrote from a cue sheet: each
chapter with its own track number, title, artist (the same on all) and
songwriter, the file's own APEv2 tag holding FILE_TAGS."""
import os
import subprocess

CHAPTER_TRACKS = """FILE "src.wav" WAVE
  TRACK 01 AUDIO
    TITLE "First"
    PERFORMER "Chapter Artist"
    SONGWRITER "Writer One"
    INDEX 01 00:00:00
  TRACK 02 AUDIO
    TITLE "Second"
    PERFORMER "Chapter Artist"
    SONGWRITER "Writer Two"
    INDEX 01 00:02:00
  TRACK 03 AUDIO
    TITLE "Third"
    PERFORMER "Chapter Artist"
    SONGWRITER "Writer Three"
    INDEX 01 00:04:00
"""
FILE_TAGS = {"Title": "File Title", "Artist": "File Artist", "Album": "The Album", "Comment": "A comment",
             "Genre": "Jazz"}


def make_cue_chaptered(wav, path, sheet_header=""):
    """Encodes `wav` (at least 6 s) into `path` with FILE_TAGS and gives it
    the sheet's three chapters; `sheet_header` goes before the tracks."""
    tags = [arg for name, value in FILE_TAGS.items() for arg in ("--tag", "%s=%s" % (name, value))]
    subprocess.run(["mpcenc", "--silent", "--overwrite", *tags, wav, path], check=True, capture_output=True)
    # The sheet goes before a library scan could list its tracks too.
    sheet = os.path.join(os.path.dirname(path), "sheet.cue")
    with open(sheet, "w") as out:
        out.write(sheet_header + CHAPTER_TRACKS)
    subprocess.run(["mpcchap", path, sheet], check=True, capture_output=True)
    os.remove(sheet)
