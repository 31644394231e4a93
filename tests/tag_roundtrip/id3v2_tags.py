#!/usr/bin/python3
"""ID3v2 tags of other programs edited with zorvtool and read back with
mutagen and ffprobe: a version 2.2 tag keeps every frame under its later
form (or, holding one without, refuses the edit and stays as it is),
chapter frames keep their stored order through a rewrite, a version 2.4
mood frame is read, changed and removed as the mood, a file that starts
with two tags (version 2.3, then 2.4, or the other way) keeps the frames only
the second held, an edit leaves the frames of the fields it did not change
byte for byte (a field in a standard and a user-defined frame at once among
them), a compressed version 2.4 frame is kept, or refuses the edit that
would lose it, a tag of many frames of one description is edited
keeping them and goes on being edited by other taggers, a frame of more
than a thousand values (mutagen's or the player's own) reads back whole
and stays through an edit for mutagen, eyeD3 and TagLib (kid3-cli), and
frames whose text ends in empty strings, and a user-defined frame without
a value, stay byte for byte through an edit of another field.

usage: id3v2_tags.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile

from mutagen.id3 import (APIC, CHAP, COMM, CTOC, CTOCFlags, ID3, PRIV, RVA2, TALB, TBPM, TDRC, TIT2, TMOO, TPE1, TSRC,
                         TXXX)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tiny_png, windows_path, zorvtool_runner  # noqa: E402
from id3v2_bytes import syncsafe, tag_frames, v24_frame  # noqa: E402
import id3v22_tags  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]

zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def fields(path):
    data = json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"][0]["info"]
    return {k.lower(): v for k, v in data.get("fields", {}).items()}


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                         capture_output=True, text=True, check=True).stdout
    return {k.lower(): v for k, v in json.loads(out)["format"].get("tags", {}).items()}


def check_version_22_edits_carry_every_frame(plain, work):
    """A version 2.2 tag with a frame of each kind, retitled: written back as
    version 2.3, every other frame as mutagen reads it unchanged, the
    lyrics and the compilation flag among them; ffprobe reads the same."""
    path = os.path.join(work, "v22.mp3")
    shutil.copy(plain, path)
    id3v22_tags.put_tag(path, id3v22_tags.EVERY_FRAME)
    before, probed = id3v22_tags.later_forms(path), ffprobe_tags(path)
    shown = fields(path)
    check(shown.get("unsynced lyrics") == ["the lyrics"] and shown.get("itunescompilation") == ["1"],
          "v2.2: the lyrics and the compilation flag are read: %r" % shown)
    zorvtool("tag", windows_path(path), "title=New Title")
    after = ID3(path)
    check(after.version == (2, 3, 0) and str(after["TIT2"]) == "New Title", "v2.2: retitled as version 2.3")
    old_title = repr(TIT2(encoding=0, text=["Old Title"]))
    kept = [f for f in before if f != old_title]
    now = [f for f in id3v22_tags.later_forms(path) if not f.startswith("TIT2(")]
    check(now == kept, "v2.2: every other frame carried over: lost %s, gained %s" %
          ([f for f in kept if f not in now], [f for f in now if f not in kept]))
    lyrics_and_flag = [str(f) for f in after.getall("USLT")] + [str(f) for f in after.getall("TCMP")]
    check(lyrics_and_flag == ["the lyrics", "1"], "v2.2: lyrics and compilation flag kept: %s" % after.pprint())
    probed_after = ffprobe_tags(path)
    check(probed_after.pop("title") == "New Title" and probed.pop("title") == "Old Title",
          "v2.2: ffprobe reads the new title")
    # ffprobe names the frames it does not know by their identifiers, which
    # the later forms change; those it knows read the same.
    known = ("artist", "album", "album_artist", "performer", "genre", "compilation", "track", "date", "encoded_by",
             "mood", "note")
    check([probed.get(k) for k in known] == [probed_after.get(k) for k in known],
          "v2.2: ffprobe reads the other values as before: %r, now %r" % (probed, probed_after))


def check_version_22_frame_without_later_form_refuses(plain, work):
    """A version 2.2 tag holding an encrypted meta frame, which version 2.3
    dropped: the edit says so and the file stays as it is; an edit that
    changes nothing succeeds, writing nothing."""
    path = os.path.join(work, "v22_crm.mp3")
    shutil.copy(plain, path)
    id3v22_tags.put_tag(path, id3v22_tags.COMMON_FRAMES + [id3v22_tags.ENCRYPTED_META])
    with open(path, "rb") as f:
        before = f.read()
    done = zorvtool("tag", windows_path(path), "title=New Title", ok=False)
    with open(path, "rb") as f:
        check(f.read() == before, "v2.2 CRM: the file is unchanged")
    check(done.returncode != 0 and "ID3v2.2 frame CRM" in done.stdout + done.stderr,
          "v2.2 CRM: the edit is refused with a clear message: %d %s%s" % (done.returncode, done.stdout, done.stderr))
    # An edit that changes no value has nothing to refuse.
    done = zorvtool("tag", windows_path(path), "title=Old Title", ok=False)
    with open(path, "rb") as f:
        check(done.returncode == 0 and f.read() == before, "v2.2 CRM: an edit of no value is no failure: %d %s%s" %
              (done.returncode, done.stdout, done.stderr))


def raw_frames(path):
    """The frames of the tag at the file's start, in file order: the tag's
    version and each frame's identifier with its bytes, header included."""
    with open(path, "rb") as f:
        data = f.read(10)
        size = (data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9]
        data += f.read(size)
    return data[3], tag_frames(data)


def stored_frames(path):
    """The frame identifiers of the tag at the file's start, in file order,
    chapters with their element id."""
    version, frames = raw_frames(path)
    ids = []
    for frame_id, data in frames:
        if frame_id == "CHAP":
            # A version 2.4 frame may start with its data length.
            start = 10 + (4 if version == 4 and data[9] & 1 else 0)
            frame_id += ":" + data[start:data.index(b"\0", start)].decode("latin-1")
        ids.append(frame_id)
    return ids


def ffprobe_chapters(path):
    out = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_chapters", path],
                         capture_output=True, text=True, check=True).stdout
    return [(c["id"], c["start_time"], c.get("tags", {}).get("title")) for c in json.loads(out)["chapters"]]


def check_chapters_keep_their_order(plain, work):
    """Chapters and their table of contents made by mutagen, the first
    chapter holding a picture: edits in place and one that rewrites the
    file keep the stored order of the chapter frames, and ffprobe numbers
    the chapters as before."""
    for version in (3, 4):
        path = os.path.join(work, "chapters%d.mp3" % version)
        shutil.copy(plain, path)
        tags = ID3()
        tags.add(TIT2(encoding=1, text=["Book"]))
        tags.add(TPE1(encoding=1, text=["Reader"]))
        tags.add(CTOC(element_id="toc", flags=CTOCFlags.TOP_LEVEL | CTOCFlags.ORDERED,
                      child_element_ids=["ch0", "ch1", "ch2"], sub_frames=[TIT2(encoding=1, text=["Contents"])]))
        pictured = [TIT2(encoding=1, text=["Opening"]),
                    APIC(encoding=0, mime="image/png", type=3, desc="", data=tiny_png() + bytes(3000))]
        for n, (start, name) in enumerate(((0, "Opening"), (300, "Middle"), (600, "End"))):
            tags.add(CHAP(element_id="ch%d" % n, start_time=start, end_time=start + 300,
                          sub_frames=pictured if n == 0 else [TIT2(encoding=1, text=[name])]))
        tags.save(path, v2_version=version)
        order, chapters = [f for f in stored_frames(path) if f[:4] in ("CHAP", "CTOC")], ffprobe_chapters(path)
        # ffprobe skips the chapter with the picture in a version 2.4 tag.
        check(len(chapters) == (3 if version == 3 else 2), "chapters v2.%d: the fixture's chapters: %r" %
              (version, chapters))
        for edit in (["artist=Someone"], ["title=" + "A title longer than the tag's padding " * 40]):
            zorvtool("tag", windows_path(path), *edit)
            now = [f for f in stored_frames(path) if f[:4] in ("CHAP", "CTOC")]
            check(now == order, "chapters v2.%d %s: the chapter frames keep their order: %s, now %s" %
                  (version, edit[0][:12], order, now))
            check(ffprobe_chapters(path) == chapters, "chapters v2.%d %s: ffprobe numbers them as before: %r" %
                  (version, edit[0][:12], ffprobe_chapters(path)))
        check(str(ID3(path)["TPE1"]) == "Someone", "chapters v2.%d: the edits read back" % version)


def check_version_24_mood(plain, work):
    """A version 2.4 mood frame made by mutagen: read as the mood, written
    back as a mood frame, and gone with the mood; version 2.3 keeps its
    user-defined frame under the name it has, and names a new one as other
    taggers do."""
    path = os.path.join(work, "mood.mp3")
    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=3, text=["Song"]))
    tags.add(TMOO(encoding=3, text=["calm"]))
    tags.save(path, v2_version=4)
    check(fields(path).get("mood") == ["calm"], "TMOO: read as the mood: %r" % fields(path))
    zorvtool("tag", windows_path(path), "mood=dark")
    after = ID3(path)
    check(after.version == (2, 4, 0) and after.getall("TMOO") and str(after["TMOO"]) == "dark" and
          not after.getall("TXXX"), "TMOO: the new mood is written as a mood frame: %s" % after.pprint())
    zorvtool("tag", windows_path(path), "-mood")
    after = ID3(path)
    check(not after.getall("TMOO") and not after.getall("TXXX") and str(after["TIT2"]) == "Song",
          "TMOO: removing the mood removes the frame: %s" % after.pprint())
    check("mood" not in fields(path), "TMOO: no mood read after the removal")

    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TXXX(encoding=1, desc="MOOD", text=["calm"]))
    tags.save(path, v2_version=3)
    zorvtool("tag", windows_path(path), "mood=dark")
    after = ID3(path)
    check([(t.desc, t.text) for t in after.getall("TXXX")] == [("MOOD", ["dark"])] and
          not after.getall("TMOO"), "TXXX:MOOD in version 2.3 stays a user-defined frame: %s" % after.pprint())
    # A new one takes the name other taggers give it.
    zorvtool("tag", windows_path(path), "-mood")
    zorvtool("tag", windows_path(path), "mood=calm")
    after = ID3(path)
    check([(t.desc, t.text) for t in after.getall("TXXX")] == [("MOOD", ["calm"])],
          "a new mood in version 2.3 is TXXX:MOOD: %s" % after.pprint())


def stacked_tags(plain, path, first, second, versions=(3, 4)):
    """`plain` behind a tag of the frames `first` and one of the frames
    `second`, of the versions `versions` (2.3, then 2.4 unless told), as
    mutagen writes each."""
    made = []
    for version, frames in zip(versions, (first, second)):
        shutil.copy(plain, path)
        tags = ID3()
        for f in frames:
            tags.add(f)
        tags.save(path, v2_version=version, padding=lambda info: 0)
        with open(path, "rb") as f:
            data = f.read()
        made.append(data[:10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])])
    with open(plain, "rb") as f:
        audio = f.read()
    with open(path, "wb") as f:
        f.write(made[0] + made[1] + audio)


def check_refused_naming_frame(path, edit, frame, what):
    """The edit is refused with a message naming `frame` and the version 2.3
    that has no form for it, and the file keeps every byte."""
    with open(path, "rb") as f:
        before = f.read()
    done = zorvtool("tag", windows_path(path), edit, ok=False)
    with open(path, "rb") as f:
        check(f.read() == before, "%s: the file is unchanged" % what)
    said = done.stdout + done.stderr
    check(done.returncode != 0 and frame in said and "ID3v2.3" in said,
          "%s: refused naming the frame: %d %s" % (what, done.returncode, said))


def check_stacked_tags_keep_the_second_tags_frames(plain, work):
    """Version 2.3 then 2.4: the one tag an edit writes keeps the frames only
    the second held, in version 2.3 forms (a date, a mood, a UTF-8 comment
    and picture), the first's value where both hold one; mutagen and
    ffprobe read them back, and the same edit again writes nothing. A frame
    version 2.3 has no form for refuses the edit, the file unchanged."""
    path = os.path.join(work, "stacked.mp3")
    picture = tiny_png()
    stacked_tags(plain, path, [TIT2(encoding=1, text=["First"]), TPE1(encoding=0, text=["Artist"])],
                 [TIT2(encoding=3, text=["Second"]), TALB(encoding=3, text=["Älbum"]),
                  TDRC(encoding=3, text=["2001-05-03"]), TMOO(encoding=3, text=["calm"]),
                  TXXX(encoding=3, desc="CATALOG", text=["C1"]), COMM(encoding=3, lang="deu", desc="", text=["nötig"]),
                  APIC(encoding=3, mime="image/png", type=3, desc="", data=picture),
                  PRIV(owner="example.org", data=b"\x01\x02")])
    shown = fields(path)
    check((shown.get("title"), shown.get("album"), shown.get("mood")) == (["First"], ["Älbum"], ["calm"]),
          "stacked: the second tag's frames are read beside the first's: %r" % shown)
    zorvtool("tag", windows_path(path), "artist=Someone")
    tags = ID3(path, translate=False)
    with open(path, "rb") as f:
        data = f.read()
    end = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    check(tags.version == (2, 3, 0) and data[end:end + 3] != b"ID3", "stacked: one version 2.3 tag written")
    got = {"TIT2": str(tags.get("TIT2")), "TPE1": str(tags.get("TPE1")), "TALB": str(tags.get("TALB")),
           "date": [str(t) for t in tags.getall("TYER") + tags.getall("TDAT")],
           "TXXX": sorted((t.desc, tuple(t.text)) for t in tags.getall("TXXX")),
           "COMM": [t.text for t in tags.getall("COMM")], "APIC": [t.data == picture for t in tags.getall("APIC")],
           "PRIV": [(t.owner, t.data) for t in tags.getall("PRIV")]}
    want = {"TIT2": "First", "TPE1": "Someone", "TALB": "Älbum", "date": ["2001", "0305"],
            "TXXX": [("CATALOG", ("C1",)), ("MOOD", ("calm",))], "COMM": [["nötig"]], "APIC": [True],
            "PRIV": [("example.org", b"\x01\x02")]}
    check(got == want, "stacked: mutagen reads every frame: %r" % got)
    probed = ffprobe_tags(path)
    check((probed.get("title"), probed.get("album"), probed.get("artist"), probed.get("date")) ==
          ("First", "Älbum", "Someone", "2001-05-03"), "stacked: ffprobe reads them: %r" % probed)
    zorvtool("tag", windows_path(path), "artist=Someone")
    with open(path, "rb") as f:
        check(f.read() == data, "stacked: the same edit again writes nothing")

    stacked_tags(plain, path, [TIT2(encoding=1, text=["First"])],
                 [TALB(encoding=3, text=["Album"]), RVA2(desc="track", channel=1, gain=-3.0, peak=0.5)])
    check_refused_naming_frame(path, "artist=Someone", "RVA2", "stacked RVA2")


def texts(tags, key):
    return tags[key].text if key in tags else None


def check_edits_keep_the_frames_they_did_not_touch(plain, work):
    """Version 2.4 with a field in a standard frame and in a user-defined
    one at once (TMOO and TXXX:MOOD, TSRC and TXXX:ISRC, TBPM and TXXX:BPM,
    as two taggers wrote them): a title edit leaves every other frame byte
    for byte; an edit of the mood sends each value back to the frame it
    came from, a new one to the user-defined frame."""
    path = os.path.join(work, "two_kinds.mp3")
    shutil.copy(plain, path)
    tags = ID3()
    for f in (TIT2(encoding=3, text=["Song"]), TMOO(encoding=3, text=["calm"]),
              TXXX(encoding=3, desc="MOOD", text=["dark"]),
              TSRC(encoding=0, text=["US1234567890"]), TXXX(encoding=1, desc="ISRC", text=["GB0987654321"]),
              TBPM(encoding=0, text=["120"]), TXXX(encoding=3, desc="BPM", text=["121"]),
              COMM(encoding=3, lang="deu", desc="", text=["Hallo"])):
        tags.add(f)
    tags.save(path, v2_version=4)
    _, before = raw_frames(path)
    zorvtool("tag", windows_path(path), "title=New")
    _, after = raw_frames(path)
    check([f for f in after if f[0] != "TIT2"] == [f for f in before if f[0] != "TIT2"],
          "two kinds: a title edit keeps the other frames byte for byte: %r" % [f[0] for f in after])
    tags = ID3(path, translate=False)
    check((texts(tags, "TMOO"), texts(tags, "TXXX:MOOD"), texts(tags, "TSRC"), texts(tags, "TXXX:ISRC"),
           texts(tags, "TIT2")) == (["calm"], ["dark"], ["US1234567890"], ["GB0987654321"], ["New"]),
          "two kinds: mutagen reads each frame: %s" % tags.pprint())
    probed = ffprobe_tags(path)
    check((probed.get("title"), probed.get("tmoo"), probed.get("mood")) == ("New", "calm", "dark"),
          "two kinds: ffprobe: %r" % probed)

    zorvtool("tag", windows_path(path), "mood=calm", "mood=dark", "mood=blue")
    tags = ID3(path, translate=False)
    check((texts(tags, "TMOO"), texts(tags, "TXXX:MOOD")) == (["calm"], ["dark", "blue"]),
          "two kinds: the moods kept stay in their frames, a new one joins the user-defined one: %s" % tags.pprint())
    check(fields(path).get("mood") == ["calm", "dark", "blue"], "two kinds: the moods read back: %r" % fields(path))
    zorvtool("tag", windows_path(path), "mood=joyful", "mood=blue", "isrc=US1234567890", "isrc=GB1111111111")
    tags = ID3(path, translate=False)
    check((texts(tags, "TMOO"), texts(tags, "TXXX:MOOD"), texts(tags, "TSRC"), texts(tags, "TXXX:ISRC")) ==
          (["joyful"], ["blue"], ["US1234567890"], ["GB1111111111"]),
          "two kinds: a replaced value takes the frame of the one it replaces: %s" % tags.pprint())
    with open(path, "rb") as f:
        data = f.read()
    zorvtool("tag", windows_path(path), "mood=joyful", "mood=blue", "isrc=US1234567890", "isrc=GB1111111111")
    with open(path, "rb") as f:
        check(f.read() == data, "two kinds: the same edit again writes nothing")

    # A tag stacked behind a version 2.4 tag keeps its frames' forms.
    stacked_tags(plain, path, [TIT2(encoding=3, text=["First"])],
                 [TXXX(encoding=1, desc="MOOD", text=["dark"]), COMM(encoding=1, lang="deu", desc="", text=["Hallo"]),
                  TPE1(encoding=1, text=["A / B"])], versions=(4, 3))
    zorvtool("tag", windows_path(path), "title=New")
    tags = ID3(path, translate=False)
    got = ([(t.desc, t.text) for t in tags.getall("TXXX")], [t.text for t in tags.getall("TMOO")],
           [(t.lang, t.text) for t in tags.getall("COMM")], texts(tags, "TPE1"), tags.version)
    check(got == ([("MOOD", ["dark"])], [], [("deu", ["Hallo"])], ["A", "B"], (2, 4, 0)),
          "stacked 2.4 then 2.3: the later tag's frames keep their names and languages: %r" % (got,))
    probed = ffprobe_tags(path)
    check((probed.get("title"), probed.get("comment")) == ("New", "Hallo"),
          "stacked 2.4 then 2.3: ffprobe: %r" % probed)


def check_compressed_version_24_frame(plain, work):
    """A version 2.4 tag with a zlib-compressed frame (which ffprobe and
    mutagen read) is read for its other frames and edited with the frame
    kept as stored; behind a version 2.3 tag, which has no form for it, the
    edit is refused with a message naming it, the file unchanged."""
    path = os.path.join(work, "compressed.mp3")
    with open(plain, "rb") as f:
        audio = f.read()
    packed = v24_frame("TPE1", b"\x03Packed", compressed=True)
    frames = v24_frame("TIT2", b"\x03Song") + packed
    with open(path, "wb") as f:
        f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames + audio)
    check(ffprobe_tags(path).get("artist") == "Packed", "compressed: ffprobe reads the frame")
    done = zorvtool("info", windows_path(path), ok=False)
    check(done.returncode == 0 and json.loads(done.stdout)["subsongs"][0]["info"].get("fields", {}).get("title") ==
          ["Song"], "compressed: the other frames are read: %d %s%s" % (done.returncode, done.stdout, done.stderr))
    done = zorvtool("tag", windows_path(path), "title=New", ok=False)
    check(done.returncode == 0, "compressed: the edit is made: %d %s%s" % (done.returncode, done.stdout, done.stderr))
    tags = ID3(path)
    check((str(tags.get("TIT2")), str(tags.get("TPE1"))) == ("New", "Packed"),
          "compressed: mutagen: %s" % tags.pprint())
    probed = ffprobe_tags(path)
    check((probed.get("title"), probed.get("artist")) == ("New", "Packed"), "compressed: ffprobe: %r" % probed)
    check(("TPE1", packed) in raw_frames(path)[1], "compressed: the frame is kept as stored")
    done = zorvtool("tag", windows_path(path), "artist=Plain", ok=False)
    check(done.returncode == 0, "compressed: the artist is set: %d %s%s" % (done.returncode, done.stdout, done.stderr))
    check([f[0] for f in raw_frames(path)[1]].count("TPE1") == 1 and str(ID3(path).get("TPE1")) == "Plain",
          "compressed: the new artist stands alone: %r" % raw_frames(path)[1])
    check(ffprobe_tags(path).get("artist") == "Plain", "compressed: ffprobe reads the new artist")

    shutil.copy(plain, path)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["First"]))
    tags.save(path, v2_version=3, padding=lambda info: 0)
    with open(path, "rb") as f:
        data = f.read()
    end = 10 + ((data[6] << 21) | (data[7] << 14) | (data[8] << 7) | data[9])
    with open(path, "wb") as f:
        f.write(data[:end] + b"ID3\x04\x00\x00" + syncsafe(len(packed)) + packed + data[end:])
    check_refused_naming_frame(path, "title=New", "TPE1", "compressed behind 2.3")


def check_many_frames_of_one_description(plain, work):
    """A version 2.4 tag of many user-defined frames that share one
    description, every other one compressed: a title edit keeps them byte
    for byte and in order, mutagen reads every value, and after mid3v2 and
    eyeD3 edited the file the player reads their edits and edits it again."""
    path = os.path.join(work, "one_description.mp3")
    with open(plain, "rb") as f:
        audio = f.read()
    values = ["value %d" % n for n in range(600)]
    frames = v24_frame("TIT2", b"\x03Song") + b"".join(
        v24_frame("TXXX", b"\x03SHARED\x00" + v.encode(), compressed=n % 2 == 1) for n, v in enumerate(values))
    with open(path, "wb") as f:
        f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames + audio)
    _, before = raw_frames(path)
    check(fields(path).get("shared") == values[::2], "one description: the plain frames are read")
    zorvtool("tag", windows_path(path), "title=New")
    _, after = raw_frames(path)
    check(after[1:] == before[1:] and after[0][0] == "TIT2",
          "one description: a title edit keeps the other frames byte for byte: %d of %d" %
          (sum(a == b for a, b in zip(after[1:], before[1:])), len(before) - 1))
    tags = ID3(path, translate=False)
    check((texts(tags, "TIT2"), texts(tags, "TXXX:SHARED")) == (["New"], values),
          "one description: mutagen reads every value: %r" % texts(tags, "TIT2"))

    subprocess.run(["mid3v2", "--artist", "Other Tagger", path], check=True, capture_output=True)
    subprocess.run(["eyeD3", "--no-color", "--album", "Third Tagger", path], check=True, capture_output=True)
    shown = fields(path)
    check((shown.get("title"), shown.get("artist"), shown.get("album")) == (["New"], ["Other Tagger"], ["Third Tagger"]),
          "one description: the other taggers' edits are read: %r" % {k: shown.get(k) for k in ("title", "artist")})
    zorvtool("tag", windows_path(path), "title=Again")
    tags = ID3(path, translate=False)
    check((texts(tags, "TIT2"), texts(tags, "TPE1"), texts(tags, "TALB"), texts(tags, "TXXX:SHARED")) ==
          (["Again"], ["Other Tagger"], ["Third Tagger"], values),
          "one description: edited again after the other taggers: %r" % texts(tags, "TIT2"))


def eyed3_values(path, frame_id, desc=None):
    """The strings of a text frame as eyeD3 reads them, or None."""
    import eyed3
    tag = eyed3.load(path).tag
    frame = tag.user_text_frames.get(desc) if desc else tag.frame_set.get(frame_id.encode(), [None])[0]
    return frame.text.split("\0") if frame is not None and frame.text else None


def taglib_values(path, name):
    """A field's values as TagLib reads them, through kid3-cli's tag 2."""
    done = subprocess.run(["kid3-cli", "-c", "get %s 2" % name, path], capture_output=True, text=True, check=True)
    return done.stdout.rstrip("\n").split("|")


def check_frames_of_more_than_a_thousand_values(plain, work):
    """mutagen's version 2.4 artist and user-defined frames of 1,100 values
    each are read whole and stay, every value there for mutagen, eyeD3 and
    TagLib, through a title edit; the player's own 1,100 values in a
    version 2.4 tag read back, and stay through the next edit."""
    path = os.path.join(work, "thousands.mp3")
    shutil.copy(plain, path)
    artists = ["Artist %d" % n for n in range(1100)]
    many = ["value %d" % n for n in range(1100)]
    tags = ID3()
    for f in (TIT2(encoding=3, text=["Song"]), TPE1(encoding=3, text=artists),
              TXXX(encoding=3, desc="MANY", text=many)):
        tags.add(f)
    tags.save(path, v2_version=4)
    shown = fields(path)
    check((shown.get("artist"), shown.get("many")) == (artists, many),
          "thousands: the player reads every value: %d %d" % (len(shown.get("artist") or []),
                                                              len(shown.get("many") or [])))
    _, before = raw_frames(path)
    zorvtool("tag", windows_path(path), "title=New")
    _, after = raw_frames(path)
    check([f for f in after if f[0] != "TIT2"] == [f for f in before if f[0] != "TIT2"],
          "thousands: a title edit keeps the other frames byte for byte: %r" % [f[0] for f in after])
    tags = ID3(path, translate=False)
    check((texts(tags, "TIT2"), texts(tags, "TPE1"), texts(tags, "TXXX:MANY")) == (["New"], artists, many),
          "thousands: mutagen reads every value after the edit")
    check((eyed3_values(path, "TPE1"), eyed3_values(path, "TXXX", "MANY")) == (artists, many),
          "thousands: eyeD3 reads every value after the edit")
    check(taglib_values(path, "artist") == artists, "thousands: TagLib reads every artist after the edit")
    shown = fields(path)
    check((shown.get("title"), shown.get("artist"), shown.get("many")) == (["New"], artists, many),
          "thousands: the player reads every value after the edit")

    composers = ["Composer %d" % n for n in range(1100)]
    zorvtool("tag", windows_path(path), *["composer=" + c for c in composers])
    check(fields(path).get("composer") == composers, "thousands: the player's own 1,100 values read back")
    zorvtool("tag", windows_path(path), "title=Again")
    tags = ID3(path, translate=False)
    check((texts(tags, "TIT2"), texts(tags, "TCOM"), texts(tags, "TPE1"), texts(tags, "TXXX:MANY")) ==
          (["Again"], composers, artists, many), "thousands: mutagen reads the player's values after the next edit")
    check(fields(path).get("composer") == composers, "thousands: the player's values stay through the next edit")


def check_frames_ending_in_empty_strings(plain, work):
    """Version 2.4 frames whose text ends in empty strings (a user-defined
    mood and another field, an artist), and a user-defined frame without a
    value, stay byte for byte through a title edit: the mood stays a
    user-defined frame for other readers."""
    path = os.path.join(work, "empty_strings.mp3")
    with open(plain, "rb") as f:
        audio = f.read()
    frames = (v24_frame("TIT2", b"\x03Song") + v24_frame("TXXX", b"\x03MOOD\x00calm\x00\x00\x00") +
              v24_frame("TXXX", b"\x03FOO\x00bar\x00\x00\x00") + v24_frame("TPE1", b"\x03Artist\x00\x00\x00") +
              v24_frame("TXXX", b"\x03EMPTY\x00"))
    with open(path, "wb") as f:
        f.write(b"ID3\x04\x00\x00" + syncsafe(len(frames)) + frames + audio)
    shown = fields(path)
    check((shown.get("mood"), shown.get("foo"), shown.get("artist")) == (["calm"], ["bar"], ["Artist"]),
          "empty strings: the player reads the values: %r" % shown)
    _, before = raw_frames(path)
    zorvtool("tag", windows_path(path), "title=New")
    _, after = raw_frames(path)
    check([f for f in after if f[0] != "TIT2"] == [f for f in before if f[0] != "TIT2"],
          "empty strings: a title edit keeps the other frames byte for byte: %r" % after)
    tags = ID3(path, translate=False)
    mood = (texts(tags, "TXXX:MOOD") or [None])[0]
    check(("TMOO" not in tags, texts(tags, "TIT2"), mood) == (True, ["New"], "calm"),
          "empty strings: mutagen finds the mood where it was: %s" % tags.pprint())


def main():
    work = tempfile.mkdtemp(prefix="zorv-id3v2-")
    try:
        wav = os.path.join(work, "tone.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        plain = os.path.join(work, "plain.mp3")
        subprocess.run(["lame", "--quiet", wav, plain], check=True)
        check_version_22_edits_carry_every_frame(plain, work)
        check_version_22_frame_without_later_form_refuses(plain, work)
        check_chapters_keep_their_order(plain, work)
        check_version_24_mood(plain, work)
        check_stacked_tags_keep_the_second_tags_frames(plain, work)
        check_edits_keep_the_frames_they_did_not_touch(plain, work)
        check_compressed_version_24_frame(plain, work)
        check_many_frames_of_one_description(plain, work)
        check_frames_of_more_than_a_thousand_values(plain, work)
        check_frames_ending_in_empty_strings(plain, work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failure(s)" % len(failures))
        return 1
    print("all ID3v2 checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
