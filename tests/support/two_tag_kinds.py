"""Files with a second tag kind beside the tag the player reads: MP3 files
tagged with mutagen with a gain tool's APEv2 items, or with an ID3v1 block
holding an album the ID3v2 tag lacks, and an ID3v1 block to put behind the
APEv2 tag of other formats."""
from mutagen.apev2 import APEv2
from mutagen.id3 import ID3, TALB, TIT2, TPE1

# As mp3gain leaves them, beside an album only this tag holds.
GAIN_ITEMS = {"MP3GAIN_MINMAX": "112,200", "MP3GAIN_UNDO": "+002,+002,N", "MP3GAIN_ALBUM_MINMAX": "100,210",
              "REPLAYGAIN_TRACK_GAIN": "-6.095000 dB", "REPLAYGAIN_TRACK_PEAK": "0.912345",
              "REPLAYGAIN_ALBUM_GAIN": "-5.500000 dB", "Album": "APE Album"}


def id3v1_block(title, album):
    """An ID3v1.1 block (artist "Band", track 5, genre Rock) from byte strings."""
    return (b"TAG" + title.ljust(30, b"\0") + b"Band".ljust(30, b"\0") + album.ljust(30, b"\0") + b"1999" +
            bytes(28) + b"\x00\x05\x11")


def id3v2(title, *frames):
    tags = ID3()
    for frame in (TIT2(encoding=3, text=[title]), TPE1(encoding=3, text=["Band"])) + frames:
        tags.add(frame)
    return tags


def tag_with_gain_items(path, title):
    """An ID3v2 tag (title, artist "Band") and the APEv2 GAIN_ITEMS."""
    id3v2(title).save(path, v1=0)
    items = APEv2()
    items.update(GAIN_ITEMS)
    items.save(path)


def tag_with_album_only_in_id3v1(path, title, album):
    """ID3v2 and ID3v1 tags (title, artist "Band"), the album in the ID3v1
    block alone; answers the block."""
    tags = id3v2(title, TALB(encoding=3, text=[album]))
    tags.save(path, v1=2)
    with open(path, "rb") as f:
        block = f.read()[-128:]
    tags.delall("TALB")
    tags.save(path, v1=0)
    with open(path, "ab") as f:
        f.write(block)
    return block
