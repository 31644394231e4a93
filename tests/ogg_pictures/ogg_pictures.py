#!/usr/bin/python3
"""Pictures written by the album-art services into files made by oggenc and opusenc.

Each written file must be clean for ogginfo, keep its audio pages, and show
the picture to mutagen; a picture that mutagen wrote must be read back.

usage: ogg_pictures.py WINE_EXEC BUILD_DIR HELPER_EXE
"""
import base64
import os
import random
import struct
import subprocess
import sys
import tempfile

import mutagen.oggopus
import mutagen.oggvorbis
from mutagen.flac import Picture

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, HELPER = sys.argv[1:4]
failures = []
checks = [0]


def check(condition, what):
    checks[0] += 1
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def helper(*args):
    run = subprocess.run([WINE_EXEC, BUILD_DIR, HELPER, *args], capture_output=True, text=True)
    return run.returncode, run.stdout + run.stderr


def audio_pages(path):
    """The first page's body (the codec's identification header, the Opus
    output gain in it), then the bodies of the pages that end an audio packet
    (granule position above 0)."""
    data = open(path, "rb").read()
    bodies, at = [], 0
    while at < len(data):
        if data[at:at + 4] != b"OggS":
            raise ValueError("lost page sync at %d" % at)
        granule = struct.unpack_from("<q", data, at + 6)[0]
        segments = data[at + 26]
        lacing = data[at + 27:at + 27 + segments]
        start = at + 27 + segments
        at = start + sum(lacing)
        if granule > 0 or not bodies:
            bodies.append(data[start:at])
    return bodies


def make_sources(folder):
    wav = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", "-b", "16", wav, "synth", "3", "sine", "440", "gain", "-3"], check=True)
    vorbis = os.path.join(folder, "tone.ogg")
    subprocess.run(["oggenc", "-Q", "-t", "Tone", wav, "-o", vorbis], check=True)
    opus = os.path.join(folder, "tone.opus")
    subprocess.run(["opusenc", "--quiet", "--title", "Tone", wav, opus], check=True)
    return [(vorbis, mutagen.oggvorbis.OggVorbis), (opus, mutagen.oggopus.OggOpus)]


def main():
    random.seed(7)
    # Large enough that the comment outgrows its pages and the file is rebuilt.
    jpeg = b"\xff\xd8\xff\xe0" + bytes(random.getrandbits(8) for _ in range(150000))
    png = b"\x89PNG\r\n\x1a\n" + bytes(random.getrandbits(8) for _ in range(3000))
    with tempfile.TemporaryDirectory() as folder:
        picture_path = os.path.join(folder, "cover.jpg")
        open(picture_path, "wb").write(jpeg)
        for source, kind in make_sources(folder):
            name = os.path.basename(source)

            # Our writer, checked by ogginfo and mutagen.
            target = os.path.join(folder, "written-" + name)
            open(target, "wb").write(open(source, "rb").read())
            code, output = helper("write", windows_path(target), windows_path(picture_path))
            check(code == 0, "%s: writing a picture: %s" % (name, output))
            info = subprocess.run(["ogginfo", target], capture_output=True, text=True)
            check(info.returncode == 0 and "WARNING" not in info.stdout and "ERROR" not in info.stdout,
                  "%s: ogginfo finds the rebuilt file clean: %s" % (name, info.stdout[-400:]))
            check(audio_pages(target) == audio_pages(source), "%s: identification header and audio pages unchanged" % name)
            tags = kind(target)
            fields = tags.get("metadata_block_picture", [])
            check(len(fields) == 1, "%s: one picture field, found %d" % (name, len(fields)))
            if fields:
                picture = Picture(base64.b64decode(fields[0]))
                check(picture.type == 3 and picture.mime == "image/jpeg" and picture.data == jpeg,
                      "%s: mutagen reads the front cover back (type %d, %s)" % (name, picture.type, picture.mime))
            check(tags.get("title") == ["Tone"], "%s: the title stays" % name)

            # Mutagen's picture, read by our reader.
            target = os.path.join(folder, "mutagen-" + name)
            open(target, "wb").write(open(source, "rb").read())
            tags = kind(target)
            picture = Picture()
            picture.type, picture.mime, picture.data = 3, "image/png", png
            tags["metadata_block_picture"] = [base64.b64encode(picture.write()).decode("ascii")]
            tags.save()
            out = os.path.join(folder, "read.bin")
            code, output = helper("read", windows_path(target), windows_path(out))
            check(code == 0 and open(out, "rb").read() == png, "%s: reading mutagen's picture: %s" % (name, output))
    print("%d passed, %d failed" % (checks[0] - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
