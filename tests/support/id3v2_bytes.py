"""ID3v2 frames made byte by byte, for tags no tagger writes as a test needs
them (undecodable encodings, compressed frames)."""
import zlib


def syncsafe(n):
    """`n` as the four 7-bit bytes of an ID3v2 size."""
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def v24_frame(frame_id, payload, compressed=False):
    """A version 2.4 frame; compressed with zlib behind its data length, as
    taggers that compress write it."""
    flags = 0
    if compressed:
        payload, flags = syncsafe(len(payload)) + zlib.compress(payload), 0x09
    return frame_id.encode() + syncsafe(len(payload)) + bytes([0, flags]) + payload
