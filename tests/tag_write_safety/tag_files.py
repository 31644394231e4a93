"""Fixtures and readings shared by the tag-write safety tests: files made
with Debian's encoders, an APEv2 tag built by hand, and zorvtool's reading
and decoding of them."""
import hashlib
import json
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import windows_path  # noqa: E402,F401
import matroska_bytes  # noqa: E402
from views_by_content import view_by_content  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402


PAGE = 4096


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


@view_by_content
def ffmpeg_decode(path):
    """(md5 of the samples ffmpeg decodes, its messages without the
    addresses that differ from run to run)."""
    done = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-"], capture_output=True)
    messages = re.sub(r" @ 0x[0-9a-f]+", "", done.stderr.decode(errors="replace")).strip()
    return hashlib.md5(done.stdout).hexdigest(), messages


def tail_change_fits_one_page(before, after):
    """Whether `after` is no shorter than `before` and the bytes from the
    first that differs to its end lie within one page."""
    if len(after) < len(before):
        return False
    first = next((i for i in range(len(before)) if before[i] != after[i]), len(before))
    return first // PAGE == (len(after) - 1) // PAGE


def changed_pages(before, after):
    return sum(before[i:i + PAGE] != after[i:i + PAGE] for i in range(0, max(len(before), len(after)), PAGE))


def ape_tag(items):
    """An APEv2 tag with header and footer from (key, value) text items."""
    body = b"".join(struct.pack("<II", len(v.encode()), 0) + k.encode() + b"\0" + v.encode() for k, v in items)
    block = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, len(items), flags) + bytes(8)
    return block(0xA0000000) + body + block(0x80000000)


def ape_footer_claiming_audio(data, extra):
    """The last APEv2 tag (before any ID3v1 tag) with a footer that claims
    `extra` bytes of what comes before the tag (its header included), which
    are audio."""
    end = len(data) - 128 if data[-128:-125] == b"TAG" else len(data)
    size = struct.unpack_from("<I", data, end - 20)[0]
    header = 32 if data[end - size - 32:end - size - 24] == b"APETAGEX" else 0
    return data[:end - 20] + struct.pack("<I", size + header + extra) + data[end - 16:]


def insert_before_id3v1(path, tag):
    with open(path, "rb") as f:
        data = f.read()
    cut = len(data) - 128 if data[-128:-125] == b"TAG" else len(data)
    with open(path, "wb") as f:
        f.write(data[:cut] + tag + data[cut:])


def musepack_sv7(frames=400, peak=0x1D67):
    """A Musepack stream version 7 built by hand (no encoder writes them any
    more): 44.1 kHz stereo, one subband above the first, every frame silent.
    After "MP+" and the version, everything is one run of bits read from the
    top of little-endian 32-bit words: five header words, the encoder version
    (8 bits), then the frames. A frame is its 20-bit length (10), both
    first-band resolutions 0 (4 bits each) and "no change" for the next band
    (1 bit each); the last frame carries 11 more bits, its sample count (0:
    all). Both stored peaks are `peak`, both gains -3.00 dB."""
    gain = (-300) & 0xFFFF
    # Mid/side on, max band 1, profile 10, 44.1 kHz, max level 0x4000.
    flags = (1 << 30) | (1 << 24) | (10 << 20) | (0 << 16) | 0x4000
    header = [frames, flags, (gain << 16) | peak, (gain << 16) | peak, 0]
    bits = "".join(format(word, "032b") for word in header) + format(116, "08b")
    bits += (format(10, "020b") + "0" * 8 + "11") * frames + "0" * 11
    bits += "0" * (-len(bits) % 32)
    return b"MP+\x07" + b"".join(struct.pack("<I", int(bits[i:i + 32], 2)) for i in range(0, len(bits), 32))


def make_fixtures(folder):
    src = os.path.join(folder, "src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"])
    art = os.path.join(folder, "art.png")
    with open(art, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 20)
    out = {}
    out["flac"] = os.path.join(folder, "f.flac")
    run(["flac", "-s", "-f", "--padding=4096", "--seekpoint=2x", "--picture=3|image/png||1x1x24|" + art,
         "-T", "TITLE=Old title", "-T", "ARTIST=Old artist", "-o", out["flac"], src])
    # A second comment block behind the picture, as some programs leave one:
    # an edit joins both into one.
    out["flac2blocks"] = os.path.join(folder, "two_blocks.flac")
    with open(out["flac"], "rb") as f:
        data = f.read()
    at = data.index(b"fLaC") + 4
    while data[at] & 0x7F != 1:
        at += 4 + int.from_bytes(data[at + 1:at + 4], "big")
    entries = [b"TITLE=Second title", b"ALBUM=Second album"]
    body = struct.pack("<I", 6) + b"second" + struct.pack("<I", len(entries))
    body += b"".join(struct.pack("<I", len(entry)) + entry for entry in entries)
    with open(out["flac2blocks"], "wb") as f:
        f.write(data[:at] + bytes([4]) + len(body).to_bytes(3, "big") + body + data[at:])
    out["mp3all"] = os.path.join(folder, "all.mp3")
    run(["lame", "--quiet", "-b", "128", "--add-id3v2", "--tt", "Old title", "--ta", "Old artist", src, out["mp3all"]])
    insert_before_id3v1(out["mp3all"], ape_tag([("Title", "Old title"), ("Artist", "Old artist")]))
    # lame's ID3v2 tag with room to spare and its ID3v1 block.
    out["mp3both"] = os.path.join(folder, "both.mp3")
    run(["lame", "--quiet", "-b", "128", "--pad-id3v2-size", "1024", "--tt", "Old title", "--ta", "Old artist", src,
         out["mp3both"]])
    out["mp3trail"] = os.path.join(folder, "trail.mp3")
    run(["lame", "--quiet", "-b", "128", "--id3v1-only", "--tt", "Old title", "--ta", "Old artist", src,
         out["mp3trail"]])
    insert_before_id3v1(out["mp3trail"], ape_tag([("Title", "Old title"), ("Artist", "Old artist")]))
    out["wv"] = os.path.join(folder, "p.wv")
    run(["wavpack", "-q", "-y", "-w", "Title=Old title", "-w", "Artist=Old artist", src, "-o", out["wv"]])
    out["mpc"] = os.path.join(folder, "s8.mpc")
    run(["mpcenc", "--silent", "--overwrite", "--tag", "Title=Old title", "--tag", "Artist=Old artist", src,
         out["mpc"]])
    out["mpc7"] = os.path.join(folder, "s7.mpc")
    with open(out["mpc7"], "wb") as f:
        f.write(musepack_sv7() + ape_tag([("Title", "Old title"), ("Artist", "Old artist")]))
    out["ogg"] = os.path.join(folder, "v.ogg")
    run(["oggenc", "-Q", "-t", "Old title", "-a", "Old artist", src, "-o", out["ogg"]])
    out["opus"] = os.path.join(folder, "o.opus")
    run(["opusenc", "--quiet", "--title", "Old title", "--artist", "Old artist", src, out["opus"]])
    out.update(make_matroska_fixtures(folder, src))
    out["wav"] = os.path.join(folder, "w.wav")
    if subprocess.run(["which", "ffmpeg"], capture_output=True).returncode == 0:
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-metadata", "title=Old title", "-metadata",
             "artist=Old artist", out["wav"]])
    else:
        del out["wav"]
        return out
    add_mp4_fixtures(folder, src, out)
    return out


def add_mp4_fixtures(folder, src, out):
    """AAC in MP4 with its movie box last (ffmpeg's default), before the media
    data (fast start), and before movie fragments; and books whose two
    chapters are named both in a chapter list and in a chapter text track."""
    tags = ["-metadata", "title=Old title", "-metadata", "artist=Old artist"]
    for name, flags in (("m4a", []), ("m4afast", ["-movflags", "+faststart"]),
                        ("m4afrag", ["-movflags", "frag_keyframe+empty_moov"])):
        out[name] = os.path.join(folder, name + ".m4a")
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-b:a", "64k", *tags, *flags, out[name]])
    chapters = os.path.join(folder, "chapters.txt")
    with open(chapters, "w") as f:
        f.write(";FFMETADATA1\ntitle=Old book\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=Old first\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=2000\ntitle=Old second\n")
    for name, flags in (("m4b", []), ("m4bfast", ["-movflags", "+faststart"])):
        out[name] = os.path.join(folder, name + ".m4b")
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-i", chapters, "-map", "0:a", "-map_metadata", "1",
             "-map_chapters", "1", "-c:a", "aac", "-b:a", "64k", *flags, out[name]])


@view_by_content
def ffprobe_chapter_titles(path):
    """The chapter names ffprobe reads (from the chapter text track where
    there is one); None when it cannot read the file."""
    done = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "chapter_tags=title", "-of", "json", path],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return None
    return [c.get("tags", {}).get("title") for c in json.loads(done.stdout).get("chapters", [])]


def mp4_boxes(data, start=0, end=None):
    """(type, offset, header size, whole size) of the boxes between start and end."""
    end = len(data) if end is None else end
    boxes = []
    while start + 8 <= end:
        size, header = int.from_bytes(data[start:start + 4], "big"), 8
        if size == 1:
            size, header = int.from_bytes(data[start + 8:start + 16], "big"), 16
        elif size == 0:
            size = end - start
        if size < header:
            break
        boxes.append((data[start + 4:start + 8], start, header, size))
        start += size
    return boxes


def mp4_box(data, *path):
    """The box at the end of a path of types (a "meta" box's children start after its version and flags)."""
    start, end = 0, len(data)
    found = None
    for kind in path:
        found = next(b for b in mp4_boxes(data, start, end) if b[0] == kind)
        start, end = found[1] + found[2], found[1] + found[3]
        if kind == b"meta":
            start += 4
    return found


def make_matroska_fixtures(folder, src):
    """Matroska with tags from ffmpeg (Tags before the Clusters, no room to
    grow), its mkvmerge remux (Tags at the end of the file), the remux without
    its SeekHead, the remux with a second Tags element that no SeekHead names,
    and an Ogg Opus remux whose tags aim at its track."""
    if any(subprocess.run(["which", t], capture_output=True).returncode for t in ("ffmpeg", "mkvmerge")):
        return {}
    out = {"mka": os.path.join(folder, "m.mka"), "mkaremux": os.path.join(folder, "remuxed.mka")}
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "flac", "-metadata", "title=Old title", "-metadata",
         "artist=Old artist", out["mka"]])
    run(["mkvmerge", "-q", "-o", out["mkaremux"], out["mka"]])
    with open(out["mkaremux"], "rb") as f:
        remuxed = f.read()
    # mkvmerge puts an Ogg file's comments into Tags aimed at its track.
    ogg = os.path.join(folder, "track-tags.opus")
    run(["opusenc", "--quiet", "--title", "Old title", "--artist", "Old artist", "--genre", "Old genre", src, ogg])
    out["mkatrack"] = os.path.join(folder, "mkatrack.mka")
    run(["mkvmerge", "-q", "-o", out["mkatrack"], ogg])
    for name, data in (("mkanoseek", matroska_bytes.without_seekhead(remuxed)),
                       ("mkatwo", matroska_bytes.with_second_tags(remuxed, room=12000))):
        out[name] = os.path.join(folder, name + ".mka")
        with open(out[name], "wb") as f:
            f.write(data)
    return out


def make_matroska_beside_fixtures(folder, src):
    """ffmpeg's stereo Vorbis (its Tags past the first page), its FLAC with a
    100 KB attachment and mkvmerge's remux of its FLAC (its Tags behind the
    Clusters), each with a second Tags element of other values in front of
    the Clusters, in the first Void there (the one ffmpeg leaves after its
    SeekHead): no SeekHead names it, readers that walk the Segment read it."""
    attachment = os.path.join(folder, "beside-cover.jpg")
    with open(attachment, "wb") as f:
        f.write(bytes(i * 7 % 251 for i in range(100000)))
    tagged = ["-metadata", "title=Old title", "-metadata", "artist=Old artist"]
    out = {}
    for name, codec in (("mkabeside", ["-c:a", "libvorbis"]),
                        ("mkabesideattached", ["-attach", attachment, "-metadata:s:t", "mimetype=image/jpeg",
                                               "-c:a", "flac"])):
        plain = os.path.join(folder, name + "-plain.mka")
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, *codec, *tagged, plain])
        with open(plain, "rb") as f:
            data = matroska_bytes.with_other_tags_in_void(f.read(), *BESIDE_VALUES)
        out[name] = os.path.join(folder, name + ".mka")
        with open(out[name], "wb") as f:
            f.write(data)
    remux = os.path.join(folder, "mkabesidemerge-plain.mka")
    run(["mkvmerge", "-q", "-o", remux, "--no-attachments", os.path.join(folder, "mkabesideattached-plain.mka")])
    with open(remux, "rb") as f:
        data = matroska_bytes.with_other_tags_in_void(f.read(), *BESIDE_VALUES)
    out["mkabesidemerge"] = os.path.join(folder, "mkabesidemerge.mka")
    with open(out["mkabesidemerge"], "wb") as f:
        f.write(data)
    return out


def make_matroska_layout_fixtures(folder, fixtures):
    """From make_matroska_fixtures' files: the mkvmerge remux (Tags ending
    the Segment) with an APEv2 tag holding a 100 KB picture and an ID3v1 tag
    behind it, with a further EBML document (an EBML header) behind it, and
    with an ID3v1 tag behind it; ffmpeg's FLAC with a second SeekHead in
    front of the Clusters, which the first does not name, naming a second
    Tags element of other values."""
    from mutagen.apev2 import APEv2, APEValue, BINARY
    with open(fixtures["mkaremux"], "rb") as f:
        remuxed = f.read()
    id3v1 = b"TAG" + b"Old title".ljust(30, b"\0") + bytes(95)
    header_size, _, header_content = matroska_bytes.read_size(remuxed, 4)
    out = {}
    for name, tail in (("mkatailape", b""), ("mkatailebml", remuxed[:header_content + header_size]),
                       ("mkatailid3", id3v1)):
        out[name] = os.path.join(folder, name + ".mka")
        with open(out[name], "wb") as f:
            f.write(remuxed + tail)
    # mutagen appends its tag behind an ID3v1 tag: the ID3v1 tag comes after.
    tag = APEv2()
    tag["Album"] = "Appended album"
    tag["Cover Art (Front)"] = APEValue(b"cover.jpg\0" + bytes(i * 7 % 251 for i in range(100000)), BINARY)
    tag.save(out["mkatailape"])
    with open(out["mkatailape"], "ab") as f:
        f.write(id3v1)
    with open(fixtures["mka"], "rb") as f:
        seekheads = matroska_bytes.with_second_seekhead(f.read(), ("COMPOSER", "Second writer"))
    out["mkaseekhead"] = os.path.join(folder, "mkaseekhead.mka")
    with open(out["mkaseekhead"], "wb") as f:
        f.write(seekheads)
    return out


def behind_segment(path):
    """The bytes behind the Segment's end."""
    with open(path, "rb") as f:
        data = f.read()
    _, _, start, size = matroska_bytes.segment(data)
    return data[start + size:]



def id3_chunk(name, frames):
    """A RIFF chunk `name` holding an ID3v2.3 tag of text frames given as
    (frame id, text); an empty one for no frames."""
    body = b"".join(fid.encode() + struct.pack(">I", len(text) + 1) + b"\0\0\0" + text.encode()
                    for fid, text in frames)
    size = bytes((len(body) >> shift) & 0x7F for shift in (21, 14, 7, 0))
    tag = b"ID3\x03\0\0" + size + body if frames else b""
    return name + struct.pack("<I", len(tag)) + tag + b"\0" * (len(tag) & 1)


def make_wav_layout_fixtures(folder, fixtures):
    """{"wavtail": ffmpeg's WAV with an APEv2 and an ID3v1 tag behind the
    RIFF, "wavid3s": ffmpeg's WAV with an empty "ID3 " chunk, then TagLib's
    "ID3 " chunk and an "id3 " chunk behind it with a title of its own and
    an album only it holds}."""
    with open(fixtures["wav"], "rb") as f:
        wav = f.read()
    out = {"wavtail": os.path.join(folder, "tail.wav"), "wavid3s": os.path.join(folder, "id3s.wav")}
    with open(out["wavtail"], "wb") as f:
        f.write(wav + ape_tag([("Title", "APE title"), ("Artist", "APE artist")]) +
                b"TAG" + b"ID3v1 title".ljust(30, b"\0") + bytes(94) + b"\xff")
    chunks = (id3_chunk(b"ID3 ", []) + id3_chunk(b"ID3 ", [("TIT2", "Old title"), ("TPE1", "Old artist")]) +
              id3_chunk(b"id3 ", [("TIT2", "Earlier title"), ("TALB", "Earlier album")]))
    with open(out["wavid3s"], "wb") as f:
        f.write(wav[:4] + struct.pack("<I", len(wav) + len(chunks) - 8) + wav[8:] + chunks)
    return out


@view_by_content
def ffprobe_format_tags(path):
    """{name: value} of the tags ffprobe finds for the whole file."""
    found = subprocess.run(["ffprobe", "-v", "quiet", "-show_entries", "format_tags", "-of", "json", path],
                           capture_output=True, text=True)
    return json.loads(found.stdout or "{}").get("format", {}).get("tags", {})


def behind_riff(path):
    """The bytes behind the RIFF's end (its pad byte included)."""
    with open(path, "rb") as f:
        data = f.read()
    end = 8 + struct.unpack("<I", data[4:8])[0]
    return data[end + (end & 1):]


# The values of the second Tags element in make_matroska_beside_fixtures' files.
BESIDE_VALUES = (("COMPOSER", "Beside writer"), ("COMMENT", "Beside comment"))


def top_level_tags_count(path):
    """How many Tags elements the Segment holds."""
    with open(path, "rb") as f:
        data = f.read()
    return sum(element_id == matroska_bytes.TAGS for element_id, _, _ in matroska_bytes.children(data))


def tags_starts(path):
    """Where each of the Segment's Tags elements starts."""
    with open(path, "rb") as f:
        data = f.read()
    return [pos for element_id, pos, _ in matroska_bytes.children(data) if element_id == matroska_bytes.TAGS]


@view_by_content
def mkvextract_tags(path):
    """The tags mkvextract finds, as its XML."""
    return subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True).stdout


@view_by_content
def matroska_reader_views(path):
    """What other Matroska readers find: mkvextract's tags, ffprobe's tags
    and whether mkvinfo walks the file without an error."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of", "json", path],
                           capture_output=True)
    info = subprocess.run(["mkvinfo", path], capture_output=True)
    return {"mkvextract": mkvextract_tags(path), "ffprobe": probe.stdout if probe.returncode == 0 else b"fails",
            "mkvinfo": info.returncode == 0}


def make_shape_fixtures(folder):
    """Files of the shapes other programs leave: an AAC file trimmed by an
    iTunSMPB gapless record, one with a two-value genre item, FLAC and
    WavPack cue images (file ARTIST, per-track PERFORMER), MP3 files with a
    gain tool's APEv2 items and with an album only in the ID3v1 block, an
    Ogg Vorbis remuxed into Matroska with an album-level ARTIST, and a
    Musepack stream whose two chapters name different artists."""
    import cue_images
    import gapless_record
    import two_tag_kinds
    from mutagen.mp4 import MP4
    src = os.path.join(folder, "shape-src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440"])
    out = {}
    for name in ("m4atrimmed", "m4agenres"):
        out[name] = os.path.join(folder, name + ".m4a")
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-b:a", "64k", "-metadata", "title=Old title",
             out[name]])
    gapless_record.add_record(out["m4atrimmed"], 2 * 44100, **{"\xa9ART": ["Old artist"]})
    tagged = MP4(out["m4agenres"])
    tagged["\xa9gen"] = ["Rock", "Jazz"]
    tagged.save()
    for name, kind in (("cueflac", "comment.flac"), ("cuewv", "image.wv")):
        out[name] = os.path.join(folder, name + "." + kind.split(".")[1])
        cue_images.make_cue_image(out[name], kind)
    for name in ("mp3gain", "mp3v1album"):
        out[name] = os.path.join(folder, name + ".mp3")
        run(["lame", "--quiet", "-b", "128", src, out[name]])
    two_tag_kinds.tag_with_gain_items(out["mp3gain"], "Old title")
    two_tag_kinds.tag_with_album_only_in_id3v1(out["mp3v1album"], "Old title", "Old album")
    vorbis = os.path.join(folder, "shape.ogg")
    run(["oggenc", "-Q", "-t", "Old title", src, "-o", vorbis])
    album_tags = os.path.join(folder, "album-tags.xml")
    with open(album_tags, "w") as f:
        f.write('<?xml version="1.0"?>\n<Tags><Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>'
                '<Simple><Name>ARTIST</Name><String>Album Artist</String></Simple></Tag></Tags>\n')
    out["mkvorbis"] = os.path.join(folder, "vorbis.mka")
    run(["mkvmerge", "-q", "-o", out["mkvorbis"], "--global-tags", album_tags, vorbis])
    out["mpcchapters"] = os.path.join(folder, "chapters.mpc")
    run(["mpcenc", "--silent", "--overwrite", src, out["mpcchapters"]])
    chapters = os.path.join(folder, "chapters.ini")
    with open(chapters, "w") as f:
        f.write("[0]\nTITLE=One\nARTIST=Own artist\n[44100]\nTITLE=Two\nARTIST=Old artist\n")
    run(["mpcchap", out["mpcchapters"], chapters])
    return out


class Zorvtool:
    """popen: a process of its own, to be killed or traced; run: through the
    thread's long-lived batch process."""
    def __init__(self, wine_exec, build_dir, exe):
        self.command = [wine_exec, build_dir, exe]
        self.batch = ZorvtoolBatch(self.command)

    def popen(self, *args, env=None):
        return subprocess.Popen([*self.command, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                env=env)

    def run(self, *args):
        r = self.batch.run(*args)
        return r.returncode, r.stdout, r.stderr

    def fields(self, path):
        """The fields of subsong 0, names in lower case, with its ReplayGain
        values under "~replaygain" when it has any; None when the file cannot
        be read."""
        rc, out, _ = self.run("info", windows_path(path))
        if rc != 0:
            return None
        data = json.loads(out)["subsongs"][0]["info"]
        fields = {k.lower(): v for k, v in data.get("fields", {}).items()}
        if data.get("replaygain"):
            fields["~replaygain"] = data["replaygain"]
        return fields

    def all_fields(self, path):
        """The fields of every subsong, as fields() gives them; None when the
        file cannot be read."""
        return self.all_fields_or_error(path)[0]

    def all_fields_or_error(self, path):
        """all_fields, and the exit status and errors of a failed reading."""
        rc, out, err = self.run("info", windows_path(path))
        if rc != 0:
            return None, "exit %d: %s" % (rc, err.strip())
        found = []
        for subsong in json.loads(out)["subsongs"]:
            fields = {k.lower(): v for k, v in subsong["info"].get("fields", {}).items()}
            if subsong["info"].get("replaygain"):
                fields["~replaygain"] = subsong["info"]["replaygain"]
            found.append(fields)
        return found, None

    def decoded(self, path):
        """The decoded audio as bytes of a WAV file; None when decoding fails."""
        out = path + ".decoded.wav"
        rc, _, _ = self.run("decode", windows_path(path), windows_path(out))
        if rc != 0 or not os.path.exists(out):
            if os.path.exists(out):
                os.remove(out)  # a failed decode's part, not the program's leftover
            return None
        with open(out, "rb") as f:
            data = f.read()
        os.remove(out)
        return data
