#!/usr/bin/python3
"""ID3v2 genre frames in the forms versions 2.2, 2.3 and 2.4 define, made
with mutagen, kid3-cli and byte by byte: references "(17)(8)", "(RX)(CR)",
references with a text behind them, a doubled parenthesis and version 2.4's
separate values. The player shows every genre mutagen reads, a title edit
keeps the frame byte for byte, the library's genre view lists each genre,
and an edit of the genre writes the genres shown.

usage: id3v2_genre_references.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from mutagen.id3 import ID3, TCON, TIT2

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
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


def genre_frame(path):
    """The genre frame's bytes as stored, header included."""
    with open(path, "rb") as f:
        data = f.read()
    version, end = data[3], 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    pos = 10
    while pos + 10 <= end and data[pos] != 0:
        raw = data[pos + 4:pos + 8]
        length = ((raw[0] << 21) | (raw[1] << 14) | (raw[2] << 7) | raw[3]) if version == 4 else \
            int.from_bytes(raw, "big")
        if data[pos:pos + 4] == b"TCON":
            return data[pos:pos + 10 + length]
        pos += 10 + length
    return None


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


def check_genre_view(library):
    """The library's genre view lists every genre of the files."""
    run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "nav", "--library", windows_path(library), "genres"],
                         capture_output=True, text=True, encoding="utf-8", timeout=120)
    listed = set(run.stdout.splitlines()[1:])
    wanted = {"Rock", "Jazz", "Remix", "Cover", "Eigen", "(foo)"}
    check(run.returncode == 0 and wanted <= listed, "genre view: lists %r: %r %s" % (wanted, listed, run.stderr))


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
        check_forms_read_as_mutagen_reads_them(plain, library)
        check_version_22_references(plain, library)
        check_genre_view(library)
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
