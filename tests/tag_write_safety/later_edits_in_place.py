"""Text edits of files with a 100 KB picture go down in place once the file
has been rewritten: WavPack and Musepack with an APEv2 cover item, Ogg
Vorbis and Opus with a picture comment, each tagged by mutagen.

Shared by one test per kind of file (later_edits_apev2.py, later_edits_ogg.py,
later_edits_mp4.py, later_edits_matroska.py), each run as
SCRIPT WINE_EXEC BUILD_DIR ZORVTOOL_EXE, so that each stays well inside its
time on a busy machine.
The first edit may copy the file (mutagen put the text before the picture
or left no room); the copy lays the file out for later edits. Each later
edit, growing, shrinking or keeping the size of a field, must then keep the
file (same inode, same size) and change at most two of its 4 KiB pages,
while zorvtool, mutagen and ffprobe read the new value and the picture
stays byte for byte. An APEv2 tag keeps no room between its items and its
footer (other taggers append their items there): the first edit lays it
out with the picture first, the text items last and no header, so that a
later edit that keeps or grows the tag's size is one write within one page
with no wait for the disk (zorvtool watched by strace), where the page
allows it. A shrinking edit copies the file: its new footer must end the
file, and no order of a write and a cut leaves a tag every reader reads
as old or new between them. Each leaves the footer right behind the last
item. WavPack's own tagger, given the picture, tags one of the WavPack
files.

M4A files made by ffmpeg, mutagen and AtomicParsley, each with and without
a cover, take their later edits as one write within one page and no wait
for the disk (zorvtool watched by strace): the movie box stays where it is,
and AtomicParsley reads the edit too.

Matroska files with a 100 KB attachment made by ffmpeg (Tags between the
attachment and the Clusters) and by mkvmerge (Tags at the end) take theirs
the same way once the first edit has laid the Tags out with room behind
them; mkvextract, ffprobe and mkvinfo read each edit, the attachment stays,
and mkvpropedit and mkvmerge go on editing the file, the player after them.
"""
import base64
import os
import re
import shutil
import subprocess
import sys
import tempfile

import mutagen
from mutagen.apev2 import APEv2
from mutagen.flac import Picture
from mutagen.mp4 import MP4, MP4Cover
from tag_files import Zorvtool, changed_pages, mp4_box, run, tail_change_fits_one_page, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402
from large_tag_files import ffprobe_view, make_cover_fixtures, picture_bytes  # noqa: E402
import apev2_layouts  # noqa: E402

FIRST_EDIT = ["title=First edit"]
LATER_EDITS = [
    ["title=A much longer second title"],
    ["title=Short"],
    ["title=Other"],
    ["artist=Someone else entirely"],
]


MP4_KEYS = {"title": "\xa9nam", "artist": "\xa9ART"}
APEV2_FIXTURES = ("coverwv", "covermpc", "coverwvtag")
# The cover each M4A and APEv2 fixture holds, by the path of its edited copy.
picture_of = {}


def make_wvtag_cover(folder, src):
    """A WavPack file given its picture, title and artist by wvtag."""
    path = os.path.join(folder, "wvtag-cover.wv")
    cover = os.path.join(folder, "cover.png")
    with open(cover, "wb") as f:
        f.write(picture_bytes())
    run(["wavpack", "-q", "-y", src, "-o", path])
    run(["wvtag", "-q", "-w", "Title=Old title", "-w", "Artist=Old artist", "--write-binary-tag",
         "Cover Art (Front)=@" + cover, path])
    return path


def make_m4a_fixtures(folder, src):
    """{name: path} of AAC files titled "Old title" by "Old artist", with and
    without a cover, as ffmpeg, mutagen and AtomicParsley tag them."""
    cover = os.path.join(folder, "cover.png")
    run(["convert", "-size", "120x120", "xc:", "+noise", "Random", cover])
    plain = os.path.join(folder, "plain.m4a")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-b:a", "64k", plain])
    out = {name: os.path.join(folder, name + ".m4a") for name in
           ("ffmpeg", "ffmpegcover", "mutagen", "mutagencover", "atomicparsley", "atomicparsleycover")}
    titled = ["-metadata", "title=Old title", "-metadata", "artist=Old artist"]
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-b:a", "64k", *titled, out["ffmpeg"]])
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-i", cover, "-map", "0:a", "-map", "1", "-c:a", "aac", "-b:a",
         "64k", "-c:v", "copy", "-disposition:v", "attached_pic", *titled, out["ffmpegcover"]])
    for name in ("mutagen", "mutagencover"):
        shutil.copyfile(plain, out[name])
        tags = MP4(out[name])
        tags["\xa9nam"], tags["\xa9ART"] = "Old title", "Old artist"
        if name.endswith("cover"):
            tags["covr"] = [MP4Cover(open(cover, "rb").read(), imageformat=MP4Cover.FORMAT_PNG)]
        tags.save()
    for name in ("atomicparsley", "atomicparsleycover"):
        shutil.copyfile(plain, out[name])
        artwork = ["--artwork", cover] if name.endswith("cover") else []
        run(["AtomicParsley", out[name], "--title", "Old title", "--artist", "Old artist", *artwork, "--overWrite"])
    return out


def movie_box_offset(data):
    return mp4_box(data, b"moov")[1]


# What a program does to a file that a kill or a power cut could split, or
# that waits for the disk.
TRACED_CALLS = "write,pwrite64,writev,pwritev,pwritev2,ftruncate,ftruncate64,fsync,fdatasync,sync_file_range"


def traced_edit(tool, path, edit):
    """The edit made by zorvtool under strace: its exit code and the calls,
    one per line, it made on `path`."""
    log = path + ".calls"
    command = ["strace", "-f", "--seccomp-bpf", "-qq", "-y", "-e", "trace=" + TRACED_CALLS, "-o", log,
               *tool.command, "tag", windows_path(path), *edit]
    traced = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, errors="replace")
    if not os.path.exists(log):
        check(False, "strace could not watch zorvtool: %s" % traced.stderr.strip())
        return traced.returncode, None
    with open(log, errors="replace") as f:
        calls = [line.split(None, 1)[1] for line in f if "<%s>" % path in line]
    os.remove(log)
    return traced.returncode, calls


def atomicparsley_reads(path, value):
    listing = subprocess.run(["AtomicParsley", path, "-t"], capture_output=True, text=True, errors="replace").stdout
    return value in listing


def mutagen_value(path, field):
    tags = mutagen.File(path).tags
    value = tags.get(MP4_KEYS[field] if isinstance(tags, mutagen.mp4.MP4Tags) else field)
    if isinstance(value, list):  # Vorbis comments
        value = value[0] if value else None
    return None if value is None else str(value)


def picture_kept(path):
    """Whether mutagen finds the fixture's picture whole."""
    tags = mutagen.File(path).tags
    if isinstance(tags, mutagen.mp4.MP4Tags):
        return "cover" not in path or tags.get("covr") == [picture_of[path]]
    if "Cover Art (Front)" in tags.keys():
        return tags["Cover Art (Front)"].value == picture_of[path]
    pictures = tags.get("metadata_block_picture", [])
    return [Picture(base64.b64decode(p)).data for p in pictures] == [picture_bytes()]


def make_mkv_fixtures(folder, src):
    """{name: path} of FLAC in Matroska titled "Old title" by "Old artist"
    with the 100 KB picture attached, as ffmpeg and mkvmerge write them."""
    attachment = os.path.join(folder, "cover.png")
    with open(attachment, "wb") as f:
        f.write(picture_bytes())
    flac = os.path.join(folder, "plain.flac")
    run(["flac", "-s", "-f", "-o", flac, src])
    out = {name: os.path.join(folder, name + ".mka") for name in ("ffmpegattached", "mkvmergeattached")}
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-attach", attachment, "-metadata:s:t", "mimetype=image/png",
         "-c:a", "flac", "-metadata", "title=Old title", "-metadata", "artist=Old artist", out["ffmpegattached"]])
    tags = os.path.join(folder, "tags.xml")
    with open(tags, "w") as f:
        f.write(mkv_tags_xml({"TITLE": "Old title", "ARTIST": "Old artist"}))
    run(["mkvmerge", "-q", "-o", out["mkvmergeattached"], "--attachment-mime-type", "image/png", "--attach-file",
         attachment, "--global-tags", tags, flac])
    return out


def mkv_tags_xml(values, level=30):
    simples = "".join("<Simple><Name>%s</Name><String>%s</String></Simple>" % item for item in values.items())
    return ('<?xml version="1.0"?><Tags><Tag><Targets><TargetTypeValue>%d</TargetTypeValue></Targets>%s</Tag>'
            "</Tags>" % (level, simples))


def mkv_readers_read(path, field, value):
    """Whether mkvextract finds the value under the field's Matroska name,
    ffprobe reads a title edit and mkvinfo walks the file without an error."""
    tags = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True, errors="replace").stdout
    simple = "<Name>%s</Name>\s*<String>%s</String>" % (field.upper(), re.escape(value))
    mkvinfo = subprocess.run(["mkvinfo", path], capture_output=True)
    return (re.search(simple, tags) is not None and mkvinfo.returncode == 0 and
            (field != "title" or ("title %r" % value) in ffprobe_view(path)))


def attachment_kept(path):
    folder = tempfile.mkdtemp(prefix="zorv-attachment-")
    try:
        subprocess.run(["mkvextract", path, "attachments", "1:" + os.path.join(folder, "a")], capture_output=True)
        with open(os.path.join(folder, "a"), "rb") as f:
            return f.read() == picture_bytes()
    except OSError:
        return False
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def check_mkv_others_go_on_editing(tool, name, path):
    """mkvpropedit edits the file's title and Tags, mkvmerge remuxes it, and
    the player edits it after each: every reader reads each edit."""
    xml = path + ".xml"
    with open(xml, "w") as f:
        f.write(mkv_tags_xml({"TITLE": "Tagged by mkvpropedit", "ARTIST": "Old artist"}))
    remuxed = path + ".remux.mka"
    for other, command in (("mkvpropedit --edit info", ["mkvpropedit", "-q", path, "--edit", "info", "--set",
                                                          "title=Info by mkvpropedit"]),
                           ("mkvpropedit --tags", ["mkvpropedit", "-q", path, "--tags", "global:" + xml]),
                           ("mkvmerge remux", ["mkvmerge", "-q", "-o", remuxed, path])):
        run(command)
        if other == "mkvmerge remux":
            os.replace(remuxed, path)
        if other == "mkvpropedit --tags":
            check(tool.fields(path).get("title") == ["Tagged by mkvpropedit"],
                  "%s: the player reads %s's edit" % (name, other))
        for edit in (["title=After " + other], ["title=After " + other + " and more text than before"],
                     ["artist=Short"]):
            rc, _, _ = tool.run("tag", windows_path(path), *edit)
            field, value = edit[0].split("=", 1)
            check(rc == 0 and tool.fields(path).get(field) == [value],
                  "%s, %s after %s: the player edits the file" % (name, edit[0], other))
            check(mkv_readers_read(path, field, value),
                  "%s, %s after %s: mkvextract, ffprobe and mkvinfo read it" % (name, edit[0], other))
        check(attachment_kept(path), "%s: the attachment stays after %s" % (name, other))
    os.remove(xml)


def check_others_go_on_editing(tool, name, path):
    """AtomicParsley, then mutagen, edit the file laid out for later edits
    (AtomicParsley leaves the room's bytes as zeros at the end of the file),
    and the player takes the next edit: every reader reads each one."""
    run(["AtomicParsley", path, "--album", "Album by AtomicParsley", "--overWrite"])
    check(tool.fields(path).get("album") == ["Album by AtomicParsley"], "%s: the player reads AtomicParsley's edit" % name)
    tags = MP4(path)
    tags["\xa9day"] = "2001"
    tags.save()
    rc, _, _ = tool.run("tag", windows_path(path), "title=After the others")
    check(rc == 0 and tool.fields(path).get("title") == ["After the others"],
          "%s: the player edits the file after AtomicParsley and mutagen" % name)
    tags = MP4(path).tags
    check(tags.get("\xa9nam") == ["After the others"] and tags.get("\xa9alb") == ["Album by AtomicParsley"] and
          tags.get("\xa9day") == ["2001"], "%s: mutagen reads every edit: %s" % (name, tags.keys()))
    check(atomicparsley_reads(path, "After the others"), "%s: AtomicParsley reads the player's edit" % name)
    check("title 'After the others'" in ffprobe_view(path), "%s: ffprobe reads it: %s" % (name, ffprobe_view(path)))
    check(picture_kept(path), "%s: the picture stays whole after the others' edits" % name)


def make_fixtures(kind, work, src):
    """{name: path} of the fixtures of one kind of file, and those of its
    names that are M4A and Matroska files."""
    fixtures, m4a, mkv = {}, {}, {}
    if kind in ("apev2", "ogg"):
        covers = make_cover_fixtures(work, src)
        names = APEV2_FIXTURES if kind == "apev2" else ("picogg", "picopus")
        fixtures = {name: path for name, path in covers.items() if name in names}
        if kind == "apev2":
            fixtures["coverwvtag"] = make_wvtag_cover(work, src)
    elif kind == "mp4":
        fixtures = m4a = make_m4a_fixtures(work, src)
    elif kind == "matroska":
        fixtures = mkv = make_mkv_fixtures(work, src)
    return fixtures, m4a, mkv


def main(kind):
    """Runs the later edits of one kind of file: "apev2", "ogg", "mp4" or
    "matroska"."""
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-later-edits-")
    try:
        src = os.path.join(work, "src.wav")
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "3", "sine", "440", "sine", "660"])
        fixtures, m4a, mkv = make_fixtures(kind, work, src)
        for name, original in sorted(fixtures.items()):
            path = os.path.join(work, "edited-" + os.path.basename(original))
            shutil.copyfile(original, path)
            if name in m4a and "cover" in name:
                picture_of[path] = bytes(MP4(original).tags["covr"][0])
            if name in APEV2_FIXTURES:
                picture_of[path] = APEv2(original)["Cover Art (Front)"].value
            rc, _, _ = tool.run("tag", windows_path(path), *FIRST_EDIT)
            check(rc == 0, "%s: the first edit succeeds" % name)
            for edit in LATER_EDITS:
                with open(path, "rb") as f:
                    before = f.read()
                inode = os.stat(path).st_ino
                apev2 = name in APEV2_FIXTURES
                if name in m4a or name in mkv or apev2:
                    rc, calls = traced_edit(tool, path, edit)
                else:
                    (rc, _, _), calls = tool.run("tag", windows_path(path), *edit), None
                with open(path, "rb") as f:
                    after = f.read()
                one_write = calls is not None and len(calls) == 1 and calls[0].startswith(("write(", "pwrite64("))
                if name in m4a or name in mkv or \
                        (apev2 and tail_change_fits_one_page(before, after)):
                    check(one_write, "%s, %s: one write and no wait for the disk: %s" % (name, edit[0], calls))
                field, value = edit[0].split("=", 1)
                check(rc == 0 and tool.fields(path).get(field) == [value],
                      "%s, %s: zorvtool reads the edit back" % (name, edit[0]))
                in_place = os.stat(path).st_ino == inode and len(after) == len(before)
                check(in_place or (apev2 and len(after) != len(before)),
                      "%s, %s: the file is written in place (inode %d -> %d, %d -> %d bytes)" %
                      (name, edit[0], inode, os.stat(path).st_ino, len(before), len(after)))
                check(not apev2 or len(after) < len(before) or os.stat(path).st_ino == inode,
                      "%s, %s: an edit that does not shrink the tag keeps the file" % (name, edit[0]))
                check(not apev2 or apev2_layouts.items_before_footer(after) == b"",
                      "%s, %s: the footer follows the last item" % (name, edit[0]))
                pages = changed_pages(before, after)
                check(pages <= (1 if name in m4a or name in mkv else 2) or not in_place,
                      "%s, %s: %d pages of 4 KiB change" % (name, edit[0], pages))
                if name in m4a:
                    check(movie_box_offset(after) == movie_box_offset(before),
                          "%s, %s: the movie box stays at %s (now %s)" %
                          (name, edit[0], movie_box_offset(before), movie_box_offset(after)))
                    check(atomicparsley_reads(path, value), "%s, %s: AtomicParsley reads the edit" % (name, edit[0]))
                if name in mkv:
                    check(mkv_readers_read(path, field, value),
                          "%s, %s: mkvextract, ffprobe and mkvinfo read the edit" % (name, edit[0]))
                    check(attachment_kept(path), "%s, %s: the attachment stays whole" % (name, edit[0]))
                    continue
                check(mutagen_value(path, field) == value, "%s, %s: mutagen reads the edit" % (name, edit[0]))
                if path.endswith(".wv"):
                    listed = apev2_layouts.wvunpack_items(path)
                    check(listed.get(field.capitalize()) == value,
                          "%s, %s: wvunpack reads the edit: %r" % (name, edit[0], listed))
                check(field != "title" or ("title %r" % value) in ffprobe_view(path),
                      "%s, %s: ffprobe reads the edit: %s" % (name, edit[0], ffprobe_view(path)))
                check(picture_kept(path), "%s, %s: the picture stays whole" % (name, edit[0]))
            if name in m4a:
                check_others_go_on_editing(tool, name, path)
            if name in mkv:
                check_mkv_others_go_on_editing(tool, name, path)
            print("%s: %d later edits checked" % (name, len(LATER_EDITS)), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every later edit went down in place")
    return 0
