#!/usr/bin/python3
"""Tag writes killed at any moment: every file must decode as before and read
as either all its old tags or all its new ones.

Shared by one test per group of roads (tag_write_kill_flac_wav.py,
tag_write_kill_mp3.py, ... : ROAD_GROUPS), each run as
SCRIPT WINE_EXEC BUILD_DIR ZORVTOOL_EXE and making only the files its roads
take, so that the groups run side by side and each stays well inside its
time on a busy machine.
Each road of tag writing (in place and through the temporary file, for FLAC
(also with a second comment block, which the edit joins into the first),
MP3 with ID3v2 + APEv2 + ID3v1 and with ID3v2 + ID3v1, WavPack, Musepack versions 7 and 8 (header
ReplayGain and APEv2), Ogg Vorbis and Opus, WAV (also with an APEv2 and an
ID3v1 tag behind the RIFF, growing and shrinking, which stay there byte for
byte after every kill while ffprobe reads the edit in the INFO list that
stays the file's tag, and with an empty ID3 chunk before two more, whose
fields the one chunk the edit leaves holds, as mutagen reads it), MP4 with its movie box last,
first, or before fragments, a chapter of an MP4 book renamed in its chapter
list and its chapter text track, Matroska in place, grown (in place behind
the Segment too, read after each kill by mkvextract, ffprobe and mkvinfo as
well), into the room earlier Tags left, without a SeekHead,
with a second Tags element and with tags aimed at the track; Tags that end
the Segment, growing or shrinking, with an APEv2 tag holding a picture and
an ID3v1 tag, an ID3v1 tag or a further EBML document behind it, which
stays there byte for byte after every kill; ffmpeg's FLAC with a second
SeekHead in front of the Clusters naming a second Tags element; ffmpeg's stereo
Vorbis, its FLAC with a 100 KB attachment and mkvmerge's remux holding a
second Tags element of other values in front of the Clusters, named by no
SeekHead, whose values every reader shows after every kill of the first edit
(ffprobe and mkvextract may find the old and the new Tags there, as no one
write switches Tags past the first page) and which the next edit merges into
the one Tags element it leaves; edits that remove what the file's Tags hold
or what only that element holds, alone and beside new values, among them,
and after each of their kills another edit ends as that edit of the file the
player read), and for the
shapes other programs leave (an AAC file trimmed by a gapless record, a
two-value genre, FLAC and WavPack cue images with per-track values, MP3
with a gain tool's APEv2 items or an album only in ID3v1, Matroska remuxed
from Ogg Vorbis with an album-level artist, Musepack chapters whose shared
artist moves into the file's tag) runs in the
real zorvtool process, which is killed at a random moment. Its tag command
is the player's metadata update as Apply runs it (the file's lock, the
writer, the written file read back), so each kill lands on Apply's road. The program
pauses before every change to a file (ZORV_TEST_WRITE_PAUSE_MS), and within
one write into a file that was there before at every page boundary, as a
killed process's write can stop there. Each kill is timed from the first
change the write makes (to the file or beside it), spread evenly over the
stretch up to its last change, so the kills land between its writes and
between the pages of one.
Tags of hundreds of kilobytes edited where they stand (FLAC with a large
comment or a picture before or after it, MP3 with a large comment and
picture, MP4 with a cover, Ogg Vorbis, WavPack and Musepack with large APEv2
items) are written over many pages; WavPack and Musepack with a 100 KB
cover item and Ogg Vorbis and Opus with a 100 KB picture comment, as
mutagen tags them, are edited once (the file written anew) and then once
more in place (the APEv2 tags, laid out with their text items last and
no header, with a title of the same size and with a longer one, whose
write ends the file); after each kill every independent reader
(mutagen, ffprobe, and flac's test and metaflac's listing for FLAC) is asked
on its own whether it finds the old file or the new one.
ZORV_TAG_KILLS sets the kills per road (default 8, half that for the
shapes); ZORV_TAG_KILL_SEED the random seed; ZORV_TAG_KILL_ROADS, a regular
expression, the roads of the group that run (all by default).

An MP3 whose ID3v2 tag and ID3v1 block both change in place takes two
writes, and a kill between them leaves one tag old and the other new. What
must hold is what readers see, so each reader is checked on its own: the
player and mutagen take the ID3v2 tag and fill its gaps from the ID3v1 block,
and readers of one kind alone see that kind whole; each must find the file
as it was or as it was meant to be. ffmpeg decodes every MP3 the write
finished without a message (it takes an APEv2 tag without its header for
a damaged frame), and every killed one as it decodes the old or the new.

A kill may leave no file beside the music file for good. The temporary file
of a rewrite is deleted by the system with the killed process's handles,
except in the moments between its creation and its marking for deletion and
between clearing that mark and renaming it over the music file (a file
marked for deletion cannot be renamed): a kill there leaves it, under the
name the program gives it, and the next write of the music file removes it,
whatever road that write takes (each road's write is also made once beside
such a leftover).
So after each kill the folder holds the music file, a file of the test's
own, and at most that temporary file; after the next write only the first
two. The test's own file, named as the program names its temporary files,
is never touched. That next write succeeds and reads back as a write of the
untouched file does: a kill leaves no layout a later write refuses or reads
wrongly. Every value of every subsong that the edit does not name reads as
before.
"""
import hashlib
import os
import random
import re
import shutil
import signal
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

from mutagen.apev2 import APENoHeaderError, APEv2
from mutagen.id3 import ID3, ID3NoHeaderError
from mutagen.wave import WAVE, error as WaveError
from tag_files import (BESIDE_VALUES, Zorvtool, behind_riff, behind_segment, ffmpeg_decode, ffprobe_chapter_titles,
                       ffprobe_format_tags, make_fixtures, make_matroska_beside_fixtures, make_matroska_layout_fixtures,
                       make_shape_fixtures, make_wav_layout_fixtures, matroska_reader_views, mkvextract_tags,
                       tags_starts, top_level_tags_count, windows_path)

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, wait_until_wine_lets_go  # noqa: E402
from large_tag_files import make_large_tag_fixtures, reader_views  # noqa: E402

PAUSE_MS = "60"
# A large tag's write pauses at each of a hundred pages or more: shorter
# pauses keep its run near the others', and a kill still lands between two
# pages far more often than within one.
LARGE_PAUSE_MS = "15"
# Beside every killed file, shaped like the program's temporary files.
OWN_FILE = "temp-1234.tmp"
OWN_CONTENT = b"the test's own file"
LONG = "c" * 9000  # beyond every fixture's padding: the file is rewritten

# (road, fixture, changes)
ROADS = [
    ("flac in place", "flac", ["title=New title"]),
    ("flac through the temporary file", "flac", ["comment=" + LONG]),
    ("flac with two comment blocks joined into one", "flac2blocks", ["title=New title", "-artist"]),
    ("mp3 id3v2 apev2 id3v1", "mp3all", ["title=New title"]),
    ("mp3 id3v2 id3v1 in place, the block first", "mp3both", ["title=New title"]),
    ("mp3 id3v2 id3v1 in place, the ID3v2 tag first", "mp3both", ["title=New title", "genre=Rock"]),
    ("mp3 id3v2 id3v1 comment through the temporary file", "mp3both", ["comment=hello"]),
    ("mp3 trailing tags growing in place", "mp3trail", ["title=A much longer new title"]),
    ("mp3 trailing tags shrinking", "mp3trail", ["title=N"]),
    ("wavpack apev2 growing in place", "wv", ["title=A much longer new title"]),
    ("wavpack apev2 shrinking", "wv", ["title=N"]),
    ("musepack sv8 apev2 growing in place", "mpc", ["title=A much longer new title"]),
    ("musepack sv8 apev2 shrinking", "mpc", ["title=N"]),
    ("musepack sv8 header gain and tag", "mpc", ["title=New title", "replaygain_track_gain=-4.00 dB"]),
    ("musepack sv7 apev2 growing in place", "mpc7", ["title=A much longer new title"]),
    ("musepack sv7 apev2 shrinking", "mpc7", ["title=N"]),
    ("musepack sv7 header gain and tag", "mpc7", ["title=New title", "replaygain_track_gain=-4.00 dB"]),
    ("ogg vorbis in place", "ogg", ["title=New title"]),
    ("ogg vorbis through the temporary file", "ogg", ["comment=" + LONG]),
    ("opus in place", "opus", ["title=New title"]),
    ("opus through the temporary file", "opus", ["comment=" + LONG]),
    ("wav", "wav", ["title=New title"]),
    # What other programs leave behind the RIFF stays there, byte for byte.
    ("wav with an apev2 and an id3v1 tag behind the riff, growing", "wavtail",
     ["title=A much longer new title", "comment=" + "c" * 3000]),
    ("wav with an apev2 and an id3v1 tag behind the riff, shrinking", "wavtail", ["title=N"]),
    # Every ID3 chunk is read; the first edit leaves one holding all their fields.
    ("wav with an empty id3 chunk and two more, first edit", "wavid3s", ["artist=New artist"]),
    ("mp4 movie box last", "m4a", ["title=A much longer new title"]),
    ("mp4 movie box last shrinking", "m4a", ["title=N"]),
    ("mp4 fast start", "m4afast", ["title=New title"]),
    ("mp4 fragmented", "m4afrag", ["title=New title"]),
    ("mp4 chapter text rename, movie box last", "m4b", ["--subsong", "1", "title=A much longer first chapter"]),
    ("mp4 chapter text rename, fast start", "m4bfast", ["--subsong", "1", "title=1"]),
    ("matroska in place", "mkaremux", ["title=N"]),
    ("matroska growing to the end of the segment", "mka", ["title=New title", "comment=" + LONG]),
    # Tags at the end of the file that outgrow their place: the new ones go
    # behind the Segment, which grows over them, and the SeekHead switches.
    ("matroska growing in place behind the segment", "mkaremux", ["title=New title", "comment=" + LONG]),
    # Tags that outgrew their place twice left two Voids behind the Clusters:
    # the new ones go in there, the SeekHead switches, and the file keeps its size.
    ("matroska into the room earlier tags left", "mkaroom", ["title=New title", "comment=" + LONG]),
    ("matroska without a seekhead", "mkanoseek", ["title=N"]),
    ("matroska into a tags element no seekhead names", "mkatwo", ["title=New title", "comment=" + LONG]),
    ("matroska tags aimed at the track", "mkatrack", ["artist=New artist", "-genre"]),
    # ffmpeg's files with a second Tags element of other values in front of
    # the Clusters: the first edit merges it into the one element it leaves.
    ("matroska stereo vorbis, first edit beside a second tags element", "mkabeside", ["title=New title"]),
    ("matroska flac with an attachment, first edit beside a second tags element", "mkabesideattached",
     ["title=New title"]),
    # Removals of what the file's own Tags hold ("album": ffmpeg's title of
    # the whole file) and of what only the second element holds, alone and
    # beside other changes.
    ("matroska stereo vorbis beside a second tags element, removals and values at once", "mkabeside",
     ["artist=New artist", "-album", "-composer", "comment=New comment"]),
    ("matroska stereo vorbis beside a second tags element, a removal of its value", "mkabeside", ["-comment"]),
    ("matroska remuxed by mkvmerge beside a second tags element, removals", "mkabesidemerge", ["-album", "-comment"]),
    ("matroska remuxed by mkvmerge beside a second tags element, removals and values at once", "mkabesidemerge",
     ["title=New title", "-composer", "comment=" + LONG]),
    # Tags that end the Segment with what other programs read behind it: a
    # growing edit writes a copy with it behind the grown Segment, a
    # shrinking one goes down in place before it where one page holds the
    # change, else into a copy as well.
    ("matroska tags ending the segment growing before an apev2 picture and an id3v1 tag", "mkatailape",
     ["comment=" + "c" * 6800]),
    ("matroska tags ending the segment growing a few bytes before an ebml document", "mkatailebml",
     ["comment=" + "c" * 20]),
    ("matroska tags ending the segment shrinking before an id3v1 tag", "mkatailid3", ["album artist=O"]),
    # The first SeekHead's position of the Tags holds two bytes, a second
    # SeekHead's eight: the moved Tags are named where the player looks.
    ("matroska flac with a second seekhead naming a second tags element", "mkaseekhead", ["title=New title"]),
    ("mp4 trimmed by a gapless record", "m4atrimmed", ["title=A much longer new title"]),
    ("mp4 with two genres", "m4agenres", ["title=N"]),
    ("flac cue image, one track renamed", "cueflac", ["--subsong", "2", "title=New second"]),
    ("wavpack cue image, one track renamed", "cuewv", ["--subsong", "2", "title=New second"]),
    ("mp3 id3v2 with apev2 gain items", "mp3gain", ["title=New title"]),
    ("mp3 album only in id3v1", "mp3v1album", ["title=New title"]),
    ("matroska from ogg vorbis, album-level artist", "mkvorbis", ["title=New title"]),
    # A title every chapter holds and an album only the file's tag can
    # take, both set on every chapter: the packets and the tag change in
    # one write.
    ("musepack sv8 chapters and the file's tag in one write", "mpcchapters", ["title=New title", "album=New album"]),
]
# Large tags edited where they stand, the write spanning many pages.
LARGE_ROADS = [
    ("flac 300 KB comment with mutagen's padding, in place", "bigflac", ["title=A new title", "artist=A new artist"]),
    ("flac 100 KB picture before the comment, in place", "picflacfirst", ["title=A new title", "artist=A new artist"]),
    ("flac 100 KB picture after the comment, in place", "picflaclast", ["title=A new title", "artist=A new artist"]),
    ("mp3 id3v2.3 300 KB comment and 100 KB picture, in place", "bigmp3", ["title=A new title", "artist=A new artist"]),
    ("mp4 100 KB cover, in place", "coverm4a", ["title=A new title", "artist=A new artist"]),
    ("ogg vorbis 100 KB comment, same-size edit in place", "bigogg", ["title=New title", "artist=New artist"]),
    ("wavpack large apev2 items, in place", "bigwv", ["title=A new title", "artist=A new artist"]),
    ("musepack large apev2 items, in place", "bigmpc", ["title=A new title", "artist=A new artist"]),
    # A 100 KB picture after mutagen's text: the first edit writes the file
    # anew, a later one goes down where the text then stands.
    ("wavpack 100 KB cover item, written anew", "coverwv", ["title=A new title", "artist=A new artist"]),
    ("wavpack 100 KB cover item written, same-size edit in place", "coverwvlaid", ["title=Later edit"]),
    ("musepack 100 KB cover item, written anew", "covermpc", ["title=A new title", "artist=A new artist"]),
    ("musepack 100 KB cover item written, same-size edit in place", "covermpclaid", ["title=Later edit"]),
    ("wavpack 100 KB cover item written, growing edit in place", "coverwvlaid", ["title=A much longer later edit"]),
    ("musepack 100 KB cover item written, growing edit in place", "covermpclaid", ["title=A much longer later edit"]),
    ("ogg vorbis 100 KB picture, laid out anew", "picogg", ["title=A new title", "artist=A new artist"]),
    ("ogg vorbis 100 KB picture laid out, in place", "picogglaid", ["title=A new title", "artist=A new artist"]),
    ("opus 100 KB picture, laid out anew", "picopus", ["title=A new title", "artist=A new artist"]),
    ("opus 100 KB picture laid out, in place", "picopuslaid", ["title=A new title", "artist=A new artist"]),
]
LARGE = {fixture for _, fixture, _ in LARGE_ROADS}
# The shapes' roads take fewer kills, to keep the whole run short.
SHAPES = {"m4atrimmed", "m4agenres", "cueflac", "cuewv", "mp3gain", "mp3v1album", "mkvorbis", "mpcchapters"}
# The tests the roads are shared out to, by the file each road writes. Every
# road's file is in one group (a road left out of every group fails each
# test); no group takes much longer than the others.
ROAD_GROUPS = {
    "flac_wav": {"flac", "flac2blocks", "cueflac", "bigflac", "picflacfirst", "picflaclast", "wav"},
    "mp3": {"mp3all", "mp3trail", "mp3gain", "bigmp3"},
    "mp3_id3v1": {"mp3both", "mp3v1album"},
    "wavpack": {"wv", "cuewv", "bigwv", "coverwv", "coverwvlaid"},
    "musepack_sv8": {"mpc", "mpcchapters", "bigmpc", "covermpc", "covermpclaid"},
    "musepack_sv7": {"mpc7"},
    "ogg_vorbis": {"ogg", "bigogg", "picogg", "picogglaid"},
    "opus": {"opus", "picopus", "picopuslaid"},
    "mp4": {"m4a", "m4afast", "m4afrag", "coverm4a"},
    "mp4_books_and_shapes": {"m4b", "m4bfast", "m4atrimmed", "m4agenres"},
    "matroska": {"mka", "mkaremux", "mkaroom", "mkanoseek", "mkatwo", "mkatrack", "mkvorbis", "mkabeside",
                 "mkabesideattached", "mkabesidemerge"},
    "matroska_layouts": {"mkatailape", "mkatailebml", "mkatailid3", "mkaseekhead"},
    "wav_layouts": {"wavtail", "wavid3s"},
}
# WAV files with what other programs read behind the RIFF, which stays there.
RIFF_TAILED = {"wavtail"}
WAV_LAYOUTS = {"wavtail", "wavid3s"}
WAV_INFO_ONLY = {"wavtail"}
# Files with what other programs read behind the Segment, which stays there.
TAILED = {"mkatailape", "mkatailebml", "mkatailid3"}
# ffmpeg's and mkvmerge's files with a second Tags element in front of the Clusters.
BESIDE = {"mkabeside", "mkabesideattached", "mkabesidemerge"}
# Files whose old Tags start past the first page, which holds the SeekHead
# and the Segment's size: no one write switches both, so readers that walk
# the Segment (ffprobe, mkvextract) may read the old and the new Tags together
# once the player reads the new ones, until the next write (which must give
# a clean write's tags).
WALKERS_MAY_READ_BOTH = {"mkabeside", "mkabesideattached", "mkabesidemerge"}
# After a kill of a write of these, another edit must also end as that edit
# of the file the player read (old or new) ends.
ANOTHER_EDIT = ["genre=Another genre", "-title"]
# Roads whose write is refused, the file left as it was.
REFUSED = {"mp4 fragmented"}
# Roads whose next write after a kill is not yet held to the clean write's
# result, and the fault each shows there.
NEXT_WRITE_UNCHECKED = {
    # Killed between its two writes (the ID3v2 tag new, the ID3v1 block
    # old), the next write finds nothing changed and leaves the block old.
    "mp3 id3v2 id3v1 in place, the block first": "the ID3v1 block stays old",
    "mp3 id3v2 id3v1 in place, the ID3v2 tag first": "the ID3v1 block stays old",
}


def edited_names(changes):
    """The field names an edit sets or removes (gain values read as one)."""
    names = set()
    for change in changes:
        if "=" in change or (change.startswith("-") and not change.startswith("--")):
            name = change.split("=")[0].lstrip("-").lower()
            names.add("~replaygain" if name.startswith("replaygain") else name)
    return names


def untouched(fields, names):
    return None if fields is None else [{k: v for k, v in song.items() if k not in names} for song in fields]


def mp3_reader_views(path):
    """What each reader finds in an MP3 file: mutagen's ID3 (the ID3v2 tag
    with the ID3v1 fields it lacks), the ID3v2 tag alone, the ID3v1 block
    alone, the APEv2 tag alone, and ffmpeg's decoding (its samples and
    messages: a tag it takes for a frame shows there)."""
    views = {"ffmpeg": ffmpeg_decode(path)}
    for reader, load_v1 in (("mutagen", True), ("id3v2", False)):
        try:
            views[reader] = ID3(path, load_v1=load_v1).pprint()
        except ID3NoHeaderError:
            views[reader] = None
    with open(path, "rb") as f:
        data = f.read()
    views["id3v1"] = data[-128:] if data[-128:-125] == b"TAG" else None
    try:
        views["apev2"] = sorted((key, str(value)) for key, value in APEv2(path).items())
    except APENoHeaderError:
        views["apev2"] = None
    return views


def wav_reader_views(path):
    """What mutagen reads of a WAV file: its ID3 chunk, the APEv2 tag behind
    the RIFF, and the bytes there."""
    try:
        tags = WAVE(path).tags
        id3 = tags.pprint() if tags else None
    except WaveError as e:
        # An empty chunk in front of an "ID3 " chunk: mutagen reads the
        # latter's header as the tag's, of version 2.32.
        id3 = "unreadable: %s" % str(e).split(" ", 1)[-1]
    try:
        ape = sorted((key, str(value)) for key, value in APEv2(path).items())
    except APENoHeaderError:
        ape = None
    return {"mutagen": id3, "apev2": ape, "behind the riff": behind_riff(path)}


def brief(fields):
    """The fields for a message, long values cut short."""
    cut = lambda value: value if len(repr(value)) < 80 else repr(value)[:60] + "... (%d)" % len(repr(value))
    return None if fields is None else [{name: cut(value) for name, value in song.items()} for song in fields]


def temp_file_name(target_name):
    """The name the program gives the temporary file it rewrites
    `target_name` through."""
    salted = target_name.upper() + "rewrite through temporary file" + "zorv retag"
    return "temp-%s.tmp" % hashlib.md5(salted.encode()).hexdigest()


def kill_delays(rng, first, last, count):
    """One delay in each of `count` equal slices of [first, last]: the kills
    cover the whole write, each of its stretches alike, instead of bunching
    by chance."""
    step = (last - first) / count
    return [first + (n + rng.random()) * step for n in range(count)]


def file_state(path):
    """What a change to the file or beside it shows: its identity, size and
    time of change, and the names in its folder."""
    try:
        stat = os.stat(path)
        own = (stat.st_ino, stat.st_size, stat.st_mtime_ns)
    except FileNotFoundError:
        own = None
    return own, sorted(os.listdir(os.path.dirname(path)))


def change_times(path, running, first_only=False, names_seen=None):
    """The first and the last moment (time.monotonic()) the file or its
    folder changed while `running()` held; (None, None) without a change.
    The kills are timed from the first change, not from the start of the
    process: a program's start under Wine varies by more than a write of a
    few pages takes, and a kill timed from it would mostly land before the
    write or after it. `names_seen`, a set, takes every name the folder
    showed meanwhile."""
    first = last = None
    state = file_state(path)
    while True:
        still = running()
        now = file_state(path)
        if names_seen is not None:
            names_seen.update(now[1])
        if now != state:
            state, last = now, time.monotonic()
            first = first or last
            if first_only:
                break
        if not still:
            break
        time.sleep(0.0005)
    return first, last


def in_place_diagnosis(tool, work, number, original, changes, names_seen):
    """For a write that replaced the file where it should have gone in
    place: the names its folder showed meanwhile, and whether the same edit
    of another copy of the same file, without the pauses, stays in place, so
    that a failure tells the file's own bytes from the moment's conditions."""
    folder = os.path.join(work, "again-%d" % number)
    os.makedirs(folder)
    path = os.path.join(folder, os.path.basename(original))
    shutil.copyfile(original, path)
    inode = os.stat(path).st_ino
    rc = tool.run("tag", windows_path(path), *changes)[0]
    return " (the folder showed %s during the write; the same edit of another copy of the file exits %d and %s)" % (
        sorted(names_seen), rc, "stays in place" if os.stat(path).st_ino == inode else "replaces it too")


def leftover_kept(tool, folder, original, changes):
    """What a write of a copy of `original` keeps beside it of the temporary
    file an earlier killed rewrite of it left: the write clears it whatever
    its own road, in place or through a temporary file of its own."""
    os.makedirs(folder)
    name = "target" + os.path.splitext(original)[1]
    path = os.path.join(folder, name)
    shutil.copyfile(original, path)
    with open(os.path.join(folder, temp_file_name(name)), "wb") as f:
        f.write(b"left by a killed rewrite")
    tool.run("tag", windows_path(path), *changes)[0]
    kept = sorted(set(os.listdir(folder)) - {name})
    shutil.rmtree(folder, ignore_errors=True)
    return kept


def laid_out_fixtures(tool, folder, fixtures, wanted):
    """{name + "laid": path} of the picture fixtures named in `wanted` after
    one edit by the program, which writes them anew (the Ogg files laid out
    for the next)."""
    out = {}
    for name in ("coverwv", "covermpc", "picogg", "picopus"):
        if name + "laid" not in wanted:
            continue
        path = os.path.join(folder, "laid-out-" + os.path.basename(fixtures[name]))
        shutil.copyfile(fixtures[name], path)
        if tool.run("tag", windows_path(path), "title=First edit")[0] == 0:
            out[name + "laid"] = path
    return out


def matroska_room_fixture(tool, folder, fixtures):
    """{"mkaroom": path}: the mkvmerge remux after two edits that each
    outgrew its Tags, which left their room as Voids."""
    path = os.path.join(folder, "room.mka")
    shutil.copyfile(fixtures["mkaremux"], path)
    for comment in ("r" * 12000, "s" * 13000):
        if tool.run("tag", windows_path(path), "comment=" + comment)[0] != 0:
            return {}
    return {"mkaroom": path}


def make_group_fixtures(tool, work, group):
    """The files the group's roads write: the plain ones (cheap enough for
    each test to make its own), and the shapes, the large tags and the files
    an earlier edit laid out where the group has roads on them."""
    fixtures = make_fixtures(work)
    if "m4a" not in fixtures or "mka" not in fixtures:
        return fixtures
    if group & SHAPES:
        fixtures.update(make_shape_fixtures(work))
    if group & LARGE:
        fixtures.update(make_large_tag_fixtures(work, os.path.join(work, "src.wav")))
        fixtures.update(laid_out_fixtures(tool, work, fixtures, group))
    if "mkaroom" in group:
        fixtures.update(matroska_room_fixture(tool, work, fixtures))
    if group & BESIDE:
        fixtures.update(make_matroska_beside_fixtures(work, os.path.join(work, "src.wav")))
    if group & (TAILED | {"mkaseekhead"}):
        fixtures.update(make_matroska_layout_fixtures(work, fixtures))
    if group & WAV_LAYOUTS:
        fixtures.update(make_wav_layout_fixtures(work, fixtures))
    return fixtures


def main(group_name):
    wine_exec, build_dir, exe = sys.argv[1:4]
    group = ROAD_GROUPS[group_name]
    tool = Zorvtool(wine_exec, build_dir, exe)
    kills = int(os.environ.get("ZORV_TAG_KILLS", "8"))
    seed = int(os.environ.get("ZORV_TAG_KILL_SEED", str(int(time.time()))))
    chosen = re.compile(os.environ.get("ZORV_TAG_KILL_ROADS", ""))
    print("seed", seed, "kills per road", kills, flush=True)
    grouped = [fixture for _, fixture, _ in ROADS + LARGE_ROADS
               if sum(fixture in fixtures for fixtures in ROAD_GROUPS.values()) != 1]
    check(not grouped, "every road's file is in one group of roads: %s" % grouped)
    rng = random.Random(seed)
    work = tempfile.mkdtemp(prefix="zorv-tag-kill-")
    run_started = time.monotonic()
    try:
        fixtures = make_group_fixtures(tool, work, group)
        print("the files took %.0f s" % (time.monotonic() - run_started), flush=True)
        roads_run = 0
        for number, (road, fixture, changes) in enumerate(ROADS + LARGE_ROADS):
            if fixture not in group or not chosen.search(road):
                continue
            check(fixture in fixtures, "%s: its file %s was made" % (road, fixture))
            if fixture not in fixtures:
                continue
            roads_run += 1
            road_started = time.monotonic()
            original = fixtures[fixture]
            ext = os.path.splitext(original)[1]
            road_kills = max(2, kills // 2) if fixture in SHAPES else kills
            env = dict(os.environ, ZORV_TEST_WRITE_PAUSE_MS=LARGE_PAUSE_MS if fixture in LARGE else PAUSE_MS)
            old_fields = tool.all_fields(original)
            old_audio = tool.decoded(original)
            check(old_fields is not None and old_audio is not None, "%s: the fixture reads and decodes" % road)
            # The write left to finish gives the new tags and the stretch
            # from its first change to its last: the kills fall in between.
            os.makedirs(os.path.join(work, "done-%d" % number))
            done = os.path.join(work, "done-%d" % number, "done" + ext)
            shutil.copyfile(original, done)
            inode = os.stat(done).st_ino
            process = tool.popen("tag", windows_path(done), *changes, env=env)
            names_seen = set()
            first, last = change_times(done, lambda: process.poll() is None, names_seen=names_seen)
            rc = process.wait()
            new_fields = tool.all_fields(done)
            if road in REFUSED:
                check(rc != 0 and new_fields == old_fields, "%s: the write is refused" % road)
            else:
                written = rc == 0 and new_fields is not None and new_fields != old_fields
                check(written, "%s: the write succeeds (exit code %d)" % (road, rc))
                if not written:
                    continue  # no kill can be judged against it
            check(tool.decoded(done) == old_audio, "%s: the written file decodes as before" % road)
            if road not in REFUSED:
                kept = leftover_kept(tool, os.path.join(work, "leftover-%d" % number), original, changes)
                check(not kept, "%s: the write leaves %s, an earlier killed rewrite's temporary file" % (road, kept))
            names = edited_names(changes)
            check(untouched(new_fields, names) == untouched(old_fields, names),
                  "%s: the write keeps every value it does not edit: %s" % (road, brief(new_fields)))
            if fixture.startswith("mp3"):
                old_views, new_views = mp3_reader_views(original), mp3_reader_views(done)
                check(not new_views["ffmpeg"][1], "%s: ffmpeg decodes the written file without a message: %s" %
                      (road, new_views["ffmpeg"][1]))
            if fixture.startswith(("mp3", "mka")) and "in place" in road:
                in_place = os.stat(done).st_ino == inode
                check(in_place, "%s: the file is written in place%s" %
                      (road, "" if in_place else in_place_diagnosis(tool, work, number, original, changes, names_seen)))
            if fixture.endswith("laid"):
                check(os.stat(done).st_ino == inode, "%s: the file is written in place" % road)
            if fixture == "mkaroom":
                check(os.path.getsize(done) == os.path.getsize(original), "%s: the file keeps its size" % road)
            if fixture.startswith("mka"):
                old_mka, new_mka = matroska_reader_views(original), matroska_reader_views(done)
                check(old_mka["mkvinfo"] and new_mka["mkvinfo"], "%s: mkvinfo reads the file before and after" % road)
            if fixture in TAILED:
                tail = behind_segment(original)
                check(tail and behind_segment(done) == tail, "%s: what stood behind the Segment stays there" % road)
            if fixture in WAV_LAYOUTS:
                old_wav, new_wav = wav_reader_views(original), wav_reader_views(done)
                # ffmpeg's INFO list of a title and an artist is the tag of
                # the file with tags behind the RIFF, which an ASCII edit
                # keeps alone: ffprobe reads the edit there, and mutagen still
                # finds no ID3 chunk. Beside ID3 chunks the edit reaches the
                # one chunk left, which mutagen reads.
                edits = [change.split("=", 1) for change in changes if "=" in change]
                if fixture in WAV_INFO_ONLY:
                    probe = ffprobe_format_tags(done)
                    read = {"ffprobe": all(probe.get(name) == value for name, value in edits),
                            "mutagen finds no ID3 chunk": new_wav["mutagen"] is None}
                else:
                    read = {"mutagen": all(value in (new_wav["mutagen"] or "") for _, value in edits)}
                check(all(read.values()) and new_wav["apev2"] == old_wav["apev2"] and
                      new_wav["behind the riff"] == old_wav["behind the riff"] and
                      (fixture not in RIFF_TAILED or old_wav["behind the riff"]),
                      "%s: the edit is read (%s), and what stood behind the RIFF stays there: %s"
                      % (road, read, new_wav))
            # The second element's values the edit keeps.
            beside_kept = [(name, value) for name, value in BESIDE_VALUES if name.lower() not in names]
            if fixture in BESIDE:
                # A killed file that reads as one of these shows the values too.
                for when, views, fields, values in (("before", old_mka, old_fields, BESIDE_VALUES),
                                                    ("after", new_mka, new_fields, beside_kept)):
                    for name, value in values:
                        shown = {"player": fields[0].get(name.lower()) == [value],
                                 "ffprobe": value.encode() in views["ffprobe"],
                                 "mkvextract": value.encode() in views["mkvextract"]}
                        check(all(shown.values()), "%s: every reader shows the second element's %s %s the write: %s"
                              % (road, name, when, shown))
                check(top_level_tags_count(done) == 1, "%s: the write leaves one Tags element" % road)
            if fixture in WALKERS_MAY_READ_BOTH:
                check(max(tags_starts(original)) >= 4096, "%s: the file's own Tags start past the first page: %s"
                      % (road, tags_starts(original)))
            # Books: the chapter names other players read, from the text track.
            chaptered = fixture.startswith("m4b")
            if chaptered:
                old_chapters, new_chapters = ffprobe_chapter_titles(original), ffprobe_chapter_titles(done)
                check(new_chapters is not None and new_chapters != old_chapters and
                      new_chapters[0] == new_fields[0].get("title", [None])[0],
                      "%s: ffprobe reads the new chapter name: %s" % (road, new_chapters))
            new_xml = mkvextract_tags(done) if fixture.startswith("mka") else None
            another = {}
            if fixture in BESIDE:
                for start, source in (("old", original), ("new", done)):
                    path = os.path.join(work, "another-%d-%s%s" % (number, start, ext))
                    shutil.copyfile(source, path)
                    rc = tool.run("tag", windows_path(path), *ANOTHER_EDIT)[0]
                    another[start] = (tool.all_fields(path), mkvextract_tags(path))
                    check(rc == 0 and top_level_tags_count(path) == 1,
                          "%s: another edit of the %s file succeeds and leaves one Tags element" % (road, start))
            if fixture in LARGE:
                old_readers, new_readers = reader_views(original), reader_views(done)
                check(all(not view.startswith(("refused", "fails")) for view in old_readers.values()) and
                      new_readers["mutagen"] != old_readers["mutagen"],
                      "%s: every reader reads the written file: %s, before: %s" % (road, new_readers, old_readers))
            pause = int(env["ZORV_TEST_WRITE_PAUSE_MS"]) / 1000
            duration = last - first if first is not None else 0
            delays = kill_delays(rng, 0, duration + 2 * pause, road_kills)

            def one_kill(n):
                folder = os.path.join(work, "%s-%d" % (fixture, n))
                os.makedirs(folder, exist_ok=True)
                path = os.path.join(folder, "target" + ext)
                shutil.copyfile(original, path)
                own = os.path.join(folder, OWN_FILE)
                with open(own, "wb") as f:
                    f.write(OWN_CONTENT)

                def files_left():
                    return sorted(set(os.listdir(folder)) - {os.path.basename(path), OWN_FILE})
                own_temp = temp_file_name(os.path.basename(path))

                process = tool.popen("tag", windows_path(path), *changes, env=env)
                changed, _ = change_times(path, lambda: process.poll() is None, first_only=True)
                if changed is not None:
                    time.sleep(max(0, changed + delays[n] - time.monotonic()))
                if process.poll() is None:
                    os.kill(process.pid, signal.SIGKILL)
                process.wait()
                problems = []
                if not wait_until_wine_lets_go(path):
                    problems.append("the Wine server still holds the file open 10 s after the kill")
                fields, failure = tool.all_fields_or_error(path)
                if fields not in (old_fields, new_fields):
                    problems.append("tags neither old nor new: %s" % (brief(fields) if failure is None else failure))
                if tool.decoded(path) != old_audio:
                    problems.append("the audio decodes differently")
                if fixture in TAILED and behind_segment(path) != tail:
                    problems.append("what stood behind the Segment is not there")
                if fixture in WAV_LAYOUTS:
                    wav = wav_reader_views(path)
                    problems.extend("%s reads neither old nor new: %r" % (reader, wav[reader]) for reader in wav
                                    if wav[reader] not in (old_wav[reader], new_wav[reader]))
                # Looked at after the readings: the Wine server closes the
                # killed process's handles (and so deletes its files pending
                # deletion) a moment after the process is gone, and it has
                # done so before it serves the later programs.
                left = files_left()
                if left and left != [own_temp]:
                    problems.append("the kill left %s beside the file" % left)
                if chaptered:
                    chapters = ffprobe_chapter_titles(path)
                    if chapters != (new_chapters if fields == new_fields else old_chapters):
                        problems.append("ffprobe's chapters %s do not match the tags %s" % (chapters, fields))
                outcome = "new" if fields == new_fields else "old" if fields == old_fields else "damaged"
                if fixture in LARGE:
                    readers = reader_views(path)
                    for reader, view in readers.items():
                        if view not in (old_readers[reader], new_readers[reader]):
                            problems.append("%s reads neither old nor new: %s" % (reader, view))
                if fixture.startswith("mka"):
                    mka = matroska_reader_views(path)
                    mixed = [reader for reader, view in mka.items() if view not in (old_mka[reader], new_mka[reader])]
                    if mixed and fixture in WALKERS_MAY_READ_BOTH and fields == new_fields and \
                            set(mixed) <= {"ffprobe", "mkvextract"}:
                        outcome += ", read as both by the readers that walk the Segment"
                    else:
                        problems.extend("%s reads neither old nor new: %s" % (reader, mka[reader]) for reader in mixed)
                    if fixture in BESIDE:
                        hidden = [value for _, value in beside_kept for reader in ("ffprobe", "mkvextract")
                                  if value.encode() not in mka[reader]]
                        if hidden:
                            problems.append("ffprobe or mkvextract do not show %s" % hidden)
                if fixture.startswith("mp3"):
                    views = mp3_reader_views(path)
                    for reader, view in views.items():
                        if view not in (old_views[reader], new_views[reader]):
                            problems.append("%s reads neither old nor new: %s" % (reader, view))
                    changed = [reader for reader in views if old_views[reader] != new_views[reader]]
                    if len({views[reader] == new_views[reader] for reader in changed}) > 1:
                        outcome += ", between the writes"
                # Another edit of the file as the kill left it ends as that
                # edit of the file the player read.
                if another and fields in (old_fields, new_fields):
                    other = os.path.join(folder, "another" + ext)
                    shutil.copyfile(path, other)
                    tool.run("tag", windows_path(other), *ANOTHER_EDIT)[0]
                    start = "new" if fields == new_fields else "old"
                    if (tool.all_fields(other), mkvextract_tags(other)) != another[start] or \
                            top_level_tags_count(other) != 1:
                        problems.append("another edit then reads %s, not as that edit of the %s file"
                                        % (brief(tool.all_fields(other)), start))
                    os.remove(other)
                # The next write of the file clears whatever the killed one
                # left, but no file it did not make, and gives what a write
                # of the untouched file gives.
                rc = tool.run("tag", windows_path(path), *changes)[0]
                if road not in NEXT_WRITE_UNCHECKED:
                    refused = road in REFUSED
                    if (rc != 0) != refused:
                        problems.append("the next write %s" % ("succeeds" if refused else "is refused"))
                    after = tool.all_fields(path)
                    if after != (old_fields if refused else new_fields):
                        problems.append("the next write reads %s" % brief(after))
                    if tool.decoded(path) != old_audio:
                        problems.append("after the next write the audio decodes differently")
                    if chaptered and ffprobe_chapter_titles(path) != (old_chapters if refused else new_chapters):
                        problems.append("after the next write ffprobe's chapters are %s" % ffprobe_chapter_titles(path))
                    if fixture.startswith("mka") and mkvextract_tags(path) != new_xml:
                        problems.append("after the next write mkvextract reads other tags than a clean write's")
                    if fixture in TAILED and behind_segment(path) != tail:
                        problems.append("after the next write what stood behind the Segment is not there")
                    if fixture in WAV_LAYOUTS and wav_reader_views(path) != new_wav:
                        problems.append("after the next write mutagen reads %r" % wav_reader_views(path))
                    if fixture in BESIDE and top_level_tags_count(path) != 1:
                        problems.append("the next write leaves %d Tags elements" % top_level_tags_count(path))
                    if fixture.startswith("mp3") and mp3_reader_views(path) != new_views:
                        problems.append("after the next write the tags read %s" % mp3_reader_views(path))
                    if fixture in LARGE:
                        for reader, view in reader_views(path).items():
                            if view != new_readers[reader]:
                                problems.append("after the next write %s reads %s" % (reader, view))
                if files_left():
                    problems.append("the next write left %s beside the file" % files_left())
                with open(own, "rb") as f:
                    if f.read() != OWN_CONTENT:
                        problems.append("the test's own %s changed" % OWN_FILE)
                shutil.rmtree(folder, ignore_errors=True)
                return delays[n], problems, outcome + (", its temporary file left" if left == [own_temp] else "")

            with ThreadPoolExecutor(4) as pool:
                results = list(pool.map(one_kill, range(road_kills)))
            for delay, problems, _ in results:
                for problem in problems:
                    check(False, "%s, killed %.3f s after its first change: %s" % (road, delay, problem))
            outcomes = [outcome for _, _, outcome in results]
            between = sum("between the writes" in outcome for outcome in outcomes)
            both = sum("read as both" in outcome for outcome in outcomes)
            temps = sum(outcome.endswith("temporary file left") for outcome in outcomes)
            print("%s: %d kills, %d left old, %d left new, %d damaged, %d of them with one end old and one new, %d "
                  "with the temporary file (%.2f s from the first change to the last, road %.0f s)" %
                  (road, road_kills, sum(o.startswith("old") for o in outcomes), sum(o.startswith("new") for o in outcomes),
                   sum(o.startswith("damaged") for o in outcomes), between, temps, duration,
                   time.monotonic() - road_started), flush=True)
            if both:
                print("%s: %d kills left both Tags for the readers that walk the Segment, the next write one" %
                      (road, both), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d roads, the run took %.0f s" % (roads_run, time.monotonic() - run_started))
    if failures:
        print("%d failures (seed %d)" % (len(failures), seed))
        return 1
    print("all kills left whole files")
    return 0
