#!/usr/bin/python3
"""Damaged and hostile files through zorvtool info, decode and tag; run on demand.

usage: fuzz_inputs.py BUILD_DIR [--cases N] [--seed S] [--jobs J] [--only flac,mp3,...]

Makes small files with Debian's encoders, damages them (bit flips, truncation
at every block boundary, huge and zero size fields, repeated headers, damage
in a book's chapter text track and in the chapters of every format that
holds them, a second ID3v2 tag behind an MP3's first, a zlib-compressed
version 2.4 frame, tags holding lists of tens of thousands of entries) and
runs every case through zorvtool. A case passes when zorvtool ends within the time
bound with success or a one-line error, and a tag write either succeeds with
the decoded audio unchanged or fails with the file byte-identical (a removal
from every track of a cue image also puts the sheet into no other tag and
adds no track override); a crash, a
hang, an allocation failure or an exit with no message is reported with the
file kept for replay.
"""
import argparse
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib
import wave
from concurrent.futures import ThreadPoolExecutor

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "tag_write_safety"))
import tag_files  # noqa: E402
import tag_write_damage  # noqa: E402
sys.path.insert(0, os.path.join(REPO, "tests", "support"))
import mp4_bytes  # noqa: E402
import damaged_streams  # noqa: E402
import cue_images  # noqa: E402
import two_tag_kinds  # noqa: E402
import apev2_layouts  # noqa: E402
import matroska_tag_levels  # noqa: E402
import long_tag_lists  # noqa: E402
TIME_BOUND = 20
# The fixtures whose formats hold the long lists of long_tag_lists, one of each.
LONG_LIST_FIXTURES = ("mka", "flac", "m4alast")


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def run(cmd, **kw):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kw)


def make_fixtures(folder):
    """One small file per format, each with the tags and blocks its parsers read."""
    src = os.path.join(folder, "src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "1.5", "sine", "440", "sine", "660"])
    cue = os.path.join(folder, "sheet.cue")
    with open(cue, "w") as f:
        f.write('TITLE "Album"\nFILE "src.wav" WAVE\n  TRACK 01 AUDIO\n    TITLE "One"\n    INDEX 01 00:00:00\n'
                '  TRACK 02 AUDIO\n    TITLE "Two"\n    INDEX 01 00:01:00\n')
    art = os.path.join(folder, "art.png")
    with open(art, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + bytes(200))
    out = {}
    flac = os.path.join(folder, "f.flac")
    run(["flac", "-s", "-f", "--blocksize=1152", "-T", "TITLE=t", "-T", "ARTIST=a", "--cuesheet=" + cue,
         "--picture=3|image/png||1x1x24|" + art, "--padding=300", "-o", flac, src])
    out["flac"] = flac
    mp3 = os.path.join(folder, "m.mp3")
    run(["lame", "--quiet", "-b", "128", "--tt", "title", "--ta", "artist", "--add-id3v2", "--ti", art, src, mp3])
    out["mp3"] = mp3
    vbr = os.path.join(folder, "v.mp3")
    run(["lame", "--quiet", "-V", "4", "--id3v1-only", "--tt", "t", src, vbr])
    out["mp3vbr"] = vbr
    cbr = os.path.join(folder, "c.mp3")
    run(["lame", "--quiet", "-t", "-b", "128", src, cbr])
    with open(cbr, "ab") as f:  # no VBR header, an APEv2 tag at the end
        item = struct.pack("<II", 5, 0) + b"Title\0title"
        block = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(item) + 32, 1, flags) + bytes(8)
        f.write(block(0xA0000000) + item + block(0x80000000))
    out["mp3cbr"] = cbr
    wav = os.path.join(folder, "w.wav")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-metadata", "title=wt", "-metadata", "artist=wa", wav])
    out["wav"] = wav
    for name, encoding in (("msadpcm", "ms-adpcm"), ("imaadpcm", "ima-adpcm")):
        out[name] = os.path.join(folder, name + ".wav")
        run(["sox", src, "-e", encoding, out[name]])
    for name, options in (("rf64", ["-rf64", "always"]), ("w64", ["-f", "w64"])):
        out[name] = os.path.join(folder, name + (".w64" if name == "w64" else ".wav"))
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, *options, out[name]])
    out["ogg"] = os.path.join(folder, "v.ogg")
    run(["oggenc", "-Q", "-t", "ot", "-a", "oa", src, "-o", out["ogg"]])
    out["opus"] = os.path.join(folder, "o.opus")
    run(["opusenc", "--quiet", "--title", "ot", src, out["opus"]])
    wv = os.path.join(folder, "p.wv")
    run(["wavpack", "-q", "-y", "-w", "Title=wvt", "-w", "Artist=wva", src, "-o", wv])
    out["wv"] = wv
    wvc = os.path.join(folder, "h.wv")
    run(["wavpack", "-q", "-y", "-b3", "-c", src, "-o", wvc])
    out["wvhybrid"] = wvc
    for name, options in (("m4a", ["-c:a", "aac", "-movflags", "+faststart"]),
                          ("m4afrag", ["-c:a", "aac", "-movflags", "frag_keyframe+empty_moov", "-frag_duration", "300000"]),
                          ("m4b", ["-c:a", "alac", "-movflags", "+faststart", "-metadata", "title=bt", "-f", "ipod"]),
                          ("m4alast", ["-c:a", "aac", "-metadata", "title=t", "-metadata", "artist=a"])):
        out[name] = os.path.join(folder, name + (".m4b" if name == "m4b" else ".m4a"))
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, *options, out[name]])
    # Cue images whose file-level ARTIST shows over the sheet's own
    # PERFORMERs; their tag write retitles one track (see check_case).
    for name, kind in (("cueflac", "comment.flac"), ("cueflacblock", "block.flac"), ("cueflacboth", cue_images.BOTH),
                       ("cuewv", "image.wv")):
        out[name] = os.path.join(folder, name + os.path.splitext(kind)[1])
        cue_images.make_cue_image(out[name], kind)
    # The same with the file-level tags of rips beside the sheet; their tag
    # write removes one of those from every track (see check_case).
    rip_tags = dict(cue_images.FILE_TAGS, COMMENT="Ripped", COMPOSER="Ann Writer", BPM="120")
    for name, kind in (("cueallflac", "comment.flac"), ("cueallflacblock", "block.flac"),
                       ("cueallflacboth", cue_images.BOTH), ("cueallwv", "image.wv")):
        out[name] = os.path.join(folder, name + os.path.splitext(kind)[1])
        cue_images.make_cue_image(out[name], kind, file_tags=rip_tags)
    out.update(two_tag_kind_fixtures(folder, src))
    out.update(mp4_book_fixtures(folder, src))
    out.update(mp4_trimmed_fixture(folder, src))
    out.update(musepack_and_wma_fixtures(folder, src))
    out.update(chapter_fixtures(folder, src, cue))
    out.update(make_matroska_fixtures(folder, src))
    return out


def mp4_book_fixtures(folder, src):
    """An AAC book whose chapters are named in a chapter list and a chapter
    text track, with a binary freeform item where mutagen is there to add it
    (a tag edit renames every chapter, so the text track is rewritten); and
    a fragmented file with an ID3v1 tag after its fragments, whose write is
    refused and must leave every byte."""
    chapters = os.path.join(folder, "chapters.txt")
    with open(chapters, "w") as f:
        f.write(";FFMETADATA1\ntitle=bt\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=700\ntitle=One\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=700\nEND=1500\ntitle=Two\n")
    out = {"m4bchap": os.path.join(folder, "chap.m4b"), "m4afragid3": os.path.join(folder, "fragid3.m4a")}
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-i", chapters, "-map", "0:a", "-map_metadata", "1",
         "-map_chapters", "1", "-c:a", "aac", out["m4bchap"]])
    try:
        from mutagen.mp4 import MP4, AtomDataType, MP4FreeForm
        book = MP4(out["m4bchap"])
        book["----:com.apple.iTunes:Encoding Params"] = [MP4FreeForm(b"vers\0\0\0\1", AtomDataType.IMPLICIT)]
        book.save()
    except ImportError:
        pass
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-movflags", "frag_keyframe+empty_moov",
         "-frag_duration", "300000", out["m4afragid3"]])
    with open(out["m4afragid3"], "ab") as f:
        f.write(b"TAG" + b"t" * 125)
    return out


def mp4_trimmed_fixture(folder, src):
    """AAC trimmed by the gapless record iTunes writes, whose genre, track
    and tempo items each hold two values, as mutagen stores lists; none
    without mutagen."""
    try:
        import mutagen.mp4  # noqa: F401
    except ImportError:
        return {}
    import gapless_record
    path = os.path.join(folder, "trimmed.m4a")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", path])
    with wave.open(src) as source:
        valid = source.getnframes()
    gapless_record.add_record(path, valid, **{"\xa9nam": ["t"], "\xa9gen": ["Rock", "Jazz"], "trkn": [(1, 2), (2, 2)],
                                              "tmpo": [120, 90]})
    return {"m4atrimmed": path}


def make_matroska_fixtures(folder, src):
    """Matroska and WebM from ffmpeg, one with stream tags (no level in their
    Targets), an mkvmerge file with chapters, an mkvmerge remux of an Ogg
    Vorbis file (its album artist in a Tag of TargetType ALBUM and no level),
    and the level and chapter shapes of matroska_tag_levels."""
    out = {"mka": os.path.join(folder, "f.mka"), "webm": os.path.join(folder, "o.webm"),
           "mkastreamtags": os.path.join(folder, "s.mka")}
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "flac", "-metadata", "title=mt", out["mka"]])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "libopus", "-metadata", "title=wt", out["webm"]])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "flac", "-metadata:s:a:0", "artist=sa",
         "-metadata:s:a:0", "genre=sg", out["mkastreamtags"]])
    chapters = os.path.join(folder, "chapters.txt")
    with open(chapters, "w") as f:
        f.write("CHAPTER01=00:00:00.000\nCHAPTER01NAME=One\nCHAPTER02=00:00:00.700\nCHAPTER02NAME=Two\n")
    out["mkvmerge"] = os.path.join(folder, "c.mka")
    run(["mkvmerge", "-q", "--chapters", chapters, "-o", out["mkvmerge"], out["mka"]])
    ogg = os.path.join(folder, "albumartist.ogg")
    run(["oggenc", "-Q", "-t", "t", "-a", "a", "-l", "l", "-c", "ALBUMARTIST=aa", src, "-o", ogg])
    out["mkaoggremux"] = os.path.join(folder, "albumartist.mka")
    run(["mkvmerge", "-q", "-o", out["mkaoggremux"], ogg])
    # Tags at several levels and targets: chapters beside ffmpeg's stream
    # tags and a track-level title (its write retitles one chapter, see
    # check_case), a collection's title beside the album's, and an album
    # title aimed at the track beside its track title, and a title at every
    # level from a collection's to a shot's beside chapters; chapters named
    # beside the track's title, and chapters whose artists stand in Tags
    # aimed at one and at two of them (their write edits every chapter).
    out["mkvchaptered"] = matroska_tag_levels.make_chaptered(folder)
    out["mkvcollection"] = matroska_tag_levels.make_collection(folder)
    out["mkvtrackalbum"] = matroska_tag_levels.make_track_album(folder)
    out["mkveverylevel"] = matroska_tag_levels.make_every_level(folder, chapters=True)
    out["mkvnamedchapters"] = matroska_tag_levels.make_named_chapters(folder)
    out["mkvchapterartists"] = matroska_tag_levels.make_chapter_artists(folder)
    return out


def two_tag_kind_fixtures(folder, src):
    """Files with a second tag kind beside the one the player reads, which an
    edit updates only with what changed: MP3 with ID3v2 and a gain tool's
    APEv2 items, MP3 with ID3v2 and an ID3v1 block holding an album alone,
    WavPack and Musepack with APEv2 and ID3v1, WAV with INFO and an id3 chunk."""
    out = {}
    gain = tag_files.ape_tag([("MP3GAIN_MINMAX", "112,200"), ("REPLAYGAIN_TRACK_GAIN", "-6.095000 dB")])
    out["mp3gain"] = os.path.join(folder, "gain.mp3")
    run(["lame", "--quiet", "-b", "128", "--id3v2-only", "--tt", "title", src, out["mp3gain"]])
    out["mp3v1album"] = os.path.join(folder, "v1album.mp3")
    run(["lame", "--quiet", "-b", "128", "--id3v2-only", "--tt", "title", src, out["mp3v1album"]])
    out["wvid3v1"] = os.path.join(folder, "v1.wv")
    run(["wavpack", "-q", "-y", "-w", "Title=wvt", src, "-o", out["wvid3v1"]])
    out["mpcid3v1"] = os.path.join(folder, "v1.mpc")
    run(["mpcenc", "--silent", "--overwrite", "--tag", "Title=t", src, out["mpcid3v1"]])
    for name, tail in (("mp3gain", gain), ("mp3v1album", two_tag_kinds.id3v1_block(b"title", b"v1 album")),
                       ("wvid3v1", two_tag_kinds.id3v1_block(b"wvt", b"v1 album")),
                       ("mpcid3v1", two_tag_kinds.id3v1_block(b"t", b"v1 album"))):
        with open(out[name], "ab") as f:
            f.write(tail)
    out["wavid3"] = os.path.join(folder, "id3.wav")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-metadata", "title=wt", "-metadata", "album=wa", out["wavid3"]])
    frame = b"TIT2" + struct.pack(">I", 4) + b"\0\0\0id3"
    size = bytes((len(frame) >> shift) & 127 for shift in (21, 14, 7, 0))
    tag = b"ID3\x03\0\0" + size + frame
    with open(out["wavid3"], "rb") as f:
        data = f.read() + b"id3 " + struct.pack("<I", len(tag)) + tag + bytes(len(tag) & 1)
    with open(out["wavid3"], "wb") as f:
        f.write(data[:4] + struct.pack("<I", len(data) - 8) + data[8:])
    return out


def musepack_and_wma_fixtures(folder, src):
    """Musepack version 8 (mpcenc) and 7 (built by hand), each with an APEv2
    tag, and WMA (ffmpeg's wmav2)."""
    out = {}
    out["mpc"] = os.path.join(folder, "s8.mpc")
    run(["mpcenc", "--silent", "--overwrite", "--tag", "Title=t", "--tag", "Artist=a", src, out["mpc"]])
    out["mpc7"] = os.path.join(folder, "s7.mpc")
    with open(out["mpc7"], "wb") as f:
        f.write(tag_files.musepack_sv7() + tag_files.ape_tag([("Title", "t"), ("Artist", "a")]))
    out["wma"] = os.path.join(folder, "a.wma")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "wmav2", "-b:a", "128k", "-metadata", "title=t", out["wma"]])
    return out


def chapter_fixtures(folder, src, cue):
    """Musepack with a chapter packet per cue track (mpcchap), and where
    mutagen is there an MP3 whose ID3v2 tag holds a table of contents and
    two chapters, each with its title."""
    out = {"mpcchap": os.path.join(folder, "chapters.mpc")}
    run(["mpcenc", "--silent", "--overwrite", "--tag", "Title=t", "--tag", "Artist=a", src, out["mpcchap"]])
    run(["mpcchap", out["mpcchap"], cue])
    try:
        from mutagen.id3 import CHAP, CTOC, CTOCFlags, ID3, TIT2
    except ImportError:
        return out
    out["mp3chap"] = os.path.join(folder, "chapters.mp3")
    run(["lame", "--quiet", "-b", "128", "--id3v2-only", "--tt", "t", src, out["mp3chap"]])
    tag = ID3(out["mp3chap"])
    tag.add(CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED, child_element_ids=["c1", "c2"],
                 sub_frames=[TIT2(text=["Contents"])]))
    tag.add(CHAP(element_id="c1", start_time=0, end_time=700, sub_frames=[TIT2(text=["One"])]))
    tag.add(CHAP(element_id="c2", start_time=700, end_time=1500, sub_frames=[TIT2(text=["Two"])]))
    tag.save(v2_version=3)
    return out


def chapter_damage_shapes(data):
    """Damaged chapters of every chapter reader: Musepack chapter packets,
    ID3v2 chapter and contents frames, an MP4 chapter list, Matroska
    chapters and cue sheets in a file's tags (chapter text tracks are among
    the tag damage shapes)."""
    if data[:4] == b"MPCK":
        yield from damaged_streams.mpc_chapter_shapes(data)
    if data[:3] == b"ID3":
        yield from damaged_streams.id3v2_chapter_shapes(data)
    if data[4:8] == b"ftyp":
        yield from damaged_streams.nero_chapter_shapes(data)
    if data[:4] == b"\x1a\x45\xdf\xa3":
        yield from damaged_streams.matroska_chapter_shapes(data)
    yield from damaged_streams.cue_sheet_shapes(data)


def mp4_size_fields(data):
    """The size fields of the top-level boxes and of everything inside moov/udta."""
    from tag_files import mp4_boxes
    fields = []

    def walk(start, end, depth):
        for kind, at, header, size in mp4_boxes(data, start, end):
            fields.append((at, 4, "big"))
            if depth < 6 and kind in (b"moov", b"udta", b"meta", b"ilst") or (depth >= 4 and kind[:1] in (b"\xa9", b"-")):
                walk(at + header + (4 if kind == b"meta" else 0), at + size, depth + 1)
    walk(0, len(data), 0)
    return fields


def mp4_cut_shapes(data):
    """An MP4 file cut short as an interrupted download leaves it: at every
    top-level box boundary, and at 25, 50, 75 and 95 per cent. A cut that
    leaves the whole movie box and the first frames must still play."""
    boxes, pos, movie_end, first_media = [], 0, None, None
    while pos + 8 <= len(data):
        size = struct.unpack_from(">I", data, pos)[0]
        if data[pos + 4:pos + 8] == b"moov":
            movie_end = pos + size
        if data[pos + 4:pos + 8] == b"mdat" and first_media is None:
            first_media = pos + 8
        if size < 8:
            break
        boxes.append(pos)
        pos += size
    cuts = set(boxes[1:]) | {len(data) * percent // 100 for percent in (25, 50, 75, 95)}
    for cut in sorted(c for c in cuts if 0 < c < len(data)):
        # A few kilobytes hold the first frames of any of the fixtures.
        playable = movie_end is not None and first_media is not None and cut > max(movie_end, first_media + 4096)
        yield "%s@%d" % ("playable-cut" if playable else "mp4-cut", cut), data[:cut]


def mp4_user_data_damage(data):
    """Damage other programs leave in the user data at the end of a movie
    box (sizes that do not add up, an interrupted rewrite, a cut inside the
    item list, a broken item), which must still play; media data emptied of
    its samples, or cut halfway with its box's size kept or made 0 ("to the
    end of the file"); a gapless record whose priming, padding or valid
    samples run past the track's end (its length must stay the track's); a
    sample-size table cut to its header, with and without the samples; the
    chunk offsets in a 64-bit table, and a chunk said to lie past the end of
    the file; an edit list that runs, or starts, past the track's end."""
    for name, damaged in mp4_bytes.user_data_shapes(data):
        yield "playable-" + name, damaged
    emptied = mp4_bytes.without_samples(data)
    if emptied is not None:
        yield "no-samples", emptied
    for open_ended in (False, True):
        cut = mp4_bytes.cut_in_media_data(data, open_ended)
        if cut is not None:
            yield "mdat-cut%s" % ("-size-0" if open_ended else ""), cut
    for field, digits in ((1, "FFFFFFFF"), (2, "FFFFFFFF"), (3, "F" * 16)):
        past_end = mp4_bytes.with_gapless_field(data, field, digits)
        if past_end is not None:
            yield "gapless-past-end-%d" % field, past_end
    wide = mp4_bytes.with_wide_chunk_offsets(data)
    shapes = [("playable-co64", wide),
              ("co64-chunk-past-end", wide and mp4_bytes.with_chunk_past_end(wide)),
              ("chunk-past-end", mp4_bytes.with_chunk_past_end(data)),
              ("first-chunk-past-end", mp4_bytes.with_chunk_past_end(data, 0))]
    if mp4_bytes.chunk_tables(data):
        shapes += [("playable-edit-list-past-end", mp4_bytes.with_edit_list(data, 0x7FFFFFFF, 0)),
                   ("edit-list-starts-past-end", mp4_bytes.with_edit_list(data, 1000, 0x7FFFFFF0))]
    for name, shaped in shapes:
        if shaped is not None:
            yield name, shaped
    cut = mp4_bytes.with_cut_size_table(data)
    if cut is not None:
        yield "cut-stsz", cut
        if mp4_bytes.without_samples(cut) is not None:
            yield "cut-stsz-no-samples", mp4_bytes.without_samples(cut)


def block_boundaries(data):
    """Offsets where a container block starts: FLAC metadata blocks, RIFF chunks, ID3/APE tags, frame syncs."""
    cuts = set()
    if data[:4] == b"fLaC":
        pos = 4
        while pos + 4 <= len(data):
            cuts.add(pos)
            last = data[pos] & 0x80
            pos += 4 + int.from_bytes(data[pos + 1:pos + 4], "big")
            cuts.add(min(pos, len(data)))
            if last:
                break
    if data[:4] == b"RIFF":
        pos = 12
        while pos + 8 <= len(data):
            cuts.add(pos)
            pos += 8 + ((struct.unpack_from("<I", data, pos + 4)[0] + 1) & ~1)
    for marker in (b"ID3", b"APETAGEX", b"TAG", b"wvpk", b"\xff\xfb", b"LIST", b"Xing", b"Info"):
        start = 0
        while True:
            i = data.find(marker, start)
            if i < 0 or len(cuts) > 400:
                break
            cuts.update((i, i + 1, i + len(marker), i + 10))
            start = i + 1
    return sorted(c for c in cuts if 0 < c < len(data))


def size_fields(data):
    """Offsets and widths of length fields a parser trusts."""
    fields = []
    if data[:4] == b"fLaC":
        pos = 4
        while pos + 4 <= len(data):
            fields.append((pos + 1, 3, "big"))
            last = data[pos] & 0x80
            pos += 4 + int.from_bytes(data[pos + 1:pos + 4], "big")
            if last:
                break
        fields.extend((i, 4, "little") for i in range(4, min(len(data), 4096)) if data[i:i + 4] in (b"TITL", b"ARTI"))
    if data[:4] == b"RIFF":
        fields.append((4, 4, "little"))
        pos = 12
        while pos + 8 <= len(data):
            fields.append((pos + 4, 4, "little"))
            pos += 8 + ((struct.unpack_from("<I", data, pos + 4)[0] + 1) & ~1)
    i = data.find(b"ID3")
    if i >= 0:
        fields.append((i + 6, 4, "syncsafe"))
        fields.extend((j + 4, 4, "big") for j in range(i + 10, min(len(data), i + 4096)) if data[j:j + 4] in (b"TIT2", b"TPE1", b"APIC", b"TSSE"))
    i = data.find(b"APETAGEX")
    if i >= 0:
        fields.extend([(i + 12, 4, "little"), (i + 16, 4, "little")])
    i = data.find(b"wvpk")
    if i >= 0:
        fields.append((i + 4, 4, "little"))
    if data[4:8] == b"ftyp":
        fields.extend(mp4_size_fields(data))
    return fields


def put_size(data, offset, width, order, value):
    d = bytearray(data)
    if order == "syncsafe":
        value &= 0x0FFFFFFF
        d[offset:offset + 4] = bytes(((value >> s) & 0x7F) for s in (21, 14, 7, 0))
    else:
        value &= (1 << (8 * width)) - 1
        d[offset:offset + width] = value.to_bytes(width, order)
    return bytes(d)


def tag_damage_shapes(data):
    """Damage found in the field that tag writers once trusted: an APEv2 footer
    reaching back over the audio, a FLAC seek table of odd length, Ogg audio
    sharing the comment header's page, Ogg pages with a damaged length or a
    bad checksum, one damaged lacing value behind a comment the write lays
    out anew, one damaged size inside an MP4 file's item list, Matroska
    without a SeekHead, with a second Tags element, with a Tags element whose
    size is off, or cut short; an APEv2 tag with zeros before its footer and
    an item another tagger appended behind them, whole or with its count
    one off."""
    yield "ape-over-audio", tag_write_damage.ape_reaching_over_audio(data)
    yield from ape_zero_run_shapes(data)
    if data[:4] == b"fLaC":
        try:
            yield "odd-seektable", tag_write_damage.flac_with_odd_seektable(data)
        except (AssertionError, IndexError):
            pass
    if data[4:8] == b"ftyp":
        yield from tag_write_damage.mp4_tag_damage_shapes(data)
        yield from tag_write_damage.mp4_chapter_text_shapes(data)
    if data[:4] == b"OggS":
        yield "audio-in-comment-page", tag_write_damage.ogg_with_audio_in_comment_page(data)
        yield "damaged-pages", tag_write_damage.ogg_with_damaged_pages(data)
        yield from ogg_lacing_shapes(data)
    if data[:4] == b"\x1a\x45\xdf\xa3":
        yield from tag_write_damage.matroska_shapes(data)


def ape_zero_run_shapes(data):
    """An APEv2 tag (before any ID3v1 block) as earlier builds left it, with
    zeros before its footer, then with an item appended behind them, and
    that tag with its footer's count one too high or too low; a hostile tag
    of many items that read two ways and 8 MB of zeros put behind the file
    (before any ID3v1 block), which must read in time linear in its size."""
    if apev2_layouts.footer(data) is None:
        return
    cut = len(data) - 128 if data[-128:-125] == b"TAG" else len(data)
    yield "ape-hostile-zero-runs", data[:cut] + apev2_layouts.hostile_zero_runs_tag(400, 8 << 20) + data[cut:]
    zeros = apev2_layouts.with_zeros_before_footer(data, 1024)
    appended = apev2_layouts.with_item_appended(zeros, "Album", "appended")
    yield "ape-zeros-before-footer", zeros
    yield "ape-item-behind-zeros", appended
    at = apev2_layouts.footer(appended)[0]
    for name, delta in (("high", 1), ("low", -1)):
        count = struct.unpack_from("<I", appended, at + 16)[0] + delta
        yield "ape-item-behind-zeros-count-%s" % name, appended[:at + 16] + struct.pack("<I", count) + appended[at + 20:]


def ogg_lacing_shapes(data):
    """One lacing value damaged (its page's checksum failing or made valid
    again) in the first, a middle and the last but one audio page of a file
    whose comment page is split in two, so that the write renumbers the
    pages after the headers."""
    try:
        split = tag_write_damage.ogg_with_comment_split(data)
    except ValueError:
        return
    pages = tag_write_damage.ogg_pages(split)
    audio = [n for n, page in enumerate(pages) if tag_write_damage.ogg_granule(page) > 0]
    for n in sorted({audio[0], audio[len(audio) // 2], audio[max(0, len(audio) - 2)]}):
        for valid_checksum in (False, True):
            yield ("damaged-lacing-%d%s" % (n, "-valid-checksum" if valid_checksum else ""),
                   tag_write_damage.ogg_with_damaged_lacing(split, n, valid_checksum))


ASF_HEADER = bytes.fromhex("3026b2758e66cf11a6d900aa0062ce6c")
ASF_FILE_PROPERTIES = bytes.fromhex("a1dcab8c47a9cf118ee400c00c205365")


def claim_and_cut_shapes(data):
    """Trailing tags claiming audio (a footer 20 or 2,000 bytes too long, a
    file cut just after its tag's header), streams cut at a quarter, half,
    three quarters and 95 %, Musepack cut inside its last audio packet (and
    tagged after the cut), cut inside its seek table or with a header grown
    since its seek table was written, MP3 with an impossible LAME padding,
    and for WMA a file stored twice in a row, an
    endless play duration and a header with nothing after it."""
    if b"APETAGEX" in data[-200:]:
        for extra in (20, 2000):
            yield "footer-claims-%d" % extra, tag_files.ape_footer_claiming_audio(data, extra)
        cut = tag_write_damage.cut_after_ape_header(data)
        if cut is not None:
            yield "cut-after-ape-header", cut
    if data[:4] in (b"MPCK", b"MP+\x07") or data[:3] == b"ID3" or data[:2] == b"\xff\xfb" or data[:16] == ASF_HEADER:
        for percent in (25, 50, 75, 95):
            yield "cut-%d-percent" % percent, data[:len(data) * percent // 100]
    if data[:4] == b"MPCK":
        cut = damaged_streams.mpc_cut_in_last_audio_packet(data)
        yield "cut-in-last-audio-packet", cut
        yield "cut-then-long-tag", cut + tag_files.ape_tag([("Comment", "long comment " * 2000)])
        for label, shape in (("cut-in-seek-table", damaged_streams.mpc_cut_in_seek_table(data)),
                             ("header-grown", damaged_streams.mpc_header_grown(data))):
            if shape is not None:
                yield label, shape
    for padding in (1800, 4095):
        shape = damaged_streams.mp3_with_padding(data, padding)
        if shape is not None and (data[:3] == b"ID3" or data[:2] == b"\xff\xfb"):
            yield "impossible-padding-%d" % padding, shape
    if data[:16] == ASF_HEADER:
        yield "stored-twice", data + data
        at = data.find(ASF_FILE_PROPERTIES)
        if at >= 0:
            yield "endless-duration", data[:at + 64] + b"\xff" * 8 + data[at + 72:]
        yield "header-only", data[:16] + b"\0" * 4000


def syncsafe(n):
    return bytes(((n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F))


def id3v24_tag(frames):
    """A version 2.4 tag of (identifier, payload[, format flags]) frames,
    unpadded."""
    body = b"".join(f[0] + syncsafe(len(f[1])) + b"\0" + bytes((f[2] if len(f) > 2 else 0,)) + f[1]
                    for f in frames)
    return b"ID3\x04\0\0" + syncsafe(len(body)) + body


# A frame compressed with zlib behind its data length, as some taggers write
# it and ffprobe and mutagen read it.
COMPRESSED_FRAME = (b"TPE2", syncsafe(15) + zlib.compress(b"\x03packed artist"), 0x09)


def stacked_id3v2_shapes(data):
    """A second, version 2.4 tag straight behind the file's ID3v2 tag, as a
    tagger that adds its own tag leaves it: one holding an album only it
    has (which a write must keep), one with a volume frame version 2.3 has
    no form for beside it (which a write that would lose it refuses)."""
    if data[:3] != b"ID3" or data[3] != 3:
        return
    end = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    album = (b"TALB", b"\x03stacked album")
    volume = (b"RVA2", b"track\0\x01\xfa\x00\x00")
    yield "stacked-id3v2-kept", data[:end] + id3v24_tag([album]) + data[end:]
    yield "stacked-id3v2-volume", data[:end] + id3v24_tag([album, volume]) + data[end:]
    yield "stacked-id3v2-compressed", data[:end] + id3v24_tag([album, COMPRESSED_FRAME]) + data[end:]
    # The file's own tag in version 2.4 with such a frame: a write keeps it.
    yield "id3v24-compressed-frame", id3v24_tag([(b"TIT2", b"\x03title"), COMPRESSED_FRAME]) + data[end:]


def mutations(data, rng, count):
    """(label, bytes) pairs: every boundary truncation, every size field made huge/zero/off by one, then random damage."""
    yield from tag_damage_shapes(data)
    yield from stacked_id3v2_shapes(data)
    yield from chapter_damage_shapes(data)
    yield from claim_and_cut_shapes(data)
    if data[4:8] == b"ftyp":
        yield from mp4_cut_shapes(data)
        yield from mp4_user_data_damage(data)
    for cut in block_boundaries(data):
        yield "cut@%d" % cut, data[:cut]
    for offset, width, order in size_fields(data):
        for value in (0, 1, 0xFFFFFFFF, 0x7FFFFFFF, 0x0FFFFFFF, len(data), len(data) * 2):
            yield "size@%d=%#x" % (offset, value), put_size(data, offset, width, order, value)
    for n in range(count):
        d = bytearray(data)
        kind = rng.choice(("flip", "flip", "bytes", "dup", "zero"))
        if kind == "flip":
            for _ in range(rng.randint(1, 8)):
                i = rng.randrange(min(len(d), 8192) if rng.random() < 0.7 else len(d))
                d[i] ^= 1 << rng.randrange(8)
        elif kind == "bytes":
            i = rng.randrange(len(d))
            d[i:i + 4] = rng.choice((b"\xff\xff\xff\xff", b"\x00\x00\x00\x00", b"\x7f\xff\xff\xff", b"\x80\x00\x00\x00"))
        elif kind == "dup":
            i = rng.randrange(min(len(d), 4096))
            j = rng.randrange(i, min(len(d), i + 600))
            d[i:i] = d[i:j] * rng.randint(1, 4)
        else:
            i = rng.randrange(len(d))
            d[i:i + rng.randint(1, 64)] = bytes(rng.randint(1, 64))
        yield "%s#%d" % (kind, n), bytes(d)


def verdict(run_result):
    """None when the run ended well, else why not."""
    if run_result is None:
        return "hang (over %d s)" % TIME_BOUND
    rc, err = run_result
    if rc == 0:
        return None
    if rc not in (1, 2):
        return "exit %d: %s" % (rc, err.strip()[:200])
    if not err.strip():
        return "failed with no message"
    for sign in ("bad_alloc", "bad_array_new_length", "length_error", "vector", "basic_string", "out_of_range"):
        if sign in err:
            return "internal error leaked: " + err.strip()[:200]
    return None


def zorvtool(build, *args):
    exe = os.path.join(build, "tools", "zorvtool.exe")
    # A stall of the Wine session itself (seen when many processes start at
    # once) is told apart from a hang of the program by a second try.
    for _ in range(2):
        try:
            r = subprocess.run([os.path.join(REPO, "tools", "wine-exec"), build, exe, *args], capture_output=True,
                               timeout=TIME_BOUND)
            return r.returncode, r.stderr.decode("utf-8", "replace")
        except subprocess.TimeoutExpired:
            pass
    return None


def removal_spread(data, written, ext):
    """What a removal from every track of a cue image wrote besides the
    removal: the sheet's text in another tag or a track's override item;
    None when neither, or when mutagen cannot read the tags before or after."""
    original = written + ".before" + ext
    with open(original, "wb") as f:
        f.write(data)
    try:
        before, after = cue_images.tags(original), cue_images.tags(written)
    except Exception:  # damage mutagen does not read past: nothing to compare
        return None
    finally:
        os.remove(original)
    for name, values in after.items():
        if name.startswith("CUE_TRACK") and name not in before:
            return "a removal added the override %s" % name
        if name != "CUESHEET" and values != before.get(name) and any("TRACK " in v for v in values):
            return "a removal wrote the sheet into %s" % name
    return None


def stacked_album_lost(path):
    from mutagen.id3 import ID3
    return str(ID3(path).get("TALB", "")) != "stacked album"


def compressed_frame_lost(path):
    from mutagen.id3 import ID3
    return str(ID3(path).get("TPE2", "")) != "packed artist"


def check_case(build, folder, name, ext, data, fixture_decodes=True):
    path = os.path.join(folder, name + ext)
    with open(path, "wb") as f:
        f.write(data)
    problems = []
    decoded = False
    for args in (("info", windows_path(path)), ("decode", windows_path(path), windows_path(path + ".out.wav"))):
        result = zorvtool(build, *args)
        v = verdict(result)
        if v:
            problems.append("%s: %s" % (args[0], v))
        decoded = args[0] == "decode" and result is not None and result[0] == 0
        if args[0] == "decode" and "playable-" in name and result is not None and not decoded:
            problems.append("decode: refused a file whose audio is intact")
        if args[0] == "decode" and "damaged-tags" in name and fixture_decodes and result is not None and not decoded:
            problems.append("decode: refused a file whose damage is in its tags")
    if "gapless-past-end" in name:
        # No length beyond the audio's: the fixtures are seconds long.
        info = subprocess.run([os.path.join(REPO, "tools", "wine-exec"), build,
                               os.path.join(build, "tools", "zorvtool.exe"), "info", windows_path(path)],
                              capture_output=True, timeout=TIME_BOUND)
        lengths = [float(value) for value in re.findall(rb'"length": *([0-9.eE+-]+)', info.stdout)]
        if any(length > 60 for length in lengths):
            problems.append("info: length of %g s" % max(lengths))
    copy = path + ".copy" + ext
    shutil.copyfile(path, copy)
    one_track = ["--subsong", "2"] if name.startswith(("cue", "mkvchaptered")) else []
    change = ["-comment"] if name.startswith("cueall") else one_track + ["title=fuzzed title", "-artist"]
    result = zorvtool(build, "tag", windows_path(copy), *change)
    v = verdict(result)
    if v:
        problems.append("tag: " + v)
    elif result[0] != 0:
        with open(copy, "rb") as f:
            if f.read() != data:
                problems.append("tag: failed and changed the file")
    elif "stacked-id3v2" in name and stacked_album_lost(copy):
        problems.append("tag: the album only the second ID3v2 tag held is lost")
    elif "compressed-frame" in name and compressed_frame_lost(copy):
        problems.append("tag: the compressed frame is lost")
    elif name.startswith("cueall") and removal_spread(data, copy, ext):
        problems.append("tag: " + removal_spread(data, copy, ext))
    elif decoded:
        # A write that succeeded must leave what plays untouched.
        after = zorvtool(build, "decode", windows_path(copy), windows_path(copy + ".out.wav"))
        with open(path + ".out.wav", "rb") as f:
            before_audio = f.read()
        after_audio = None
        if after and after[0] == 0 and os.path.exists(copy + ".out.wav"):
            with open(copy + ".out.wav", "rb") as f:
                after_audio = f.read()
        if after_audio != before_audio:
            problems.append("tag: succeeded and changed the decoded audio")
    for p in (path + ".out.wav", copy, copy + ".out.wav"):
        if os.path.exists(p):
            os.remove(p)
    if not problems:
        os.remove(path)
    return name, problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build")
    ap.add_argument("--cases", type=int, default=150, help="random mutations per format")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=4)
    ap.add_argument("--only", default="")
    ap.add_argument("--keep", default=None, help="folder for the failing cases")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    subprocess.run([os.path.join(REPO, "tools", "wine-session"), "start", build], check=True)
    work = args.keep or tempfile.mkdtemp(prefix="zorv-fuzz-")
    os.makedirs(work, exist_ok=True)
    fixtures = make_fixtures(work)
    rng = random.Random(args.seed)
    jobs = []
    for fmt, path in fixtures.items():
        if args.only and fmt not in args.only.split(","):
            continue
        with open(path, "rb") as f:
            data = f.read()
        ext = os.path.splitext(path)[1]
        # A file whose damage is only in its tags decodes as the intact one does.
        result = zorvtool(build, "decode", windows_path(path), windows_path(path + ".probe.wav"))
        fixture_decodes = result is not None and result[0] == 0
        shapes = list(mutations(data, rng, args.cases))
        if fmt in LONG_LIST_FIXTURES:
            shapes += long_tag_lists.long_list_shapes(data)
        for label, mutated in shapes:
            jobs.append(("%s-%s" % (fmt, label.replace("#", "_").replace("@", "_").replace("=", "_")), ext, mutated,
                         fixture_decodes))
    print("%d cases in %s" % (len(jobs), work), flush=True)
    failed = 0
    with ThreadPoolExecutor(args.jobs) as pool:
        for name, problems in pool.map(lambda j: check_case(build, work, *j), jobs):
            if problems:
                failed += 1
                print("FAULT", name, "|", "; ".join(problems), flush=True)
    print("%d of %d cases failed; kept in %s" % (failed, len(jobs), work))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
