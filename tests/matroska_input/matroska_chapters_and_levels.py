#!/usr/bin/python3
"""Matroska Tags at several levels and targets, edited through the real
zorvtool and read back with mkvextract and ffprobe: a chapter's edit goes
into a Tag aimed at that chapter and every other Tag stays as it was (ffmpeg's
per-stream ENCODER and DURATION aimed at the track among them); a
collection's title beside the album's, and an album title aimed at the track
beside its track title, each read by its level and kept through edits of
the others; the titles of a side (40), a movement (20) and a shot (10) read
as their own fields, and a title edit of every chapter or of one keeps them,
as an album edit keeps a box set's title (60). A chapter goes by its own
title or its name, never the track's; an artist edit of every chapter
leaves the old artist in no chapter's Tag nor the track's, and a value one
chapter's Tags cannot hold as what it is (an album's TITLE, which ffmpeg
would read as the chapter's title) is refused with the file unchanged.

usage: matroska_chapters_and_levels.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402
from matroska_tag_levels import (CHAPTER_NAMES, NAMED_CHAPTERS, chapter_uids, make_chapter_artists,  # noqa: E402
                                 make_chaptered, make_collection, make_every_level, make_named_chapters,
                                 make_track_album, simple_pairs, simple_strings, tag_list)

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
BATCH = ZorvtoolBatch([WINE_EXEC, BUILD_DIR, ZORVTOOL])


def zorvtool_run(*args):
    return BATCH.run(*args)


def zorvtool(*args):
    done = zorvtool_run(*args)
    if done.returncode != 0:
        raise RuntimeError("zorvtool %s failed: %s%s" % (args[0], done.stdout, done.stderr))
    return done.stdout


def subsong_fields(path):
    """Each subsong's fields, names folded to lower case, by subsong number."""
    return {s["subsong"]: {k.lower(): v for k, v in s["info"]["fields"].items()}
            for s in json.loads(zorvtool("info", windows_path(path)))["subsongs"]}


def probed(path, chapters=False):
    """ffprobe's format and stream tags, and when asked each chapter's."""
    done = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", "-show_streams",
                           "-show_chapters", path], capture_output=True, text=True, check=True)
    shown = json.loads(done.stdout)
    tags = shown["format"].get("tags", {}), shown["streams"][0].get("tags", {})
    # A chapter's name shows as "title", a TITLE Tag aimed at it as "TITLE".
    return tags + ([{k.lower(): v for k, v in c.get("tags", {}).items()} for c in shown["chapters"]],) if chapters \
        else tags


def test_chapter_edits(work):
    path = make_chaptered(work)
    before, probed_before, uids = tag_list(path), probed(path), chapter_uids(path)
    shown = subsong_fields(path)
    check([shown[n].get("title") for n in (1, 2, 3)] == [[name] for name in CHAPTER_NAMES] and
          all(shown[n].get("artist") == ["Track Artist"] for n in (1, 2, 3)),
          "chaptered: every chapter reads its name and the track's artist: %s" % shown)

    zorvtool("tag", windows_path(path), "--subsong", "2", "title=Retitled")
    after = tag_list(path)
    check(after[:len(before)] == before, "chaptered: a chapter's title edit leaves every Tag as it was:\n%s\n%s" %
          (before, after[:len(before)]))
    added = after[len(before):]
    check(len(added) == 1 and (b"<ChapterUID>%s</ChapterUID>" % uids[1].encode()) in added[0][0] and
          b"<TargetTypeValue>30</TargetTypeValue>" in added[0][0] and simple_strings(added[0]) == ["Retitled"],
          "chaptered: the new title is in a Tag aimed at chapter 2 alone: %s" % added)
    shown = subsong_fields(path)
    check([shown[n].get("title") for n in (1, 2, 3)] == [["First"], ["Retitled"], ["Third"]] and
          all(shown[n].get("artist") == ["Track Artist"] for n in (1, 2, 3)),
          "chaptered: the other chapters read as before: %s" % shown)
    check(probed(path) == probed_before, "chaptered: ffprobe's format and stream tags are as they were: %s" %
          (probed(path),))

    # An edit of every chapter: what they all read from the track's Tag
    # changes there; ffmpeg's stream Tag and the whole file's stay.
    before = tag_list(path)
    zorvtool("tag", windows_path(path), "artist=Everyone")
    after = tag_list(path)
    changed = [n for n, tag in enumerate(before) if after[n] != tag]
    check(len(after) == len(before) and len(changed) == 1 and
          simple_strings(after[changed[0]]) == ["Track Title", "Everyone"] and after[changed[0]][0] == before[changed[0]][0],
          "chaptered: an artist edit of every chapter changes the track Tag's ARTIST alone:\n%s\n%s" % (before, after))
    format_tags, stream_tags = probed(path)
    check(format_tags == probed_before[0] and stream_tags.get("ENCODER") == probed_before[1].get("ENCODER") and
          stream_tags.get("DURATION") == probed_before[1].get("DURATION") and stream_tags.get("ARTIST") == "Everyone",
          "chaptered: ffprobe reads the stream's ENCODER and DURATION where they were: %s %s" % (format_tags, stream_tags))
    shown = subsong_fields(path)
    check([shown[n].get("title") for n in (1, 2, 3)] == [["First"], ["Retitled"], ["Third"]] and
          all(shown[n].get("artist") == ["Everyone"] for n in (1, 2, 3)),
          "chaptered: the edit reads back in every chapter: %s" % shown)


def test_collection_and_album(work):
    path = make_collection(work)
    shown = subsong_fields(path)[0]
    check(shown.get("album") == ["The Album"] and shown.get("collection title") == ["The Collection"] and
          shown.get("title") == ["Song"], "collection: the album is the level-50 TITLE alone: %s" % shown)
    before = tag_list(path)
    zorvtool("tag", windows_path(path), "album=New Album")
    after = tag_list(path)
    check(len(after) == len(before) and [t for n, t in enumerate(after) if n != 1] == before[:1] + before[2:] and
          after[1][0] == before[1][0] and
          simple_strings(after[1]) == ["New Album", "Album Artist"],
          "collection: an album edit changes the album's TITLE alone:\n%s\n%s" % (before, after))
    zorvtool("tag", windows_path(path), "title=New Song")
    after = tag_list(path)
    check(after[0] == before[0] and simple_strings(after[2]) == ["New Song"],
          "collection: a title edit keeps the collection's title: %s" % after)
    shown = subsong_fields(path)[0]
    check(shown.get("album") == ["New Album"] and shown.get("collection title") == ["The Collection"] and
          shown.get("title") == ["New Song"], "collection: the edits read back: %s" % shown)


def test_album_aimed_at_the_track(work):
    path = make_track_album(work)
    shown = subsong_fields(path)[0]
    check(shown.get("title") == ["Song"] and shown.get("album") == ["Album Of Track"],
          "track album: the unsaid level beside a level-30 Tag is the album's: %s" % shown)
    before = tag_list(path)
    zorvtool("tag", windows_path(path), "title=New Song")
    after = tag_list(path)
    check(len(after) == 2 and after[0] == before[0] and after[1][0] == before[1][0] and
          simple_strings(after[1]) == ["New Song", "Singer"],
          "track album: a title edit changes the track's TITLE alone:\n%s\n%s" % (before, after))
    shown = subsong_fields(path)[0]
    check(shown.get("title") == ["New Song"] and shown.get("album") == ["Album Of Track"] and
          shown.get("artist") == ["Singer"], "track album: the edit reads back: %s" % shown)
    # With the track's title removed the two Tags share no TagName: the
    # album's stays the album's for every reader.
    zorvtool("tag", windows_path(path), "-title")
    after = tag_list(path)
    shown = subsong_fields(path)[0]
    check(len(after) == 2 and simple_strings(after[0]) == ["Album Of Track"] and simple_strings(after[1]) == ["Singer"]
          and "title" not in shown and shown.get("album") == ["Album Of Track"] and shown.get("artist") == ["Singer"],
          "track album: a title removal keeps the album's title as the album: %s %s" % (after, shown))


def test_every_level(work):
    path = make_every_level(work, chapters=True)
    shown = subsong_fields(path)
    expected = {"album": ["The Album"], "collection title": ["The Collection"],
                "edition title": ["The Box"], "edition part_number": ["3"], "totaldiscs": ["2"],
                "part title": ["Side A"], "subtrack title": ["Movement I"], "shot title": ["Shot"]}
    check(all({k: shown[n].get(k) for k in expected} == expected for n in (1, 2, 3)) and
          [shown[n].get("title") for n in (1, 2, 3)] == [[name] for name in CHAPTER_NAMES],
          "every level: each chapter reads each TITLE by its level, and its name as its title: %s" % shown)
    before, uids = tag_list(path), chapter_uids(path)
    zorvtool("tag", windows_path(path), "--subsong", "2", "title=Second Song")
    after = tag_list(path)
    added = after[len(before):]
    check(after[:len(before)] == before and len(added) == 1 and
          (b"<ChapterUID>%s</ChapterUID>" % uids[1].encode()) in added[0][0] and
          b"<TargetTypeValue>30</TargetTypeValue>" in added[0][0] and simple_strings(added[0]) == ["Second Song"],
          "every level: one chapter's title goes into a level-30 Tag aimed at it: %s" % added)
    # Every chapter retitled: chapter 2's Tag changes where it is, the others
    # get Tags of their own, and the whole file's titles at every level stay.
    zorvtool("tag", windows_path(path), "title=New Song")
    final = tag_list(path)
    added = final[len(after):]
    check(final[:len(before)] == before and simple_strings(final[len(before)]) == ["New Song"] and
          final[len(before)][0] == after[len(before)][0] and len(added) == 2 and
          all(simple_strings(tag) == ["New Song"] and b"<TargetTypeValue>30</TargetTypeValue>" in tag[0] for tag in added),
          "every level: a title edit of every chapter goes into the chapters' Tags alone:\n%s\n%s" % (after, final))
    shown = subsong_fields(path)
    check([shown[n].get("title") for n in (1, 2, 3)] == [["New Song"]] * 3 and
          all(shown[n].get("part title") == ["Side A"] and shown[n].get("shot title") == ["Shot"] for n in (1, 2, 3)),
          "every level: the edits read back beside the other levels' titles: %s" % shown)

    before = tag_list(path)
    zorvtool("tag", windows_path(path), "album=New Album")
    after = tag_list(path)
    changed = [n for n, tag in enumerate(before) if n >= len(after) or after[n] != tag]
    check(len(after) == len(before) and len(changed) == 1 and b"ALBUM" in after[changed[0]][0] and
          simple_strings(after[changed[0]]) == ["New Album", "Album Artist", None],
          "every level: an album edit changes the album's TITLE alone, the box set's stays:\n%s\n%s" % (before, after))


def test_chapters_keep_their_names(work):
    path = make_named_chapters(work)
    shown = subsong_fields(path)
    check([shown[n].get("title") for n in (1, 2, 3)] == [[name] for name in NAMED_CHAPTERS],
          "named chapters: each chapter reads its name, not the track's title: %s" % shown)
    before = tag_list(path)
    zorvtool("tag", windows_path(path), "--subsong", "2", "title=Retitled")
    after = tag_list(path)
    shown = subsong_fields(path)
    check(after[:len(before)] == before and len(after) == len(before) + 1 and
          [shown[n].get("title") for n in (1, 2, 3)] == [["Prologue"], ["Retitled"], ["Epilogue"]],
          "named chapters: one chapter retitled, the track's TITLE kept: %s %s" % (after, shown))
    check([c.get("title") for c in probed(path, chapters=True)[2]] == ["Prologue", "Retitled", "Epilogue"],
          "named chapters: ffprobe reads the chapters' titles alike")


def test_artist_of_every_chapter(work):
    path = make_chapter_artists(work)
    shown = subsong_fields(path)
    check([shown[n].get("artist") for n in (1, 2, 3)] == [["First Artist"], ["Shared Artist"], ["Shared Artist"]],
          "chapter artists: each chapter reads the ARTIST aimed at it: %s" % shown)
    before = tag_list(path)
    others = [p for p in simple_pairs(path) if p[0] != "30"]
    zorvtool("tag", windows_path(path), "artist=New Artist")
    after = tag_list(path)
    pairs = simple_pairs(path)
    check([tag[0] for tag in after] == [tag[0] for tag in before] and
          [p for p in pairs if p[1] == "ARTIST" and p[0] == "30"] == [("30", "ARTIST", "New Artist")] * 3 and
          [p for p in pairs if p[0] != "30"] == others,
          "chapter artists: every level-30 ARTIST, the chapters' and the track's, holds the new artist where it "
          "was, the other levels' stay, no Tag is added:\n%s\n%s" % (before, after))
    _, stream, chapters = probed(path, chapters=True)
    check(stream.get("ARTIST") == "New Artist" and [c.get("artist") for c in chapters] == ["New Artist", None, "New Artist"],
          "chapter artists: ffprobe reads the new artist as the track's and the chapters': %s %s" % (stream, chapters))
    shown = subsong_fields(path)
    check(all(shown[n].get("artist") == ["New Artist"] and shown[n].get("album artist") == ["Album Artist"]
              for n in (1, 2, 3)), "chapter artists: every chapter reads the new artist: %s" % shown)
    zorvtool("tag", windows_path(path), "-artist")
    pairs = simple_pairs(path)
    check(not [p for p in pairs if p[1] == "ARTIST" and p[0] == "30"] and [p for p in pairs if p[0] != "30"] == others,
          "chapter artists: removed from every chapter, no level-30 ARTIST stays, the other levels' do: %s" % pairs)


def test_album_of_one_chapter(work):
    """An album's TITLE aimed at one chapter is that chapter's title to
    ffmpeg: the edit is refused. Alike for every chapter it is the file's."""
    path = make_chapter_artists(work)
    with open(path, "rb") as f:
        data = f.read()
    # The refusal names the field as the tag editor shows it.
    for edit, shown in (("album=Chapter Album", "Album"), ("album artist=Chapter Album Artist", "Album artist"),
                        ("-album", "Album"), ("discnumber=2", "Disc number")):
        refused = zorvtool_run("tag", windows_path(path), "--subsong", "2", edit)
        with open(path, "rb") as f:
            check(refused.returncode != 0 and
                  "The %s of a single chapter cannot be stored" % shown in refused.stdout + refused.stderr
                  and f.read() == data, "one chapter's %s: refused, the file unchanged: %d %s %s" %
                  (edit, refused.returncode, refused.stdout, refused.stderr))
    zorvtool("tag", windows_path(path), "--subsong", "2", "artist=Second Artist")
    shown = subsong_fields(path)
    check([shown[n].get("artist") for n in (1, 2, 3)] == [["First Artist"], ["Second Artist"], ["Shared Artist"]],
          "album of one chapter: a chapter's own artist is still written: %s" % shown)
    zorvtool("tag", windows_path(path), "album=New Album")
    _, _, chapters = probed(path, chapters=True)
    shown = subsong_fields(path)
    check([c.get("title") for c in chapters] == list(NAMED_CHAPTERS) and
          all(shown[n].get("album") == ["New Album"] for n in (1, 2, 3)) and
          ("50", "TITLE", "New Album") in simple_pairs(path),
          "album of every chapter: the whole file's album changes, ffprobe's chapter titles stay: %s %s" %
          (chapters, shown))


def main():
    with tempfile.TemporaryDirectory(prefix="zorv-mkv-levels-") as work:
        for test in (test_chapter_edits, test_collection_and_album, test_album_aimed_at_the_track,
                     test_every_level, test_chapters_keep_their_names, test_artist_of_every_chapter,
                     test_album_of_one_chapter):
            folder = os.path.join(work, test.__name__)
            os.makedirs(folder)
            test(folder)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


sys.exit(main())
