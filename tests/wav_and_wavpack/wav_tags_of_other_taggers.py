#!/usr/bin/python3
"""WAV files tagged by TagLib (kid3-cli): its "ID3 " chunk, alone and beside
its INFO list, is read by zorvtool; zorvtool's edit and removal are read by
mutagen, TagLib and ffprobe, leave one ID3 chunk of TagLib's name and one
INFO list, and TagLib goes on editing the file. The track number ffmpeg
writes under its INFO id is shown and edited under that id, and a second
INFO list is read and joins the first.

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

from mutagen.wave import WAVE

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, write_stereo_wav, zorvtool_runner  # noqa: E402

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


def main():
    work = tempfile.mkdtemp(prefix="zorv-wav-taggers-")
    try:
        tone = os.path.join(work, "tone.wav")
        write_stereo_wav(tone, array.array("h", range(-20000, 20000, 4)))
        id3_only = os.path.join(work, "id3_only.wav")
        shutil.copyfile(tone, id3_only)
        kid3(id3_only, "set title 'TagLib Title' 2", "set artist 'TagLib Artist' 2", "save")
        check(chunk_ids(id3_only) == ["fmt ", "data", "ID3 "], "TagLib wrote an ID3 chunk: %r" % chunk_ids(id3_only))
        check_taglib_file("ID3 chunk alone", id3_only, ["fmt ", "data", "LIST", "ID3 "])
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
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("WAV tags of other taggers read and edited")
    return 0


if __name__ == "__main__":
    sys.exit(main())
