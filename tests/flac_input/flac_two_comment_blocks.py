#!/usr/bin/python3
"""FLAC files with two VORBIS_COMMENT blocks, as some programs leave them
(values in both; an empty block before a full one): zorvtool and the library
show every field, the first block's value where both hold one; an edit leaves
one comment block that mutagen, ffprobe and metaflac read whole, keeps the
other blocks and the audio, and a removal leaves the field nowhere. FLAC in
Ogg with a second comment packet shows every field too; its edit is refused
with a message, the file unchanged, and so is an edit or a removal over a
comment block that claims more entries or bytes than it holds.

usage: flac_two_comment_blocks.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from mutagen.flac import FLAC

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tiny_png, windows_path, zorvtool_runner  # noqa: E402
from ogg_pages import ogg_pages, sealed  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)

NAMES = ("title", "artist", "album", "genre")


def metaflac(*args):
    return subprocess.run(["metaflac", *args], capture_output=True, text=True, check=True).stdout


def blocks(data):
    """[(type, offset, total length)] of the metadata blocks in file order."""
    pos, found = data.index(b"fLaC") + 4, []
    while True:
        length = 4 + int.from_bytes(data[pos + 1:pos + 4], "big")
        found.append((data[pos] & 0x7F, pos, length))
        if data[pos] & 0x80:
            return found
        pos += length


def comment_block(vendor, *entries, count=None, overrun=0):
    """A VORBIS_COMMENT block (header included, not flagged last); damaged,
    it claims `count` entries, or its last entry `overrun` bytes past its end."""
    def text(value, extra=0):
        raw = value.encode()
        return struct.pack("<I", len(raw) + extra) + raw
    body = text(vendor) + struct.pack("<I", len(entries) if count is None else count)
    body += b"".join(text(entry, overrun if n == len(entries) - 1 else 0) for n, entry in enumerate(entries))
    return bytes([4]) + len(body).to_bytes(3, "big") + body


def insert_block(path, before_type, block):
    """Puts `block` in front of the first block of `before_type`."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    at = next(offset for kind, offset, _ in blocks(data) if kind == before_type)
    data[at:at] = block
    with open(path, "wb") as f:
        f.write(data)


def audio_and_other_blocks(path):
    """The audio frames, and every block but comments and padding, as bytes."""
    with open(path, "rb") as f:
        data = f.read()
    found = blocks(data)
    _, last, length = found[-1]
    # A rewrite may put them in another order (pictures first).
    kept = sorted(bytes([data[offset] & 0x7F]) + data[offset + 1:offset + size]
                  for kind, offset, size in found if kind not in (1, 4))
    return data[last + length:], kept


def decoded(path):
    return subprocess.run(["flac", "-s", "-d", "-c", "--force-raw-format", "--endian=little", "--sign=signed", path],
                          capture_output=True, check=True).stdout


def shown(path):
    fields = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"].get("fields", {})
    fields = {key.lower(): value if isinstance(value, list) else [value] for key, value in fields.items()}
    return tuple(fields.get(name, [None])[0] for name in NAMES)


def readers(path):
    """{reader: (title, artist, album, genre)} of mutagen, ffprobe and metaflac."""
    try:
        tags = FLAC(path).tags or {}
    except Exception:  # noqa: BLE001 (mutagen refuses a file with a damaged comment block whole)
        tags = {}
    found = {"mutagen": tuple(tags[name][0] if name in tags else None for name in NAMES)}
    probe = json.loads(subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                                      capture_output=True, text=True, check=True).stdout)["format"].get("tags", {})
    probe = {key.lower(): value for key, value in probe.items()}
    found["ffprobe"] = tuple(probe.get(name) for name in NAMES)
    exported = {}
    for line in metaflac("--export-tags-to=-", path).splitlines():
        name, _, value = line.partition("=")
        exported.setdefault(name.lower(), value)
    found["metaflac"] = tuple(exported.get(name) for name in NAMES)
    return found


def comment_block_count(path):
    return metaflac("--list", "--block-type=VORBIS_COMMENT", path).count("type: 4 (VORBIS_COMMENT)")


def library_lists(library, view):
    run = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "nav", "--library", windows_path(library), view],
                         capture_output=True, text=True, encoding="utf-8", timeout=120)
    return set(run.stdout.splitlines()[1:])


def make_files(work):
    """A tone tagged by metaflac, with a picture and an application block,
    then reshaped: a second comment block behind the picture, and a copy
    whose only comments stand behind an empty block."""
    wav = os.path.join(work, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "0.5", "sine", "440"], check=True)
    base = os.path.join(work, "base.flac")
    subprocess.run(["flac", "-s", "-f", "-o", base, wav], check=True)
    png = os.path.join(work, "cover.png")
    with open(png, "wb") as f:
        f.write(tiny_png())
    metaflac("--remove-all-tags", "--set-tag=TITLE=First title", "--set-tag=ARTIST=First artist",
             "--import-picture-from=3|image/png|cover|4x1x24|" + png, base)
    insert_block(base, 1, bytes([2]) + (12).to_bytes(3, "big") + b"zorvtest\x01\x02\x03\x04")
    library = os.path.join(work, "library")
    os.makedirs(library)
    two = os.path.join(library, "two_blocks.flac")
    shutil.copyfile(base, two)
    insert_block(two, 1, comment_block("second tagger", "TITLE=Second title", "ALBUM=Second album"))
    empty_first = os.path.join(library, "empty_first.flac")
    shutil.copyfile(base, empty_first)
    insert_block(empty_first, 4, comment_block(""))
    return library, two, empty_first


def check_edits(name, path, vendor, steps):
    """Each (edit, what every reader shows after it) in turn: one comment
    block left, with the vendor string of the first that has one, the other
    blocks and the audio kept."""
    audio, others = audio_and_other_blocks(path)
    pcm = decoded(path)
    for edit, after in steps:
        run = zorvtool("tag", windows_path(path), edit, ok=False)
        check(run.returncode == 0, "%s, %s: the edit succeeds: %s" % (name, edit, run.stderr))
        check(shown(path) == after, "%s, %s: zorvtool shows %r: %r" % (name, edit, after, shown(path)))
        every = readers(path)
        check(all(view == after for view in every.values()),
              "%s, %s: every reader reads %r: %r" % (name, edit, after, every))
        check(comment_block_count(path) == 1,
              "%s, %s: one comment block is left: %s" % (name, edit, metaflac("--list", path)))
        check(audio_and_other_blocks(path) == (audio, others) and decoded(path) == pcm,
              "%s, %s: picture, application block and audio kept" % (name, edit))
        check(metaflac("--show-vendor-tag", path) == vendor, "%s, %s: the vendor string is kept" % (name, edit))


def with_second_comment_packet(path, packet):
    """A page holding `packet` behind the comment packet's, counted among
    the header packets the first packet announces."""
    with open(path, "rb") as f:
        pages = ogg_pages(f.read())
    first = pages[0]
    body = 27 + first[26]
    first[body + 7:body + 9] = (int.from_bytes(first[body + 7:body + 9], "big") + 1).to_bytes(2, "big")
    lacing = bytes([255] * (len(packet) // 255) + [len(packet) % 255])
    header = b"OggS\0\0" + b"\0" * 8 + first[14:18] + b"\0" * 8 + bytes([len(lacing)])
    pages.insert(2, bytearray(header + lacing + packet))
    with open(path, "wb") as f:
        f.write(b"".join(sealed(page, number) for number, page in enumerate(pages)))


def check_ogg_flac(work):
    path = os.path.join(work, "two_packets.oga")
    subprocess.run(["flac", "-s", "-f", "--ogg", "-T", "TITLE=First title", "-T", "ARTIST=First artist", "-o", path,
                    os.path.join(work, "tone.wav")], check=True)
    with_second_comment_packet(path, comment_block("second tagger", "TITLE=Second title", "ALBUM=Second album"))
    check(shown(path) == ("First title", "First artist", "Second album", None),
          "FLAC in Ogg, two comment packets: the first's title, and every field: %r" % (shown(path),))
    with open(path, "rb") as f:
        before = f.read()
    run = zorvtool("tag", windows_path(path), "title=New title", ok=False)
    with open(path, "rb") as f:
        check(run.returncode != 0 and "second comment header" in run.stdout + run.stderr and f.read() == before,
              "FLAC in Ogg, two comment packets: the edit is refused, file unchanged: %s" % run.stderr)


def replace_comment_block(path, block):
    """Puts `block` in the place of the file's comment block."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    _, at, length = next(found for found in blocks(data) if found[0] == 4)
    data[at:at + length] = block
    with open(path, "wb") as f:
        f.write(data)


def check_damaged_blocks(work):
    """A comment block, first, second or the only one, whose count or last
    entry claims more than it holds: zorvtool shows the entries before the
    damage, as ffprobe does, and an edit or a removal of a field it shows is
    refused with a message, the file unchanged (it would drop those
    entries, or what stands behind the damage)."""
    entries = ("ALBUM=Second album", "GENRE=Jazz", "COMPOSER=Behind")
    for name, before_type, block in (
            ("a second block claiming 1000 entries", 1, comment_block("second tagger", *entries[:2], count=1000)),
            ("a second block claiming one entry more", 1, comment_block("second tagger", *entries[:2], count=3)),
            ("a second block whose last entry runs past it", 1, comment_block("second tagger", *entries, overrun=40)),
            ("a first block claiming 1000 entries", 4, comment_block("second tagger", *entries[:2], count=1000)),
            ("the only block claiming 1000 entries", None, comment_block("second tagger", *entries[:2], count=1000)),
            ("the only block whose last entry runs past it", None,
             comment_block("second tagger", *entries, overrun=40))):
        path = os.path.join(work, "damaged.flac")
        shutil.copyfile(os.path.join(work, "base.flac"), path)
        if before_type is None:
            replace_comment_block(path, block)
        else:
            insert_block(path, before_type, block)
        check(shown(path)[2:] == ("Second album", "Jazz"), "%s: zorvtool shows its album and genre: %r" %
              (name, shown(path)))
        with open(path, "rb") as f:
            before = f.read()
        for edit in ("album=New album", "-genre"):
            run = zorvtool("tag", windows_path(path), edit, ok=False)
            with open(path, "rb") as f:
                check(run.returncode != 0 and "damaged" in run.stdout + run.stderr and f.read() == before,
                      "%s, %s: refused, saying why, file unchanged (exit %d): %s" %
                      (name, edit, run.returncode, run.stderr))
        genre = readers(path)["ffprobe"][3]
        check(genre == "Jazz" and comment_block_count(path) == (1 if before_type is None else 2),
              "%s: ffprobe reads the genre, metaflac every block: %r" % (name, genre))


def main():
    work = tempfile.mkdtemp(prefix="zorv-flac-comments-")
    try:
        library, two, empty_first = make_files(work)
        vendor = metaflac("--show-vendor-tag", os.path.join(work, "base.flac"))
        check(comment_block_count(two) == 2 and comment_block_count(empty_first) == 2,
              "metaflac lists both comment blocks of the reshaped files")
        check(shown(two) == ("First title", "First artist", "Second album", None),
              "two blocks: the first block's title, and every field: %r" % (shown(two),))
        check(shown(empty_first) == ("First title", "First artist", None, None),
              "an empty first block hides nothing: %r" % (shown(empty_first),))
        artists, albums = library_lists(library, "artists"), library_lists(library, "albums")
        check(any("First artist" in line for line in artists) and any("Second album" in line for line in albums),
              "the library lists the first block's artist and the second's album: %r %r" % (artists, albums))

        check_edits("two blocks", two, vendor, [
            ("title=New title", ("New title", "First artist", "Second album", None)),
            ("-artist", ("New title", None, "Second album", None))])
        check_edits("an empty first block", empty_first, vendor, [
            ("genre=Jazz", ("First title", "First artist", None, "Jazz"))])
        removed = os.path.join(work, "removed.flac")
        shutil.copyfile(os.path.join(work, "base.flac"), removed)
        insert_block(removed, 1, comment_block("second tagger", "TITLE=Second title", "ALBUM=Second album"))
        check_edits("a removal of a field both blocks hold", removed, vendor, [
            ("-title", (None, "First artist", "Second album", None))])
        check_ogg_flac(work)
        check_damaged_blocks(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("two comment blocks read and edited as one")
    return 0


sys.exit(main())
