"""Cue-sheet images as rippers make them: one FLAC or WavPack file whose
embedded sheet gives each track its own PERFORMER and other values, beside
file-level ARTIST and ALBUM tags that the player shows over the sheet's."""
import os
import subprocess

from mutagen.apev2 import APEv2
from mutagen.flac import FLAC

# CR LF line ends, sheet-level REM lines, per-track values of every kind the
# reader takes, one REM it does not and a gap.
SHEET = ('REM GENRE "Chamber Jazz"\r\n'
         'REM DATE 1998\r\n'
         'REM COMMENT "ExactAudioCopy v1.6"\r\n'
         'PERFORMER "The Quartet"\r\n'
         'TITLE "Blue Rooms"\r\n'
         'FILE "Blue Rooms.wav" WAVE\r\n'
         '  TRACK 01 AUDIO\r\n'
         '    TITLE "Opening"\r\n'
         '    PERFORMER "First Guest"\r\n'
         '    SONGWRITER "Ann Writer"\r\n'
         '    ISRC USXX19800001\r\n'
         '    FLAGS DCP\r\n'
         '    REM REPLAYGAIN_TRACK_GAIN -5.00 dB\r\n'
         '    INDEX 01 00:00:00\r\n'
         '  TRACK 02 AUDIO\r\n'
         '    TITLE "Second"\r\n'
         '    PERFORMER "Second Guest"\r\n'
         '    REM DATE 2001\r\n'
         '    REM COMPOSER "Someone"\r\n'
         '    INDEX 00 00:02:00\r\n'
         '    INDEX 01 00:03:00\r\n'
         '  TRACK 03 AUDIO\r\n'
         '    TITLE "Third"\r\n'
         '    PERFORMER "Third Guest"\r\n'
         '    REM GENRE Blues\r\n'
         '    INDEX 01 00:06:00\r\n')
FILE_TAGS = {"ARTIST": "File Artist", "ALBUM": "File Album"}
SECONDS = 9
# Where the sheet is kept: a FLAC comment, a FLAC CUESHEET block alone, a WavPack APE item.
KINDS = ("comment.flac", "block.flac", "image.wv")
# A FLAC with both, as a ripper that writes the block and the comment makes it: the comment is the sheet.
BOTH = "both.flac"


def make_cue_image(path, kind, sheet_text=SHEET, file_tags=None):
    """A SECONDS long image of the given kind (one of KINDS or BOTH) at path, with
    that sheet and those file-level tags (FILE_TAGS by default)."""
    file_tags = FILE_TAGS if file_tags is None else file_tags
    wav = path + ".wav"
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(SECONDS), "sine", "440"],
                   check=True)
    sheet = path + ".cue"
    with open(sheet, "w", encoding="utf-8", newline="") as f:
        f.write(sheet_text)
    if kind.endswith(".wv"):
        tags = [arg for name, value in file_tags.items() for arg in ("-w", "%s=%s" % (name.title(), value))]
        subprocess.run(["wavpack", "-q", "-y", "-w", "Cuesheet=@" + sheet, *tags, wav, "-o", path], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    else:
        subprocess.run(["flac", "-s", "-f", "-o", path, wav], check=True)
        if kind in ("block.flac", BOTH):
            subprocess.run(["metaflac", "--import-cuesheet-from=" + sheet, path], check=True)
        image = FLAC(path)
        for name, value in file_tags.items():
            image[name] = value
        if kind in ("comment.flac", BOTH):
            image["CUESHEET"] = sheet_text
        image.save()
    os.remove(wav)
    os.remove(sheet)


def store_marked_sheet(path, sheet_text):
    """The sheet of an image make_cue_image made replaced by sheet_text behind
    a UTF-8 byte-order mark: in a FLAC comment as metaflac
    --set-tag-from-file stores a sheet file saved with one, in a WavPack item
    by mutagen (wavpack's own -w Cuesheet=@file drops the mark)."""
    if path.endswith(".wv"):
        items = APEv2(path)
        items["Cuesheet"] = "\ufeff" + sheet_text
        items.save()
        return
    sheet = path + ".cue"
    with open(sheet, "w", encoding="utf-8-sig", newline="") as f:
        f.write(sheet_text)
    subprocess.run(["metaflac", "--remove-tag=CUESHEET", "--set-tag-from-file=CUESHEET=" + sheet, path], check=True)
    os.remove(sheet)


def tags(path):
    """{upper-case name: [values]} of the file's comments or APE items, the sheet text among them."""
    if path.endswith(".wv"):
        return {key.upper(): str(value).split("\0") for key, value in APEv2(path).items()}
    return {key.upper(): list(values) for key, values in FLAC(path).tags.as_dict().items()}


def block_sheet(path):
    """The FLAC CUESHEET block as (track number, offset, ISRC, indexes) tuples; None without one or in WavPack."""
    sheet = None if path.endswith(".wv") else FLAC(path).cuesheet
    if sheet is None:
        return None
    return [(t.track_number, t.start_offset, t.isrc, [(i.index_number, i.index_offset) for i in t.indexes])
            for t in sheet.tracks]


def sheet_tracks(text):
    """{track number: [its lines, stripped]} and the lines before the first TRACK under 0."""
    tracks, number = {0: []}, 0
    for line in text.replace("\r\n", "\n").split("\n"):
        words = line.split()
        if not words:
            continue
        if words[0].upper() == "TRACK":
            number = int(words[1])
            tracks[number] = []
        else:
            tracks[number].append(line.strip())
    return tracks
