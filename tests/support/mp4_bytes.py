"""MP4 files reshaped at the byte level, for the tests and the fuzz harness:
the damage other programs leave in a movie box's user data (sizes that do
not add up, an interrupted rewrite, a file cut inside its item list, one
broken item), media data that holds no samples, a sample-size table cut
short, and boxes added where other programs add them (a second user-data
box, "meta" or item list)."""


def boxes(data, start=0, end=None):
    """(type, offset, size) of the boxes with 32-bit sizes between start and end."""
    end = len(data) if end is None else end
    found = []
    while start + 8 <= end:
        size = int.from_bytes(data[start:start + 4], "big")
        if size < 8:
            break
        found.append((data[start + 4:start + 8], start, size))
        start += size
    return found


def find(data, *path):
    """The box at the end of a path of types; a "meta" box's children start after its version and flags."""
    start, end, box = 0, len(data), None
    for kind in path:
        box = next(b for b in boxes(data, start, end) if b[0] == kind)
        start, end = box[1] + 8 + (4 if kind == b"meta" else 0), box[1] + box[2]
    return box


def with_size(data, at, size):
    return data[:at] + size.to_bytes(4, "big") + data[at + 4:]


def with_item(data, item):
    """The item put first in the item list, the sizes of the boxes around it grown."""
    path = (b"moov", b"udta", b"meta", b"ilst")
    grown = data
    for depth in range(1, len(path) + 1):
        _, at, size = find(data, *path[:depth])
        grown = with_size(grown, at, size + len(item))
    at = find(data, *path)[1] + 8
    return grown[:at] + item + grown[at:]


def genre_with_empty_data(data):
    """A "gnre" item whose "data" box has the size 0, as in other tag libraries' test files."""
    return with_item(data, (16).to_bytes(4, "big") + b"gnre" + bytes(4) + b"data")


def user_data_shapes(data):
    """(name, bytes) of the damaged user data of a file whose movie box is
    last and ends with its user data: all play as the whole file does."""
    moov, udta = find(data, b"moov"), find(data, b"moov", b"udta")
    if moov[1] + moov[2] != len(data) or udta[1] + udta[2] != len(data):
        return
    yield "udta-4-short", with_size(data, udta[1], udta[2] - 4)
    # An interrupted rewrite: the user data runs on past the movie box into
    # bytes that are no box.
    yield "udta-past-moov", with_size(data, udta[1], udta[2] + 200) + bytes(64) + b"\xff" * 40
    ilst = find(data, b"moov", b"udta", b"meta", b"ilst")
    inside = len(data) - ilst[1] - 9
    for cut in sorted({12, inside // 2, inside}):
        yield "moov-cut-%d" % cut, data[:-cut]
    yield "gnre-data-size-0", genre_with_empty_data(data)


def with_cut_size_table(data):
    """The first track's sample-size table cut to its 8-byte header, the
    boxes around it shrunk. The chunk offsets stay: media data after the
    movie box no longer lies where they point. None without such a table."""
    path = (b"moov", b"trak", b"mdia", b"minf", b"stbl", b"stsz")
    try:
        stsz = find(data, *path)
    except StopIteration:
        return None
    cut = stsz[2] - 8
    shrunk = data
    for depth in range(1, len(path)):
        _, at, size = find(data, *path[:depth])
        shrunk = with_size(shrunk, at, size - cut)
    shrunk = with_size(shrunk, stsz[1], 8)
    return shrunk[:stsz[1] + 8] + shrunk[stsz[1] + stsz[2]:]


def without_samples(data):
    """The media data emptied to its 8-byte header: the sample tables point
    past the end of the file. None unless the media data is the last box."""
    mdat = [b for b in boxes(data) if b[0] == b"mdat"]
    if not mdat or mdat[-1][1] + mdat[-1][2] != len(data):
        return None
    return data[:mdat[-1][1]] + (8).to_bytes(4, "big") + b"mdat"


def cut_in_media_data(data, open_ended):
    """The file cut halfway through its media data, as an interrupted
    download leaves it; `open_ended` gives the media data box the size 0
    ("to the end of the file"), so that only the sample tables tell that
    samples are missing. None unless the media data is the last box."""
    mdat = [b for b in boxes(data) if b[0] == b"mdat"]
    if not mdat or mdat[-1][1] + mdat[-1][2] != len(data):
        return None
    at, size = mdat[-1][1], mdat[-1][2]
    cut = data[:at + 8 + (size - 8) // 2]
    return with_size(cut, at, 0) if open_ended else cut


def with_gapless_field(data, field, digits):
    """The gapless record (iTunSMPB) with one hexadecimal field (1: the
    priming, 3: the valid samples) replaced by `digits`, kept to the field's
    width so that no size changes. None without such a record."""
    at = data.find(b"iTunSMPB")
    if at < 0:
        return None
    value = data.find(b"data", at)
    start, end = value + 12, value - 4 + int.from_bytes(data[value - 4:value], "big")
    parts = data[start:end].decode("latin-1").split(" ")
    index = [i for i, part in enumerate(parts) if part][field]
    width = len(parts[index])
    parts[index] = digits.rjust(width, "0")[-width:]
    return data[:start] + " ".join(parts).encode("latin-1") + data[end:]


SAMPLE_TABLE = (b"moov", b"trak", b"mdia", b"minf", b"stbl")


def grown(data, path, delta):
    """The sizes of the boxes along a path of types (all but its last) grown by delta."""
    for depth in range(1, len(path)):
        _, at, size = find(data, *path[:depth])
        data = with_size(data, at, size + delta)
    return data


def media_after_movie(data):
    """Whether the first track's media data follows the movie box, so that
    the movie box growing moves it."""
    mdat = [b for b in boxes(data) if b[0] == b"mdat"]
    return bool(mdat) and find(data, b"moov")[1] < mdat[0][1]


def chunk_tables(data):
    """(offset of the box, width of an entry) of every track's chunk offset
    table, 32 or 64-bit, in track order."""
    moov = find(data, b"moov")
    tables = []
    for kind, at, size in boxes(data, moov[1] + 8, moov[1] + moov[2]):
        if kind != b"trak":
            continue
        start, end = at + 8, at + size
        for level in SAMPLE_TABLE[2:]:
            box = next((b for b in boxes(data, start, end) if b[0] == level), None)
            if box is None:
                break
            start, end = box[1] + 8, box[1] + box[2]
        else:
            tables += [(b[1], 4 if b[0] == b"stco" else 8) for b in boxes(data, start, end)
                       if b[0] in (b"stco", b"co64")]
    return tables


def chunk_offsets(data, table=0):
    """(offset of the table's box, width of an entry, offsets) of a track's
    chunk offset table (the first track's by default)."""
    at, width = chunk_tables(data)[table]
    count = int.from_bytes(data[at + 12:at + 16], "big")
    return at, width, [int.from_bytes(data[at + 16 + i * width:at + 16 + (i + 1) * width], "big")
                       for i in range(count)]


def with_chunk_offsets(data, offsets, table=0):
    at, width, _ = chunk_offsets(data, table)
    entries = b"".join(offset.to_bytes(width, "big") for offset in offsets)
    return data[:at + 16] + entries + data[at + 16 + len(entries):]


def with_media_moved(data, delta):
    """Every track's chunk offsets moved by delta, as the media data moves
    when the movie box before it grows."""
    for table in range(len(chunk_tables(data))):
        data = with_chunk_offsets(data, [offset + delta for offset in chunk_offsets(data, table)[2]], table)
    return data


def wide_chunk_table(offsets):
    """A 64-bit chunk offset table ("co64") of the offsets."""
    return box(b"co64", bytes(4) + len(offsets).to_bytes(4, "big") + b"".join(o.to_bytes(8, "big") for o in offsets))


def with_wide_chunk_offsets(data):
    """The first track's 32-bit chunk offset table ("stco") made the 64-bit
    one ("co64") with the same offsets, as muxers write past 4 GiB: the same
    file to every player. Media data after the movie box moves with it.
    None without such a table."""
    try:
        _, at, size = find(data, *SAMPLE_TABLE, b"stco")
    except StopIteration:
        return None
    offsets = chunk_offsets(data)[2]
    delta = 4 * len(offsets)
    table = wide_chunk_table(offsets)
    widened = grown(data, SAMPLE_TABLE + (b"stco",), delta)
    widened = widened[:at] + table + widened[at + size:]
    return with_media_moved(widened, delta) if media_after_movie(data) else widened


def with_chunk_past_end(data, index=-1):
    """One chunk of the first track said to lie past the end of the file:
    its samples are missing, those before it play. None without chunks."""
    offsets = chunk_offsets(data)[2] if chunk_tables(data) else []
    if not offsets:
        return None
    offsets[index] = len(data) + 4096
    return with_chunk_offsets(data, offsets)


def with_edit_list(data, duration, media_time):
    """The first track's edit list made one edit of `duration` (movie time
    scale) from `media_time` (media time scale), as given, whatever the
    track holds."""
    edit = (28).to_bytes(4, "big") + b"elst" + bytes(4) + (1).to_bytes(4, "big")
    edit += duration.to_bytes(4, "big") + media_time.to_bytes(4, "big", signed=True) + (0x10000).to_bytes(4, "big")
    edits = (36).to_bytes(4, "big") + b"edts" + edit
    try:
        _, at, size = find(data, b"moov", b"trak", b"edts")
    except StopIteration:
        _, tkhd, tkhd_size = find(data, b"moov", b"trak", b"tkhd")
        at, size = tkhd + tkhd_size, 0
    delta = len(edits) - size
    out = grown(data, (b"moov", b"trak", b"edts"), delta)
    out = out[:at] + edits + out[at + size:]
    return with_media_moved(out, delta) if media_after_movie(out) else out


def box(kind, payload):
    return (8 + len(payload)).to_bytes(4, "big") + kind + payload


def text_item(key, value, type_code=1):
    return box(key, box(b"data", type_code.to_bytes(4, "big") + bytes(4) + value))


def meta_box(*items):
    """A "meta" box as iTunes-style taggers write it: a handler, then an item list of the items."""
    handler = box(b"hdlr", bytes(8) + b"mdirappl" + bytes(9))
    return box(b"meta", bytes(4) + handler + box(b"ilst", b"".join(items)))


def with_child(data, path, child):
    """`child` added as the last child of the box at the end of a path of
    types, the boxes along the path grown; media data after the movie box
    moves with it."""
    _, at, size = find(data, *path)
    out = grown(data, path + (None,), len(child))
    out = out[:at + size] + child + out[at + size:]
    return with_media_moved(out, len(child)) if media_after_movie(data) else out


def as_stopped_edit_over_media(data, inner_kind=b"mdat"):
    """A file whose movie box precedes its media data, as a tag edit stopped
    after its switch leaves it: a media data box over a copy of the movie
    box, the samples in a box of `inner_kind` (a "uuid" one with its 16-byte
    user type first), and the 8-byte "free" header the staging put down,
    then the movie box in force; the chunk offsets follow the samples."""
    first, moov, mdat = boxes(data)[0], find(data, b"moov"), find(data, b"mdat")
    samples = data[mdat[1] + 8:mdat[1] + mdat[2]]
    user_type = bytes(range(16)) if inner_kind == b"uuid" else b""
    lands_at = first[2] + 8 + moov[2] - 8 + 8 + len(user_type)
    moved = with_media_moved(data, lands_at - (mdat[1] + 8))
    payload = moved[moov[1] + 8:moov[1] + moov[2]]
    inner = box(inner_kind, user_type + samples)
    return data[:first[2]] + box(b"mdat", payload + inner + (8).to_bytes(4, "big") + b"free") + box(b"moov", payload)


def with_second_chunk_table(data):
    """The first track's 32-bit chunk offset table followed by a 64-bit one
    with the same offsets, which players choose between differently. None
    without such a table."""
    try:
        find(data, *SAMPLE_TABLE, b"stco")
    except StopIteration:
        return None
    return with_child(data, SAMPLE_TABLE, wide_chunk_table(chunk_offsets(data)[2]))
