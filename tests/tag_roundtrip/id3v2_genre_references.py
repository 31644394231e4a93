#!/usr/bin/python3
"""ID3v2 genre frames in the forms versions 2.2, 2.3 and 2.4 define, made
with mutagen, kid3-cli and byte by byte: references "(17)(8)", "(RX)(CR)",
references with a text behind them, a doubled parenthesis and version 2.4's
separate values. The player shows every genre mutagen reads, a title edit
keeps the frame byte for byte, the library's genre view lists each genre,
and an edit of the genre writes the genres shown. Genre numbers name the
192 genres other taggers name, in ID3v2 references and ID3v1 genre bytes
alike, and ISO-8859-1 text frames stay byte for byte through a title edit.

usage: id3v2_genre_references.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from mutagen.id3 import ID3, TALB, TCON, TIT2, TPE1

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
from native_taglib import build_taglib_reader  # noqa: E402
import id3v22_tags  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)

# The genre frame's strings as stored, and the genres mutagen reads from them.
FORMS = [
    (["(17)(8)"], ["Rock", "Jazz"]),
    (["(RX)(CR)"], ["Remix", "Cover"]),
    (["(17)(8)Eigen"], ["Rock", "Jazz", "Eigen"]),
    (["((foo)"], ["(foo)"]),
]


def genres(path):
    data = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"]
    return {k.lower(): v for k, v in data.get("fields", {}).items()}.get("genre")


def stored_frames(path):
    """Each frame's bytes as stored, header included, by frame id."""
    with open(path, "rb") as f:
        data = f.read()
    version, end = data[3], 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    frames = {}
    pos = 10
    while pos + 10 <= end and data[pos] != 0:
        raw = data[pos + 4:pos + 8]
        length = ((raw[0] << 21) | (raw[1] << 14) | (raw[2] << 7) | raw[3]) if version == 4 else \
            int.from_bytes(raw, "big")
        frames[data[pos:pos + 4].decode("latin-1")] = data[pos:pos + 10 + length]
        pos += 10 + length
    return frames


def genre_frame(path):
    """The genre frame's bytes as stored, header included."""
    return stored_frames(path).get("TCON")


def ffprobe_genre(path):
    return subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "format_tags=genre", "-of",
                           "default=nw=1:nk=1", path], capture_output=True, text=True).stdout.strip()


# TagLib's reading of an MP3's genres, built natively: the ID3v2 tag's and
# the ID3v1 tag's with its genre byte.
TAGLIB_GENRES = r"""
#include <iostream>
#include <taglib/id3v1genres.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
int main(int argc, char** argv) {
  if (argc < 2) return 2;
  TagLib::MPEG::File file(argv[1]);
  if (!file.isValid()) return 1;
  std::cout << (file.ID3v2Tag() ? file.ID3v2Tag()->genre().to8Bit(true) : "") << "\n";
  if (file.ID3v1Tag())
    std::cout << file.ID3v1Tag()->genre().to8Bit(true) << "\n" << file.ID3v1Tag()->genreNumber() << "\n";
  return 0;
}
"""


def build_taglib_genres(work):
    """taglib(path) -> the program's lines."""
    reader = build_taglib_reader(work, "taglib_genres", TAGLIB_GENRES)
    return lambda path: reader(path).splitlines()


def old_name_of_133(plain, work):
    """The name the published list had at 133 before it was replaced, as
    ffmpeg still reads a reference to 133: files tagged with the old list
    hold it."""
    path = os.path.join(work, "old133.mp3")
    tagged(plain, path, 3, ["(133)"])
    return ffprobe_genre(path)


def tagged(plain, path, version, texts):
    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Song"]))
    tags.add(TCON(encoding=1, text=texts))
    tags.save(path, v2_version=version)


def check_forms_read_as_mutagen_reads_them(plain, library):
    """Each form in versions 2.3 and 2.4, and 2.4's "17" and "Jazz" as two
    values: the player shows mutagen's genres, before and after a title
    edit that keeps the frame byte for byte."""
    forms = [(version, texts, expected) for version in (3, 4) for texts, expected in FORMS]
    forms.append((4, ["17", "Jazz"], ["Rock", "Jazz"]))
    for n, (version, texts, expected) in enumerate(forms):
        path = os.path.join(library, "form%d.mp3" % n)
        tagged(plain, path, version, texts)
        what = "v2.%d %r" % (version, texts)
        check(ID3(path)["TCON"].genres == expected, "%s: mutagen reads %r" % (what, expected))
        check(genres(path) == expected, "%s: the player shows %r: %r" % (what, expected, genres(path)))
        frame = genre_frame(path)
        zorvtool("tag", windows_path(path), "title=New")
        check(genre_frame(path) == frame, "%s: a title edit keeps the frame byte for byte" % what)
        check((genres(path), ID3(path)["TCON"].genres) == (expected, expected),
              "%s: the player and mutagen read the genres after the edit: %r" % (what, genres(path)))


def check_version_22_references(plain, library):
    """A version 2.2 genre frame of two references shows both."""
    path = os.path.join(library, "v22.mp3")
    shutil.copy(plain, path)
    id3v22_tags.put_tag(path, [(b"TT2", id3v22_tags.latin("Song")), (b"TCO", id3v22_tags.latin("(17)(8)"))])
    check(genres(path) == ["Rock", "Jazz"], "v2.2: the player shows both genres: %r" % genres(path))


def check_kid3_two_genres_and_a_genre_edit(plain, work):
    """kid3-cli saves two genres into a version 2.3 tag as references: the
    player shows both, and its edit adding a third writes all three."""
    path = os.path.join(work, "kid3.mp3")
    tagged(plain, path, 3, ["Rock"])
    subprocess.run(["kid3-cli", "-c", "set genre 'Rock|Jazz' 2", path], check=True, capture_output=True)
    stored = ID3(path, translate=False)
    check(stored.version == (2, 3, 0) and stored["TCON"].genres == ["Rock", "Jazz"],
          "kid3: a version 2.3 tag of two genres: %r" % stored.pprint())
    check(genres(path) == ["Rock", "Jazz"], "kid3: the player shows both genres: %r" % genres(path))
    zorvtool("tag", windows_path(path), "genre=Rock", "genre=Jazz", "genre=Pop")
    check(genres(path) == ["Rock", "Jazz", "Pop"], "kid3: the player's genre edit reads back: %r" % genres(path))


def check_genre_view(library, old_133):
    """The library's genre view lists every genre of the files."""
    run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "nav", "--library", windows_path(library), "genres"],
                         capture_output=True, text=True, encoding="utf-8", timeout=120)
    listed = set(run.stdout.splitlines()[1:])
    wanted = {"Rock", "Jazz", "Remix", "Cover", "Eigen", "(foo)", "Baroque", "Psybient", "Afro-Punk", "200",
              "Alternative Rock", "Psychadelic"}
    check(run.returncode == 0 and wanted <= listed, "genre view: lists %r: %r %s" % (wanted, listed, run.stderr))
    unwanted = {"Alt. Rock", "Psychedelic", old_133}
    check(not unwanted & listed, "genre view: no genre twice under another spelling: %r" % (unwanted & listed))


def check_genre_numbers_as_other_taggers_name_them(plain, library, taglib, old_133):
    """References to the 192 genres other taggers name, 133 under its
    replacement name, a number past them, and a text behind a reference
    that spells its genre as another tagger does (or as the old list did
    at 133): the player shows one genre for each, through a title edit that
    keeps the frame byte for byte."""
    forms = [(["(150)"], ["Baroque"]), (["(191)"], ["Psybient"]), (["(133)"], ["Afro-Punk"]), (["(200)"], ["200"]),
             (["(40)Alt. Rock"], ["Alternative Rock"]), (["(67)Psychedelic"], ["Psychadelic"]),
             (["(133)" + old_133], ["Afro-Punk"])]
    for n, (texts, expected) in enumerate(forms):
        path = os.path.join(library, "number%d.mp3" % n)
        tagged(plain, path, 3, texts)
        frame = genre_frame(path)
        check(genres(path) == expected, "%r: the player shows %r: %r" % (texts, expected, genres(path)))
        zorvtool("tag", windows_path(path), "title=New")
        check(genre_frame(path) == frame, "%r: a title edit keeps the frame byte for byte" % texts)
        check(genres(path) == expected, "%r: the player shows %r after the edit: %r" % (texts, expected, genres(path)))
    for n, name in [(0, "Baroque"), (1, "Psybient")]:
        path = os.path.join(library, "number%d.mp3" % n)
        check((ID3(path)["TCON"].genres, ffprobe_genre(path)) == ([name], name),
              "(%s): mutagen and ffprobe read %r" % (name, name))
    # ffprobe still names 133 as the old list did; mutagen names it as shown.
    path = os.path.join(library, "number2.mp3")
    check(ID3(path)["TCON"].genres == ["Afro-Punk"], "(133): mutagen reads 'Afro-Punk'")
    for n, name in [(0, "Baroque"), (1, "Psybient")]:
        path = os.path.join(library, "number%d.mp3" % n)
        check(taglib(path)[0] == name, "(%s): TagLib reads %r: %r" % (name, name, taglib(path)))


def id3v1_tagged(plain, path, genre_byte):
    """An MP3 with an ID3v1 tag alone, of a title and the genre byte."""
    shutil.copy(plain, path)
    with open(path, "ab") as f:
        f.write(b"TAG" + b"Song".ljust(30, b"\0") + bytes(94) + bytes([genre_byte]))


def id3v1_genre_byte(path):
    with open(path, "rb") as f:
        f.seek(-128, 2)
        block = f.read(128)
    return block[127] if block[:3] == b"TAG" else None


def check_id3v1_genre_bytes(plain, work, taglib, old_133):
    """An ID3v1 genre byte names what mutagen names, a byte past the list
    shows as its number, a title edit keeps the byte, and a genre typed
    under the list's name, TagLib's or the old name at 133 writes its byte."""
    for byte, expected in [(150, "Baroque"), (191, "Psybient"), (133, "Afro-Punk"), (200, "200")]:
        path = os.path.join(work, "v1_%d.mp3" % byte)
        id3v1_tagged(plain, path, byte)
        check(genres(path) == [expected], "ID3v1 byte %d: the player shows %r: %r" % (byte, expected, genres(path)))
        zorvtool("tag", windows_path(path), "title=New")
        kept = id3v1_genre_byte(path)
        check(kept == byte, "ID3v1 byte %d: a title edit keeps it: %r" % (byte, kept))
        check(genres(path) == [expected], "ID3v1 byte %d: shown after the edit: %r" % (byte, genres(path)))
    for typed, byte in [("Psybient", 191), ("Afro-Punk", 133), (old_133, 133)]:
        path = os.path.join(work, "v1_typed.mp3")
        id3v1_tagged(plain, path, 255)
        zorvtool("tag", windows_path(path), "genre=" + typed)
        stored = id3v1_genre_byte(path)
        check(stored == byte and taglib(path)[2:] == [str(byte)],
              "ID3v1 genre typed %r: byte %d, as TagLib reads it: %r %r" % (typed, byte, stored, taglib(path)))
    path = os.path.join(work, "v1_typed.mp3")
    check(genres(path) == ["Afro-Punk"], "ID3v1 genre typed the old way shows Afro-Punk: %r" % genres(path))


def check_iso_latin_frames_stay(plain, work):
    """ISO-8859-1 text frames beyond ASCII, genres among them, stay byte for
    byte through a title edit in versions 2.3 and 2.4, read as before by
    mutagen and ffprobe; an edit of the genre writes the genres shown."""
    for version in (3, 4):
        for n, genre in enumerate(["(17)Rock Caf\u00e9", "(17)\u00a5(18)"]):
            path = os.path.join(work, "latin%d_%d.mp3" % (version, n))
            shutil.copy(plain, path)
            tags = ID3()
            tags.add(TIT2(encoding=0, text=["Song"]))
            tags.add(TPE1(encoding=0, text=["Caf\u00e9"]))
            tags.add(TALB(encoding=0, text=["\u00c0 la carte"]))
            tags.add(TCON(encoding=0, text=[genre]))
            tags.save(path, v2_version=version)
            what = "v2.%d %r" % (version, genre)
            before, shown, probed = stored_frames(path), ID3(path)["TCON"].genres, ffprobe_genre(path)
            zorvtool("tag", windows_path(path), "title=New")
            after = stored_frames(path)
            for frame_id in ("TCON", "TPE1", "TALB"):
                check(after.get(frame_id) == before[frame_id],
                      "%s: a title edit keeps %s byte for byte" % (what, frame_id))
            check((ID3(path)["TCON"].genres, ffprobe_genre(path)) == (shown, probed),
                  "%s: mutagen and ffprobe read the genres as before: %r" % (what, ID3(path)["TCON"].genres))
            zorvtool("tag", windows_path(path), "genre=Rock", "genre=Jazz Pop")
            # Version 2.3 holds one string: the player joins its values there,
            # and mutagen reads the 2.4 list as two.
            written = ["Rock", "Jazz Pop"] if version == 4 else ["Rock;Jazz Pop"]
            check(ID3(path)["TCON"].genres == written and genres(path) == ["Rock", "Jazz Pop"],
                  "%s: a genre edit writes the genres shown: %r %r" % (what, ID3(path)["TCON"].genres, genres(path)))


def main():
    work = tempfile.mkdtemp(prefix="zorv-genres-")
    try:
        wav = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "0.2", "sine", "440"],
                       check=True)
        plain = os.path.join(work, "plain.mp3")
        subprocess.run(["lame", "--quiet", wav, plain], check=True)
        library = os.path.join(work, "library")
        os.makedirs(library)
        taglib, old_133 = build_taglib_genres(work), old_name_of_133(plain, work)
        check(len(old_133) == 9, "ffprobe names 133 as the old list did: %d letters" % len(old_133))
        check_forms_read_as_mutagen_reads_them(plain, library)
        check_version_22_references(plain, library)
        check_genre_numbers_as_other_taggers_name_them(plain, library, taglib, old_133)
        check_genre_view(library, old_133)
        check_id3v1_genre_bytes(plain, work, taglib, old_133)
        check_iso_latin_frames_stay(plain, work)
        check_kid3_two_genres_and_a_genre_edit(plain, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
