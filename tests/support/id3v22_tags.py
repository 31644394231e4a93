"""ID3v2.2 tags (three-letter frames), as older taggers wrote them, made byte
by byte: mutagen writes only versions 2.3 and 2.4. EVERY_FRAME holds a frame
of each kind of the version 2.2 list that mutagen reads, with payloads in
each frame's own layout; later_forms reads a tag back for comparison."""
import struct

from mutagen.id3 import ID3

from blackbox_checks import tiny_png

NUL = b"\0"


def frame(frame_id, payload):
    return frame_id + struct.pack(">I", len(payload))[1:] + payload


def tag(frames):
    """A version 2.2 tag of (identifier, payload) pairs."""
    body = b"".join(frame(frame_id, payload) for frame_id, payload in frames)
    size = len(body)
    return b"ID3\x02\x00\x00" + bytes([(size >> 21) & 127, (size >> 14) & 127, (size >> 7) & 127, size & 127]) + body


def put_tag(path, frames):
    """Puts a version 2.2 tag of the frames in front of the file's bytes."""
    with open(path, "rb") as f:
        audio = f.read()
    with open(path, "wb") as f:
        f.write(tag(frames) + audio)


def latin(text):
    return b"\x00" + text.encode("latin-1")


def later_forms(path):
    """Every frame of the file's tag as mutagen reads it (version 2.2 frames
    in their later forms), by its text: a multiset as a sorted list."""
    frames = []
    for frame in ID3(path, translate=False).values():
        # mutagen keeps a version 2.2 picture's image format as its MIME type.
        if frame.FrameID == "APIC":
            frame.mime = {"PNG": "image/png", "JPG": "image/jpeg"}.get(frame.mime, frame.mime)
        frames.append(repr(frame))
    return sorted(frames)


# The frames the older taggers wrote most: title, artist, album, year,
# track, genre, a comment, a user-defined text, lyrics, a picture and the
# compilation flag.
COMMON_FRAMES = [
    (b"TT2", latin("Old Title")), (b"TP1", latin("Artist")), (b"TAL", latin("Album")), (b"TYE", latin("2001")),
    (b"TRK", latin("3/12")), (b"TCO", latin("(17)")), (b"COM", latin("eng") + b"note" + NUL + b"a comment"),
    (b"TXX", latin("MOOD") + NUL + b"calm"), (b"ULT", latin("eng") + NUL + b"the lyrics"),
    (b"PIC", b"\x00PNG\x03cover" + NUL + tiny_png()), (b"TCP", latin("1")),
]

EVERY_FRAME = COMMON_FRAMES + [
    (b"BUF", b"\x00\x10\x00\x00"), (b"CNT", b"\x00\x00\x00\x07"), (b"CRA", b"owner" + NUL + b"\x00\x00\x00\x00\x01"),
    (b"ETC", b"\x02\x03\x00\x00\x00\x09"),
    (b"GEO", latin("text/plain") + NUL + b"a.txt" + NUL + b"object" + NUL + b"data"),
    (b"IPL", latin("producer") + NUL + b"Someone" + NUL), (b"LNK", b"TT1http://example.org/link" + NUL),
    (b"MCI", b"\x01\x02\x03\x04"), (b"MLL", b"\x00\x01\x00\x00\x00\x01\x00\x00\x01\x08\x08\x11"),
    (b"POP", b"someone@example.org" + NUL + b"\x80\x00\x00\x00\x04"), (b"REV", bytes([1] * 12)),
    (b"RVA", b"\x03\x10\x00\x08\x00\x08"), (b"SLT", latin("eng") + b"\x02\x01" + NUL + b"la" + NUL + b"\x00\x00\x00\x05"),
    (b"STC", b"\x02\x78\x00\x00\x00\x00"), (b"TBP", latin("120")), (b"TCM", latin("Composer")),
    (b"TCR", latin("2001 Someone")), (b"TDA", latin("0305")), (b"TDY", latin("100")), (b"TEN", latin("Encoder")),
    (b"TFT", latin("MPG/3")), (b"TIM", latin("1230")), (b"TKE", latin("Am")), (b"TLA", latin("eng")),
    (b"TLE", latin("1000")), (b"TMT", latin("CD")), (b"TOA", latin("Original Artist")), (b"TOF", latin("old.wav")),
    (b"TOL", latin("Original Lyricist")), (b"TOR", latin("1970")), (b"TOT", latin("Original Album")),
    (b"TP2", latin("Band")), (b"TP3", latin("Conductor")), (b"TP4", latin("Remixer")), (b"TPA", latin("1/2")),
    (b"TPB", latin("Publisher")), (b"TRC", latin("USABC0100001")), (b"TRD", latin("March 5")),
    (b"TS2", latin("Band, The")), (b"TSA", latin("Album, The")), (b"TSC", latin("Composer, A")),
    (b"TSI", latin("4000")), (b"TSP", latin("Artist, An")), (b"TSS", latin("Settings")), (b"TST", latin("Title, A")),
    (b"TT1", latin("Group")), (b"TT3", latin("Subtitle")), (b"TXT", latin("Lyricist")),
    (b"UFI", b"http://example.org" + NUL + b"id"), (b"WAF", b"http://example.org/file"),
    (b"WAR", b"http://example.org/artist"), (b"WAS", b"http://example.org/source"), (b"WCM", b"http://example.org/buy"),
    (b"WCP", b"http://example.org/copyright"), (b"WPB", b"http://example.org/publisher"),
    (b"WXX", latin("shop") + NUL + b"http://example.org/shop"),
]

# A frame of version 2.2 that later versions dropped.
ENCRYPTED_META = (b"CRM", b"owner" + NUL + b"about" + NUL + b"\x01\x02\x03")
