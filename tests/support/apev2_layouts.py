"""APEv2 tags at the end of a file (before an ID3v1 block, where there is
one) read and reshaped byte by byte: whether the items fill the tag up to
its footer, the zeros earlier builds of the player left there, and an item
appended behind them as WavPack's tagger appends one."""
import struct
import subprocess

ID3V1_SIZE = 128


def tag_end(data):
    """Where the APEv2 footer ends: at the end, else before an ID3v1 block
    (whose "TAG" may be the middle of an APEv2 header's preamble)."""
    if data[-32:-24] == b"APETAGEX":
        return len(data)
    return len(data) - ID3V1_SIZE if data[-ID3V1_SIZE:-ID3V1_SIZE + 3] == b"TAG" else len(data)


def footer(data):
    """(footer offset, size, item count) of the APEv2 tag; None without one."""
    end = tag_end(data)
    at = end - 32
    if at < 0 or data[at:at + 8] != b"APETAGEX":
        return None
    _, size, count, _ = struct.unpack_from("<IIII", data, at + 8)
    return at, size, count


def items_before_footer(data):
    """The bytes between the last item and the footer, after reading the
    items the footer counts; None when the tag cannot be read so."""
    found = footer(data)
    if found is None:
        return None
    at, size, count = found
    pos = at - (size - 32)
    for _ in range(count):
        if pos + 8 > at:
            return None
        value_size = struct.unpack_from("<I", data, pos)[0]
        key_end = data.find(b"\0", pos + 8, at)
        if key_end < 0 or key_end == pos + 8:
            return None
        pos = key_end + 1 + value_size
    return data[pos:at] if pos <= at else None


def items(data):
    """[(key, flags, value)] of the APEv2 tag's items in their order, as many
    as its footer counts."""
    at, size, count = footer(data)
    pos, found = at - (size - 32), []
    for _ in range(count):
        value_size, flags = struct.unpack_from("<II", data, pos)
        key_end = data.index(b"\0", pos + 8)
        found.append((data[pos + 8:key_end].decode(), flags, data[key_end + 1:key_end + 1 + value_size]))
        pos = key_end + 1 + value_size
    return found


def tag_of(items_with_flags):
    """An APEv2 tag with header and footer holding [(key, flags, value)]."""
    body = b"".join(struct.pack("<II", len(v), flags) + k.encode() + b"\0" + v for k, flags, v in items_with_flags)
    block = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, len(items_with_flags), flags) + bytes(8)
    return block(0xA0000000) + body + block(0x80000000)


def _inserted_before_footer(data, inserted, added_items):
    """The tag with `inserted` put right before its footer, its header
    (where there is one) and footer giving the new size and `added_items`
    more items."""
    at, size, count = footer(data)
    out = bytearray(data[:at] + inserted + data[at:])
    blocks = [at + len(inserted)]
    header = at - (size - 32) - 32
    if header >= 0 and data[header:header + 8] == b"APETAGEX":
        blocks.append(header)
    for block in blocks:
        struct.pack_into("<II", out, block + 12, size + len(inserted), count + added_items)
    return bytes(out)


def with_zeros_before_footer(data, zeros):
    """The tag with `zeros` zero bytes between its last item and its footer,
    its sizes agreeing: the room an earlier build kept there."""
    return _inserted_before_footer(data, bytes(zeros), 0)


def with_item_appended(data, key, value):
    """The tag with one more text item right before its footer, behind
    whatever stands there, as WavPack's tagger adds one."""
    encoded = value.encode()
    return _inserted_before_footer(data, struct.pack("<II", len(encoded), 0) + key.encode() + b"\0" + encoded, 1)


def hostile_zero_runs_tag(segments, zeros):
    """A tag whose header and footer agree, holding `segments` runs of 268
    bytes that each read as one item or as two (the first item's size
    begins with a zero, so a run of zeros may end a byte later), then
    `zeros` zero bytes and a title item, with a count no reading meets: a
    search over where the runs end tries every reading."""
    segment = (struct.pack("<II", 256, 0) + b"KKK\0x" + bytes(244) + bytes(8) + b"TT\0")
    body = segment * segments + bytes(zeros) + struct.pack("<II", 1, 0) + b"Title\0t"
    block = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, 3 * segments, flags) + bytes(8)
    return block(0xA0000000) + body + block(0x80000000)


def footer_follows_items(path):
    """Whether the APEv2 tag of the file at `path` holds nothing between
    its last item and its footer."""
    with open(path, "rb") as f:
        return items_before_footer(f.read()) == b""


def wvunpack_items(path, command=("wvunpack", "-ss", "-q")):
    """{key: text} of the APEv2 items wvunpack (or wvtag -l) lists (a line each)."""
    out = subprocess.run([*command, path], capture_output=True, text=True).stdout
    listed = out.split("APEv2 tag items:", 1)
    items = {}
    for line in (listed[1].splitlines()[1:] if len(listed) == 2 else []):
        key, sep, value = line.partition(":")
        if sep:
            items[key.strip()] = value.strip()
    return items
