#!/usr/bin/python3
"""Apply in the tag editor rewrites exactly the tracks whose fields changed.

usage: properties_writeback.py WINE_EXEC BUILD_DIR PROBE_EXE
FLAC, MP3 and Ogg files are tagged with metaflac, mutagen and oggenc; the
probe sets ARTIST for all of them through the editor's rows and the real
metadata update; mutagen reads the result.
"""
import os
import subprocess
import sys
import tempfile

from mutagen.flac import FLAC
from mutagen.id3 import ID3, TIT2, TPE1, TXXX
from mutagen.mp3 import MP3
from mutagen.oggvorbis import OggVorbis

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, PROBE = sys.argv[1:4]


def make_files(work):
    source = os.path.join(work, "source.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "1", "sine", "440"],
                   check=True)
    paths = {}
    for name, tags in (("changed.flac", ["ARTIST=Old", "TITLE=A", "mood=calm"]),
                       ("same.flac", ["artist=New", "TITLE=D"]),
                       ("unread.flac", ["ARTIST=Keep", "TITLE=E", "ALBUM=Kept"])):
        path = paths[name] = os.path.join(work, name)
        subprocess.run(["flac", "-s", "-f", "-o", path, source], check=True)
        subprocess.run(["metaflac"] + ["--set-tag=" + t for t in tags] + [path], check=True)
    mp3 = paths["changed.mp3"] = os.path.join(work, "changed.mp3")
    subprocess.run(["lame", "--quiet", "-b128", source, mp3], check=True)
    id3 = ID3()
    id3.add(TPE1(encoding=3, text=["Old"]))
    id3.add(TIT2(encoding=3, text=["B"]))
    id3.add(TXXX(encoding=3, desc="MOOD", text=["calm"]))
    id3.save(mp3)
    ogg = paths["changed.ogg"] = os.path.join(work, "changed.ogg")
    subprocess.run(["oggenc", "-Q", "-a", "Old", "-t", "C", "-c", "mood=calm", "-o", ogg, source], check=True)
    return paths


def main():
    with tempfile.TemporaryDirectory() as work:
        paths = make_files(work)
        before = {name: open(path, "rb").read() for name, path in paths.items()}
        order = ["changed.flac", "changed.mp3", "same.flac", "!unread.flac", "changed.ogg"]
        args = ["!" + windows_path(paths[n[1:]]) if n.startswith("!") else windows_path(paths[n]) for n in order]
        run = subprocess.run([WINE_EXEC, BUILD_DIR, PROBE, "artist=New", *args], capture_output=True, text=True)
        check(run.returncode == 0 and "completion 0" in run.stdout,
              "the update completes without failures: %d %s %s" % (run.returncode, run.stdout, run.stderr))

        flac = FLAC(paths["changed.flac"])
        check(flac.get("artist") == ["New"] and flac.get("title") == ["A"] and flac.get("mood") == ["calm"],
              "FLAC: the new artist, the other fields kept: %r" % dict(flac.tags or {}))
        mp3 = MP3(paths["changed.mp3"])
        check(str(mp3.get("TPE1")) == "New" and str(mp3.get("TIT2")) == "B" and str(mp3.get("TXXX:MOOD")) == "calm",
              "MP3: the new artist, the other frames kept: %r" % mp3.tags)
        ogg = OggVorbis(paths["changed.ogg"])
        check(ogg.get("artist") == ["New"] and ogg.get("title") == ["C"] and ogg.get("mood") == ["calm"],
              "Ogg: the new artist, the other fields kept: %r" % dict(ogg.tags or {}))
        check(open(paths["same.flac"], "rb").read() == before["same.flac"],
              "a file whose fields already match (names in other case) is not rewritten")
        check(open(paths["unread.flac"], "rb").read() == before["unread.flac"],
              "a file whose info the editor could not read keeps every byte, tags included")
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
