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
from ogg_pages import ogg_crc  # noqa: E402

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


def header_packets(data, wanted=2):
    """The first packets of the file, pieced together from the pages' lacing."""
    packets, current, at = [], b"", 0
    while len(packets) < wanted:
        segments = data[at + 26]
        body = at + 27 + segments
        for size in data[at + 27:body]:
            current += data[body:body + size]
            body += size
            if size < 255:
                packets.append(current)
                current = b""
        at = body
    return packets


def raw_comment_entries(path):
    """The comment header's entries as bytes, in file order."""
    packet = header_packets(open(path, "rb").read())[1]
    at = 7 if packet.startswith(b"\x03vorbis") else 8
    at += 4 + struct.unpack_from("<I", packet, at)[0]
    count = struct.unpack_from("<I", packet, at)[0]
    at += 4
    entries = []
    for _ in range(count):
        size = struct.unpack_from("<I", packet, at)[0]
        entries.append(packet[at + 4:at + 4 + size])
        at += 4 + size
    return entries


# Entries other taggers leave that no reader takes for a field: mutagen
# writes placeholders of the same length, patched afterwards.
UNREADABLE = [(b"zzraw=abcd", b"zzraw=\xff\xfe\xc3("), (b"zzname=x", b"zzname_x"), (b"zq=noname", b"=zqnoname")]


def with_unreadable_entries(source, kind, target):
    open(target, "wb").write(open(source, "rb").read())
    tags = kind(target)
    for placeholder, _ in UNREADABLE:
        name, value = placeholder.decode().split("=", 1)
        tags[name] = value
    # A back cover with what the player does not keep of a picture.
    back = Picture()
    back.type, back.mime, back.desc, back.width, back.height, back.data = 4, "image/png", "Back", 2, 3, b"\x89PNG\r\n\x1a\nback"
    tags["metadata_block_picture"] = [base64.b64encode(back.write()).decode("ascii")]
    tags.save()
    data = bytearray(open(target, "rb").read())
    last_patch = 0
    for placeholder, patched in UNREADABLE:
        last_patch = data.index(placeholder)
        data[last_patch:last_patch + len(patched)] = patched
    # The checksums of the pages up to the last patched one.
    at = 0
    while at <= last_patch:
        end = at + 27 + data[at + 26] + sum(data[at + 27:at + 27 + data[at + 26]])
        page = data[at:end]
        page[22:26] = bytes(4)
        data[at + 22:at + 26] = struct.pack("<I", ogg_crc(page))
        at = end
    open(target, "wb").write(bytes(data))


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

            # A front cover change keeps every other entry byte for byte and
            # in its place: the back cover, and those no reader takes for a
            # field.
            target = os.path.join(folder, "unreadable-" + name)
            with_unreadable_entries(source, kind, target)
            before = raw_comment_entries(target)
            check(all(patched in before for _, patched in UNREADABLE), "%s: the unreadable entries are made" % name)
            code, output = helper("write", windows_path(target), windows_path(picture_path))
            check(code == 0, "%s: writing a picture beside unreadable entries: %s" % (name, output))
            # (A file written anew has its pictures first.)
            after = raw_comment_entries(target)
            new = [e for e in after if e not in before]
            text = lambda entries: [e for e in entries if not e.lower().startswith(b"metadata_block_picture=")]
            check(text(after) == text(before) and all(e in after for e in before) and len(new) == 1 and
                  new[0].startswith(b"METADATA_BLOCK_PICTURE="),
                  "%s: the old entries stay as they were, in order, beside the new picture: %r"
                  % (name, [e[:40] for e in after]))
            # ogginfo warns of the unreadable entries themselves, and of nothing else.
            info = subprocess.run(["ogginfo", target], capture_output=True, text=True, errors="replace")
            warnings = [line for line in info.stdout.splitlines() if "WARNING" in line or "ERROR" in line]
            check(len(warnings) == 2 and all("comment" in line.lower() for line in warnings),
                  "%s: ogginfo finds only the unreadable entries: %s" % (name, warnings))

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
