#!/usr/bin/python3
"""Round trips of zorvtool's tag reading and writing against independent tools.

usage: tag_roundtrip.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
Fixtures are made here with sox, lame, flac, metaflac, wavpack, mpcenc and
mutagen; every field zorvtool writes must read back the same through mutagen
(and ffprobe), and tags those tools wrote must show the expected fields in
zorvtool info. One track of a cue image retagged leaves the rest of its sheet
and the file's other tags as they were.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from mutagen.apev2 import APEv2
from mutagen.id3 import APIC, COMM, ID3, POPM, TCMP, TIT2, TPE1, TRCK, TXXX
from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm
from mutagen.wave import WAVE

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402
from cue_images import (BOTH, FILE_TAGS, KINDS, SHEET, block_sheet, make_cue_image, sheet_tracks,  # noqa: E402
                        store_marked_sheet, tags)
import id3v22_tags  # noqa: E402
import mp4_bytes  # noqa: E402
from chaptered_files import CHAPTERS, file_tags, make_chaptered  # noqa: E402
from two_tag_kinds import GAIN_ITEMS, id3v1_block, tag_with_album_only_in_id3v1, tag_with_gain_items  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def info(path):
    """Fields (lower-case names) and technical entries of subsong 0."""
    data = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"]
    fields = {k.lower(): v for k, v in data.get("fields", {}).items()}
    return fields, data


def tag(path, *pairs):
    zorvtool("tag", windows_path(path), *pairs)


def first(fields, name):
    value = fields.get(name)
    return value[0] if isinstance(value, list) else value


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                         capture_output=True, text=True).stdout
    return {k.lower(): v for k, v in json.loads(out)["format"].get("tags", {}).items()}


def audio_after(path, offset):
    with open(path, "rb") as f:
        f.seek(offset)
        return f.read()


def id3_size(path):
    with open(path, "rb") as f:
        header = f.read(10)
    if header[:3] != b"ID3":
        return 0
    size = 0
    for b in header[6:10]:
        size = (size << 7) | b
    return size + 10


def check_edits_in_place_at_both_ends(lame, work):
    """An MP3 with ID3v2 and ID3v1 tags, once written with a title that
    outgrows lame's tag (which then gets the default padding): edits that fit the room are written into the same file, only
    the two tags' bytes changed, whether the ID3v2 tag held the field before
    (artist, album removed) or only holds it after (genre); a comment, which
    readers show from both tags side by side, goes through a new file."""
    path = os.path.join(work, "both_ends.mp3")
    shutil.copy(lame, path)
    tag(path, "title=" + "Padded " * 40)
    edits = [(["artist=Lame Artisy"], True), (["genre=Rock"], True), (["-album"], True), (["comment=hello"], False)]
    for edit, in_place in edits:
        with open(path, "rb") as f:
            before = f.read()
        inode = os.stat(path).st_ino
        tag(path, *edit)
        with open(path, "rb") as f:
            after = f.read()
        room = id3_size(path)
        if in_place:
            check(os.stat(path).st_ino == inode and len(after) == len(before) and
                  after[room:-128] == before[room:-128], "%s: written in place, only the tags changed" % edit)
        check(after[room:-128] == before[room:-128] and after[-128:-125] == b"TAG", "%s: audio kept" % edit)
    id3 = ID3(path)
    v2_only = ID3(path, load_v1=False)
    check(str(id3["TPE1"]) == "Lame Artisy" and str(id3["TCON"]) == "Rock" and "TALB" not in id3,
          "edits read back by mutagen: %s" % id3.pprint())
    check(str(v2_only["COMM::eng"]) == "hello" and str(id3["COMM:ID3v1 Comment:eng"]) == "hello",
          "the comment in both tags: %s" % id3.pprint())
    with open(path, "rb") as f:
        block = f.read()[-128:]
    check(block[33:44] == b"Lame Artisy" and block[63:93] == bytes(30) and block[127] == 17,
          "the ID3v1 block holds the edits")


def check_id3v2_edits_keep_frame_order(plain, work):
    """An MP3 whose ID3v2 tag holds a track number and three pictures (an
    artist, a back cover and a front cover): an edit keeps the pictures in
    their order, the same edit made again writes nothing, and neither does
    an edit that changes no value."""
    path = os.path.join(work, "pictures.mp3")
    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Old"]))
    tags.add(TRCK(encoding=0, text=["3/12"]))
    tags.add(TPE1(encoding=1, text=["Someone"]))
    for kind, desc in ((8, "artist"), (4, "back"), (3, "front")):
        tags.add(APIC(encoding=0, mime="image/png", type=kind, desc=desc, data=bytes([kind]) * 3000))
    tags.save(path, v2_version=3)
    # mutagen puts them in an order of its own; the front cover is not first.
    order = [p.type for p in ID3(path).getall("APIC")]
    check(order[0] != 3, "the fixture's pictures: %s" % order)
    edit = ["title=Changed", "tracknumber=5"]
    tag(path, *edit)
    after = ID3(path)
    check([p.type for p in after.getall("APIC")] == order, "pictures keep their order: %s" %
          [p.type for p in after.getall("APIC")])
    check(str(after["TIT2"]) == "Changed" and str(after["TRCK"]) == "5/12", "the edit read back: %s" % after.pprint())
    for again, why in ((edit, "the same edit again"), (["title=Changed"], "an edit that changes no value")):
        with open(path, "rb") as f:
            before = f.read()
        stamp = os.stat(path).st_mtime_ns
        tag(path, *again)
        with open(path, "rb") as f:
            check(f.read() == before and os.stat(path).st_mtime_ns == stamp, "%s writes nothing" % why)


def id3v2_frame_ids(path):
    """The frame identifiers of a version 2.3 tag at the start of the file, in file order."""
    with open(path, "rb") as f:
        data = f.read(id3_size(path))
    ids, pos = [], 10
    while pos + 10 <= len(data) and data[pos:pos + 4] != bytes(4):
        ids.append(data[pos:pos + 4].decode("latin-1"))
        pos += 10 + struct.unpack(">I", data[pos + 4:pos + 8])[0]
    return ids


def check_id3v2_rewrite_lays_out_for_later_edits(plain, work):
    """A tag with a 100 KB picture behind its text frames, edited beyond its
    room: the file is rewritten with the picture first, so that a later edit
    of the title is written into the same file."""
    path = os.path.join(work, "layout.mp3")
    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Short"]))
    tags.add(TPE1(encoding=1, text=["Someone"]))
    tags.add(APIC(encoding=0, mime="image/jpeg", type=3, desc="", data=bytes(range(256)) * 400))
    tags.save(path, v2_version=3, padding=lambda info: 0)
    tag(path, "title=" + "A title that no longer fits " * 3)
    check(id3v2_frame_ids(path)[0] == "APIC", "rewritten with the picture first: %s" % id3v2_frame_ids(path))
    inode, size = os.stat(path).st_ino, os.path.getsize(path)
    tag(path, "title=Another title", "artist=Another artist")
    after = ID3(path)
    check(os.stat(path).st_ino == inode and os.path.getsize(path) == size, "the later edit written in place")
    check(str(after["TIT2"]) == "Another title" and str(after["TPE1"]) == "Another artist" and
          after.getall("APIC")[0].data == bytes(range(256)) * 400, "the later edit read back: %s" % after.pprint())


def subsong_fields(path):
    """{subsong: fields (lower-case names)} of every subsong."""
    subsongs = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"]
    return {s["subsong"]: {k.lower(): v for k, v in s["info"].get("fields", {}).items()} for s in subsongs}


def check_cue_image_edits(work):
    """One track's title, then another's artist, edited in cue images with a
    file-level ARTIST over the sheet's own PERFORMERs: the sheet changes in
    those lines only, the file's tags only by the override the artist needs
    against the file's ARTIST, and a FLAC CUESHEET block stays as it was."""
    for kind in KINDS:
        path = os.path.join(work, "cue-" + kind)
        make_cue_image(path, kind)
        before, block = tags(path), block_sheet(path)
        others = {name: values for name, values in before.items() if name != "CUESHEET"}
        tag(path, "--subsong", "2", "title=Zweite")
        after = tags(path)
        sheet = after.get("CUESHEET", [""])[0]
        if kind == "block.flac":
            check(after.get("CUESHEET") is None and after.get("CUE_TRACK02_TITLE") == ["Zweite"],
                  "%s: the title goes into track 2's own tag, no sheet comment is made: %r" % (kind, after))
            others["CUE_TRACK02_TITLE"] = ["Zweite"]
        else:
            check(sheet == SHEET.replace('TITLE "Second"', 'TITLE "Zweite"'),
                  "%s: a title edit changes that line of the sheet only: %r" % (kind, sheet))
        check({n: v for n, v in after.items() if n != "CUESHEET"} == others,
              "%s: a title edit leaves every other tag as it was: %r" % (kind, after))
        check(block_sheet(path) == block, "%s: the CUESHEET block stays" % kind)

        tag(path, "--subsong", "3", "artist=New Guest")
        after = tags(path)
        if kind != "block.flac":
            check(after["CUESHEET"][0] == SHEET.replace('TITLE "Second"', 'TITLE "Zweite"').replace(
                "Third Guest", "New Guest"), "%s: an artist edit changes that PERFORMER only: %r" % (kind, after))
        check({n: v for n, v in after.items() if n != "CUESHEET"} == dict(others, CUE_TRACK03_ARTIST=["New Guest"]),
              "%s: the file's ARTIST stays, track 3's override shows over it: %r" % (kind, after))
        shown = subsong_fields(path)
        check([first(shown[n], "artist") for n in (1, 2, 3)] == ["File Artist", "File Artist", "New Guest"] and
              first(shown[2], "title") == "Zweite", "%s: the tracks show the edits: %r" % (kind, shown))
# The file-level tags of the rips behind the reports, beside the sheet's own values.
RIP_TAGS = dict(FILE_TAGS, COMMENT="Ripped", COMPOSER="Ann Writer", BPM="120")


def check_cue_removals_and_repeated_edits(work):
    """A file-level field removed from every track of a cue image (the tool
    changes every subsong alike): that tag goes, and at most the sheet's
    header line of it; every other tag and sheet line stays and no override
    appears. Then one track's artist edited twice over: the sheet's
    PERFORMER line follows each edit."""
    header_lines = {"COMMENT": 'REM COMMENT "ExactAudioCopy v1.6"\r\n', "ALBUM": 'TITLE "Blue Rooms"\r\n'}
    no_performers = "".join(line for line in SHEET.splitlines(True) if not line.strip().startswith("PERFORMER"))
    for kind in ("comment.flac", "image.wv"):
        for name in ("COMMENT", "ALBUM", "ARTIST", "COMPOSER", "BPM"):
            path = os.path.join(work, "removed-%s-%s" % (name.lower(), kind))
            make_cue_image(path, kind, file_tags=RIP_TAGS)
            before = tags(path)
            tag(path, "-" + name.lower())
            expected = {n: v for n, v in before.items() if n != name}
            expected["CUESHEET"] = [SHEET.replace(header_lines.get(name, "\0"), "")]
            if name == "ARTIST":
                # Every PERFORMER goes; the album artist the header's gave becomes the file's tag.
                expected["CUESHEET"] = [no_performers]
                expected["ALBUM ARTIST" if kind.endswith(".wv") else "ALBUMARTIST"] = ["The Quartet"]
            check(tags(path) == expected, "%s: removing %s removes that tag alone: %r" % (kind, name, tags(path)))
            shown = subsong_fields(path)
            artists = ["File Artist"] * 3 if name != "ARTIST" else [None] * 3
            check([first(shown[n], "artist") for n in (1, 2, 3)] == artists and
                  [first(shown[n], "date") for n in (1, 2, 3)] == ["1998", "2001", "1998"] and
                  all(name.lower() not in shown[n] for n in (1, 2, 3) if name != "ARTIST"),
                  "%s: after removing %s the tracks show the rest as before: %r" % (kind, name, shown))

        path = os.path.join(work, "twice-" + kind)
        make_cue_image(path, kind)
        others = {n: v for n, v in tags(path).items() if n != "CUESHEET"}
        for artist in ("New Guest", "Newer Guest", "Last Guest"):
            tag(path, "--subsong", "3", "artist=" + artist)
            after = tags(path)
            check(after == dict(others, CUESHEET=[SHEET.replace("Third Guest", artist)], CUE_TRACK03_ARTIST=[artist]),
                  "%s: the sheet and the override follow the artist edit to %s: %r" % (kind, artist, after))


def subsong_gains(path):
    """{subsong: its ReplayGain record} of every subsong."""
    subsongs = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"]
    return {s["subsong"]: s["info"]["replaygain"] for s in subsongs}


def check_cue_removals_reach_the_player(work):
    """What the tracks show after a removal from every track of a cue image
    (sheet in a comment, in a comment beside a CUESHEET block, in a WavPack
    item): the album artist the header PERFORMER gives goes with it, as does
    an artist that only the header PERFORMER gives, and the file's album gain
    goes from its tags; every other tag and sheet line stays. A removal from
    one track that the file's tag would still give it is refused, the file
    unchanged."""
    rip = dict(FILE_TAGS, COMMENT="Ripped", BPM="120", REPLAYGAIN_ALBUM_GAIN="-7.50 dB")
    for kind in ("comment.flac", BOTH, "image.wv"):
        album_artist = "ALBUM ARTIST" if kind.endswith(".wv") else "ALBUMARTIST"
        path = os.path.join(work, "reach-album-artist-" + kind)
        make_cue_image(path, kind, file_tags=dict(rip, **{album_artist: "Tag Various"}))
        before, block = tags(path), block_sheet(path)
        check(all(g["album_gain"] == -7.5 for g in subsong_gains(path).values()),
              "%s: the tracks show the file's album gain: %r" % (kind, subsong_gains(path)))
        tag(path, "-album artist")
        expected = {n: v for n, v in before.items() if n != album_artist}
        expected["CUESHEET"] = [SHEET.replace('PERFORMER "The Quartet"\r\n', "")]
        shown = subsong_fields(path)
        check(tags(path) == expected and block_sheet(path) == block and
              all("album artist" not in shown[n] for n in (1, 2, 3)) and
              [first(shown[n], "artist") for n in (1, 2, 3)] == ["File Artist"] * 3,
              "%s: the album artist goes with its header PERFORMER alone: %r %r" % (kind, tags(path), shown))
        tag(path, "-replaygain_album_gain")
        del expected["REPLAYGAIN_ALBUM_GAIN"]
        check(tags(path) == expected and all(g["album_gain"] is None for g in subsong_gains(path).values()),
              "%s: the album gain goes from the file's tags: %r" % (kind, tags(path)))
        with open(path, "rb") as f:
            unchanged = f.read()
        refused = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "tag", windows_path(path), "--subsong", "2",
                                  "-comment"], capture_output=True, text=True)
        with open(path, "rb") as f:
            check(refused.returncode != 0 and "the Comment of track 2 cannot be stored" in refused.stdout +
                  refused.stderr and f.read() == unchanged,
                  "%s: the file's comment cannot leave track 2 alone: %r" % (kind, refused))

        # No track has a PERFORMER of its own: the header's is every track's artist.
        path = os.path.join(work, "reach-artist-" + kind)
        sheet = "".join(line for line in SHEET.splitlines(True) if not line.startswith("    PERFORMER"))
        make_cue_image(path, kind, sheet, rip)
        before = tags(path)
        tag(path, "-artist")
        expected = {n: v for n, v in before.items() if n != "ARTIST"}
        expected["CUESHEET"] = [sheet.replace('PERFORMER "The Quartet"\r\n', "")]
        shown = subsong_fields(path)
        check(tags(path) == expected and all("artist" not in shown[n] for n in (1, 2, 3)),
              "%s: the artist goes with the header PERFORMER: %r %r" % (kind, tags(path), shown))


def check_whole_file_edits_of_files_with_tracks(work):
    """`tag --subsong 0` edits the file as a whole, as the folder views'
    Apply does. Books with chapters (M4B, Matroska, Musepack): the file's own
    album changes and its comment goes, read back by mutagen or mkvextract,
    every other tag stays, and every chapter shows the change under its own
    title. Cue images: the file's comment removed, the sheet's REM COMMENT
    goes too, so that no track shows a comment."""
    for ext in ("m4b", "mka", "mpc"):
        path = make_chaptered(os.path.join(work, "whole-book." + ext))
        before = file_tags(path)
        done = zorvtool("tag", windows_path(path), "--subsong", "0", "album=New Album", "-comment", ok=False)
        check(done.returncode == 0, "%s: the file as a whole takes the edit: %s%s" % (ext, done.stdout, done.stderr))
        expected = {n: v for n, v in dict(before, album=["New Album"]).items() if n != "comment"}
        check(file_tags(path) == expected, "%s: the file's own album changes and its comment goes: %r" %
              (ext, file_tags(path)))
        shown = subsong_fields(path)
        check([first(shown.get(n, {}), "album") for n in (1, 2, 3)] == ["New Album"] * 3 and
              [first(shown[n], "title") for n in (1, 2, 3)] == list(CHAPTERS) and
              not any("comment" in shown[n] for n in (1, 2, 3)),
              "%s: every chapter shows the file's new album and no comment: %r" % (ext, shown))
    for kind in ("comment.flac", "image.wv"):
        path = os.path.join(work, "whole-image-" + kind)
        make_cue_image(path, kind, file_tags=RIP_TAGS)
        before = tags(path)
        done = zorvtool("tag", windows_path(path), "--subsong", "0", "-comment", ok=False)
        expected = {n: v for n, v in before.items() if n != "COMMENT"}
        expected["CUESHEET"] = [SHEET.replace('REM COMMENT "ExactAudioCopy v1.6"\r\n', "")]
        check(done.returncode == 0 and tags(path) == expected,
              "%s: the comment goes from the file and the sheet's header: %s %r" % (kind, done.stderr, tags(path)))
        shown = subsong_fields(path)
        check(not any("comment" in shown[n] for n in (1, 2, 3)), "%s: no track shows a comment: %r" % (kind, shown))


# Values the sheet's header alone gives every track, and an album gain there.
HEADER_ONLY = "REM REPLAYGAIN_ALBUM_GAIN -3.00 dB\r\n" + SHEET.replace("    REM GENRE Blues\r\n", "")


def check_cue_images_edited_as_a_whole(work):
    """Cue images edited as a whole (`tag --subsong 0`, as the folder views'
    Apply does) end as the same edit made on every track leaves them: a
    genre or comment only the sheet's header gives goes; removing the artist
    takes the file's ARTIST and every PERFORMER line, so no track shows an
    artist; an album gain reaches the header's REM line, so the player
    plays by the value mutagen, ffprobe, metaflac and wvunpack read."""
    for kind in ("comment.flac", "image.wv"):
        for edit in ("-genre", "-comment", "-artist", "replaygain_album_gain=-6.5"):
            case = "%s, %s" % (kind, edit)
            whole, every = (os.path.join(work, "%s-%s-%s" % (way, edit[:9].strip("-="), kind))
                            for way in ("whole", "every"))
            for path in (whole, every):
                make_cue_image(path, kind, HEADER_ONLY)
            done = zorvtool("tag", windows_path(whole), "--subsong", "0", edit, ok=False)
            tag(every, edit)
            check(done.returncode == 0 and tags(whole) == tags(every),
                  "%s: the file as a whole ends as every track edited: %s %r %r" %
                  (case, done.stderr, tags(whole), tags(every)))
            shown, gains = subsong_fields(whole), subsong_gains(whole)
            check(shown == subsong_fields(every) and gains == subsong_gains(every),
                  "%s: the tracks show what every track edited shows: %r" % (case, shown))
            sheet = tags(whole).get("CUESHEET", [""])[0]
            if edit in ("-genre", "-comment"):
                check("REM " + edit[1:].upper() not in sheet and not any(edit[1:] in shown[n] for n in (1, 2, 3)),
                      "%s: the header line goes and no track shows one: %r %r" % (case, sheet, shown))
            elif edit == "-artist":
                check(not any("artist" in shown[n] for n in (1, 2, 3)) and "ARTIST" not in tags(whole) and
                      "PERFORMER" not in sheet, "%s: no track shows an artist: %r %r" % (case, shown, sheet))
            else:
                readers = [ffprobe_tags(whole).get("replaygain_album_gain", ""),
                           tags(whole)["REPLAYGAIN_ALBUM_GAIN"][0]]
                readers.append(subprocess.run(["metaflac", "--show-tag=REPLAYGAIN_ALBUM_GAIN", whole],
                                              capture_output=True, text=True).stdout.split("=")[-1]
                               if kind.endswith(".flac") else
                               subprocess.run(["wvunpack", "-q", "-x", "replaygain_album_gain", whole],
                                              capture_output=True, text=True).stdout)
                check(all(r.strip().startswith("-6.50") for r in readers) and
                      "REM REPLAYGAIN_ALBUM_GAIN -6.50 dB" in sheet and
                      all(g["album_gain"] == -6.5 for g in gains.values()),
                      "%s: the file's item, the header line and every track agree: %r %r" % (case, readers, gains))


def check_cue_sheets_with_a_byte_order_mark(work):
    """A sheet saved with a UTF-8 byte-order mark: the image shows its three
    tracks, the first line's genre among their values, and a title edit
    keeps the mark before the sheet."""
    for kind in ("comment.flac", "image.wv"):
        path = os.path.join(work, "marked-" + kind)
        make_cue_image(path, kind)
        store_marked_sheet(path, SHEET)
        check(tags(path)["CUESHEET"] == ["\ufeff" + SHEET], "%s: the sheet is stored with its mark" % kind)
        shown = subsong_fields(path)
        check(sorted(shown) == [1, 2, 3] and [first(shown[n], "title") for n in (1, 2, 3)] ==
              ["Opening", "Second", "Third"] and first(shown[1], "genre") == "Chamber Jazz",
              "%s: the image shows its three tracks: %r" % (kind, shown))
        tag(path, "--subsong", "2", "title=Zweite")
        check(tags(path)["CUESHEET"] == ["\ufeff" + SHEET.replace('TITLE "Second"', 'TITLE "Zweite"')],
              "%s: a title edit keeps the mark: %r" % (kind, tags(path)["CUESHEET"]))


def check_cue_gains_set_alike(work):
    """Cue images whose file holds no ReplayGain: a gain set alike on every
    track goes into the file's own items, where other programs read it, and
    the sheet, which gives none, stays as it was."""
    sheet = SHEET.replace("    REM REPLAYGAIN_TRACK_GAIN -5.00 dB\r\n", "")
    for kind in ("comment.flac", "image.wv"):
        path = os.path.join(work, "gains-" + kind)
        make_cue_image(path, kind, sheet)
        before = tags(path)
        tag(path, "replaygain_album_gain=-6.5", "replaygain_track_gain=-4")
        after = tags(path)
        gains = {n: after.get(n, [""])[0].split(" ")[0] for n in ("REPLAYGAIN_ALBUM_GAIN", "REPLAYGAIN_TRACK_GAIN")}
        check(gains == {"REPLAYGAIN_ALBUM_GAIN": "-6.50", "REPLAYGAIN_TRACK_GAIN": "-4.00"} and
              after.get("CUESHEET") == [sheet] and
              {n: v for n, v in after.items() if not n.startswith("REPLAYGAIN")} == before,
              "%s: the gains are the file's items, the sheet as it was: %r" % (kind, after))
        check(all(g["album_gain"] == -6.5 and g["track_gain"] == -4.0 for g in subsong_gains(path).values()),
              "%s: every track shows the gains: %r" % (kind, subsong_gains(path)))


def check_cue_block_edits(work):
    """A FLAC whose sheet is a CUESHEET block (metaflac's import) and no
    comment: no edit makes up a sheet comment; a track's title goes into its
    own tag; a removal that only the block could hold is refused, the file
    unchanged."""
    path = os.path.join(work, "block-edits.flac")
    make_cue_image(path, "block.flac", file_tags=RIP_TAGS)
    block, before = block_sheet(path), tags(path)
    tag(path, "-comment")
    expected = {n: v for n, v in before.items() if n != "COMMENT"}
    check(tags(path) == expected and block_sheet(path) == block,
          "a removal on every track removes that comment alone: %r" % tags(path))
    tag(path, "--subsong", "2", "title=Zweite")
    expected["CUE_TRACK02_TITLE"] = ["Zweite"]
    check(tags(path) == expected and block_sheet(path) == block, "the title in track 2's own tag: %r" % tags(path))
    shown = subsong_fields(path)
    check(first(shown[2], "title") == "Zweite" and "title" not in shown[1], "the tracks show it: %r" % shown)
    with open(path, "rb") as f:
        unchanged = f.read()
    refused = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "tag", windows_path(path), "--subsong", "1",
                              "-tracknumber"], capture_output=True, text=True)
    with open(path, "rb") as f:
        check(refused.returncode != 0 and "CUESHEET block" in refused.stdout + refused.stderr and
              f.read() == unchanged, "a track number only the block gives cannot be removed: %r" % (refused,))


def check_compilation_album_artist(wav, plain, work):
    """Compilations with no album artist (MP4 cpil by AtomicParsley, ID3v2
    TCMP by mutagen) show "Various Artists", and a title edit does not store
    it; an album artist the user gives is stored."""
    m4a = os.path.join(work, "compilation.m4a")
    subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-c:a", "aac", m4a], check=True)
    subprocess.run(["AtomicParsley", m4a, "--compilation", "true", "--title", "Old", "--overWrite"], check=True,
                   capture_output=True)
    mp3 = os.path.join(work, "compilation.mp3")
    shutil.copy(plain, mp3)
    id3 = ID3()
    id3.add(TIT2(encoding=1, text=["Old"]))
    id3.add(TCMP(encoding=1, text=["1"]))
    id3.save(mp3)
    stored = {m4a: lambda: MP4(m4a).tags.get("aART"), mp3: lambda: ID3(mp3).getall("TPE2") or None}
    for path, album_artist in stored.items():
        check(first(info(path)[0], "album artist") == "Various Artists", "%s: shown as Various Artists" % path)
        tag(path, "title=New")
        fields = info(path)[0]
        check(album_artist() is None and first(fields, "title") == "New" and
              first(fields, "album artist") == "Various Artists",
              "%s: a title edit stores no album artist: %r" % (path, album_artist()))
        tag(path, "album artist=Real Band")
        check(album_artist() is not None and "Real Band" in str(album_artist()),
              "%s: a given album artist is stored: %r" % (path, album_artist()))


def riff_info_items(path):
    """The items of a WAVE file's LIST/INFO chunk."""
    with open(path, "rb") as f:
        data = f.read()
    offset, items = 12, {}
    while offset + 8 <= len(data):
        cid, size = data[offset:offset + 4], struct.unpack("<I", data[offset + 4:offset + 8])[0]
        if cid == b"LIST" and data[offset + 8:offset + 12] == b"INFO":
            at = offset + 12
            while at + 8 <= offset + 8 + size:
                iid, isize = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
                items[iid.decode()] = data[at + 8:at + 8 + isize].rstrip(b"\0").decode()
                at += 8 + isize + (isize & 1)
        offset += 8 + size + (size & 1)
    return items


def check_edits_keep_what_the_reading_did_not_show(wav, plain, work):
    """Files holding two tag kinds, one read and one beside it: a title edit
    reaches both, and every other value of the tag beside stays, also what
    the reading did not show (a gain tool's APEv2 items, an album only the
    ID3v1 block or the INFO list holds)."""
    ape_mp3 = os.path.join(work, "id3v2_ape.mp3")
    shutil.copy(plain, ape_mp3)
    tag_with_gain_items(ape_mp3, "Old")
    v1_mp3 = os.path.join(work, "id3v2_id3v1.mp3")
    shutil.copy(plain, v1_mp3)
    block = tag_with_album_only_in_id3v1(v1_mp3, "Old", "V1 Album")
    check(str(ID3(v1_mp3)["TALB"]) == "V1 Album" and "TALB" not in ID3(v1_mp3, load_v1=False),
          "the album only in the ID3v1 block")

    siblings = []
    for name, make in (("ape_id3v1.wv", ["wavpack", "-q", "-w", "Title=Old", "-w", "Album=APE Album", wav, "-o"]),
                       ("ape_id3v1.mpc", ["mpcenc", "--silent", "--title", "Old", "--album", "APE Album", wav])):
        path = os.path.join(work, name)
        subprocess.run(make + [path], check=True, capture_output=True)
        ape = APEv2(path)
        ape.update({"MP3GAIN_MINMAX": "112,200"})
        ape.save(path)
        with open(path, "ab") as f:
            f.write(id3v1_block(b"Old", b"V1 Album"))
        siblings.append(path)

    info_wav = os.path.join(work, "info_id3.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-metadata", "title=Info Title", "-metadata",
                    "album=Info Album", info_wav], check=True)
    wave = WAVE(info_wav)
    wave.add_tags()
    wave.tags.add(TIT2(encoding=3, text=["Old"]))
    wave.save()
    check(riff_info_items(info_wav).get("IPRD") == "Info Album", "the album only in the INFO list")

    before = {path: APEv2(path) for path in [ape_mp3] + siblings}
    for path in [ape_mp3, v1_mp3, info_wav] + siblings:
        tag(path, "title=New")

    after = APEv2(ape_mp3)
    check(all(after.get(k) is not None and str(after[k]) == v for k, v in GAIN_ITEMS.items()) and
          set(after.keys()) - set(GAIN_ITEMS) <= {"Title"} and str(after.get("Title", "New")) == "New",
          "every APEv2 item beside the ID3v2 tag stays: %s" % dict(after))
    check(str(ID3(ape_mp3)["TIT2"]) == "New" and str(ID3(ape_mp3)["TPE1"]) == "Band", "the ID3v2 tag edited")
    gain = info(ape_mp3)[1]["replaygain"]["track_gain"]
    check(gain is not None and abs(gain + 6.095) < 1e-3, "the APEv2 gain still read: %r" % gain)

    id3 = ID3(v1_mp3)
    with open(v1_mp3, "rb") as f:
        new_block = f.read()[-128:]
    check(str(id3["TIT2"]) == "New" and str(id3.get("TALB")) == "V1 Album", "ID3v1 album kept: %s" % id3.pprint())
    check(new_block[:3] == b"TAG" and new_block[3:33].rstrip(b"\0") == b"New" and new_block[33:] == block[33:],
          "only the ID3v1 title changed")

    for path in siblings:
        with open(path, "rb") as f:
            tail = f.read()[-128:]
        ape = APEv2(path)
        check(tail == id3v1_block(b"New", b"V1 Album"), "%s: the ID3v1 block beside the APEv2 tag edited" % path)
        check(str(ape["Title"]) == "New" and all(str(ape[k]) == str(v) for k, v in before[path].items() if k != "Title"),
              "%s: every other APEv2 item stays: %s" % (path, dict(ape)))

    items = riff_info_items(info_wav)
    check(items.get("IPRD") == "Info Album" and items.get("INAM") == "New", "INFO list edited: %s" % items)
    check(str(WAVE(info_wav).tags["TIT2"]) == "New", "id3 chunk edited")


def mp4_item_keys(path):
    """The keys of an MP4 file's items, in file order."""
    with open(path, "rb") as f:
        data = f.read()
    ilst = mp4_bytes.find(data, b"moov", b"udta", b"meta", b"ilst")
    # A "free" box is room for later edits, not an item.
    return [box[0] for box in mp4_bytes.boxes(data, ilst[1] + 8, ilst[1] + ilst[2]) if box[0] != b"free"]


def check_edits_of_no_value_write_nothing(wav, work):
    """An M4A made by ffmpeg and given a cover, a composer and a freeform
    item by mutagen, and a Matroska file made by ffmpeg: an edit that sets
    values the file holds, or removes a field it does not hold, writes
    nothing (the same bytes and time stamp), and neither does a real edit
    made a second time. The M4A's edited items keep their places."""
    m4a, mka = os.path.join(work, "same.m4a"), os.path.join(work, "same.mka")
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-metadata", "title=T",
                    "-metadata", "artist=A", "-metadata", "album=Al", "-metadata", "track=3/9", m4a], check=True)
    items = MP4(m4a)
    items["\xa9wrt"] = ["C"]
    items["----:com.apple.iTunes:MOOD"] = [MP4FreeForm(b"calm")]
    items["covr"] = [MP4Cover(b"\x89PNG\r\n\x1a\n" + bytes(64), MP4Cover.FORMAT_PNG)]
    items.save()
    order = mp4_item_keys(m4a)
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "flac", "-metadata", "album=Al",
                    "-metadata", "MOOD=calm", mka], check=True)

    def check_writes_nothing(path, edit, why):
        with open(path, "rb") as f:
            before = f.read()
        stamp = os.stat(path).st_mtime_ns
        tag(path, *edit)
        with open(path, "rb") as f:
            check(f.read() == before and os.stat(path).st_mtime_ns == stamp,
                  "%s: %s %s writes nothing" % (os.path.basename(path), edit, why))

    for path, edits in ((m4a, (["title=T"], ["artist=A", "album=Al"], ["tracknumber=3"], ["mood=calm"],
                               ["-lyricist"], ["title=T", "-conductor"])),
                        (mka, (["album=Al"], ["mood=calm"], ["-lyricist"], ["album=Al", "-conductor"]))):
        for edit in edits:
            check_writes_nothing(path, edit, "(no value changes)")
        tag(path, "title=Twice")
        check_writes_nothing(path, ["title=Twice"], "made again")
    tag(m4a, "title=Third", "mood=wild", "composer=D")
    tag(m4a, "album=Other", "tracknumber=4")
    check(mp4_item_keys(m4a) == order, "the M4A's items keep their places: %s, then %s" % (order, mp4_item_keys(m4a)))


def main():
    work = tempfile.mkdtemp(prefix="zorv-tags-")
    try:
        wav = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        plain = os.path.join(work, "plain.mp3")
        subprocess.run(["lame", "--quiet", wav, plain], check=True)

        # lame's own tags (ID3v2 and ID3v1).
        lame = os.path.join(work, "lame.mp3")
        subprocess.run(["lame", "--quiet", "--add-id3v2", "--tt", "Lame Title", "--ta", "Lame Artist",
                        "--tl", "Lame Album", "--tn", "4", "--ty", "2001", wav, lame], check=True)
        fields, data = info(lame)
        check(first(fields, "title") == "Lame Title", "lame title")
        check(first(fields, "artist") == "Lame Artist", "lame artist")
        check(first(fields, "tracknumber") == "4", "lame track")
        check(first(fields, "date") == "2001", "lame year")
        check("id3v2" in str(data) and "id3v1" in str(data), "lame tagtype names both kinds")
        check_edits_in_place_at_both_ends(lame, work)
        check_edits_keep_what_the_reading_did_not_show(wav, plain, work)
        check_id3v2_edits_keep_frame_order(plain, work)
        check_id3v2_rewrite_lays_out_for_later_edits(plain, work)
        check_edits_of_no_value_write_nothing(wav, work)

        # mutagen's tags, version 2.3 and 2.4, with a picture and a rating.
        picture = bytes(range(256)) * 8
        for version in (3, 4):
            path = os.path.join(work, "m%d.mp3" % version)
            shutil.copy(plain, path)
            tags = ID3()
            tags.add(TIT2(encoding=1, text=["Tïtle"]))
            tags.add(TPE1(encoding=1, text=["A", "B"]))
            tags.add(TRCK(encoding=0, text=["3/12"]))
            tags.add(TXXX(encoding=0, desc="replaygain_track_gain", text=["-6.20 dB"]))
            tags.add(COMM(encoding=1, lang="eng", desc="", text=["a comment"]))
            tags.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=picture))
            tags.add(POPM(email="someone", rating=128))
            tags.save(path, v2_version=version, v23_sep=" / ")
            fields, data = info(path)
            check(first(fields, "title") == "Tïtle", "v2.%d title" % version)
            check(fields.get("artist") == ["A", "B"], "v2.%d two artists: %s" % (version, fields.get("artist")))
            check(first(fields, "tracknumber") == "3" and first(fields, "totaltracks") == "12", "v2.%d TRCK" % version)
            check(first(fields, "comment") == "a comment", "v2.%d comment" % version)
            check(first(fields, "rating") == "3", "v2.%d rating" % version)
            check("id3v2.%d" % version in str(data), "v2.%d tagtype" % version)

            # Rewrite: the tag fits its padding, so the file keeps its size and audio.
            before_size = os.path.getsize(path)
            room = id3_size(path)
            audio = audio_after(path, room)
            tag(path, "title=Néw", "artist=X", "artist=Y", "rating=4", "-comment", "album=Ünïcode",
                "date=2003-04-05", "genre=Rock", "genre=(Live)")
            after = ID3(path)
            check(after.version[1] == version, "v2.%d stays v2.%d" % (version, version))
            check(str(after["TIT2"]) == "Néw", "v2.%d title written" % version)
            # Version 2.3 has one string per frame: several values are joined by " / ".
            artists = ["X", "Y"] if version == 4 else ["X / Y"]
            check(after["TPE1"].text == artists, "v2.%d artists written: %s" % (version, after["TPE1"].text))
            check(str(after["TALB"]) == "Ünïcode", "v2.%d album written" % version)
            # The rating goes into the rating frame another program wrote, under its e-mail.
            popm = after.getall("POPM")
            check(len(popm) == 1 and popm[0].rating == 196 and popm[0].email == "someone",
                  "v2.%d rating written" % version)
            check(after.getall("APIC")[0].data == picture, "v2.%d picture kept" % version)
            check(not after.getall("COMM"), "v2.%d comment removed" % version)
            check(str(after["TRCK"]) == "3/12", "v2.%d track kept" % version)
            check(str(after.get("TDRC", "")) == "2003-04-05", "v2.%d date: %s" % (version, after.get("TDRC")))
            check(os.path.getsize(path) == before_size and audio_after(path, room) == audio,
                  "v2.%d rewritten in place" % version)
            fields, _ = info(path)
            check(fields.get("genre") == ["Rock",
                  "(Live)"], "v2.%d genres read back: %s" % (version, fields.get("genre")))
            check(first(fields, "date") == "2003-04-05", "v2.%d date read back" % version)
            check(ffprobe_tags(path).get("title") == "Néw", "v2.%d ffprobe title" % version)

        # A file without tags gets a 2.3 tag with 2048 bytes of padding in front of its audio.
        fresh = os.path.join(work, "fresh.mp3")
        shutil.copy(plain, fresh)
        original = audio_after(fresh, 0)
        tag(fresh, "title=Fresh", "replaygain_album_gain=-1.5 dB")
        after = ID3(fresh)
        check(after.version[1] == 3 and str(after["TIT2"]) == "Fresh", "fresh tag")
        check(str(after["TXXX:replaygain_album_gain"]) == "-1.50 dB", "fresh ReplayGain")
        # The scheme for untagged MP3 files adds an ID3v1 tag at the end.
        fresh_audio = audio_after(fresh, id3_size(fresh))
        check(fresh_audio[:-128] == original and fresh_audio[-128:-125] == b"TAG", "fresh audio follows the tag")
        check(open(fresh, "rb").read()[id3_size(fresh) - 2048:id3_size(fresh)] == bytes(2048), "fresh padding")

        # A version 2.2 tag becomes 2.3, keeping its picture and comment.
        v22 = os.path.join(work, "v22.mp3")
        with open(v22, "wb") as f:
            f.write(id3v22_tags.tag([(b"TT2", b"\x00Old"), (b"COM", b"\x00engdesc\x00text"),
                                     (b"PIC", b"\x00PNG\x03\x00" + picture)]) + original)
        fields, data = info(v22)
        check(first(fields, "title") == "Old" and "id3v2.2" in str(data), "v2.2 read")
        tag(v22, "title=New")
        after = ID3(v22)
        check(after.version[1] == 3 and str(after["TIT2"]) == "New", "v2.2 rewritten as 2.3")
        check(after.getall("APIC")[0].data == picture and after.getall("APIC")[0].mime == "image/png",
              "v2.2 picture kept")
        check(str(after["COMM:desc:eng"]) == "text", "v2.2 comment kept")

        # A damaged leading tag does not hide the ID3v1 tag behind it, and is not written over.
        damaged = os.path.join(work, "damaged.mp3")
        with open(lame, "rb") as f:
            lame_bytes = f.read()
        with open(damaged, "wb") as f:
            f.write(b"ID3\x03\x00\x00\x00\x00\x00\x14TIT2\x04\x00\x00\x00\x00\x00" + bytes(10) + lame_bytes[id3_size(lame):])
        fields, data = info(damaged)
        check(first(fields, "title") == "Lame Title" and "id3v1" in str(data), "damaged leading tag skipped")
        before = open(damaged, "rb").read()
        refused = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "tag", windows_path(damaged), "title=x"],
                                 capture_output=True, text=True)
        check(refused.returncode != 0 and open(damaged, "rb").read() == before, "damaged tag not written over")

        # APEv2 tags by wavpack and mpcenc.
        wv = os.path.join(work, "a.wv")
        subprocess.run(["wavpack", "-q", "-w", "Title=WV Title", "-w", "Track=3/12", "-w", "Album Artist=AA",
                        wav, "-o", wv], check=True)
        fields, data = info(wv)
        check(first(fields, "title") == "WV Title", "wavpack title")
        check(first(fields, "tracknumber") == "3" and first(fields, "totaltracks") == "12", "wavpack track")
        check("apev2" in str(data), "wavpack tagtype")
        tag(wv, "title=New WV", "-totaltracks", "totaldiscs=2")
        ape = APEv2(wv)
        check(str(ape["Title"]) == "New WV" and str(ape["Track"]) == "3", "wavpack rewritten: %s" % dict(ape))
        check(str(ape["Disc"]) == "/2", "a lone total disc count kept")
        check(str(ape["Album artist"]) == "AA", "APE key case")
        check(id3_size(wv) == 0, "no ID3v2 tag added to an APEv2 file")
        check_cue_image_edits(work)
        check_cue_removals_and_repeated_edits(work)
        check_cue_block_edits(work)
        check_cue_removals_reach_the_player(work)
        check_whole_file_edits_of_files_with_tracks(work)
        check_cue_gains_set_alike(work)
        check_cue_images_edited_as_a_whole(work)
        check_cue_sheets_with_a_byte_order_mark(work)
        check_compilation_album_artist(wav, plain, work)

        mpc = os.path.join(work, "a.mpc")
        subprocess.run(["mpcenc", "--silent", "--title", "MPC Title", "--track", "7", wav, mpc], check=True,
                       capture_output=True)
        fields, data = info(mpc)
        check(first(fields, "title") == "MPC Title" and first(fields, "tracknumber") == "7", "mpcenc tags")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all round trips passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
