#!/usr/bin/python3
"""Tag writes over damaged tag structures: a write either succeeds and leaves
the decoded audio identical, or is refused with a message and leaves the file
byte for byte as it was.

Shared by one test per group of damage (DAMAGE_GROUPS: tag_write_damage_apev2.py,
tag_write_damage_ogg.py, ...), each making its own files, so that the groups
run side by side and each stays well inside its time on a busy machine.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from tag_files import (Zorvtool, ape_footer_claiming_audio, ape_tag, ffprobe_chapter_titles, make_fixtures,
                       matroska_reader_views, mp4_box, mp4_boxes, run, windows_path)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402
import matroska_bytes  # noqa: E402


def ogg_crc(data):
    crc = 0
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7) if crc & 0x80000000 else crc << 1
            crc &= 0xFFFFFFFF
    return crc


def ogg_pages(data):
    """(header fields, segment table, body) of every page."""
    pages, pos = [], 0
    while pos < len(data):
        assert data[pos:pos + 4] == b"OggS"
        count = data[pos + 26]
        table = list(data[pos + 27:pos + 27 + count])
        start = pos + 27 + count
        pages.append((bytearray(data[pos:pos + 27]), table, data[start:start + sum(table)]))
        pos = start + sum(table)
    return pages


def ogg_page_bytes(header, table, body, sequence=None, crc=True):
    header = bytearray(header)
    if sequence is not None:
        header[18:22] = struct.pack("<I", sequence)
    header[26] = len(table)
    header[22:26] = bytes(4)
    page = bytes(header) + bytes(table) + body
    if crc:
        page = page[:22] + struct.pack("<I", ogg_crc(page)) + page[26:]
    return page


def ogg_with_audio_in_comment_page(data):
    """The first audio page merged into the page that ends the comment header."""
    pages = ogg_pages(data)
    header, table, body = pages[1]
    audio_header, audio_table, audio_body = pages[2]
    merged = bytearray(header)
    merged[6:14] = audio_header[6:14]  # the granule of the audio packet now ending on the page
    out = ogg_page_bytes(pages[0][0], pages[0][1], pages[0][2], crc=False)
    out = data[:len(out)]
    out += ogg_page_bytes(merged, table + audio_table, body + audio_body)
    for n, (h, t, b) in enumerate(pages[3:]):
        out += ogg_page_bytes(h, t, b, sequence=n + 2)
    return out


def ogg_with_damaged_pages(data):
    """One page whose last lacing value claims 20 bytes more (the start of the
    next page), its checksum made valid again, and one page further on with a
    bad checksum."""
    pages = ogg_pages(data)
    wrong_length, bad_checksum = max(2, len(pages) // 3), max(3, len(pages) * 2 // 3)
    out = b""
    for n, (h, t, b) in enumerate(pages):
        page = ogg_page_bytes(h, t, b)
        if n == bad_checksum and n + 1 < len(pages):
            page = bytearray(page)
            page[-10] ^= 0xFF
            page = bytes(page)
        out += page
    # The long page swallows the first bytes of the next one.
    start = len(b"".join(ogg_page_bytes(*p) for p in pages[:wrong_length]))
    header, table, body = pages[wrong_length]
    if table[-1] <= 235:
        following = out[start + 27 + len(table) + len(body):]
        longer = ogg_page_bytes(header, table[:-1] + [table[-1] + 20], body + following[:20])
        out = out[:start] + longer + following[20:]
    return out


def ogg_with_damaged_lacing(data, page, valid_checksum):
    """The first non-zero lacing value of one page made one less: the page's
    checksum then fails, or is made valid again over the shorter page (whose
    packets then split elsewhere and whose last byte is left over)."""
    pages = ogg_pages(data)
    out = b"".join(ogg_page_bytes(*p) for p in pages[:page])
    header, table, body = pages[page]
    at = next(i for i, value in enumerate(table) if value)
    damaged = table[:at] + [table[at] - 1] + table[at + 1:]
    if valid_checksum:
        out += ogg_page_bytes(header, damaged, body[:-1]) + body[-1:]
    else:
        intact = ogg_page_bytes(header, table, body)
        out += intact[:27 + at] + bytes([table[at] - 1]) + intact[28 + at:]
    return out + b"".join(ogg_page_bytes(*p) for p in pages[page + 1:])


def ogg_with_comment_split(data):
    """The page that ends the comment header cut in two after its first
    lacing value of 255 (ValueError when it has none), so that a rewrite
    lays the header pages out anew and renumbers the pages after them."""
    pages = ogg_pages(data)
    header, table, body = pages[1]
    cut = table.index(255) + 1
    first, second = bytearray(header), bytearray(header)
    if cut == 1:
        first[6:14] = struct.pack("<q", -1)  # no packet ends on it
    second[5] |= 1  # continued
    size = sum(table[:cut])
    laid_out = [pages[0], (first, table[:cut], body[:size]), (second, table[cut:], body[size:])] + pages[2:]
    return b"".join(ogg_page_bytes(h, t, b, sequence=n) for n, (h, t, b) in enumerate(laid_out))


def ogg_granule(page):
    return struct.unpack_from("<q", page[0], 6)[0]


def wav_frames(wav):
    """The number of frames in a WAV file's data chunk."""
    block_align = struct.unpack_from("<H", wav, wav.find(b"fmt ") + 20)[0]
    return struct.unpack_from("<I", wav, wav.find(b"data") + 4)[0] // block_align


def flac_with_odd_seektable(data):
    """The seek table's length made 40 (not a multiple of 18), 4 bytes added."""
    pos = 4
    while True:
        kind = data[pos] & 0x7F
        length = int.from_bytes(data[pos + 1:pos + 4], "big")
        if kind == 3:
            return (data[:pos + 1] + (length + 4).to_bytes(3, "big") + data[pos + 4:pos + 4 + length] + b"\xAB" * 4 +
                    data[pos + 4 + length:])
        assert not data[pos] & 0x80
        pos += 4 + length


def flac_blocks(data):
    """(type, length) of every metadata block and the offset of the first frame."""
    pos, blocks = 4, []
    while True:
        blocks.append((data[pos] & 0x7F, int.from_bytes(data[pos + 1:pos + 4], "big")))
        last = data[pos] & 0x80
        pos += 4 + blocks[-1][1]
        if last:
            return blocks, pos


def ape_reaching_over_audio(data):
    """An APEv2 footer (item count 0) whose size reaches back over most of the audio."""
    size = len(data) * 3 // 4
    return data + b"APETAGEX" + struct.pack("<IIII", 2000, size, 0, 0x80000000) + bytes(8)


def mp4_with_size(data, at, size):
    return data[:at] + size.to_bytes(4, "big") + data[at + 4:]


def mp4_tag_damage_shapes(data):
    """One size inside moov/udta/meta made wrong: an item's or its data box's
    (7, 0x7FFFFFFF, 0xFFFFFFFF), the item list's and the handler's (past
    their parent, below a header)."""
    try:
        ilst = mp4_box(data, b"moov", b"udta", b"meta", b"ilst")
        hdlr = mp4_box(data, b"moov", b"udta", b"meta", b"hdlr")
    except StopIteration:
        return
    item_at = ilst[1] + 8
    for size in (7, 0x7FFFFFFF, 0xFFFFFFFF):
        yield "mp4-item-size-%#x" % size, mp4_with_size(data, item_at, size)
        yield "mp4-data-size-%#x" % size, mp4_with_size(data, item_at + 8, size)
    for name, box in (("ilst", ilst), ("hdlr", hdlr)):
        yield "mp4-%s-size-long" % name, mp4_with_size(data, box[1], box[3] + 9)
        yield "mp4-%s-size-short" % name, mp4_with_size(data, box[1], 3)


def mp4_chapter_text_shapes(data):
    """A book's chapter text track damaged where a rename reads it: its chunk
    offset past the end of the file or 0, its first sample's size or length
    far too big, a chunk claiming every sample there could be or numbered 0,
    and the chapter reference naming the audio track instead."""
    def inside(box, *path):
        for kind in path:
            box = next(b for b in mp4_boxes(data, box[1] + box[2], box[1] + box[3]) if b[0] == kind)
        return box

    def put(at, value, width=4):
        return data[:at] + value.to_bytes(width, "big") + data[at + width:]
    try:
        moov = mp4_box(data, b"moov")
        chap = mp4_box(data, b"moov", b"trak", b"tref", b"chap")
        text = next(t for t in mp4_boxes(data, moov[1] + 8, moov[1] + moov[3])
                    if t[0] == b"trak" and data[inside(t, b"mdia", b"hdlr")[1] + 16:][:4] == b"text")
        stbl = inside(text, b"mdia", b"minf", b"stbl")
        stco, stsz, stsc = (inside(stbl, kind) for kind in (b"stco", b"stsz", b"stsc"))
    except StopIteration:
        return
    first_sample = int.from_bytes(data[stco[1] + 16:stco[1] + 20], "big")
    yield "chapter-text-offset-past-end", put(stco[1] + 16, len(data) + 1000)
    yield "chapter-text-offset-0", put(stco[1] + 16, 0)
    yield "chapter-text-size-huge", put(stsz[1] + 20, 0x7FFFFFFF)
    yield "chapter-text-length-past-sample", put(first_sample, 0xFFFF, 2)
    yield "chapter-text-chunk-holds-all", put(stsc[1] + 20, 0xFFFFFFFF)
    yield "chapter-text-chunk-0", put(stsc[1] + 16, 0)
    yield "chapter-reference-to-audio", put(chap[1] + 8, 1)


def cut_after_ape_header(data):
    """The file ends just after the header of its last APEv2 tag."""
    footer = data.rfind(b"APETAGEX")
    header = data.rfind(b"APETAGEX", 0, footer)
    return data[:header + 32] if header >= 0 else None


def with_second_ape_tag(data):
    """The file's last APEv2 tag, header to footer, stored twice in a row."""
    footer = data.rfind(b"APETAGEX")
    header = data.rfind(b"APETAGEX", 0, footer)
    if header < 0:
        return None
    end = footer + 32
    return data[:end] + data[header:end] + data[end:]


def unclaimed_files(work):
    """Files of formats no input reads, made by ffmpeg: (name, path, what ffmpeg decodes)."""
    source = os.path.join(work, "unclaimed.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "1", "sine", "440"])
    made = []
    for ext, options in ((".m4v", ["-c:a", "aac"]), (".mov", ["-c:a", "aac"]), (".aac", ["-c:a", "aac"])):
        path = os.path.join(work, "unclaimed" + ext)
        run(["ffmpeg", "-v", "quiet", "-y", "-i", source, *options, path])
        made.append((ext, path, ffmpeg_audio(path)))
    return made


def ffmpeg_audio(path):
    """The audio as ffmpeg decodes it: it plays pages whose checksum is bad."""
    return subprocess.run(["ffmpeg", "-v", "quiet", "-i", path, "-f", "s16le", "-"], capture_output=True).stdout


def matroska_shapes(data):
    """Layouts that Matroska tag writers once lost tags on: no SeekHead, a
    second Tags element no SeekHead names, files cut short, and a Tags
    element whose size is off (which plays, and is never written)."""
    yield "no-seekhead", matroska_bytes.without_seekhead(data)
    for shape, damaged in matroska_bytes.damaged_tags_shapes(data):
        yield "damaged-tags-" + shape, damaged
    try:
        yield "second-tags", matroska_bytes.with_second_tags(data)
    except ValueError:
        pass
    for percent in (25, 50, 75, 95):
        yield "cut-%d" % percent, data[:len(data) * percent // 100]


def tagged(tool, path, changes):
    """zorvtool's tag command on `path`: its exit status, its message and
    whether the file is byte for byte as it was."""
    with open(path, "rb") as f:
        before = f.read()
    rc, _, err = tool.run("tag", windows_path(path), *changes)
    with open(path, "rb") as f:
        return rc, err, f.read() == before


def expect_refused_or_sound(tool, name, path, before_audio, changes=("title=Written over damage",)):
    rc, err, unchanged = tagged(tool, path, changes)
    if rc != 0:
        check(unchanged, "%s: a refused write leaves the file byte-identical" % name)
        check(err.strip() != "", "%s: a refused write says why" % name)
    else:
        check(tool.decoded(path) == before_audio, "%s: a successful write leaves the audio identical" % name)
    return rc


def cut_points(data, is_ogg):
    """Where an interrupted copy ends: for an Ogg file, every 256 bytes through
    the first 4.5 KiB of its first audio page (its header pages whole; the
    reader searches the end of a file a few KiB at a time); else four points
    across the file."""
    start = 0
    for page in ogg_pages(data) if is_ogg else ():
        size = len(page[0]) + len(page[1]) + len(page[2])
        if ogg_granule(page) > 0:
            return [start + kept for kept in range(16, min(size, 4608), 256)]
        start += size
    return [len(data) * k // 5 for k in range(1, 5)]


def expect_refused_or_read_back(tool, name, path, changes):
    """A write is refused with a message and no byte changed, or it succeeds
    and the player, and mutagen where it reads the format, read the title."""
    rc, err, unchanged = tagged(tool, path, changes)
    if rc != 0:
        check(unchanged and err.strip() != "",
              "%s: refused (%s) and left byte-identical: %s" % (name, err.strip(), unchanged))
        return
    wanted = [changes[0].split("=", 1)[1]]
    check((tool.fields(path) or {}).get("title") == wanted, "%s: the player reads the title written" % name)
    if path.endswith((".ogg", ".opus", ".oga")):
        import mutagen
        try:
            title = mutagen.File(path).tags.get("title")
        except Exception as e:  # noqa: BLE001 (any failure to read is what is checked)
            title = "unreadable: %s" % e
        check(title == wanted, "%s: mutagen reads the title written: %s" % (name, title))


def apev2_footer_over_audio(tool, work, fixtures):
    """Trailing APEv2 footers whose size reaches back over the audio are refused."""
    for fixture in ("wv", "mp3trail"):
        path = os.path.join(work, "ape-over-audio-" + os.path.basename(fixtures[fixture]))
        with open(fixtures[fixture], "rb") as f:
            original = f.read()
        # Behind the ID3v1 tag too, where the search meets it second.
        damaged = ape_reaching_over_audio(original)
        with open(path, "wb") as f:
            f.write(damaged)
        audio = tool.decoded(fixtures[fixture])
        check(tool.decoded(path) == audio, "%s: a footer reaching over the audio does not cut playback" % fixture)
        rc = expect_refused_or_sound(tool, "%s with an APEv2 footer over the audio" % fixture, path, audio)
        check(rc != 0, "%s: writing over an APEv2 footer that reaches over the audio is refused" % fixture)


def apev2_footer_claims(tool, work, fixtures):
    """A footer claiming 20 or 2,000 bytes of audio, and a file cut just
    after its tag's header, the tag written or removed: every format with
    trailing tags refuses the same damage."""
    for fixture in ("wv", "mp3trail", "mpc", "mpc7"):
        with open(fixtures[fixture], "rb") as f:
            original = f.read()
        shapes = [("footer over %d audio bytes" % extra, ape_footer_claiming_audio(original, extra))
                  for extra in (20, 2000)]
        if cut_after_ape_header(original) is not None:
            shapes.append(("cut after the tag header", cut_after_ape_header(original)))
        for shape, damaged in shapes:
            for changes in (("-title",), ("-title", "-artist"), ("title=Written over damage",)):
                path = os.path.join(work, "claim-" + os.path.basename(fixtures[fixture]))
                with open(path, "wb") as f:
                    f.write(damaged)
                audio = tool.decoded(path)
                rc = expect_refused_or_sound(tool, "%s %s %s" % (fixture, shape, " ".join(changes)), path,
                                             audio, changes)
                if shape.startswith("footer"):
                    check(rc != 0, "%s, %s: %s is refused" % (fixture, shape, " ".join(changes)))


def apev2_stacked_tags(tool, work, fixtures):
    """A second complete APEv2 tag after the first (before an ID3v1 tag
    where there is one): readers show the last alone, so a write that
    replaced or removed it alone would bring the first one's old values
    back. A write is refused untouched, or mutagen reads what it wrote."""
    from mutagen.apev2 import APEv2
    for fixture in ("wv", "mp3trail", "mpc"):
        with open(fixtures[fixture], "rb") as f:
            stacked = with_second_ape_tag(f.read())
        path = os.path.join(work, "stacked-" + os.path.basename(fixtures[fixture]))
        for changes in (("-title", "-artist"), ("title=Written over damage",)):
            with open(path, "wb") as f:
                f.write(stacked)
            name = "%s with two APEv2 tags, %s" % (fixture, " ".join(changes))
            if expect_refused_or_sound(tool, name, path, tool.decoded(path), changes) == 0:
                try:
                    title = [str(v) for v in APEv2(path).get("Title", [])]
                except Exception as e:  # noqa: BLE001 (mutagen's "no tag" counts for a removal)
                    title = "unreadable: %s" % e if changes[0] != "-title" else []
                check(title == [v for c in changes for v in c.split("=")[1:]],
                      "%s: mutagen reads the title written: %s" % (name, title))


def unclaimed_formats(tool, work, fixtures):
    """A file no input claims is never written, whatever tags it seems to have."""
    for ext, path, played in unclaimed_files(work):
        with open(path, "rb") as f:
            before = f.read()
        rc, _, err = tool.run("tag", windows_path(path), "title=Never written")
        with open(path, "rb") as f:
            check(rc != 0 and f.read() == before and err.strip() != "",
                  "%s: a file no input claims is refused and left byte-identical (%d, %s)" %
                  (ext, rc, err.strip()))
        check(ffmpeg_audio(path) == played and len(played) > 0, "%s: ffmpeg still decodes it" % ext)


def flac_odd_seektable(tool, work, fixtures):
    """A FLAC seek table whose length is no multiple of 18 keeps its length."""
    path = os.path.join(work, "odd-seektable.flac")
    with open(fixtures["flac"], "rb") as f:
        original = f.read()
    damaged = flac_with_odd_seektable(original)
    with open(path, "wb") as f:
        f.write(damaged)
    audio = tool.decoded(path)
    check(audio is not None, "a FLAC file with a 40-byte seek table decodes")
    for changes in (("title=Short",), ("comment=" + "c" * 9000,)):
        copy = path + ".copy.flac"
        shutil.copyfile(path, copy)
        if expect_refused_or_sound(tool, "odd seek table, %d bytes" % len(changes[0]), copy, audio, changes) == 0:
            with open(copy, "rb") as f:
                written = f.read()
            blocks, audio_start = flac_blocks(written)
            check((3, 40) in blocks, "the seek table keeps its 40 bytes: %s" % blocks)
            _, old_start = flac_blocks(damaged)
            check(written[audio_start:] == damaged[old_start:], "the frames follow the metadata unchanged")


def ogg_shared_page(tool, work, fixtures):
    """Ogg files whose first audio packet shares the comment header's page."""
    for fixture in ("ogg", "opus"):
        path = os.path.join(work, "shared-page-" + os.path.basename(fixtures[fixture]))
        with open(fixtures[fixture], "rb") as f:
            shared = ogg_with_audio_in_comment_page(f.read())
        with open(path, "wb") as f:
            f.write(shared)
        audio = tool.decoded(path)
        check(audio is not None, "%s with audio in the comment page decodes" % fixture)
        for changes in (("title=New",), ("comment=" + "c" * 9000,)):
            copy = path + ".copy" + os.path.splitext(path)[1]
            shutil.copyfile(path, copy)
            expect_refused_or_sound(tool, "%s shared page, %d bytes" % (fixture, len(changes[0])), copy, audio,
                                    changes)


def ogg_damaged_comment_packets(tool, work, fixtures):
    """Vorbis, Opus and FLAC in Ogg whose comment packet claims more entries
    than it holds, or whose first entry runs past the packet: an edit or a
    removal would lose what stands behind the damage, so it is refused with
    the file unchanged, saying the comment is damaged where the player reads the file
    (libvorbis takes such a Vorbis stream for no stream at all)."""
    for fixture, prefix in (("ogg", 7), ("opus", 8), ("oga", 4)):
        with open(fixtures[fixture], "rb") as f:
            pages = ogg_pages(f.read())
        header, table, body = pages[1]  # the comment packet starts the second page
        count_at = prefix + 4 + struct.unpack_from("<I", body, prefix)[0]
        for shape, at, value in (("count", count_at, 1000),
                                 ("entry length", count_at + 4, struct.unpack_from("<I", body, count_at + 4)[0] + 5000)):
            damaged = bytearray(body)
            struct.pack_into("<I", damaged, at, value)
            path = os.path.join(work, "damaged-comment-%s.%s" % (shape.replace(" ", "-"), fixture))
            with open(path, "wb") as f:
                f.write(b"".join(ogg_page_bytes(*page) for page in pages[:1] + [(header, table, bytes(damaged))] +
                                 pages[2:]))
            says = "damaged" if tool.fields(path) is not None else ""
            # A removal is weighed against the same damaged packet as an edit.
            for changes in (["album=Written over damage"], ["-title"]):
                rc, err, unchanged = tagged(tool, path, changes)
                check(rc != 0 and unchanged and err.strip() != "" and says in err,
                      "%s, comment packet of a damaged %s, %s: refused, saying why, file unchanged (exit %d %r)" %
                      (fixture, shape, changes[0], rc, err.strip()))


def long_noise(work):
    """Twelve seconds of noise, long enough for many audio pages (made once)."""
    path = os.path.join(work, "long.wav")
    if not os.path.exists(path):
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path, "synth", "12", "pinknoise"])
    return path


def ogg_damaged_pages(tool, work, fixtures):
    """An Ogg Vorbis file with damaged pages keeps every audio byte through a
    rewrite whose header pages change in number."""
    long_wav, long_ogg = long_noise(work), os.path.join(work, "long.ogg")
    # A comment of four pages with the setup header, which the rewrite
    # makes two (the comment's page and the setup header's). A command
    # line argument holds at most 128 KB: the field has two values.
    run(["oggenc", "-Q", "-t", "Old title", "-c", "bigfield=" + "b" * 100000, "-c", "bigfield=" + "b" * 100000,
         long_wav, "-o", long_ogg])
    path = os.path.join(work, "damaged-pages.ogg")
    with open(long_ogg, "rb") as f:
        original = f.read()
    damaged = ogg_with_damaged_pages(original)
    check(damaged != original and len(ogg_pages(original)) > 10, "the Ogg file is damaged")
    with open(path, "wb") as f:
        f.write(damaged)
    audio = tool.decoded(path)
    played = ffmpeg_audio(path)
    rc = expect_refused_or_sound(tool, "ogg damaged pages", path, audio, ("-bigfield",))
    check(rc == 0, "an Ogg file with damaged audio pages can be retagged")
    check(ffmpeg_audio(path) == played and len(played) > 0, "ffmpeg decodes the same audio after the rewrite")
    with open(path, "rb") as f:
        check(f.read().count(b"OggS") < damaged.count(b"OggS"), "the rewrite renumbered the pages")


def ogg_damaged_lacing(tool, work, fixtures):
    """Opus and Vorbis with one damaged lacing value in an audio page (the
    first, one in the middle, the last but one): the player plays on after
    the damaged page, and a long comment that no longer fits the comment's
    page (so the pages after it are renumbered) keeps every frame it played."""
    long_wav = long_noise(work)
    for fixture, encode in (("opus", ["opusenc", "--quiet", "--comment", "big=" + "b" * 60000, long_wav]),
                            ("ogg", ["oggenc", "-Q", "-c", "big=" + "b" * 60000, long_wav, "-o"])):
        base = os.path.join(work, "big-comment." + fixture)
        run(encode + [base])
        with open(base, "rb") as f:
            original = f.read()
        pages = ogg_pages(original)
        intact = wav_frames(tool.decoded(base))
        audio_pages = [n for n, page in enumerate(pages) if ogg_granule(page) > 0]
        for n in (audio_pages[0], audio_pages[len(audio_pages) // 2], audio_pages[-2]):
            for valid_checksum in (False, True):
                name = "%s lacing value damaged in page %d%s" % (
                    fixture, n, ", checksum valid" if valid_checksum else "")
                damaged = ogg_with_damaged_lacing(original, n, valid_checksum)
                path = os.path.join(work, "damaged-lacing." + fixture)
                with open(path, "wb") as f:
                    f.write(damaged)
                audio = tool.decoded(path)
                check(audio is not None, "%s: decodes" % name)
                if not valid_checksum:
                    # The page's packets are lost, and a packet it began.
                    rate = 48000 if fixture == "opus" else 44100
                    lost = ogg_granule(pages[n]) - ogg_granule(pages[n - 1]) + rate // 10
                    check(wav_frames(audio) >= intact - lost,
                          "%s: played on after it (%d of %d frames)" % (name, wav_frames(audio), intact))
                if expect_refused_or_sound(tool, name, path, audio, ("comment=" + "c" * 9000,)) == 0:
                    with open(path, "rb") as f:
                        check(f.read().count(b"OggS") > damaged.count(b"OggS"), "%s: pages renumbered" % name)


def files_cut_short(tool, work, fixtures, names):
    """Files cut short, as an interrupted copy leaves them: a tag written in
    place and one that rewrites the file."""
    for fixture in names:
        with open(fixtures[fixture], "rb") as f:
            original = f.read()
        extension = os.path.splitext(fixtures[fixture])[1]
        for cut in cut_points(original, extension in (".ogg", ".opus", ".oga")):
            for changes in (("title=New",), ("title=New", "comment=" + "c" * 3000)):
                path = os.path.join(work, "cut" + extension)
                with open(path, "wb") as f:
                    f.write(original[:cut])
                expect_refused_or_read_back(tool, "%s cut at %d of %d, %d fields" % (
                    fixture, cut, len(original), len(changes)), path, changes)


def mp4_tag_damage(tool, work, fixtures):
    """One damaged size inside an MP4 file's tags: the audio still plays,
    and a write over it is refused untouched or reads back."""
    with open(fixtures["m4a"], "rb") as f:
        original = f.read()
    audio = tool.decoded(fixtures["m4a"])
    for name, damaged in mp4_tag_damage_shapes(original):
        path = os.path.join(work, name + ".m4a")
        with open(path, "wb") as f:
            f.write(damaged)
        check(tool.decoded(path) == audio, "%s: the audio decodes as before" % name)
        check(ffmpeg_audio(path) == ffmpeg_audio(fixtures["m4a"]), "%s: ffmpeg plays it as before" % name)
        fields = tool.fields(path)
        # An item list whose size runs past its box still holds whole items.
        title = ["Old title"] if name == "mp4-ilst-size-long" else None
        check(fields is not None and fields.get("title") == title,
              "%s: read without the damaged tags: %s" % (name, fields))
        rc = expect_refused_or_sound(tool, name, path, audio)
        if rc == 0:
            check((tool.fields(path) or {}).get("title") == ["Written over damage"], "%s: tags read back" % name)


def mp4_chapter_text(tool, work, fixtures):
    """A chapter text track damaged where a rename reads it: the rename is
    refused untouched or keeps the audio, and both chapter lists agree where
    the track could be read."""
    with open(fixtures["m4b"], "rb") as f:
        original = f.read()
    audio = tool.decoded(fixtures["m4b"])
    for name, damaged in mp4_chapter_text_shapes(original):
        path = os.path.join(work, name + ".m4b")
        with open(path, "wb") as f:
            f.write(damaged)
        before = ffprobe_chapter_titles(path)
        if expect_refused_or_sound(tool, name, path, audio, ("--subsong", "1", "title=Renamed")) == 0:
            after = ffprobe_chapter_titles(path)
            check(after in (before, ["Renamed"] + before[1:]) if before else True,
                  "%s: ffprobe's chapters as before or renamed: %s -> %s" % (name, before, after))


def matroska_layouts(tool, work, fixtures):
    """Matroska layouts: a write is refused untouched, or it keeps the audio
    and its tags read back."""
    for fixture in ("mka", "mkaremux"):
        with open(fixtures[fixture], "rb") as f:
            original = f.read()
        for shape, data in matroska_shapes(original):
            for changes in (("title=Written over damage",), ("title=Written over damage", "comment=" + "c" * 9000)):
                path = os.path.join(work, "%s-%s.mka" % (fixture, shape))
                with open(path, "wb") as f:
                    f.write(data)
                name = "%s %s, %d bytes" % (fixture, shape, len(changes[-1]))
                audio = tool.decoded(path)
                check(audio is not None or shape.startswith("cut"), "%s: decodes" % name)
                if expect_refused_or_sound(tool, name, path, audio, changes) == 0:
                    got = tool.fields(path) or {}
                    comment = [changes[1].split("=", 1)[1]] if len(changes) > 1 else None
                    check(got.get("title") == ["Written over damage"] and got.get("comment") == comment,
                          "%s: the tags read back: %s" % (name, {k: str(v)[:40] for k, v in got.items()}))


def matroska_apev2_behind_the_segment(tool, work, fixtures):
    """ffmpeg's FLAC and stereo Vorbis with an APEv2 tag alone appended
    behind the Segment: an edit in place and one that grows the Tags both
    succeed, every reader reads them, and the tag stays at the file's end,
    where mutagen reads it."""
    from mutagen.apev2 import APEv2
    vorbis = os.path.join(work, "apev2-behind.mka")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", os.path.join(work, "src.wav"), "-c:a", "libvorbis", "-metadata",
         "title=Old title", vorbis])
    appended = ape_tag([("Album", "Record")])
    for source in (fixtures["mka"], vorbis):
        with open(source, "rb") as f:
            data = f.read() + appended
        path = os.path.join(work, "apev2-behind-written.mka")
        with open(path, "wb") as f:
            f.write(data)
        for edit in ("title=A new title", "artist=" + "A longer artist " * 20):
            name = "%s with an APEv2 tag behind the Segment, %s..." % (os.path.basename(source), edit[:20])
            field, value = edit.split("=", 1)
            rc, err, _ = tagged(tool, path, [edit])
            check(rc == 0 and (tool.fields(path) or {}).get(field) == [value],
                  "%s: the edit succeeds (exit %d %s)" % (name, rc, err.strip()))
            views = matroska_reader_views(path)
            check(value.encode() in views["ffprobe"] and value.encode() in views["mkvextract"] and views["mkvinfo"],
                  "%s: ffprobe, mkvextract and mkvinfo read the edit" % name)
            with open(path, "rb") as f:
                written = f.read()
            _, _, start, size = matroska_bytes.segment(written)
            check(written[start + size:] == appended, "%s: the APEv2 tag follows the Segment" % name)
            try:
                album = [str(v) for v in APEv2(path).get("Album", [])]
            except Exception as e:  # noqa: BLE001 (any failure to read is what is checked)
                album = "unreadable: %s" % e
            check(album == ["Record"], "%s: mutagen reads the APEv2 tag: %s" % (name, album))


def matroska_damaged_apev2_behind_tags_that_end_the_segment(tool, work, fixtures):
    """mkvmerge's remux, whose Tags end the Segment, with an APEv2 tag
    stored twice in a row or one whose footer claims more than the file
    holds, and an ID3v1 tag, behind the Segment: an edit that grows the
    Tags by several KB succeeds, and every byte behind the Segment stays
    there, after the grown Segment."""
    with open(fixtures["mkaremux"], "rb") as f:
        remuxed = f.read()
    tag = ape_tag([("Album", "Record")])
    id3v1 = b"TAG" + b"Old title".ljust(30, b"\0") + bytes(95)
    claiming = tag[:-20] + struct.pack("<I", len(tag) + 100000) + tag[-16:]
    for shape, tail in (("stacked", with_second_ape_tag(tag) + id3v1), ("claiming", claiming + id3v1)):
        path = os.path.join(work, "mkaremux-%s-apev2.mka" % shape)
        with open(path, "wb") as f:
            f.write(remuxed + tail)
        name = "mkaremux with a %s APEv2 tag behind the Segment" % shape
        rc, err, _ = tagged(tool, path, ["comment=" + "c" * 6800])
        check(rc == 0 and (tool.fields(path) or {}).get("comment") == ["c" * 6800],
              "%s: the growing edit succeeds (exit %d %s)" % (name, rc, err.strip()))
        with open(path, "rb") as f:
            written = f.read()
        _, _, start, size = matroska_bytes.segment(written)
        check(written[start + size:] == tail, "%s: every byte behind the Segment stays there" % name)
        views = matroska_reader_views(path)
        check(views["mkvinfo"] and b"c" * 6800 in views["mkvextract"], "%s: mkvinfo and mkvextract read it" % name)


def id3v2_frames_the_player_cannot_map(tool, work, fixtures):
    """An ID3v2.4 tag built byte by byte holding a frame whose encoding byte
    is above 3, a user-defined frame without a value and an artist frame of
    1,100 values: a title edit keeps those frames byte for byte and the
    audio, and mutagen goes on reading the file, its 1,100 artists among it."""
    from mutagen.id3 import ID3
    plain = os.path.join(work, "unmapped-plain.mp3")
    run(["lame", "--quiet", "-b", "128", os.path.join(work, "src.wav"), plain])
    with open(plain, "rb") as f:
        audio = f.read()
    artists = ["Artist %d" % n for n in range(1100)]
    kept = [id3v24_frame("TPE2", b"\x05Band"), id3v24_frame("TXXX", b"\x03EMPTY\x00"),
            id3v24_frame("TPE1", b"\x03" + "\x00".join(artists).encode())]
    frames = id3v24_frame("TIT2", b"\x03Old title") + b"".join(kept)
    path = os.path.join(work, "unmapped.mp3")
    with open(path, "wb") as f:
        f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames + audio)
    before_audio = tool.decoded(path)
    rc, err, _ = tagged(tool, path, ["title=New title"])
    check(rc == 0 and tool.decoded(path) == before_audio, "unmapped ID3v2 frames: the title edit succeeds (exit %d "
          "%s) and keeps the audio" % (rc, err.strip()))
    with open(path, "rb") as f:
        written = f.read()
    check(all(frame in written for frame in kept), "unmapped ID3v2 frames: the edit keeps them byte for byte")
    try:
        tags = ID3(path)
        read = (list(tags["TIT2"].text), list(tags["TPE1"].text))
    except Exception as e:  # noqa: BLE001 (any failure to read is what is checked)
        read = "unreadable: %s" % e
    check(read == (["New title"], artists), "unmapped ID3v2 frames: mutagen reads the title and the 1,100 artists: "
          "%s" % str(read)[:200])


def wav_id3_chunks_and_tails(tool, work, fixtures):
    """ffmpeg's WAV with a damaged ID3 chunk behind a sound one, with a later
    ID3v2.4 chunk holding a frame version 2.3 has no form for behind a 2.3
    one, and with a RIFF size that ends before the audio and an ID3v1 tag
    behind it: the player shows what the sound chunks hold, and a title edit
    that would lose a chunk's frames or the audio is refused, saying why,
    with the file byte for byte as it was."""
    from tag_files import id3_chunk
    with open(fixtures["wav"], "rb") as f:
        wav = f.read()
    sound = id3_chunk(b"ID3 ", [("TIT2", "Sound title"), ("TPE1", "Sound artist")])
    damaged = b"id3 " + struct.pack("<I", 14) + b"ID3\x03\0\0\0\0\x01\0TIT2"
    seek = id3v24_frame("SEEK", b"\0\0\1\0")
    v24 = b"ID3 " + struct.pack("<I", 10 + len(seek)) + b"ID3\x04\0\0" + syncsafe(len(seek)) + seek
    id3v1 = b"TAG" + b"ID3v1 title".ljust(30, b"\0") + bytes(94) + b"\xff"
    fmt_end = wav.index(b"fmt ") + 8 + struct.unpack_from("<I", wav, wav.index(b"fmt ") + 4)[0]

    def riff(body):
        return b"RIFF" + struct.pack("<I", len(body)) + body
    for name, data, says in (
            ("a damaged ID3 chunk", riff(wav[8:] + sound + damaged), "damaged"),
            ("a version 2.4 frame in a later ID3 chunk", riff(wav[8:] + sound + v24), "SEEK"),
            ("a RIFF size short of the audio", wav[:4] + struct.pack("<I", fmt_end - 8) + wav[8:] + id3v1, "")):
        path = os.path.join(work, "wav-damage.wav")
        with open(path, "wb") as f:
            f.write(data)
        shown = tool.fields(path) or {}
        if says:
            check(shown.get("title") == ["Sound title"] and shown.get("artist") == ["Sound artist"],
                  "%s: the sound chunk's fields are shown: %s" % (name, shown))
        rc, err, unchanged = tagged(tool, path, ["title=Written over damage"])
        check(rc != 0 and unchanged and err.strip() != "" and says in err,
              "%s: the edit is refused, saying why, with the file unchanged (exit %d %r)" % (name, rc, err.strip()))


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def id3v24_frame(frame_id, payload):
    return frame_id.encode() + syncsafe(len(payload)) + b"\x00\x00" + payload


def subsong_numbers(tool, work, fixtures):
    """A subsong the file does not have, or a subsong that is no number."""
    path = os.path.join(work, "subsong.flac")
    shutil.copyfile(fixtures["flac"], path)
    with open(path, "rb") as f:
        before = f.read()
    for number, says in (("5", "no subsong 5"), ("abc", "\"abc\"")):
        rc, _, err = tool.run("tag", windows_path(path), "title=Never written", "--subsong", number)
        with open(path, "rb") as f:
            check(f.read() == before, "--subsong %s leaves the file byte-identical" % number)
        check(rc != 0 and "subsong" in err and says in err, "--subsong %s fails saying why: %r" % (number, err))


# The tests the damage is shared out to (one script each, tag_write_damage_NAME.py):
# (the kinds of damage, the files cut short), by the files they damage, in
# groups that take about the same time.
DAMAGE_GROUPS = {
    "apev2": ((apev2_footer_over_audio, apev2_footer_claims, apev2_stacked_tags), ("wv", "mpc", "mpc7")),
    "flac_wav_mp3": ((flac_odd_seektable, subsong_numbers, id3v2_frames_the_player_cannot_map,
                      wav_id3_chunks_and_tails),
                     ("flac", "flac2blocks", "wav", "mp3all", "mp3both", "mp3trail")),
    "ogg": ((ogg_shared_page, ogg_damaged_pages, ogg_damaged_lacing, ogg_damaged_comment_packets), ()),
    "ogg_cut": ((), ("ogg", "opus", "oga")),
    "mp4": ((unclaimed_formats, mp4_tag_damage, mp4_chapter_text), ("m4a", "m4afast", "m4afrag", "m4b", "m4bfast")),
    "matroska": ((matroska_layouts, matroska_apev2_behind_the_segment,
                  matroska_damaged_apev2_behind_tags_that_end_the_segment),
                 ("mka", "mkaremux", "mkanoseek", "mkatwo", "mkatrack")),
}


def main(group):
    """Writes over the damage of one of DAMAGE_GROUPS, run as
    SCRIPT WINE_EXEC BUILD_DIR ZORVTOOL_EXE."""
    tool = Zorvtool(*sys.argv[1:4])
    work = tempfile.mkdtemp(prefix="zorv-tag-damage-")
    started = time.monotonic()
    try:
        fixtures = make_fixtures(work)
        fixtures["oga"] = os.path.join(work, "f.oga")
        run(["flac", "-s", "--ogg", "-T", "TITLE=Old title", "-o", fixtures["oga"], os.path.join(work, "src.wav")])
        cut_in_groups = sorted(name for _, cut in DAMAGE_GROUPS.values() for name in cut)
        check(cut_in_groups == sorted(fixtures), "every file is cut short in one group: %s, made %s" %
              (cut_in_groups, sorted(fixtures)))
        damage, cut = DAMAGE_GROUPS[group]
        for kind in damage:
            kind(tool, work, fixtures)
            print("%s: done at %.0f s" % (kind.__name__, time.monotonic() - started), flush=True)
        files_cut_short(tool, work, fixtures, cut)
        print("%d files cut short: done at %.0f s" % (len(cut), time.monotonic() - started), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every write over damage was refused whole or kept the audio")
    return 0
