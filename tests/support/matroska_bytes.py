"""Matroska files reshaped at the byte level, for the tests and the fuzz
harness: the SeekHead replaced by a Void of its size, a second Tags element
at the end of the Segment, a copy of the Tags or a Tags element of other
values where a Void stood, a second SeekHead there, and the EBML elements
built for them."""

SEGMENT, SEEKHEAD, TAGS, VOID = 0x18538067, 0x114D9B74, 0x1254C367, 0xEC
SEEK, SEEK_ID, SEEK_POSITION = 0x4DBB, 0x53AB, 0x53AC


def vint_length(first):
    for length in range(1, 9):
        if first & (0x80 >> (length - 1)):
            return length
    raise ValueError("no length marker")


def read_id(data, pos):
    length = vint_length(data[pos])
    return int.from_bytes(data[pos:pos + length], "big"), pos + length


def read_size(data, pos):
    length = vint_length(data[pos])
    value = data[pos] & (0xFF >> length)
    for b in data[pos + 1:pos + length]:
        value = (value << 8) | b
    return value, length, pos + length


def size_bytes(value, length=None):
    length = length or next(n for n in range(1, 9) if value < (1 << (7 * n)) - 1)
    return (value | (1 << (7 * length))).to_bytes(length, "big")


def el(element_id, content):
    return element_id.to_bytes((element_id.bit_length() + 7) // 8, "big") + size_bytes(len(content)) + content


def segment(data):
    """(position of the Segment's size field, its length, content start, content size)."""
    pos = 0
    while pos < len(data):
        element_id, after_id = read_id(data, pos)
        size, length, content = read_size(data, after_id)
        if element_id == SEGMENT:
            return after_id, length, content, size
        pos = content + size
    raise ValueError("no Segment")


def children(data):
    """(ID, position, total bytes) of every top-level element of the Segment present in the data."""
    _, _, start, size = segment(data)
    pos, out = start, []
    while pos < min(start + size, len(data)):
        element_id, after_id = read_id(data, pos)
        child_size, _, content = read_size(data, after_id)
        out.append((element_id, pos, content + child_size - pos))
        pos = content + child_size
    return out


def without_seekhead(data):
    """Every top-level SeekHead becomes a Void of the same size, as some muxers leave it."""
    out = bytearray(data)
    for element_id, pos, total in children(data):
        if element_id != SEEKHEAD:
            continue
        _, length, _ = read_size(data, pos + 4)
        out[pos:pos + 1 + length] = bytes([VOID]) + size_bytes(total - 1 - length, length)
    return bytes(out)


def simple_tags(level, *pairs):
    """A Tags element with one Tag at the target level holding (name, value) SimpleTags."""
    simples = b"".join(el(0x67C8, el(0x45A3, n.encode()) + el(0x4487, v.encode())) for n, v in pairs)
    return el(TAGS, el(0x7373, el(0x63C0, el(0x68CA, bytes([level]))) + simples))


def with_element_at_end(data, element):
    """The element added at the end of the Segment, which must end the file."""
    size_at, length, start, size = segment(data)
    if start + size != len(data):
        raise ValueError("the Segment does not end the file")
    return data[:size_at] + size_bytes(size + len(element), length) + data[size_at + length:] + element


def with_second_tags(data, room=200):
    """A second Tags element, which no SeekHead names, after everything else, with a Void of `room` bytes behind it."""
    return with_element_at_end(data, simple_tags(50, ("ARTIST", "Second")) + el(VOID, bytes(room - 2)))


def void_of(total):
    """A Void element of exactly `total` bytes (none for 0)."""
    if total == 0:
        return b""
    return bytes([VOID]) + size_bytes(total - 9, 8) + bytes(total - 9) if total >= 9 else el(VOID, bytes(total - 2))


def with_element_in_void(data, element):
    """The first top-level Void that can hold the element holds it, with a Void over the rest."""
    for element_id, pos, total in children(data):
        if element_id == VOID and (total == len(element) or total >= len(element) + 2):
            return data[:pos] + element + void_of(total - len(element)) + data[pos + total:]
    raise ValueError("no Void can hold the element")


def with_tags_copy_in_void(data):
    """The first top-level Void that can hold a copy of the first Tags element
    holds one, as a tool that wrote its Tags twice leaves it."""
    _, tags_at, tags_total = next(c for c in children(data) if c[0] == TAGS)
    return with_element_in_void(data, data[tags_at:tags_at + tags_total])


def with_other_tags_in_void(data, *pairs):
    """A second Tags element of other values, at the album's level, in the
    first Void that can hold it (in ffmpeg's files the one a SeekHead would
    grow into): no SeekHead names it, and where that Void stands in front of
    the Clusters, readers that walk the Segment read it."""
    return with_element_in_void(data, simple_tags(50, *pairs))


def with_second_seekhead(data, *pairs):
    """A second SeekHead, which the first does not name, in the first Void that
    can hold it (in ffmpeg's files the one behind its SeekHead), naming the
    first Tags element in a SeekPosition of 8 bytes, room for any position.
    With `pairs`, it names instead a second Tags element of those values at
    the album's level, right behind it, which no other SeekHead names."""
    start = segment(data)[2]
    tags_at = next(pos for element_id, pos, _ in children(data) if element_id == TAGS)

    def seekhead(target):
        position = el(SEEK_POSITION, (target - start).to_bytes(8, "big"))
        return el(SEEKHEAD, el(SEEK, el(SEEK_ID, TAGS.to_bytes(4, "big")) + position))
    other = simple_tags(50, *pairs) if pairs else b""
    size = len(seekhead(start)) + len(other)
    void_at = next(pos for element_id, pos, total in children(data)
                   if element_id == VOID and (total == size or total >= size + 2))
    return with_element_in_void(data, seekhead(void_at + len(seekhead(start)) if pairs else tags_at) + other)


def with_size(data, pos, new_size):
    """The element at `pos` claiming `new_size` bytes, in its own size field's length."""
    _, after_id = read_id(data, pos)
    _, length, _ = read_size(data, after_id)
    return data[:after_id] + size_bytes(new_size, length) + data[after_id + length:]


def damaged_tags_shapes(data):
    """(label, bytes): the first Tags element's size off by one and by eight
    bytes either way and halved, and its first Tag grown by eight bytes."""
    found = [(pos, total) for element_id, pos, total in children(data) if element_id == TAGS]
    if not found:
        return
    pos, _ = found[0]
    _, after_id = read_id(data, pos)
    size, _, content = read_size(data, after_id)
    for label, new_size in (("plus-1", size + 1), ("minus-1", size - 1), ("plus-8", size + 8),
                            ("minus-8", size - 8), ("half", size // 2)):
        yield "tags-size-" + label, with_size(data, pos, new_size)
    tag_size, _, _ = read_size(data, read_id(data, content)[1])
    yield "tag-grown-8", with_size(data, content, tag_size + 8)
