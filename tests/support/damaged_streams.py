"""Damaged shapes of Musepack version 8 and MP3 files, made from files the
Debian encoders wrote: shared by the black-box suites and the fuzz harness."""
import zlib


def mpc_packets(data):
    """(key, start, total size) of each packet of a version 8 stream that
    starts the file, up to the stream-end packet or the end of the file."""
    out, at = [], 4
    while at + 3 <= len(data):
        size, length = 0, 0
        while True:
            byte = data[at + 2 + length]
            length += 1
            size = (size << 7) | (byte & 0x7F)
            if not byte & 0x80:
                break
        out.append((data[at:at + 2], at, size))
        if data[at:at + 2] == b"SE" or size == 0:
            break
        at += size
    return out


def mpc_cut_in_last_audio_packet(data, keep=0.5):
    """The stream cut `keep` of the way into its last audio packet."""
    key, at, size = [p for p in mpc_packets(data) if p[0] == b"AP"][-1]
    return data[:at + int(size * keep)]


def mpc_cut_in_seek_table(data):
    """The stream cut inside the seek-table packet that follows its audio."""
    tables = [p for p in mpc_packets(data) if p[0] == b"ST"]
    if not tables:
        return None
    key, at, size = tables[-1]
    return data[:at + max(3, size // 2)]


def mpc_header_grown(data, extra=4):
    """The stream header packet with `extra` bytes more after its fields (its
    checksum made to match), the seek table's offsets from the header left as
    they were: what a tool that edits only the header leaves."""
    key, at, size = mpc_packets(data)[0]
    if key != b"SH" or size >= 0x7F - extra:
        return None
    body = data[at + 7:at + size] + bytes(extra)
    payload = zlib.crc32(body).to_bytes(4, "big") + body
    return data[:at] + b"SH" + bytes([size + extra]) + payload + data[at + size:]


def mp3_with_padding(data, padding):
    """An MP3 whose LAME tag states `padding` samples of encoder padding."""
    header = max(data.find(b"Xing"), data.find(b"Info"))
    at = data.find(b"LAME", header) if header >= 0 else -1
    if at < 0 or at - header > 200:
        return None
    out = bytearray(data)
    out[at + 22] = (out[at + 22] & 0xF0) | (padding >> 8)
    out[at + 23] = padding & 0xFF
    return bytes(out)


def mpc_chapter_shapes(data):
    """(label, bytes) of a version 8 stream with chapter packets damaged the
    ways a reader must survive: each chapter's size byte 0 to 3, its
    continuation bit set, or reaching past the stream end; a start number
    that never ends, starts out of order, a chapter tag whose header claims
    more than the packet holds; chapters before the audio; no stream end."""
    packets = mpc_packets(data)
    chapters = [(at, size) for key, at, size in packets if key == b"CT"]
    if not chapters:
        return
    for n, (at, size) in enumerate(chapters):
        size_byte = at + 2
        for value in (0, 1, 2, 3, data[size_byte] | 0x80, 0x7F):
            if value != data[size_byte]:
                yield "ct%d-size-%#x" % (n, value), data[:size_byte] + bytes([value]) + data[size_byte + 1:]
        length = 1
        while data[at + 1 + length] & 0x80:
            length += 1
        payload = at + 2 + length
        endless = min(size - 2 - length, 12)
        yield "ct%d-endless-start" % n, data[:payload] + b"\xff" * endless + data[payload + endless:]
        tag = data.find(b"\xd0\x07\x00\x00", payload, at + size)
        if tag >= 0:
            for field in (4, 8):
                yield ("ct%d-tag-field%d-huge" % (n, field),
                       data[:tag + field] + b"\xff\xff\xff\x7f" + data[tag + field + 4:])
    first, last = chapters[0][0], chapters[-1][0] + chapters[-1][1]
    run = data[first:last]
    if len(chapters) > 1:
        (a, a_size), (b, b_size) = chapters[0], chapters[1]
        yield "ct-swapped", data[:a] + data[b:b + b_size] + data[a:a + a_size] + data[b + b_size:]
    audio = [at for key, at, size in packets if key == b"AP"]
    if audio:
        yield "ct-before-audio", data[:audio[0]] + run + data[audio[0]:first] + data[last:]
    end = [at for key, at, size in packets if key == b"SE"]
    if end:
        yield "no-stream-end", data[:end[0]] + data[end[0] + 3:]


def id3v2_chapter_shapes(data):
    """(label, bytes) of an MP3 whose ID3v2 tag holds CTOC and CHAP frames,
    damaged in them: frame sizes 0, 1 and past the tag, an element id
    without its end, a table of contents claiming 255 entries or naming
    itself, a chapter ending before it starts or past the file."""
    for kind in (b"CTOC", b"CHAP"):
        start = 0
        while True:
            at = data.find(kind, start, 4096)
            if at < 0:
                break
            start = at + 4
            label = "%s@%d" % (kind.decode().lower(), at)
            for size in (0, 1, 0x7F7F7F7F):
                yield "%s-size-%#x" % (label, size), data[:at + 4] + size.to_bytes(4, "big") + data[at + 8:]
            body = at + 10
            end = data.find(b"\0", body)
            if end < 0:
                continue
            yield label + "-endless-id", data[:end] + b"x" + data[end + 1:]
            if kind == b"CTOC":
                yield label + "-255-entries", data[:end + 2] + b"\xff" + data[end + 3:]
                own_id = data[body:end]
                entry = data.find(b"\0", end + 3)
                if entry > end + 3 and entry - (end + 3) >= len(own_id):
                    yield label + "-names-itself", data[:end + 3] + own_id + data[end + 3 + len(own_id):]
            else:
                times = end + 1
                yield label + "-ends-before-start", data[:times] + b"\0\0\x10\0\0\0\0\0" + data[times + 8:]
                yield label + "-past-end", data[:times] + b"\x7f\xff\xff\xff\xff\xff\xff\xff" + data[times + 8:]


def nero_chapter_shapes(data):
    """(label, bytes) of an MP4 whose chapter list (chpl) claims 255
    chapters, a title longer than the box, starts out of order or past
    the end, or a box size too small for its count."""
    at = data.find(b"chpl")
    if at < 4 or at + 22 > len(data):
        return
    count, first = at + 12, at + 13

    def put(offset, value):
        return data[:offset] + value + data[offset + len(value):]
    yield "chpl-255-chapters", put(count, b"\xff")
    yield "chpl-title-255", put(first + 8, b"\xff")
    yield "chpl-start-past-end", put(first, b"\x7f" + b"\xff" * 7)
    title_length = data[first + 8]
    second = first + 9 + title_length
    if data[count] > 1 and second + 8 <= len(data):
        yield "chpl-out-of-order", put(second, bytes(8))
    yield "chpl-size-12", put(at - 4, (12).to_bytes(4, "big"))


def matroska_chapter_shapes(data):
    """(label, bytes) of a Matroska file whose Chapters element is damaged:
    an edition, atom, start time or display with its size made 0 or
    unknown (all ones), or a start time of all ones."""
    chapters = data.find(b"\x10\x43\xa7\x70")
    if chapters < 0:
        return
    end = min(len(data), chapters + 4096)
    for name, element in (("edition", b"\x45\xb9"), ("atom", b"\xb6"), ("start", b"\x91"), ("display", b"\x80")):
        at = data.find(element, chapters + 4, end)
        if at < 0:
            continue
        size = at + len(element)
        length = 1
        while length < 8 and not data[size] & (0x80 >> (length - 1)):
            length += 1
        unknown = bytes([0xFF >> (length - 1) | (0x80 >> (length - 1))]) + b"\xff" * (length - 1)
        zero = bytes([0x80 >> (length - 1)]) + bytes(length - 1)
        yield "mkv-%s-size-0" % name, data[:size] + zero + data[size + length:]
        yield "mkv-%s-size-unknown" % name, data[:size] + unknown + data[size + length:]
        if name == "start":
            value_length = data[size] & 0x7F if length == 1 else 0
            if 0 < value_length <= 8:
                value = size + 1
                yield "mkv-start-all-ones", data[:value] + b"\xff" * value_length + data[value + value_length:]


def cue_sheet_shapes(data):
    """(label, bytes) of a file whose cue sheet text is damaged in place
    (same length, so its container stays sound): an index going back or
    far past the end, a track without INDEX 01, track numbers 0 and 99, a
    time with a field out of range."""
    at = data.find(b"INDEX 01 ")
    second = data.find(b"INDEX 01 ", at + 1) if at >= 0 else -1
    if at < 0 or second < 0:
        return

    def put(offset, value):
        return data[:offset] + value + data[offset + len(value):]
    yield "cue-index-back", put(second + 9, data[at + 9:at + 17])
    yield "cue-index-far", put(second + 9, b"99:59:74")
    yield "cue-index-out-of-range", put(second + 9, b"00:99:99")
    yield "cue-no-index-01", put(second + 6, b"02")
    track = data.find(b"TRACK 02")
    if track >= 0:
        yield "cue-track-00", put(track + 6, b"00")
        yield "cue-track-99", put(track + 6, b"99")
