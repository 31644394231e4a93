#!/usr/bin/python3
"""Fields removed from cue images (FLAC with its sheet in a comment, WavPack
with its sheet in an APE item) by zorvtool, from the file as a whole and
from every track: afterwards no track shows them, read back with mutagen,
metaflac or wvunpack, ffprobe and zorvtool itself.

usage: cue_removed_fields.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
from cue_images import FILE_TAGS, make_cue_image, tags  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def first(fields, name):
    value = fields.get(name)
    return value[0] if isinstance(value, list) else value


def subsong_fields(path):
    """{subsong: fields (lower-case names)} of every subsong."""
    subsongs = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"]
    return {s["subsong"]: {k.lower(): v for k, v in s["info"].get("fields", {}).items()} for s in subsongs}


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                         capture_output=True, text=True).stdout
    return {k.lower(): v for k, v in json.loads(out)["format"].get("tags", {}).items()}


# The header gives every field its own line; tracks 1 and 2 their own
# PERFORMER lines, track 2 its own genre, date and comment; track 3 none.
OWN_LINES_SHEET = ('REM GENRE "Chamber Jazz"\r\nREM DATE 1998\r\nREM COMMENT "Ripped"\r\n'
                   'PERFORMER "Sheet Artist"\r\nTITLE "Blue Rooms"\r\nFILE "Blue Rooms.wav" WAVE\r\n'
                   '  TRACK 01 AUDIO\r\n    TITLE "Opening"\r\n    PERFORMER "Performer One"\r\n'
                   '    INDEX 01 00:00:00\r\n'
                   '  TRACK 02 AUDIO\r\n    TITLE "Second"\r\n    PERFORMER "Performer Two"\r\n'
                   '    REM GENRE Blues\r\n    REM DATE 2001\r\n    REM COMMENT "Live"\r\n    INDEX 01 00:03:00\r\n'
                   '  TRACK 03 AUDIO\r\n    TITLE "Third"\r\n    INDEX 01 00:06:00\r\n')
SHEET_LINE = {"artist": "PERFORMER", "genre": "REM GENRE", "date": "REM DATE", "comment": "REM COMMENT"}


def check_removed_fields_stay_removed(work):
    """Cue images whose tracks show the file's own tags over the sheet's lines,
    and whose tracks differ with the sheet alone (the header's PERFORMER,
    genre, date and comment on tracks 1 and 3, track 2's own): the artist, and
    then genre, date and comment, removed from the file as a whole
    (`--subsong 0`) and from every track, end in the same file, whose tags
    (mutagen, metaflac or wvunpack, ffprobe) and sheet hold none of them, so
    no track shows one; the album artist the header PERFORMER gave stays, and
    the same removal again writes nothing."""
    file_tags = dict(FILE_TAGS, GENRE="File Genre", DATE="2020", COMMENT="File note")
    album_artist_first = "Sheet Artist"
    for kind in ("comment.flac", "image.wv"):
        for tagged in (True, False):
            for removed in (["artist"], ["genre", "date", "comment"]):
                case = "%s, %s, %s" % (kind, "file tags" if tagged else "sheet alone", " ".join(removed))
                edit = ["-" + name for name in removed]
                paths = [os.path.join(work, "stay-%s-%s-%s-%s" % (way, tagged, removed[0], kind))
                         for way in ("whole", "every")]
                for path in paths:
                    make_cue_image(path, kind, OWN_LINES_SHEET, file_tags if tagged else {"ALBUM": "File Album"})
                before = subsong_fields(paths[0])
                done = [zorvtool("tag", windows_path(paths[0]), "--subsong", "0", *edit, ok=False),
                        zorvtool("tag", windows_path(paths[1]), *edit, ok=False)]
                check(all(d.returncode == 0 for d in done) and tags(paths[0]) == tags(paths[1]),
                      "%s: both ways store the removal alike: %r %r %r" %
                      (case, [d.stdout + d.stderr for d in done], tags(paths[0]), tags(paths[1])))
                whole = paths[0]
                written, sheet = tags(whole), tags(whole).get("CUESHEET", [""])[0]
                if kind.endswith(".flac"):
                    others = subprocess.run(["metaflac", "--export-tags-to=-", whole], capture_output=True,
                                            text=True).stdout.upper()
                    others = [line for line in others.splitlines() if "=" in line and not line.startswith(" ")]
                else:
                    others = [subprocess.run(["wvunpack", "-q", "-x", name, whole], capture_output=True,
                                             text=True).stdout.strip() for name in removed]
                probed = ffprobe_tags(whole)
                check(not any(name.upper() in written for name in removed) and
                      not any(SHEET_LINE[name] in sheet for name in removed) and
                      not any(line.startswith(name.upper() + "=") for line in others for name in removed) and
                      (kind.endswith(".flac") or others == [""] * len(removed)) and
                      not any(name in probed for name in removed),
                      "%s: no tag or sheet line of it is left: %r %r %r" % (case, written, others, probed))
                shown = subsong_fields(whole)
                check(not any(name in shown[n] for n in (1, 2, 3) for name in removed),
                      "%s: no track shows it: %r" % (case, shown))
                kept = {n: {k: v for k, v in shown[n].items() if k not in removed} for n in (1, 2, 3)}
                check(kept == {n: {k: v for k, v in before[n].items() if k not in removed} for n in (1, 2, 3)} and
                      first(shown[3], "album artist") == album_artist_first,
                      "%s: every track shows its other fields as before: %r %r" % (case, before, shown))
                with open(whole, "rb") as f:
                    once = f.read()
                zorvtool("tag", windows_path(whole), "--subsong", "0", *edit)
                with open(whole, "rb") as f:
                    check(f.read() == once, "%s: the same removal again writes nothing" % case)



def main():
    work = tempfile.mkdtemp(prefix="zorv-cue-removed-")
    try:
        check_removed_fields_stay_removed(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all cue removal checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
