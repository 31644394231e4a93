#!/usr/bin/python3
"""Frames and items of other programs that the player cannot read or must
not change, edited with zorvtool and read back with mutagen and TagLib: an
ID3v2 comment or lyrics frame of an unknown encoding (or a comment whose
description has no end) gives way to the comment or lyrics an edit writes,
TagLib's comment() reads the new comment and one lyrics frame is left;
removing the comment of a tag whose comment frames include one of an
unknown encoding and a compressed one leaves no comment frame for the
player, TagLib or mutagen; a
version 2.3 artist frame of NUL-separated values stays byte for byte
through a title edit; the frames of a tag unsynchronised as a whole
(versions 2.3 and 2.4) read the same after a title edit; a rating edit
keeps another program's rating frame, its e-mail and play count, with the
new rating; an MP4 freeform item of a type the player does not read gives
way to the one an edit writes under its name.

usage: edits_replace_their_field.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from mutagen.id3 import APIC, ID3, POPM, TIT2, TPE1, TPE2
from mutagen.mp4 import MP4, AtomDataType, MP4FreeForm

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tiny_png, windows_path, zorvtool_runner  # noqa: E402
from native_taglib import build_taglib_reader  # noqa: E402
from id3v2_bytes import syncsafe, tag_frames, v24_frame  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)

# TagLib's own reading of an MP3 file's ID3v2 comment, built natively.
TAGLIB_COMMENT = r"""
#include <iostream>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
int main(int argc, char** argv) {
  TagLib::MPEG::File file(argv[1]);
  if (!file.isValid() || !file.ID3v2Tag()) return 1;
  std::cout << file.ID3v2Tag()->comment().to8Bit(true);
  return 0;
}
"""


def fields(path):
    data = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"]
    return {k.lower(): v for k, v in data.get("fields", {}).items()}


def unsynchronised(data):
    """A zero after each FF that precedes a byte of 111xxxxx or a zero, and
    after a final FF."""
    out = bytearray()
    for i, b in enumerate(data):
        out.append(b)
        if b == 0xFF and (i + 1 == len(data) or data[i + 1] >= 0xE0 or data[i + 1] == 0):
            out.append(0)
    return bytes(out)


def tag_and_audio(path):
    with open(path, "rb") as f:
        data = f.read()
    end = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    return data[:end], data[end:]


def raw_frames(path):
    """The frames of the file's tag, each its identifier and bytes, header included."""
    return tag_frames(tag_and_audio(path)[0])


def check_undecodable_comments_and_lyrics_give_way(plain, work, taglib_comment):
    """Comment and lyrics frames of encoding byte 5 and a comment whose
    description has no end, before the readable ones: a title edit keeps
    them all byte for byte; a comment and lyrics edit leaves the new
    comment, which TagLib's comment() reads, and one lyrics frame."""
    path = os.path.join(work, "undecodable.mp3")
    with open(plain, "rb") as f:
        audio = f.read()
    frames = (v24_frame("TIT2", b"\x03Song") + v24_frame("COMM", b"\x05eng\x00garbled") +
              v24_frame("COMM", b"\x03engno end") + v24_frame("COMM", b"\x03eng\x00old") +
              v24_frame("USLT", b"\x05eng\x00la la") + v24_frame("USLT", b"\x03eng\x00old words"))
    with open(path, "wb") as f:
        f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames + audio)
    before = raw_frames(path)
    zorvtool("tag", windows_path(path), "title=New")
    after = raw_frames(path)
    check([f for f in after if f[0] != "TIT2"] == [f for f in before if f[0] != "TIT2"],
          "undecodable: a title edit keeps the other frames byte for byte: %r" % after)
    zorvtool("tag", windows_path(path), "comment=new", "unsynced lyrics=new words")
    shown = taglib_comment(path)
    check(shown == "new", "undecodable: TagLib's comment() reads the new comment: %r" % shown)
    tags = ID3(path)
    lyrics = [f.text for f in tags.getall("USLT")]
    check(lyrics == ["new words"], "undecodable: one lyrics frame, the new one: %r" % lyrics)
    ids = [f[0] for f in raw_frames(path)]
    check(ids.count("COMM") == 1 and ids.count("USLT") == 1, "undecodable: no older frame is left: %r" % ids)
    shown = fields(path)
    check((shown.get("comment"), shown.get("unsynced lyrics")) == (["new"], ["new words"]),
          "undecodable: the player reads the edit: %r" % shown)


def check_removed_comment_leaves_no_comment_frame(plain, work, taglib_comment):
    """A version 2.4 tag whose comment frames are one of encoding byte 5, a
    compressed one (which mutagen and TagLib read) and a plain one:
    removing the comment leaves no comment frame for TagLib, mutagen or the
    player, and the title as it was."""
    path = os.path.join(work, "removed_comment.mp3")
    with open(plain, "rb") as f:
        audio = f.read()
    frames = (v24_frame("TIT2", b"\x03Song") + v24_frame("COMM", b"\x05eng\x00garbled") +
              v24_frame("COMM", b"\x03eng\x00packed", compressed=True) + v24_frame("COMM", b"\x03eng\x00plain"))
    with open(path, "wb") as f:
        f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames + audio)
    # mutagen merges the texts of comments of one description and language.
    check([text for f in ID3(path).getall("COMM") for text in f.text] == ["packed", "plain"],
          "removed comment: mutagen reads the compressed and the plain comment")
    check(fields(path).get("comment") == ["plain"], "removed comment: the player shows the plain one")
    done = zorvtool("tag", windows_path(path), "-comment", ok=False)
    check(done.returncode == 0, "removed comment: the edit is made: %s%s" % (done.stdout, done.stderr))
    shown = taglib_comment(path)
    check(shown == "", "removed comment: TagLib's comment() reads none: %r" % shown)
    comments = [f.text for f in ID3(path).getall("COMM")]
    check(comments == [], "removed comment: mutagen reads none: %r" % comments)
    ids = [frame_id for frame_id, _ in raw_frames(path)]
    check(ids == ["TIT2"], "removed comment: no comment frame is left: %r" % ids)
    check("comment" not in fields(path), "removed comment: the player shows none: %r" % fields(path))


def check_version_23_list_stays(plain, work):
    """mutagen's version 2.3 artist frame of NUL-separated values stays byte
    for byte through a title edit; mutagen reads both artists."""
    path = os.path.join(work, "v23_list.mp3")
    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Song"]))
    tags.add(TPE1(encoding=1, text=["Alpha", "Beta"]))
    tags.save(path, v2_version=3, v23_sep=None)
    check(fields(path).get("artist") == ["Alpha", "Beta"], "v2.3 list: the player reads both artists")
    artist = [f for f in raw_frames(path) if f[0] == "TPE1"]
    zorvtool("tag", windows_path(path), "title=New")
    check([f for f in raw_frames(path) if f[0] == "TPE1"] == artist,
          "v2.3 list: the artist frame stays byte for byte: %r" % raw_frames(path))
    tags = ID3(path)
    check((tags["TPE1"].text, tags["TIT2"].text) == (["Alpha", "Beta"], ["New"]),
          "v2.3 list: mutagen reads both artists and the new title: %s" % tags.pprint())


def unsynchronise_tag(path, version):
    """The file's tag with the header's unsynchronisation: in 2.3 over all
    its frames at once, in 2.4 each frame's payload (its flags as they were)."""
    tag, audio = tag_and_audio(path)
    if version == 3:
        body = unsynchronised(tag[10:])
    else:
        body = b""
        for _, data in raw_frames(path):
            payload = unsynchronised(data[10:])
            body += data[:4] + syncsafe(len(payload)) + data[8:10] + payload
    with open(path, "wb") as f:
        f.write(tag[:5] + bytes([0x80]) + syncsafe(len(body)) + body + audio)


def check_header_unsynchronisation_keeps_meaning(plain, work):
    """Tags unsynchronised as a whole, as some taggers write them, with a
    picture and a UTF-16 album artist full of FF bytes: after a title edit
    mutagen reads the picture whole and one album artist."""
    picture = tiny_png() + bytes([0xFF, 0xE0, 0xFF, 0x00, 0xFF, 0xFB, 0x41, 0xFF] * 125)
    for version in (3, 4):
        path = os.path.join(work, "unsync%d.mp3" % version)
        shutil.copy(plain, path)
        tags = ID3()
        tags.add(TIT2(encoding=1, text=["Song"]))
        tags.add(TPE2(encoding=1, text=["Band"]))
        tags.add(APIC(encoding=0, mime="image/png", type=3, desc="", data=picture))
        tags.save(path, v2_version=version)
        unsynchronise_tag(path, version)
        tags = ID3(path)
        check(tags.getall("APIC")[0].data == picture and tags["TPE2"].text == ["Band"],
              "unsync v2.%d: mutagen reads the fixture whole" % version)
        zorvtool("tag", windows_path(path), "title=New")
        tags = ID3(path)
        got = (len(tags.getall("APIC")[0].data), tags.getall("APIC")[0].data == picture, tags["TPE2"].text,
               tags["TIT2"].text)
        check(got == (len(picture), True, ["Band"], ["New"]),
              "unsync v2.%d: mutagen reads the picture whole and one album artist after a title edit: %r" %
              (version, got))
        shown = fields(path)
        check((shown.get("album artist"), shown.get("title")) == (["Band"], ["New"]),
              "unsync v2.%d: the player reads the edit: %r" % (version, shown))


def check_rating_keeps_play_count(plain, work):
    """Another program's rating frame (its e-mail, rating 128 and play count
    42): a rating edit leaves that frame alone, with the new rating and the
    count, and the player reads the new rating."""
    path = os.path.join(work, "rating.mp3")
    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=3, text=["Song"]))
    tags.add(POPM(email="someone@example.org", rating=128, count=42))
    tags.save(path, v2_version=4)
    check(fields(path).get("rating") == ["3"], "rating: the player reads 3 stars")
    zorvtool("tag", windows_path(path), "rating=5")
    got = [(f.email, f.rating, getattr(f, "count", None)) for f in ID3(path).getall("POPM")]
    check(got == [("someone@example.org", 255, 42)], "rating: the frame keeps its e-mail and play count: %r" % got)
    check(fields(path).get("rating") == ["5"], "rating: the player reads 5 stars: %r" % fields(path))


def check_mp4_freeform_of_another_type_gives_way(work):
    """An MP4 freeform MOOD item holding an integer, which the player does
    not read: a mood edit leaves one MOOD item, the new one, for mutagen."""
    path = os.path.join(work, "mood.m4a")
    subprocess.run(["ffmpeg", "-v", "quiet", "-f", "lavfi", "-i", "sine=frequency=440:duration=1", "-c:a", "aac",
                    path], check=True)
    tags = MP4(path)
    tags["\xa9nam"] = ["Song"]
    tags["----:com.apple.iTunes:MOOD"] = [MP4FreeForm(b"\x00", dataformat=AtomDataType.INTEGER)]
    tags.save()
    check("mood" not in fields(path), "mp4: the player reads no mood")
    zorvtool("tag", windows_path(path), "MOOD=calm")
    moods = [bytes(v) for v in MP4(path).get("----:com.apple.iTunes:MOOD", [])]
    check(moods == [b"calm"], "mp4: one MOOD item, the new one: %r" % moods)
    check(fields(path).get("mood") == ["calm"], "mp4: the player reads the mood")


def main():
    work = tempfile.mkdtemp(prefix="zorv-replace-")
    try:
        taglib_comment = build_taglib_reader(work, "taglib_comment", TAGLIB_COMMENT)

        wav = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        plain = os.path.join(work, "plain.mp3")
        subprocess.run(["lame", "--quiet", wav, plain], check=True)
        check_undecodable_comments_and_lyrics_give_way(plain, work, taglib_comment)
        check_removed_comment_leaves_no_comment_frame(plain, work, taglib_comment)
        check_version_23_list_stays(plain, work)
        check_header_unsynchronisation_keeps_meaning(plain, work)
        check_rating_keeps_play_count(plain, work)
        check_mp4_freeform_of_another_type_gives_way(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
