"""ID3v2 frames made byte by byte, for tags no tagger writes as a test needs
them (undecodable encodings, compressed frames, status flags), and the
frames of a tag as stored."""
import zlib


def syncsafe(n):
    """`n` as the four 7-bit bytes of an ID3v2 size."""
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def v24_frame(frame_id, payload, compressed=False, status=0):
    """A version 2.4 frame; compressed with zlib behind its data length, as
    taggers that compress write it. `status`: its status flags (0x40 tag
    alter, 0x20 file alter, 0x10 read only)."""
    flags = 0
    if compressed:
        payload, flags = syncsafe(len(payload)) + zlib.compress(payload), 0x09
    return frame_id.encode() + syncsafe(len(payload)) + bytes([status, flags]) + payload


def v23_frame(frame_id, payload, status=0):
    """A version 2.3 frame with its status flags (0x80 tag alter, 0x40 file
    alter, 0x20 read only)."""
    return frame_id.encode() + len(payload).to_bytes(4, "big") + bytes([status, 0]) + payload


def tag_bytes(version, frames):
    """A whole tag of version 2.`version` around the frames' bytes."""
    return b"ID3" + bytes([version, 0, 0]) + syncsafe(len(frames)) + frames


def tag_frames(data):
    """The frames of the tag at the start of `data`, in file order: each
    frame's identifier with its bytes, header included."""
    size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
    tag = data[:10 + size]
    frames, pos = [], 10
    while pos + 10 <= len(tag) and tag[pos] != 0:
        raw = tag[pos + 4:pos + 8]
        length = ((raw[0] << 21) | (raw[1] << 14) | (raw[2] << 7) | raw[3]) if tag[3] == 4 else \
            int.from_bytes(raw, "big")
        frames.append((tag[pos:pos + 4].decode("latin-1"), tag[pos:pos + 10 + length]))
        pos += 10 + length
    return frames
