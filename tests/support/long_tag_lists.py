"""Files whose tags hold lists of a length the file chooses, for the
benchmarks and the fuzz harness: Matroska Tags of thousands of SimpleTags
(from mkvmerge and a tags XML, or built byte by byte beside a Tag whose
level its neighbour gives, or another program's in front of ffmpeg's
Clusters, in one Tags element or in one element per value), a chain of thousands of SeekHeads, a FLAC
comment of thousands of album artists, a cue sheet of thousands of tracks
and an MP4 item list of thousands of freeform items. Readers and writers
must take each in time in step with its size."""
import os
import struct
import subprocess
from xml.sax.saxutils import escape

import matroska_bytes
import mp4_bytes
from matroska_bytes import el

INFO, TRACKS, CLUSTER = 0x1549A966, 0x1654AE6B, 0x1F43B675


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def tags_xml(count):
    """One Tag for the whole file holding `count` SimpleTags of names all different."""
    simples = "".join("<Simple><Name>FIELD %d</Name><String>%s</String></Simple>" % (i, escape("value %d" % i))
                      for i in range(count))
    return '<?xml version="1.0"?>\n<Tags><Tag><Targets/>%s</Tag></Tags>\n' % simples


def mkvmerge_file(folder, count, seconds=1):
    """A FLAC stream muxed by mkvmerge with one Tag of `count` SimpleTags, which
    mkvmerge lays out behind the Clusters."""
    wav = os.path.join(folder, "source.wav")
    if not os.path.exists(wav):
        run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(seconds), "sine", "440")
    xml = os.path.join(folder, "tags-%d.xml" % count)
    with open(xml, "w") as f:
        f.write(tags_xml(count))
    out = os.path.join(folder, "simple-tags-%d.mka" % count)
    flac = os.path.join(folder, "source.flac")
    if not os.path.exists(flac):
        run("flac", "-s", "-f", "-o", flac, wav)
    run("mkvmerge", "-q", "-o", out, "--global-tags", xml, flac)
    return out


def ffmpeg_file_with_front_tags(folder, count, elements, seconds=1):
    """ffmpeg's FLAC in Matroska with `count` values of another program in
    front of the first Cluster, which no SeekHead names: in `count` Tags
    elements of one value each, or (`elements` 1) in one Tag of `count`
    SimpleTags. They fill the room ffmpeg keeps there for its index."""
    wav = os.path.join(folder, "source.wav")
    if not os.path.exists(wav):
        run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", str(seconds), "sine", "440")
    pairs = [("FIELD %d" % i, "value %d" % i) for i in range(count)]
    if elements == 1:
        front = matroska_bytes.simple_tags(50, *pairs)
    else:
        front = b"".join(matroska_bytes.simple_tags(50, pair) for pair in pairs)
    base = os.path.join(folder, "ffmpeg-room-%d.mka" % len(front))
    if not os.path.exists(base):
        run("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "flac", "-metadata", "title=Old title",
            "-reserve_index_space", str(len(front) + 4096), base)
    with open(base, "rb") as f:
        data = matroska_bytes.with_element_in_void(f.read(), front)
    out = os.path.join(folder, "front-tags-%d-in-%d.mka" % (count, elements))
    with open(out, "wb") as f:
        f.write(data)
    return out


def simple_tag(name, value):
    return el(0x67C8, el(0x45A3, name.encode()) + el(0x4487, value.encode()))


def pcm_segment_children(tags):
    """Info, a mono 16-bit PCM track at 8000 Hz of UID 7, one Cluster of a
    tenth of a second, then `tags`."""
    info = el(INFO, el(0x2AD7B1, struct.pack(">I", 1000000)[1:]) + el(0x4489, struct.pack(">d", 100.0)))
    audio = el(0xE1, el(0xB5, struct.pack(">d", 8000.0)) + el(0x9F, b"\x01") + el(0x6264, b"\x10"))
    track = el(0xAE, el(0xD7, b"\x01") + el(0x73C5, b"\x07") + el(0x83, b"\x02") + el(0x86, b"A_PCM/INT/LIT") + audio)
    block = el(0xA3, b"\x81\x00\x00\x80" + bytes(1600))
    cluster = el(CLUSTER, el(0xE7, b"\x00") + block)
    return [(INFO, info), (TRACKS, el(TRACKS, track)), (CLUSTER, cluster), (matroska_bytes.TAGS, tags)]


def seek_entry(element_id, position):
    return el(0x4DBB, el(0x53AB, element_id.to_bytes((element_id.bit_length() + 7) // 8, "big")) +
              el(0x53AC, struct.pack(">Q", position)))


def pcm_file(tags, seekhead_chain=0):
    """A whole file: a SeekHead naming Info, Tracks and Tags (and, with
    `seekhead_chain`, a SeekHead behind the Tags naming the next, as many as
    that, each found only through the one before), then the children."""
    children = pcm_segment_children(tags)
    # Entries hold 8-byte positions: the SeekHead's size does not depend on them.
    listed = [INFO, TRACKS, matroska_bytes.TAGS] + ([matroska_bytes.SEEKHEAD] if seekhead_chain else [])
    head_size = len(el(matroska_bytes.SEEKHEAD, b"".join(seek_entry(i, 0) for i in listed)))
    link_size = len(el(matroska_bytes.SEEKHEAD, seek_entry(matroska_bytes.SEEKHEAD, 0)))
    positions, at = {}, head_size
    for element_id, element in children:
        positions[element_id] = at
        at += len(element)
    positions[matroska_bytes.SEEKHEAD] = at
    head = el(matroska_bytes.SEEKHEAD, b"".join(seek_entry(i, positions[i]) for i in listed))
    chain = b"".join(el(matroska_bytes.SEEKHEAD, seek_entry(matroska_bytes.SEEKHEAD, at + (n + 1) * link_size))
                     for n in range(seekhead_chain - 1))
    if seekhead_chain:
        chain += el(matroska_bytes.SEEKHEAD, seek_entry(INFO, positions[INFO]))
    content = head + b"".join(element for _, element in children) + chain
    header = el(0x1A45DFA3, el(0x4286, b"\x01") + el(0x42F7, b"\x01") + el(0x4282, b"matroska") +
                el(0x4285, b"\x02"))
    return header + matroska_bytes.SEGMENT.to_bytes(4, "big") + matroska_bytes.size_bytes(len(content), 8) + content


def many_simple_tags(count):
    """One Tag at the track's level of `count` SimpleTags, and beside it one
    aimed at the same track without a level, sharing half their names."""
    targets = el(0x63C0, el(0x68CA, b"\x1e") + el(0x63C5, b"\x07"))
    unsaid = el(0x63C0, el(0x63C5, b"\x07"))
    first = b"".join(simple_tag("FIELD %d" % i, "value %d" % i) for i in range(count))
    second = b"".join(simple_tag(("FIELD %d" if i % 2 else "OTHER %d") % i, "more") for i in range(count))
    return pcm_file(el(matroska_bytes.TAGS, el(0x7373, targets + first) + el(0x7373, unsaid + second)))


def seekhead_chain(count):
    """A small Tags element and a chain of `count` SeekHeads behind it."""
    return pcm_file(matroska_bytes.simple_tags(50, ("TITLE", "Chained")), seekhead_chain=count)


def flac_comment(data, entries):
    """The FLAC file with its Vorbis comment block holding these NAME=value
    entries instead of its own; the other blocks stay."""
    pos, blocks = 4, []
    while True:
        header = data[pos]
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        blocks.append((header & 0x7F, data[pos + 4:pos + 4 + size]))
        pos += 4 + size
        if header & 0x80:
            break
    body = struct.pack("<I", 6) + b"fuzzer" + struct.pack("<I", len(entries))
    body += b"".join(struct.pack("<I", len(e)) + e for e in entries)
    kept = [(kind, block) for kind, block in blocks if kind != 4] + [(4, body)]
    out = b"fLaC"
    for n, (kind, block) in enumerate(kept):
        out += bytes([kind | (0x80 if n == len(kept) - 1 else 0)]) + len(block).to_bytes(3, "big") + block
    return out + data[pos:]


def many_album_artists(data, count):
    """Thousands of ALBUMARTIST values, each other one a double of an earlier."""
    return flac_comment(data, [b"ALBUMARTIST=artist %d" % (i // 2) for i in range(count)])


def many_cue_tracks(data, count):
    """A cue sheet in the comment of thousands of tracks, their numbers
    running through 1 to 99 again and again, each with a title and a REM
    line."""
    lines = ['PERFORMER "Album artist"', 'TITLE "Album"', 'FILE "f.wav" WAVE']
    for n in range(count):
        lines += ["  TRACK %02d AUDIO" % (n % 99 + 1), '    TITLE "Track %d"' % n, '    PERFORMER "Artist %d"' % n,
                  '    REM COMMENT "note %d"' % n, "    INDEX 01 00:00:%02d" % (n % 60)]
    return flac_comment(data, [b"TITLE=t", ("CUESHEET=" + "\n".join(lines) + "\n").encode()])


def mp4_box(kind, payload):
    return struct.pack(">I", 8 + len(payload)) + kind + payload


def many_freeform_items(data, count):
    """The MP4 file with `count` freeform items of names all different put
    first in its item list."""
    items = b"".join(mp4_box(b"----", mp4_box(b"mean", bytes(4) + b"com.apple.iTunes") +
                             mp4_box(b"name", bytes(4) + b"FIELD %d" % i) +
                             mp4_box(b"data", struct.pack(">II", 1, 0) + b"value %d" % i)) for i in range(count))
    return mp4_bytes.with_item(data, items)


def long_list_shapes(data):
    """(label, bytes): the long lists above, each of the kind the fixture's
    format holds."""
    if data[:4] == b"\x1a\x45\xdf\xa3":
        yield "mkv-many-simple-tags", many_simple_tags(40000)
        yield "mkv-seekhead-chain", seekhead_chain(100000)
    if data[:4] == b"fLaC":
        yield "flac-many-album-artists", many_album_artists(data, 60000)
        yield "flac-cue-many-tracks", many_cue_tracks(data, 20000)
    if data[4:8] == b"ftyp":
        try:
            yield "mp4-many-freeform-items", many_freeform_items(data, 20000)
        except StopIteration:  # no item list to put them in
            pass
