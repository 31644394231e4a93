#!/usr/bin/python3
"""APEv2 tags written by zorvtool and extended by other taggers: WavPack
files tagged by mutagen (one a cue image) edited by zorvtool, then given an
album by wvtag, which appends its item right before the footer; wvunpack,
mutagen and zorvtool each read every item, the cue image keeps its tracks,
and a later edit by zorvtool is taken. Tags that earlier builds left with
zeros between their items and footer, one with an item another tagger
appended behind them (WavPack, Musepack, and an MP3 whose tag stands
before an ID3v1 block), are read with every item and written back as
items followed by the footer. The same edit made twice writes nothing.
Removing every field a file's tag shows (Musepack SV7 and SV8, WavPack,
MP3) keeps its picture, and in Musepack removes a tag only when nothing is
left in it; a removal that would lose an item the player cannot read is
refused. Read-only text items are shown as fields, and an edit leaves one
item of each key it writes, whatever the flags of the items it replaces.
An ID3v1 block behind the tag shows the fields the tag lacks, and their
removal and edit reach mutagen, ffprobe and kid3-cli; so do those of end
tags behind an MP3's ID3v2 tag. An APEv2 tag before a Lyrics3v2 block is
shown and edited where it stands; of two ID3v1 blocks the last is shown and
edited, the older kept.

usage: apev2_other_taggers.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from mutagen.apev2 import APEv2, APEValue, BINARY
from mutagen.id3 import APIC, ID3, ID3NoHeaderError

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
import apev2_layouts  # noqa: E402
import cue_images  # noqa: E402
import two_tag_kinds  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tag_write_safety"))
from tag_files import musepack_sv7  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wav_and_wavpack"))
# The readers the suite of other taggers' WAV files uses: ffprobe's format
# tags and kid3-cli's (TagLib's) lines.
from wav_tags_of_other_taggers import ffprobe_tags, kid3  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def subsongs(path):
    """[{lower-case field: values}] of every subsong zorvtool lists; None
    when it cannot read the file."""
    done = zorvtool("info", windows_path(path), ok=False)
    if done.returncode != 0:
        return None
    return [{k.lower(): v for k, v in s["info"].get("fields", {}).items()} for s in json.loads(done.stdout)["subsongs"]]


def mutagen_items(path):
    """{key: text} of the APEv2 tag as mutagen reads it; {"~error": why}
    when it cannot."""
    try:
        return {key: str(value) for key, value in APEv2(path).items()}
    except Exception as error:  # mutagen's refusal is what is checked
        return {"~error": str(error)}


def tag(path, *changes):
    return zorvtool("tag", windows_path(path), *changes, ok=False).returncode == 0


def check_same_edit_writes_nothing(name, path, change):
    with open(path, "rb") as f:
        before = f.read()
    inode = os.stat(path).st_ino
    check(tag(path, change), "%s: %s made again succeeds" % (name, change))
    with open(path, "rb") as f:
        check(f.read() == before and os.stat(path).st_ino == inode, "%s: %s made again writes nothing" % (name, change))


def check_wvtag_extends_an_edit(work, tone):
    """The tagger's item behind the player's items is read by everyone. The
    edit shortens the mood: the tag shrinks."""
    plain_wv = os.path.join(work, "plain.wv")
    run("wavpack", "-q", "-y", tone, "-o", plain_wv)
    tagged = APEv2()
    tagged.update({"Title": "Song", "Artist": "Anna"})
    tagged.save(plain_wv)
    image = os.path.join(work, "image.wv")
    cue_images.make_cue_image(image, "image.wv")
    for path in (plain_wv, image):
        tagged = APEv2(path)
        tagged["Mood"] = "Neutral"
        tagged.save()
    tracks = len(subsongs(image) or [])
    check(tracks == 3, "cue image: zorvtool lists its three tracks: %d" % tracks)
    for name, path in (("wavpack", plain_wv), ("cue image", image)):
        check(tag(path, "mood=Neu"), "%s: zorvtool sets the mood" % name)
        check(apev2_layouts.footer_follows_items(path), "%s: the footer follows the last item" % name)
        run("wvtag", "-q", "-w", "Album=WVTAG Album", path)
        listed = apev2_layouts.wvunpack_items(path)
        check(listed.get("Album") == "WVTAG Album" and listed.get("Mood") == "Neu",
              "%s: wvunpack lists the album and the mood: %r" % (name, listed))
        items = mutagen_items(path)
        check(items.get("Album") == "WVTAG Album" and items.get("Mood") == "Neu",
              "%s: mutagen reads the album and the mood: %r" % (name, items))
        shown = subsongs(path) or [{}]
        check(shown[0].get("album") == ["WVTAG Album"] and shown[0].get("mood") == ["Neu"],
              "%s: zorvtool reads the album and the mood: %r" % (name, shown[0]))
        if path == image:
            check(len(shown) == 3, "cue image: its three tracks stay: %d" % len(shown))
        check(tag(path, "mood=Alt"), "%s: a later edit is taken" % name)
        items = mutagen_items(path)
        check(items.get("Album") == "WVTAG Album" and items.get("Mood") == "Alt" and apev2_layouts.footer_follows_items(path),
              "%s: after the later edit mutagen reads every item, the footer behind them: %r" % (name, items))
        check_same_edit_writes_nothing(name, path, "mood=Alt")


def earlier_layouts(work, tone):
    """{name: path} of files whose APEv2 tag (Title, Artist) has 1 KB of
    zeros before its footer and an Album item behind them, as an earlier
    build's write and then WavPack's tagger leave it."""
    out = {"wavpack": os.path.join(work, "earlier.wv"), "musepack": os.path.join(work, "earlier.mpc"),
           "mp3 with ID3v1": os.path.join(work, "earlier.mp3")}
    run("wavpack", "-q", "-y", tone, "-o", out["wavpack"])
    run("mpcenc", "--silent", "--overwrite", tone, out["musepack"])
    run("lame", "--quiet", "-b", "128", tone, out["mp3 with ID3v1"])
    for name, path in out.items():
        tagged = APEv2()
        tagged.update({"Title": "Song", "Artist": "Anna"})
        tagged.save(path)
        with open(path, "rb") as f:
            data = f.read()
        if name.endswith("ID3v1"):
            data += b"TAG" + b"Song".ljust(30, b"\0") + b"Anna".ljust(30, b"\0") + bytes(64) + b"\xff"
        data = apev2_layouts.with_zeros_before_footer(data, 1024)
        with open(path, "wb") as f:
            f.write(data)
        if name == "wavpack":
            run("wvtag", "-q", "-w", "Album=WVTAG Album", path)
        else:
            with open(path, "wb") as f:
                f.write(apev2_layouts.with_item_appended(data, "Album", "WVTAG Album"))
    return out


def check_earlier_layouts_are_read_and_written_plain(work, tone):
    for name, path in earlier_layouts(work, tone).items():
        with open(path, "rb") as f:
            v1 = f.read()[-128:]
        shown = (subsongs(path) or [{}])[0]
        check(shown.get("title") == ["Song"] and shown.get("album") == ["WVTAG Album"],
              "%s, zeros between the items: zorvtool reads every item: %r" % (name, shown))
        check(tag(path, "title=New Song"), "%s, zeros between the items: zorvtool's edit is taken" % name)
        items = mutagen_items(path)
        check(items == {"Title": "New Song", "Artist": "Anna", "Album": "WVTAG Album"} and apev2_layouts.footer_follows_items(path),
              "%s: the edit leaves items then the footer, mutagen reads them: %r" % (name, items))
        if name.endswith("ID3v1"):
            with open(path, "rb") as f:
                end = f.read()[-128:]
            check(v1[:3] == b"TAG" and end[:3] == b"TAG" and end[3:33].rstrip(b"\0") == b"New Song",
                  "%s: the ID3v1 block stays at the end with the edit: %r" % (name, end[:33]))
        if name == "wavpack":
            run("wvtag", "-q", "-w", "Comment=from wvtag", path)
            items = mutagen_items(path)
            check(items.get("Comment") == "from wvtag" and items.get("Title") == "New Song",
                  "%s: wvtag extends the written tag, mutagen reads it: %r" % (name, items))
        check_same_edit_writes_nothing(name, path, "title=New Song")


PICTURE = b"cover.png\0" + bytes(range(256)) * 40


def untagged(work, tone, name):
    """A file of each kind without tags."""
    path = os.path.join(work, name)
    if name.endswith(".wv"):
        run("wavpack", "-q", "-y", tone, "-o", path)
    elif name.endswith(".mp3"):
        run("lame", "--quiet", "-b", "128", tone, path)
    elif name.startswith("sv7"):
        with open(path, "wb") as f:
            f.write(musepack_sv7())
    else:
        run("mpcenc", "--silent", "--overwrite", tone, path)
    return path


def decodes(path):
    """Whether the format's own decoder plays the file through."""
    out = path + ".wav"
    decoder = {".mpc": ["mpcdec", path, out], ".wv": ["wvunpack", "-q", "-y", path, "-o", out]}.get(
        os.path.splitext(path)[1], ["ffprobe", "-v", "error", path])
    return subprocess.run(decoder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def check_removing_every_field(work, tone):
    """Title, artist and year removed from a tag holding a picture too (as
    mutagen writes it): the picture stays. A Musepack tag left with nothing
    goes, with an ID3v2 tag's picture in front staying; one with an item the
    player cannot read refuses the removal."""
    for name in ("sv8.mpc", "sv7.mpc", "plain.wv", "plain.mp3"):
        path = untagged(work, tone, name)
        tagged = APEv2()
        tagged.update({"Title": "Song", "Artist": "Anna", "Year": "2001"})
        tagged["Cover Art (Front)"] = APEValue(PICTURE, BINARY)
        tagged.save(path)
        check(tag(path, "-title", "-artist", "-date"), "%s: removing every field succeeds" % name)
        readable = "~error" not in mutagen_items(path)
        items = {key: value.value for key, value in APEv2(path).items()} if readable else {}
        check(items == {"Cover Art (Front)": PICTURE},
              "%s: mutagen reads the picture alone: %r" % (name, sorted(items)))
        shown = (subsongs(path) or [None])[0]
        check(shown == {}, "%s: zorvtool shows no field: %r" % (name, shown))
        check(decodes(path), "%s: the format's decoder reads the file" % name)
        if name == "plain.wv":
            listed = apev2_layouts.wvunpack_items(path)
            check(list(listed) == ["Cover Art (Front)"], "wavpack: wvunpack lists the picture alone: %r" % listed)

    bare = untagged(work, tone, "bare.mpc")
    with open(bare, "rb") as f:
        audio = f.read()
    path = untagged(work, tone, "emptied.mpc")
    pictured = ID3()
    pictured.add(APIC(encoding=3, mime="image/png", type=3, desc="", data=PICTURE))
    pictured.save(path)
    tagged = APEv2()
    tagged.update({"Title": "Song", "Year": "2001"})
    tagged.save(path)
    check(tag(path, "-title", "-date"), "musepack: removing the tag's every field succeeds")
    with open(path, "rb") as f:
        data = f.read()
    check(data.endswith(audio) and data[:3] == b"ID3", "musepack: the emptied APEv2 tag is gone, the ID3v2 tag stays")
    try:
        pictures = [frame.data for frame in ID3(path).getall("APIC")]
    except Exception:  # no ID3v2 tag left
        pictures = []
    check(pictures == [PICTURE], "musepack: mutagen reads the ID3v2 tag's picture: %d" % len(pictures))
    check(decodes(path), "musepack: mpcdec reads the file")

    # A readable year, then an item whose size reaches past the tag, then
    # the rest: the player reads the year alone.
    path = untagged(work, tone, "sv7-unreadable.mpc")
    body = struct.pack("<II", 4, 0) + b"Year\0" + b"2001" + struct.pack("<II", 0xFFFFF000, 0) + b"Broken\0" + b"x"
    rest = [("Cover Art (Front)", PICTURE, 2), ("Title", b"Song", 0), ("Artist", b"Anna", 0), ("Album", b"Disc", 0),
            ("Comment", b"Note", 0)]
    body += b"".join(struct.pack("<II", len(v), flags) + k.encode() + b"\0" + v for k, v, flags in rest)
    block = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, 7, flags) + bytes(8)
    with open(path, "ab") as f:
        f.write(block(0xA0000000) + body + block(0x80000000))
    with open(path, "rb") as f:
        before = f.read()
    for change in ("-date", "title=X"):
        done = zorvtool("tag", windows_path(path), change, ok=False)
        with open(path, "rb") as f:
            kept = f.read() == before
        said = done.stdout + done.stderr
        check(done.returncode != 0 and "cannot be read" in said and kept,
              "musepack, unreadable item: %s is refused, the file unchanged: %d %r" % (change, done.returncode, said))


def check_items_the_player_hid_are_replaced(work, tone):
    """A read-only Title (shown by mutagen and wvunpack), and binary,
    external-link and reserved-type items of the fields an edit writes:
    the player shows the title, and its edit and removal leave one item of
    a key or none, which every reader then reads."""
    hidden = [("Title", 1, b"Old Title"), ("Artist", 0, b"Anna"), ("Album", 2, b"\x89PNG old"),
              ("Genre", 4, b"http://old.example"), ("Comment", 6, b"old"), ("Mood", 1, b"Calm")]
    for name in ("plain.wv", "sv8.mpc", "plain.mp3"):
        path = untagged(work, tone, "hidden-" + name)
        with open(path, "ab") as f:
            f.write(apev2_layouts.tag_of(hidden))
        shown = (subsongs(path) or [{}])[0]
        check(shown.get("title") == ["Old Title"] and shown.get("mood") == ["Calm"],
              "%s: zorvtool shows the read-only items as fields: %r" % (name, shown))
        check(tag(path, "title=New", "album=New Album", "genre=Pop", "comment=Note"),
              "%s: the edit over the hidden items succeeds" % name)
        with open(path, "rb") as f:
            written = apev2_layouts.items(f.read())
        keys = sorted(key.lower() for key, _, _ in written)
        check(keys == ["album", "artist", "comment", "genre", "mood", "title"],
              "%s: one item of each key: %r" % (name, written))
        check(("Title", 0, b"New") in written and ("Mood", 1, b"Calm") in written,
              "%s: the title is the edit's, the read-only mood stays: %r" % (name, written))
        items = mutagen_items(path)
        check(items.get("Title") == "New" and items.get("Album") == "New Album", "%s: mutagen reads the edit: %r" % (name, items))
        if name == "plain.wv":
            for lister in (("wvunpack", "-ss", "-q"), ("wvtag", "-l")):
                listed = apev2_layouts.wvunpack_items(path, lister)
                check(listed.get("Title") == "New" and listed.get("Genre") == "Pop",
                      "wavpack: %s reads the edit: %r" % (lister[0], listed))
        check(tag(path, "-title"), "%s: removing the title succeeds" % name)
        with open(path, "rb") as f:
            left = [key for key, _, _ in apev2_layouts.items(f.read())]
        shown = (subsongs(path) or [{}])[0]
        check("Title" not in left and "title" not in shown and "Title" not in mutagen_items(path),
              "%s: no reader finds a title after its removal: %r %r" % (name, left, shown))


def id3v1_readings(path, field, frame):
    """The field as each other reader shows it, None where it shows none:
    mutagen's ID3 reading (the ID3v1 block here), ffprobe's, TagLib's."""
    try:
        v1 = ID3(path)
        mutagen = str(v1[frame]) if frame in v1 else None
    except ID3NoHeaderError:
        mutagen = None
    return {"mutagen": mutagen, "ffprobe": ffprobe_tags(path).get(field),
            "taglib": (kid3(path, "get " + field) or [None])[0] or None}


def check_id3v1_behind_the_tag(work, tone):
    """An APEv2 tag holding the title alone, then an ID3v1 block (artist,
    year, track, genre), as every reader sees them: the player shows the
    block's fields beside the title, a removal of the artist takes it from
    the block for every reader, and a year edit reaches every reader; the
    block's other bytes and the APEv2 items stay as they were."""
    block = two_tag_kinds.id3v1_block(b"", b"")
    for name in ("behind-v1.wv", "sv8-behind-v1.mpc", "sv7-behind-v1.mpc", "behind-v1.mp3"):
        path = untagged(work, tone, name)
        with open(path, "ab") as f:
            f.write(apev2_layouts.tag_of([("Title", 0, b"Song")]) + block)
        shown = (subsongs(path) or [{}])[0]
        check((shown.get("title"), shown.get("artist"), shown.get("date"), shown.get("genre"))
              == (["Song"], ["Band"], ["1999"], ["Rock"]),
              "%s: zorvtool shows the APEv2 title and the ID3v1 fields: %r" % (name, shown))
        year_shown = id3v1_readings(path, "date", "TDRC")

        check(tag(path, "-artist"), "%s: removing the ID3v1 artist succeeds" % name)
        with open(path, "rb") as f:
            data = f.read()
        gone = id3v1_readings(path, "artist", "TPE1")
        check(all(value is None for value in gone.values()) and "artist" not in (subsongs(path) or [{}])[0],
              "%s: no reader shows the artist after its removal: %r" % (name, gone))
        check(data[-128:] == block[:33] + bytes(30) + block[63:] and
              apev2_layouts.items(data[:-128]) == [("Title", 0, b"Song")],
              "%s: the removal clears the block's artist alone, the APEv2 tag stays: %r" % (name, data[-128:]))

        check(tag(path, "date=2024"), "%s: the year edit succeeds" % name)
        with open(path, "rb") as f:
            data = f.read()
        dated = id3v1_readings(path, "date", "TDRC")
        check(all(dated[reader] == "2024" for reader, old in year_shown.items() if old == "1999") and
              year_shown["mutagen"] == "1999" and mutagen_items(path).get("Year") == "2024",
              "%s: every reader that showed the year shows the edit: %r -> %r" % (name, year_shown, dated))
        check(data[-128:] == block[:33] + bytes(30) + block[63:93] + b"2024" + block[97:],
              "%s: the edit changes the block's year alone: %r" % (name, data[-128:]))


def end_block(title, album, year=b"1999", comment=b"v1 comment"):
    """An ID3v1.1 block (artist "Band", track 5, genre Rock)."""
    return (b"TAG" + title.ljust(30, b"\0") + b"Band".ljust(30, b"\0") + album.ljust(30, b"\0") + year +
            comment.ljust(28, b"\0") + b"\x00\x05\x11")


def check_end_tags_behind_an_id3v2_tag(work, tone):
    """An MP3 with an ID3v2 tag (title, artist) in front and an APEv2 tag and
    an ID3v1 block at the end holding the album, year, comment and genre:
    the player shows them, a removal of one takes it out of both end tags
    for every reader, and an album edit reaches every tag."""
    ape = apev2_layouts.tag_of([("Album", 0, b"APE Album"), ("Year", 0, b"1998"), ("Comment", 0, b"APE comment"),
                                ("Genre", 0, b"Jazz")])
    edits = (("album", "TALB", "Album"), ("date", "TDRC", "Year"), ("comment", "COMM:ID3v1 Comment:eng", "Comment"),
             ("genre", "TCON", "Genre"), ("album=New", "TALB", "Album"))
    for change, frame, key in edits:
        field, _, value = change.partition("=")
        path = untagged(work, tone, "front-and-end-%s%s.mp3" % (field, value))
        two_tag_kinds.id3v2("Song").save(path, v1=0)
        with open(path, "ab") as f:
            f.write(ape + end_block(b"Song", b"V1 Album"))
        check(field in (subsongs(path) or [{}])[0], "%s: zorvtool shows the %s of the end tags" % (path, field))
        before = id3v1_readings(path, field, frame)
        check(tag(path, change if value else "-" + field), "%s: %s succeeds" % (path, change))
        after = id3v1_readings(path, field, frame)
        left = mutagen_items(path)
        if value:
            check(all(after[reader] == value for reader, old in before.items() if old is not None) and
                  left.get(key) == value and str(ID3(path, load_v1=False).get(frame)) == value,
                  "%s: every reader and tag shows the edit: %r -> %r, %r" % (path, before, after, left))
        else:
            check(before["mutagen"] is not None and all(v is None for v in after.values()) and key not in left and
                  field not in (subsongs(path) or [{}])[0],
                  "%s: no reader or tag holds the %s after its removal: %r -> %r, %r" % (path, field, before, after, left))
        check(left.get("Genre", "Jazz") == "Jazz" and len(left) >= 3, "%s: the other items stay: %r" % (path, left))


def lyrics3v2(text):
    """A Lyrics3 version 2.00 block holding `text` as its lyrics."""
    body = b"LYRICSBEGIN" + b"IND00002" + b"10" + b"LYR" + b"%05d" % len(text) + text
    return body + b"%06d" % len(body) + b"LYRICS200"


def check_apev2_tag_before_lyrics(work, tone):
    """Audio, an APEv2 tag, a Lyrics3v2 block and an ID3v1 block (WavPack,
    Musepack, MP3): the player shows the APEv2 tag, as mutagen does, and a
    title edit changes it where it stands, the lyrics kept and the block at
    the end edited, with no second APEv2 tag."""
    lyrics = lyrics3v2(b"la la la")
    block = end_block(b"V1 Title", b"V1 Album")
    for name in ("lyrics.wv", "sv8-lyrics.mpc", "lyrics.mp3"):
        path = untagged(work, tone, name)
        with open(path, "ab") as f:
            f.write(apev2_layouts.tag_of([("Title", 0, b"Song"), ("Artist", 0, b"APE Band")]) + lyrics + block)
        shown = (subsongs(path) or [{}])[0]
        check((shown.get("title"), shown.get("artist"), shown.get("album")) == (["Song"], ["APE Band"], ["V1 Album"]),
              "%s: zorvtool shows the APEv2 tag before the lyrics: %r" % (name, shown))
        check(tag(path, "title=New"), "%s: the title edit succeeds" % name)
        with open(path, "rb") as f:
            data = f.read()
        # One tag: its footer, and its header where it keeps one.
        check(data.count(b"APETAGEX") in (1, 2) and data.endswith(lyrics + block[:3] + b"New".ljust(30, b"\0") + block[33:]),
              "%s: one APEv2 tag, then the lyrics and the edited block: %r" % (name, data[-400:]))
        check(mutagen_items(path) == {"Title": "New", "Artist": "APE Band"} and decodes(path),
              "%s: mutagen reads the edited tag and the audio decodes: %r" % (name, mutagen_items(path)))


def check_two_id3v1_blocks(work, tone):
    """Two ID3v1 blocks at the end (MP3, WavPack): the player shows the last,
    as every reader does, and an artist edit changes that block's artist
    alone, the older block kept where it stood."""
    older, last = end_block(b"Older", b"Older Album"), end_block(b"Last", b"Last Album")
    for name in ("two-v1.mp3", "two-v1.wv"):
        path = untagged(work, tone, name)
        with open(path, "ab") as f:
            f.write(older + last)
        shown = (subsongs(path) or [{}])[0]
        check((shown.get("title"), shown.get("album")) == (["Last"], ["Last Album"]),
              "%s: zorvtool shows the last block: %r" % (name, shown))
        check(tag(path, "artist=Other"), "%s: the artist edit succeeds" % name)
        with open(path, "rb") as f:
            data = f.read()
        check(data[-128:] == last[:33] + b"Other".ljust(30, b"\0") + last[63:] and older in data[:-128],
              "%s: the last block's artist alone changes, the older block stays: %r" % (name, data[-300:]))
        id3 = ID3(path)
        check((str(id3["TIT2"]), str(id3["TPE1"]), str(id3["TALB"])) == ("Last", "Other", "Last Album"),
              "%s: mutagen reads the fields the player showed and the edit: %s" % (name, id3.pprint()))


def check_hostile_tag(work, tone):
    """A tag whose items read many ways before 8 MB of zeros, with a count
    no reading meets: the file's audio is read and the tag, damaged, is
    neither shown nor written over."""
    path = untagged(work, tone, "hostile.wv")
    with open(path, "ab") as f:
        f.write(apev2_layouts.hostile_zero_runs_tag(300, 8 << 20))
    with open(path, "rb") as f:
        before = f.read()
    shown = subsongs(path)
    check(shown == [{}], "hostile tag: zorvtool reads the file and shows no field: %r" % shown)
    check(not tag(path, "title=X"), "hostile tag: an edit is refused")
    with open(path, "rb") as f:
        check(f.read() == before, "hostile tag: the file is unchanged")


def main():
    work = tempfile.mkdtemp(prefix="zorv-apev2-taggers-")
    try:
        tone = os.path.join(work, "tone.wav")
        run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "2", "sine", "440")
        check_wvtag_extends_an_edit(work, tone)
        check_earlier_layouts_are_read_and_written_plain(work, tone)
        check_removing_every_field(work, tone)
        check_items_the_player_hid_are_replaced(work, tone)
        check_id3v1_behind_the_tag(work, tone)
        check_end_tags_behind_an_id3v2_tag(work, tone)
        check_apev2_tag_before_lyrics(work, tone)
        check_two_id3v1_blocks(work, tone)
        check_hostile_tag(work, tone)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("APEv2 tags extended by other taggers read whole")
    return 0


if __name__ == "__main__":
    sys.exit(main())
