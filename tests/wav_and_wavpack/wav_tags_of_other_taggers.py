#!/usr/bin/python3
"""WAV files tagged by TagLib (kid3-cli): its "ID3 " chunk, alone and beside
its INFO list, is read by zorvtool; zorvtool's edit and removal are read by
mutagen, TagLib and ffprobe, leave one ID3 chunk of TagLib's name and the
INFO list where there was one, and TagLib goes on editing the file. The track number ffmpeg
writes under its INFO id is shown and edited under that id, a second
INFO list is read and joins the first, and INFO items of odd size without
their pad byte are shown as ffprobe shows them and kept, padded, for every
reader.

usage: wav_tags_of_other_taggers.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import array
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from mutagen.apev2 import APENoHeaderError, APEv2
from mutagen.id3 import ID3, ID3NoHeaderError
from mutagen.wave import WAVE

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, write_stereo_wav, zorvtool_runner  # noqa: E402
from native_taglib import build_taglib_reader  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)

# kid3-cli needs no display for its work.
QUIET_QT = dict(os.environ, QT_QPA_PLATFORM="offscreen")


def chunk_ids(path):
    """The ids of the file's top-level chunks, "JUNK" left out."""
    with open(path, "rb") as f:
        data = f.read()
    offset, ids = 12, []
    while offset + 8 <= len(data):
        cid, size = data[offset:offset + 4], struct.unpack("<I", data[offset + 4:offset + 8])[0]
        if cid != b"JUNK":
            ids.append(cid.decode("latin-1"))
        offset += 8 + size + (size & 1)
    return ids


def kid3(path, *commands):
    """kid3-cli's output lines for `commands` on the file."""
    args = [arg for command in commands for arg in ("-c", command)]
    return subprocess.run(["kid3-cli", *args, path], capture_output=True, text=True, errors="replace",
                          env=QUIET_QT, check=True).stdout.splitlines()


def shown(path):
    """{field: first value} as zorvtool shows them."""
    fields = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"].get("fields", {})
    return {key.lower(): value[0] if isinstance(value, list) else value for key, value in fields.items()}


def ffprobe_tags(path):
    return json.loads(subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                                     capture_output=True, text=True, check=True).stdout)["format"].get("tags", {})


# TagLib's own reading (the ID3 chunk alone where the file has one), and its
# own edit, which gives the INFO list what it reads.
TAGLIB_PROPERTIES = r"""
#include <fileref.h>
#include <tpropertymap.h>
#include <cstring>
#include <iostream>
int main(int argc, char** argv) {
  TagLib::FileRef file(argv[1]);
  if (file.isNull()) return 1;
  if (argc > 2 && std::strcmp(argv[2], "edit") == 0) {
    TagLib::PropertyMap properties = file.file()->properties();
    properties.replace("GENRE", TagLib::StringList("TagLib Genre"));
    file.file()->setProperties(properties);
    if (!file.save()) return 1;
  }
  for (const auto& property : file.file()->properties())
    std::cout << property.first.to8Bit(true) << "=" << property.second.toString(";").to8Bit(true) << "\n";
}
"""


def build_taglib_properties(work):
    """The program of TAGLIB_PROPERTIES, built into `work`."""
    build_taglib_reader(work, "taglib_properties", TAGLIB_PROPERTIES)
    return os.path.join(work, "taglib_properties")


def taglib_properties(program, path, *args):
    """{property: values joined by ";"} as TagLib reads them; `args` "edit"
    lets TagLib edit first."""
    lines = subprocess.run([program, path, *args], capture_output=True, text=True, check=True).stdout
    return dict(line.split("=", 1) for line in lines.splitlines())


def readers(path):
    """(title, artist) as mutagen, TagLib (the ID3 tag, tag 2) and ffprobe read them."""
    tags = WAVE(path).tags or {}
    mutagen = tuple(str(tags[frame].text[0]) if frame in tags else None for frame in ("TIT2", "TPE1"))
    # kid3-cli prints nothing for a field the tag lacks.
    taglib = tuple((kid3(path, "get %s 2" % field) or [None])[0] or None for field in ("title", "artist"))
    probe = ffprobe_tags(path)
    return {"mutagen": mutagen, "taglib": taglib, "ffprobe": (probe.get("title"), probe.get("artist"))}


def check_taglib_file(name, path, chunks):
    got = shown(path)
    check(got.get("title") == "TagLib Title" and got.get("artist") == "TagLib Artist",
          "%s: zorvtool shows TagLib's ID3 tag: %r" % (name, got))
    check(zorvtool("tag", windows_path(path), "title=Player Title", ok=False).returncode == 0,
          "%s: zorvtool's title edit succeeds" % name)
    every = readers(path)
    check(all(pair == ("Player Title", "TagLib Artist") for pair in every.values()),
          "%s: every reader reads the edit and the artist: %r" % (name, every))
    check(chunk_ids(path) == chunks, "%s: one ID3 chunk of TagLib's name: %r" % (name, chunk_ids(path)))
    check(zorvtool("tag", windows_path(path), "-title", ok=False).returncode == 0,
          "%s: zorvtool's title removal succeeds" % name)
    every = readers(path)
    check(all(pair == (None, "TagLib Artist") for pair in every.values()) and "title" not in shown(path),
          "%s: no reader finds a title after its removal: %r" % (name, every))
    kid3(path, "set title 'TagLib Again' 2", "save")
    check(shown(path).get("title") == "TagLib Again" and chunk_ids(path).count("ID3 ") == 1,
          "%s: TagLib's next edit is read: %r %r" % (name, shown(path), chunk_ids(path)))


def check_ffmpeg_track_number(work, tone):
    """ffmpeg and TagLib keep the track number in an INFO item "IPRT"."""
    path = os.path.join(work, "ffmpeg_track.wav")
    subprocess.run(["ffmpeg", "-v", "quiet", "-i", tone, "-c:a", "copy", "-metadata", "track=3", path], check=True)
    check(shown(path).get("tracknumber") == "3", "ffmpeg's track number is shown: %r" % shown(path))
    check(zorvtool("tag", windows_path(path), "tracknumber=4", ok=False).returncode == 0, "the track edit succeeds")
    with open(path, "rb") as f:
        data = f.read()
    at = data.index(b"LIST")
    info = data[at:at + 8 + struct.unpack("<I", data[at + 4:at + 8])[0]]
    items = [info[at:at + 4] for at in range(12, len(info) - 4) if info[at:at + 4] in (b"IPRT", b"ITRK")]
    check(items == [b"IPRT"] and b"IPRT\x02\x00\x00\x004\x00" in info and shown(path).get("tracknumber") == "4",
          "one track item of ffmpeg's id holds the edit: %r" % items)


def check_second_info_list(work, tone):
    """Two INFO lists: ffprobe reads both, the later item winning; so does
    zorvtool, and its edit leaves one list keeping the second one's album."""
    def info_list(*items):
        body = b"INFO" + b"".join(key + struct.pack("<I", len(text) + 1) + text + b"\0" + b"\0" * ((len(text) + 1) & 1)
                                  for key, text in items)
        return b"LIST" + struct.pack("<I", len(body)) + body
    path = os.path.join(work, "two_lists.wav")
    with open(tone, "rb") as f:
        data = bytearray(f.read())
    data += info_list((b"INAM", b"First"), (b"IART", b"Anna")) + info_list((b"INAM", b"Second"), (b"IPRD", b"Album"))
    data[4:8] = struct.pack("<I", len(data) - 8)
    with open(path, "wb") as f:
        f.write(data)
    got = shown(path)
    check((got.get("title"), got.get("artist"), got.get("album")) == ("Second", "Anna", "Album"),
          "two INFO lists: zorvtool reads both: %r" % got)
    check(zorvtool("tag", windows_path(path), "title=New", ok=False).returncode == 0, "two INFO lists: the edit succeeds")
    probe = ffprobe_tags(path)
    check([probe.get(key) for key in ("title", "artist", "album")] == ["New", "Anna", "Album"]
          and chunk_ids(path).count("LIST") == 1,
          "two INFO lists: one is left, ffprobe reads the edit and the rest: %r %r" % (probe, chunk_ids(path)))


def check_items_without_pad_bytes(work, tone):
    """INFO items of odd size whose writer left out the pad byte, a title and
    a composer: zorvtool shows every item as ffprobe does; an edit the list
    holds, and one it cannot (which adds an ID3 chunk), leave every item for
    ffprobe and TagLib, and every field for mutagen."""
    def item(key, text, pad):
        return key + struct.pack("<I", len(text)) + text + b"\0" * (pad and len(text) & 1)
    items = (item(b"INAM", b"Titl\0", False) + item(b"IMUS", b"Comp\0", False) + item(b"IART", b"Artist\0", True) +
             item(b"ICMT", b"Note\0", True) + item(b"ICRD", b"2001\0", True))
    program = build_taglib_properties(work)
    path = os.path.join(work, "unpadded_items.wav")
    shutil.copyfile(tone, path)
    appended_chunk(path, b"LIST" + struct.pack("<I", 4 + len(items)) + b"INFO" + items)
    probe_names = ("title", "IMUS", "artist", "comment", "date")
    got = shown(path)
    check([got.get(name) for name in ("title", "composer", "artist", "comment", "date")] ==
          [ffprobe_tags(path).get(name) for name in probe_names] == ["Titl", "Comp", "Artist", "Note", "2001"],
          "unpadded items: zorvtool shows every item as ffprobe does: %r" % got)
    for edit, field, value in (("album=New Album", "album", "New Album"), ("title=Tit\u00e9", "title", "Tit\u00e9")):
        check(zorvtool("tag", windows_path(path), edit, ok=False).returncode == 0, "unpadded items: %s succeeds" % edit)
        probe, native, tags = ffprobe_tags(path), taglib_properties(program, path), WAVE(path).tags
        readers = {
            "ffprobe": [probe.get(name) for name in probe_names[1:]] + [(probe.get(field) or "")[:3]],
            # TagLib's INFO list (kid3-cli), and what TagLib shows: the list, or the ID3 chunk the title needs.
            "kid3-cli": [(kid3(path, "get %s 3" % name) or [None])[0] for name in ("composer", "artist", "comment")],
            "TagLib": [native.get(name) for name in ("ARTIST", "COMMENT", "DATE", field.upper())],
            "mutagen": [str(tags[frame]) if frame in tags else None for frame in ("TCOM", "TPE1", "TDRC", "TIT2")]
            if tags else None}
        wanted = {"ffprobe": ["Comp", "Artist", "Note", "2001", value[:3]], "kid3-cli": ["Comp", "Artist", "Note"],
                  "TagLib": ["Artist", "Note", "2001", value],
                  "mutagen": None if field == "album" else ["Comp", "Artist", "2001", value]}
        check(readers == wanted, "unpadded items: after %s every reader reads every item: %r" % (edit, readers))


def riff_and_tail(path):
    """(the bytes the RIFF size covers, with an odd total's pad byte, and
    what stands behind them)."""
    with open(path, "rb") as f:
        data = f.read()
    end = 8 + struct.unpack("<I", data[4:8])[0]
    end += end & 1
    return data[:end], data[end:]


def id3v1_block(title):
    return b"TAG" + title.encode().ljust(30, b"\0") + b"\0" * 94 + b"\xff"


def ape_items(path):
    try:
        return dict(APEv2(path))
    except APENoHeaderError:
        return None


def check_tails_stay(work, tone):
    """Every kind of tail stays behind the RIFF through a growing edit, a
    shrinking one and a removal; the RIFF size covers the RIFF alone."""
    def with_ape(path):
        ape = APEv2()
        ape["Title"], ape["Gain Tool"] = "APE title", "1.5 dB"
        ape.save(path)

    def past_riff(path):
        with open(path, "ab") as f:
            f.write(b"LIST" + struct.pack("<I", 18) + b"INFOINAM\x05\0\0\0past\0\0")

    def stray(path):
        with open(path, "ab") as f:
            f.write(b"\x00\x17\x2a")

    def id3v1(path):
        with open(path, "ab") as f:
            f.write(id3v1_block("ID3v1 title"))

    kinds = {"an ID3v1 tag": [id3v1], "an APEv2 tag": [with_ape], "an APEv2 and an ID3v1 tag": [id3v1, with_ape],
             "a chunk past the RIFF size": [past_riff], "stray bytes": [stray]}
    for name, makers in kinds.items():
        path = os.path.join(work, "tail.wav")
        shutil.copyfile(tone, path)
        zorvtool("tag", windows_path(path), "title=Old title", "artist=Old artist")
        for make in makers:
            make(path)
        _, tail = riff_and_tail(path)
        ape_before = ape_items(path)
        long_title = "A title much longer than the old one"
        for edit, wanted in ((["title=" + long_title, "comment=" + "c" * 3000], long_title),
                             (["title=T", "-comment"], "T"), (["-title", "-artist"], None)):
            rc = zorvtool("tag", windows_path(path), *edit, ok=False).returncode
            riff, behind = riff_and_tail(path)
            check(rc == 0 and behind == tail and os.path.getsize(path) == len(riff) + len(tail),
                  "%s stays byte for byte behind the RIFF after %s (exit code %d)" % (name, edit[0], rc))
            tags = WAVE(path).tags
            got = str(tags["TIT2"]) if tags and "TIT2" in tags else None
            check(got == wanted and shown(path).get("title") == wanted,
                  "%s: mutagen and zorvtool read the edit %s: %r %r" % (name, edit[0], got, shown(path)))
            check(ape_items(path) == ape_before, "%s: mutagen reads the APEv2 tag as before" % name)


def check_tails_where_a_pad_was_left_out(work):
    """sox's odd-sized audio chunk whose pad byte the RIFF size counts but
    its writer left out, an ID3v1 or an APEv2 tag starting where the pad
    belongs: a growing edit, a shrinking one and a removal keep the tag byte
    for byte, and mutagen reads it as before."""
    padded = os.path.join(work, "odd.wav")
    subprocess.run(["sox", "-r", "8000", "-n", "-c", "1", "-b", "8", "-e", "unsigned-integer", padded, "synth",
                    "167s", "sine", "440"], check=True)
    with open(padded, "rb") as f:
        riff = f.read()
    check(len(riff) == 8 + struct.unpack("<I", riff[4:8])[0] and riff[-1:] == b"\0" and len(riff) % 2 == 0,
          "sox wrote an odd audio chunk with its pad byte")

    def ape_tail(path):
        ape = APEv2()
        ape["Title"] = "APE title"
        ape.save(path)

    def id3v1_tail(path):
        with open(path, "ab") as f:
            f.write(id3v1_block("ID3v1 title"))

    def other_readers(path):
        try:
            v1 = str(ID3(path)["TIT2"])
        except ID3NoHeaderError:
            v1 = None
        return v1, ape_items(path)

    for name, make in (("an ID3v1 tag", id3v1_tail), ("an APEv2 tag", ape_tail)):
        path = os.path.join(work, "unpadded.wav")
        with open(path, "wb") as f:
            f.write(riff[:-1])
        make(path)
        with open(path, "rb") as f:
            tail = f.read()[len(riff) - 1:]
        before = other_readers(path)
        check(before[0] == "ID3v1 title" or before[1], "%s: mutagen reads it where the pad belongs" % name)
        for edit, wanted in ((["title=A title much longer than any before", "comment=" + "c" * 500],
                              "A title much longer than any before"), (["title=T", "-comment"], "T"),
                             (["-title"], None)):
            rc = zorvtool("tag", windows_path(path), *edit, ok=False).returncode
            with open(path, "rb") as f:
                data = f.read()
            check(rc == 0 and data.endswith(tail) and data[4:8] == struct.pack("<I", len(data) - len(tail) - 8),
                  "%s stays whole behind the RIFF after %s (exit code %d)" % (name, edit[0], rc))
            check(other_readers(path) == before and shown(path).get("title") == wanted,
                  "%s: mutagen reads it as before, zorvtool the edit %s: %r %r" %
                  (name, edit[0], other_readers(path), shown(path).get("title")))


def id3_frame(frame, text):
    data = b"\0" + text.encode("latin-1")
    return frame.encode() + struct.pack(">I", len(data)) + b"\0\0" + data


def id3_chunk(name, *frames):
    body = b"".join(frames)
    size = bytes((len(body) >> shift) & 0x7F for shift in (21, 14, 7, 0))
    tag = b"ID3\x03\0\0" + size + body
    return name + struct.pack("<I", len(tag)) + tag + b"\0" * (len(tag) & 1)


def appended_chunk(path, chunk):
    with open(path, "r+b") as f:
        data = f.read() + chunk
        f.seek(0)
        f.write(data[:4] + struct.pack("<I", len(data) - 8) + data[8:])


def all_readers(path):
    """{reader: (title, artist, album, genre)} of mutagen, TagLib and ffprobe."""
    names = ("title", "artist", "album", "genre")
    tags = WAVE(path).tags or {}
    frames = ("TIT2", "TPE1", "TALB", "TCON")
    found = {"mutagen": tuple(str(tags[frame]) if frame in tags else None for frame in frames)}
    found["taglib"] = tuple((kid3(path, "get %s 2" % name) or [None])[0] or None for name in names)
    probe = ffprobe_tags(path)
    found["ffprobe"] = tuple(probe.get(name) for name in names)
    return found


def check_every_id3_chunk(work, tone):
    """A second ID3 chunk behind TagLib's, and an empty first one: zorvtool
    shows every field (the first chunk's where both hold one); its edit
    leaves one chunk of the first name that every reader reads whole, and
    TagLib edits it further."""
    two = os.path.join(work, "two_id3.wav")
    shutil.copyfile(tone, two)
    kid3(two, "set title 'TagLib Title' 2", "set artist 'TagLib Artist' 2", "save")
    appended_chunk(two, id3_chunk(b"id3 ", id3_frame("TIT2", "Earlier title"), id3_frame("TALB", "Earlier album")))
    empty_first = os.path.join(work, "empty_first.wav")
    shutil.copyfile(tone, empty_first)
    appended_chunk(empty_first, b"ID3 " + struct.pack("<I", 0))
    appended_chunk(empty_first,
                   id3_chunk(b"id3 ", id3_frame("TIT2", "Hidden title"), id3_frame("TPE1", "Hidden artist")))
    for name, path, before, edit, after, left in (
            ("two ID3 chunks", two, ("TagLib Title", "TagLib Artist", "Earlier album", None), "genre=Jazz",
             ("TagLib Title", "TagLib Artist", "Earlier album", "Jazz"), "ID3 "),
            ("an empty first ID3 chunk", empty_first, ("Hidden title", "Hidden artist", None, None), "title=New",
             ("New", "Hidden artist", None, None), "id3 ")):
        got = shown(path)
        check(tuple(got.get(key) for key in ("title", "artist", "album", "genre")) == before,
              "%s: zorvtool shows every field: %r" % (name, got))
        check(zorvtool("tag", windows_path(path), edit, ok=False).returncode == 0, "%s: the edit succeeds" % name)
        every = all_readers(path)
        check(all(view == after for view in every.values()), "%s: every reader reads every field: %r" % (name, every))
        ids = [cid for cid in chunk_ids(path) if cid.lower() == "id3 "]
        check(ids == [left], "%s: one ID3 chunk is left, named %r: %r" % (name, left, ids))
        kid3(path, "set comment 'TagLib comment' 2", "save")
        got = shown(path)
        check(got.get("comment") == "TagLib comment" and got.get("artist") == after[1],
              "%s: TagLib's next edit is read with the rest: %r" % (name, got))


def main():
    work = tempfile.mkdtemp(prefix="zorv-wav-taggers-")
    try:
        tone = os.path.join(work, "tone.wav")
        write_stereo_wav(tone, array.array("h", range(-20000, 20000, 4)))
        id3_only = os.path.join(work, "id3_only.wav")
        shutil.copyfile(tone, id3_only)
        kid3(id3_only, "set title 'TagLib Title' 2", "set artist 'TagLib Artist' 2", "save")
        check(chunk_ids(id3_only) == ["fmt ", "data", "ID3 "], "TagLib wrote an ID3 chunk: %r" % chunk_ids(id3_only))
        check_taglib_file("ID3 chunk alone", id3_only, ["fmt ", "data", "ID3 "])
        # TagLib's INFO list holds another title: ffprobe reads it over the ID3 chunk's.
        with_info = os.path.join(work, "with_info.wav")
        shutil.copyfile(tone, with_info)
        kid3(with_info, "set title 'TagLib Title' 2", "set artist 'TagLib Artist' 2", "set title 'Info Title' 3",
             "set artist 'TagLib Artist' 3", "save")
        check(chunk_ids(with_info) == ["fmt ", "data", "ID3 ", "LIST"],
              "TagLib wrote an ID3 chunk and an INFO list: %r" % chunk_ids(with_info))
        check_taglib_file("beside an INFO list", with_info, ["fmt ", "data", "LIST", "ID3 "])
        check_ffmpeg_track_number(work, tone)
        check_second_info_list(work, tone)
        check_items_without_pad_bytes(work, tone)
        check_tails_stay(work, tone)
        check_tails_where_a_pad_was_left_out(work)
        check_every_id3_chunk(work, tone)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("WAV tags of other taggers read and edited")
    return 0


if __name__ == "__main__":
    sys.exit(main())
