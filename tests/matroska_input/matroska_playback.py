#!/usr/bin/python3
"""Matroska and WebM through the real zorvtool: information, tags, chapters,
sample-exact decoding and seeking against ffmpeg, oggdec and opusdec,
retagging in place checked with mkvinfo and mkvextract, a retag killed at
random moments, what the services claim and the attached pictures; Opus end
trimming, files without a SeekHead or with a second Tags element, tags aimed
at the track, Tags whose level their Targets leave unsaid kept as they were,
ReplayGain names, damaged Tags and cut files, each against ffmpeg, ffprobe or
mkvextract.

usage: matroska_playback.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE [KILLS]
"""
import json
import math
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from xml.etree import ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, wait_until_wine_lets_go, windows_path  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402
import matroska_bytes  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
# A modest count for every run; pass a larger one to hunt rarer moments.
KILLS = int(sys.argv[4]) if len(sys.argv) > 4 else int(os.environ.get("MATROSKA_KILLS", "50"))
HERE = os.path.dirname(os.path.abspath(ZORVTOOL))
PROBE = os.path.join(BUILD_DIR, "tests", "matroska_input", "matroska_services_probe.exe")
DUMP = os.path.join(BUILD_DIR, "tests", "matroska_input", "matroska_structure_dump.exe")
NOT_TAGGABLE = "File can't be retagged, please re-mux it with up-to-date Matroska tools"


BATCH = ZorvtoolBatch([WINE_EXEC, BUILD_DIR, ZORVTOOL])


def run(program, *args, ok=True):
    if program == ZORVTOOL:
        done = BATCH.run(*args)
    else:
        done = subprocess.run([WINE_EXEC, BUILD_DIR, program, *args], capture_output=True, text=True,
                              encoding="utf-8", errors="replace")
    if ok and done.returncode != 0:
        raise RuntimeError("%s %s failed: %s%s" % (os.path.basename(program), args[:1], done.stdout, done.stderr))
    return done


def info(path):
    return json.loads(run(ZORVTOOL, "info", windows_path(path)).stdout)["subsongs"]


def fields(path, subsong=0):
    return next(s["info"] for s in info(path) if s["subsong"] == subsong)["fields"]


def fields_nocase(path, subsong=0):
    """Field names fold: a tag written as "comment" reads back as the TagName "COMMENT"."""
    return {k.lower(): v for k, v in fields(path, subsong).items()}


def wav_samples(path):
    with open(path, "rb") as f:
        data = f.read()
    fmt = data.index(b"fmt ")
    bits, = struct.unpack_from("<H", data, fmt + 22)
    start = data.index(b"data") + 8
    size = min(struct.unpack_from("<I", data, start - 4)[0], len(data) - start)
    if bits == 16:
        return struct.unpack("<%dh" % (size // 2), data[start:start + size - size % 2])
    return struct.unpack("<%df" % (size // 4), data[start:start + size - size % 4])


def decoded(path, *options, bits="16"):
    out = path + ".out.wav"
    run(ZORVTOOL, "decode", windows_path(path), windows_path(out), "--bits", bits, *options)
    samples = wav_samples(out)
    os.remove(out)
    return samples


def tool(*args):
    subprocess.run(args, check=True, capture_output=True)


def ffmpeg_samples(path, codec="pcm_s16le"):
    """The samples ffmpeg decodes from `path`, written as `codec`."""
    out = path + ".ref.wav"
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", path, "-c:a", codec, out)
    samples = wav_samples(out)
    os.remove(out)
    return samples


def ffmpeg_s16(path):
    return ffmpeg_samples(path)


def max_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def make_files(work):
    source = os.path.join(work, "source.wav")
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "25", "sine", "440", "sine", "663",
         "vol", "0.5")
    made = {"source": source}
    for name, codec in (("flac.mka", "flac"), ("pcm.mka", "pcm_s16le"), ("wavpack.mka", "wavpack"),
                        ("vorbis.webm", "libvorbis"), ("opus.webm", "libopus"), ("aac.mka", "aac")):
        made[name] = os.path.join(work, name)
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", codec, made[name])
    # Timestamps in milliseconds place a block only to within 22 samples:
    # these copies carry sample-precise ones, for the sample-exact checks.
    encoded = {"pcm.mka": source, "flac.mka": os.path.join(work, "source.flac"),
               "wavpack.mka": os.path.join(work, "source.wv")}
    tool("flac", "-s", "-f", source, "-o", encoded["flac.mka"])
    tool("wavpack", "-q", "-y", source, "-o", encoded["wavpack.mka"])
    for name, encoded_file in encoded.items():
        made["exact-" + name] = os.path.join(work, "exact-" + name)
        tool("mkvmerge", "-q", "--timestamp-scale", "-1", "--disable-track-statistics-tags", "-o",
             made["exact-" + name], encoded_file)
    return made


def test_decoding_and_seeking(work, files):
    for name in ("flac.mka", "pcm.mka", "wavpack.mka"):
        whole = decoded(files[name])
        check(whole == ffmpeg_s16(files[name]), "%s decodes sample-exact against ffmpeg" % name)
        exact = files["exact-" + name]
        check(decoded(exact) == whole, "%s with sample-precise timestamps decodes the same" % name)
        check(decoded(exact, "--seek", "10") == whole[10 * 44100 * 2:], "%s seeks to 10 s sample-exact" % name)
        # With millisecond timestamps the seek lands within half a millisecond.
        sought = decoded(files[name], "--seek", "10")[:2000]
        start = [i for i in range((10 * 44100 - 23) * 2, (10 * 44100 + 23) * 2, 2) if whole[i:i + 2000] == sought]
        check(len(start) == 1, "%s with millisecond timestamps seeks to 10 s within 22 samples" % name)
    # Without Cues a seek decodes from the first cluster.
    no_cues = os.path.join(work, "nocues.mka")
    tool("mkvmerge", "-q", "--no-cues", "-o", no_cues, files["exact-flac.mka"])
    check(decoded(no_cues, "--seek", "10") == decoded(no_cues)[10 * 44100 * 2:], "a file without Cues seeks exactly")

    for name, decoder, extension in (("vorbis.webm", "oggdec", ".ogg"), ("opus.webm", "opusdec", ".opus")):
        ogg = files[name] + extension
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", files[name], "-c:a", "copy", ogg)
        reference = ogg + ".wav"
        if decoder == "oggdec":
            tool("oggdec", "-Q", "-b", "16", ogg, "-o", reference)
            ours = decoded(files[name])
            limit = 1
        else:
            tool("opusdec", "--quiet", "--float", "--rate", "48000", ogg, reference)
            ours = decoded(files[name], bits="32")
            limit = 1e-6
        theirs = wav_samples(reference)
        # The remuxed Ogg file keeps no end trim, so its decoder may give more;
        # the WebM file's own trim gives what ffmpeg gives.
        right_length = len(ours) == len(ffmpeg_f32(files[name])) if decoder == "opusdec" else len(ours) >= len(theirs)
        check(right_length and max_difference(ours, theirs) <= limit,
              "%s decodes as %s does (%d vs %d samples, difference %g)" %
              (name, decoder, len(ours), len(theirs), max_difference(ours, theirs)))
        if decoder == "oggdec":
            sought = decoded(files[name], "--seek", "10")[:2000]
            check(any(max_difference(ours[i:i + 2000], sought) <= 1
                      for i in range((10 * 44100 - 45) * 2, (10 * 44100 + 45) * 2, 2)),
                  "%s seeks to 10 s within a millisecond" % name)

    # AAC plays through the system's decoder. The two decoders may disagree by
    # an encoder delay on where the stream starts: the best of the usual
    # delays is compared, over one second in the middle.
    out = files["aac.mka"] + ".f32.wav"
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", files["aac.mka"], "-c:a", "pcm_f32le", out)
    theirs = wav_samples(out)
    ours = decoded(files["aac.mka"], bits="32")
    start, span = 10 * 44100 * 2, 44100 * 2

    def snr(lag):
        a, b = theirs[start:start + span], ours[start + lag * 2:start + lag * 2 + span]
        noise = sum((x - y) ** 2 for x, y in zip(a, b)) or 1e-30
        return 10 * math.log10(sum(x * x for x in a) / noise)

    best = max(snr(lag) for lag in (0, 1024, 2048, 2112, -1024, -2048, -2112))
    check(best > 40, "an AAC track decodes as ffmpeg does: %.1f dB" % best)
    technical = info(files["aac.mka"])[0]["info"]["technical"]
    check(technical.get("codec") == "AAC" and technical.get("channels") == "2",
          "an AAC track's info names the codec and its channels: %s" % technical)

CHAPTERS = """<?xml version="1.0"?><Chapters><EditionEntry>
<ChapterAtom><ChapterUID>11</ChapterUID><ChapterTimeStart>00:00:00.000</ChapterTimeStart>
 <ChapterTimeEnd>00:00:07.500</ChapterTimeEnd><ChapterDisplay><ChapterString>One</ChapterString></ChapterDisplay></ChapterAtom>
<ChapterAtom><ChapterUID>22</ChapterUID><ChapterTimeStart>00:00:07.500</ChapterTimeStart>
 <ChapterDisplay><ChapterString>Two</ChapterString></ChapterDisplay></ChapterAtom>
<ChapterAtom><ChapterUID>33</ChapterUID><ChapterTimeStart>00:00:16.000</ChapterTimeStart>
 <ChapterDisplay><ChapterString>Three</ChapterString></ChapterDisplay></ChapterAtom>
</EditionEntry>
<EditionEntry><ChapterAtom><ChapterUID>44</ChapterUID><ChapterTimeStart>00:00:02.000</ChapterTimeStart>
 <ChapterDisplay><ChapterString>Restart</ChapterString></ChapterDisplay></ChapterAtom></EditionEntry></Chapters>
"""


def remuxed_with(work, name, xml_text, option, source):
    """SOURCE remuxed into WORK/NAME.mka without mkvmerge's own tags, with
    XML_TEXT given through OPTION (--chapters or --global-tags)."""
    xml = os.path.join(work, name + ".xml")
    with open(xml, "w") as f:
        f.write(xml_text)
    path = os.path.join(work, name + ".mka")
    tool("mkvmerge", "-q", "--no-global-tags", "--no-track-tags", "--disable-track-statistics-tags", option, xml,
         "-o", path, source)
    return path


def test_chapters(work, files):
    # No Tags at all: the chapter titles become the titles.
    path = remuxed_with(work, "chapters", CHAPTERS, "--chapters", files["exact-pcm.mka"])
    subsongs = info(path)
    check([s["subsong"] for s in subsongs] == [1, 2, 3, 4], "four chapters are subsongs 1 to 4")
    check([s["info"]["fields"].get("title") for s in subsongs] == [["One"], ["Two"], ["Three"], ["Restart"]],
          "chapter titles show as titles without Tags")
    lengths = [s["info"]["length"] for s in subsongs]
    # Chapter 2 runs to chapter 3, chapter 3 and the second edition's only
    # chapter to the end of the file; the edition restarting at 0 must not
    # give the chapter before it a wrapped length.
    check(abs(lengths[0] - 7.5) < 1e-9 and abs(lengths[1] - 8.5) < 1e-9 and abs(lengths[2] - 9) < 1e-3
          and abs(lengths[3] - 23) < 1e-3, "chapter lengths: %s" % lengths)
    whole = decoded(files["pcm.mka"])
    for subsong, start, end in ((1, 0, 7.5), (2, 7.5, 16), (3, 16, 25), (4, 2, 25)):
        expected = whole[int(start * 44100) * 2:int(end * 44100) * 2]
        check(decoded(path, "--subsong", str(subsong)) == expected, "chapter %d decodes exactly its range" % subsong)
    check(decoded(path, "--subsong", "2", "--seek", "1") == whole[int(8.5 * 44100) * 2:16 * 44100 * 2],
          "seeking in a chapter counts from its start")
    # The folder views list the file once, as subsong 0: it plays whole.
    out = path + ".whole.wav"
    done = run(ZORVTOOL, "decode", windows_path(path), windows_path(out), "--bits", "16", "--subsong", "0", ok=False)
    check(done.returncode == 0 and wav_samples(out) == whole, "subsong 0 decodes the whole file: %s" % done.stderr)

    # Tags for one chapter: the others keep their titles, and the audio stays.
    run(ZORVTOOL, "tag", windows_path(path), "--subsong", "2", "title=Second", "artist=Band")
    subsongs = info(path)
    check([s["info"]["fields"].get("title") for s in subsongs] == [["One"], ["Second"], ["Three"], ["Restart"]],
          "tagging one chapter keeps the other titles: %s" % [s["info"]["fields"] for s in subsongs])
    check(subsongs[1]["info"]["fields"].get("artist") == ["Band"] and "artist" not in subsongs[0]["info"]["fields"],
          "the new chapter field stays with its chapter")
    # Each chapter's own edit stays in its own Tag; a field every chapter
    # gains alike in one edit is written once, for the whole file.
    run(ZORVTOOL, "tag", windows_path(path), "--subsong", "1", "artist=Band")
    run(ZORVTOOL, "tag", windows_path(path), "genre=Rock")
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    check(extracted.count("<String>Band</String>") == 2 and extracted.count("<String>Rock</String>") == 1 and
          [s["info"]["fields"].get("artist") for s in info(path)] == [["Band"], ["Band"], None, None] and
          all(fields_nocase(path, n).get("genre") == ["Rock"] for n in (1, 2, 3, 4)),
          "a field every chapter gains alike is written once, for the whole file: %s" % extracted)
    check(decoded(path, "--subsong", "2") == whole[int(7.5 * 44100) * 2:16 * 44100 * 2],
          "a tagged chapter decodes its range as before")


TAGS = """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>The Album</String></Simple><Simple><Name>ARTIST</Name><String>Band</String></Simple>
 <Simple><Name>TOTAL_PARTS</Name><String>9</String></Simple><Simple><Name>PART_NUMBER</Name><String>2</String></Simple>
 <Simple><Name>REPLAYGAIN_GAIN</Name><String>-3.5 dB</String></Simple>
 <Simple><Name>COVER</Name><Binary>0102030405</Binary></Simple></Tag>
<Tag><Targets><TargetTypeValue>60</TargetTypeValue></Targets><Simple><Name>TOTAL_PARTS</Name><String>3</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>The Song</String></Simple><Simple><Name>COMPOSER</Name><String>Writer</String></Simple>
 <Simple><Name>PART_NUMBER</Name><String>4</String></Simple></Tag>
</Tags>
"""


def test_tags(work, files):
    path = remuxed_with(work, "tagged", TAGS, "--global-tags", files["flac.mka"])
    got = info(path)[0]["info"]
    expected = {"album": ["The Album"], "album artist": ["Band"], "totaltracks": ["9"], "discnumber": ["2"],
                "totaldiscs": ["3"], "title": ["The Song"], "COMPOSER": ["Writer"], "tracknumber": ["4"]}
    check(got["fields"] == expected, "mkvmerge tags map to fields: %s" % got["fields"])
    check(abs(got["replaygain"]["album_gain"] + 3.5) < 1e-6, "REPLAYGAIN_GAIN at 50 is the album gain")
    titled = os.path.join(work, "titled.mka")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", files["source"], "-c:a", "flac", "-metadata", "artist=X", titled)
    check(fields(titled).get("album artist") == ["X"], "ffmpeg's global artist, without a level, is the album artist")
    return path


def structure(path):
    lines = run(DUMP, windows_path(path)).stdout.splitlines()
    return [line for line in lines if not line.startswith("block")]


def changed_offsets(before, after):
    with open(before, "rb") as f:
        a = f.read()
    with open(after, "rb") as f:
        b = f.read()
    return [i for i in range(min(len(a), len(b))) if a[i] != b[i]], len(a), len(b)


def test_retag(work, files, tagged):
    # A first retag that grows the tags appends them at the end of the
    # Segment and leaves Void where they were; the next one fits in place.
    path = os.path.join(work, "retag.mka")
    shutil.copy(files["flac.mka"], path)
    audio = decoded(path)
    run(ZORVTOOL, "tag", windows_path(path), "comment=" + "y" * 3000)
    check(fields_nocase(path).get("comment") == ["y" * 3000], "a large new tag is appended at the end of the Segment")
    check(subprocess.run(["mkvinfo", path], capture_output=True).returncode == 0, "mkvinfo parses the grown file")
    # ffmpeg sums its SeekHead with a CRC-32, which a changed SeekHead would
    # contradict: it is a Void now.
    with open(path, "rb") as f:
        head = f.read(64)
    seekhead = head.index(b"\x11\x4d\x9b\x74")
    size_length = 8 - (head[seekhead + 4]).bit_length() + 1
    check(head[seekhead + 4 + size_length] == 0xEC, "the changed SeekHead's CRC-32 became a Void")
    before = os.path.join(work, "retag-before.mka")
    shutil.copy(path, before)
    layout = structure(before)
    tags_at = int(next(l for l in layout if l.startswith("position 1254C367")).split()[2])
    info_at = int(next(l for l in layout if l.startswith("position 1549A966")).split()[2])
    run(ZORVTOOL, "tag", windows_path(path), "title=New Title", "artist=Someone", "album=Record", "-comment")
    offsets, size_before, size_after = changed_offsets(before, path)
    check(size_before == size_after, "a retag into Void room keeps the file's size")
    check(offsets and all(o < info_at or o >= tags_at for o in offsets),
          "only Segment size, SeekHead, Tags and Void bytes change")
    check(subprocess.run(["mkvinfo", path], capture_output=True).returncode == 0, "mkvinfo still parses the file")
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    check("<String>New Title</String>" in extracted and "<TagLanguage>und</TagLanguage>" in extracted
          and "<DefaultLanguage>1</DefaultLanguage>" in extracted, "mkvextract shows the new tags")
    got = fields_nocase(path)
    check(got.get("title") == ["New Title"] and got.get("album") == ["Record"] and got.get("artist") == ["Someone"]
          and "comment" not in got, "the new tags read back: %s" % got)
    check(decoded(path) == audio, "the audio decodes identically after the retags")

    # Tags that did not change are copied as they were, binary values too.
    binary = [l for l in subprocess.run(["mkvextract", tagged, "tags", "-"], capture_output=True, text=True).stdout
              .splitlines() if "<Binary" in l]
    run(ZORVTOOL, "tag", windows_path(tagged), "title=Changed")
    got = info(tagged)[0]["info"]
    check(got["fields"].get("title") == ["Changed"] and got["fields"].get("totaldiscs") == ["3"]
          and got["fields"].get("COMPOSER") == ["Writer"], "untouched fields survive: %s" % got["fields"])
    check(abs(got["replaygain"]["album_gain"] + 3.5) < 1e-6, "the album gain survives")
    extracted = subprocess.run(["mkvextract", tagged, "tags", "-"], capture_output=True, text=True).stdout
    check(binary and [l for l in extracted.splitlines() if "<Binary" in l] == binary,
          "a binary SimpleTag survives byte for byte")

    # Zeros after the Segment, which no reader reads, stop no edit: it
    # succeeds and the Segment ends the file again.
    trailing = os.path.join(work, "trailing.mka")
    shutil.copy(files["flac.mka"], trailing)
    with open(trailing, "ab") as f:
        f.write(b"\0" * 64)
    done = run(ZORVTOOL, "tag", windows_path(trailing), "comment=" + "x" * 5000, ok=False)
    with open(trailing, "rb") as f:
        data = f.read()
    _, _, start, size = matroska_bytes.segment(data)
    check(done.returncode == 0 and fields_nocase(trailing).get("comment") == ["x" * 5000]
          and ffprobe_tags(trailing).get("comment") == "x" * 5000 and start + size == len(data),
          "zeros after the Segment: the edit succeeds, is read and leaves the Segment ending the file: %s"
          % done.stderr.strip())



def changed_pages(before, after):
    """The 4 KiB pages of `before` that `after` holds otherwise."""
    return [at // 4096 for at in range(0, len(before), 4096) if before[at:at + 4096] != after[at:at + 4096]]


def test_in_place_or_through_a_copy(work):
    """A retag goes in place (the file keeps its inode): a one-letter edit as
    one write within one 4 KiB page; tags grown past their room behind the
    Segment, which grows over them, switched to by the SeekHead, so that of
    the old bytes only a few pages change, and a later edit of the file so
    grown goes in place again. mkvextract, ffprobe, mkvinfo and the player
    read the result."""
    path = os.path.join(work, "retag.mka")
    audio = decoded(path)
    inode = os.stat(path).st_ino
    run(ZORVTOOL, "tag", windows_path(path), "title=New Tixle")
    check(os.stat(path).st_ino == inode and fields_nocase(path).get("title") == ["New Tixle"],
          "a one-letter edit goes in place")
    for comment in ("z" * 5000, "y" * 7000):
        before = open(path, "rb").read()
        run(ZORVTOOL, "tag", windows_path(path), "comment=" + comment)
        after = open(path, "rb").read()
        pages = changed_pages(before, after)
        check(os.stat(path).st_ino == inode and len(pages) <= 3 and len(after) < len(before) + len(comment) + 4096,
              "tags grown to %d bytes go in place, %d pages of the old file changed, %d bytes added" %
              (len(comment), len(pages), len(after) - len(before)))
        extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
        others = [other for other in ("z" * 5000, "y" * 7000) if other != comment and other not in comment]
        check(comment in extracted and "<String>New Tixle</String>" in extracted and
              not any(other in extracted for other in others), "mkvextract reads the grown tags and no old ones")
        check(ffprobe_tags(path).get("comment") == comment, "ffprobe reads the grown tags: %s" % sorted(ffprobe_tags(path)))
        check(subprocess.run(["mkvinfo", path], capture_output=True).returncode == 0, "mkvinfo reads the file")
        check(fields_nocase(path).get("comment") == [comment], "the player reads the grown tags")
    check(decoded(path) == audio and not [name for name in os.listdir(work) if name.endswith(".tmp")],
          "the file decodes identically and no temporary file is left")


def ffprobe_tags(path):
    done = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_format", path],
                          capture_output=True, text=True)
    return {k.lower(): v for k, v in json.loads(done.stdout or "{}").get("format", {}).get("tags", {}).items()}


def ffmpeg_f32(path):
    return ffmpeg_samples(path, "pcm_f32le")


def test_opus_end_trim(work, files):
    source = os.path.join(work, "five.wav")
    tool("sox", "-n", "-r", "48000", "-c", "2", "-b", "16", source, "synth", "5", "sine", "440", "sine", "550")
    webm, opus, remuxed = (os.path.join(work, n) for n in ("five.webm", "five.opus", "five-mkvmerge.mka"))
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "libopus", webm)
    tool("opusenc", "--quiet", source, opus)
    tool("mkvmerge", "-q", "-o", remuxed, opus)
    for path in (webm, remuxed):
        ours, theirs = decoded(path, bits="32"), ffmpeg_f32(path)
        check(len(ours) == len(theirs) == 2 * 240000,
              "%s: Opus decodes to the frames ffmpeg gives (%d, ffmpeg %d)" % (os.path.basename(path), len(ours) // 2,
                                                                               len(theirs) // 2))
        check(max_difference(ours, theirs) < 2e-3, "%s: the same audio as ffmpeg" % os.path.basename(path))

    # Chapters of an Opus stream together hold the whole stream: the end
    # padding comes off its last block once, not off the last chapter too.
    metadata = os.path.join(work, "chapters.ffmeta")
    with open(metadata, "w") as f:
        f.write(";FFMETADATA1\n" + "".join("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=C%d\n" % (a, b, a)
                                            for a, b in ((0, 1500), (1500, 3200), (3200, 5000))))
    chaptered = os.path.join(work, "five-chapters.webm")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-i", metadata, "-map_chapters", "1", "-c:a", "libopus",
         chaptered)
    ours = sum((decoded(chaptered, "--subsong", str(n), bits="32") for n in (1, 2, 3)), ())
    theirs = ffmpeg_f32(chaptered)
    check(len(ours) == len(theirs) == 2 * 240000 and max_difference(ours, theirs) < 2e-3,
          "an Opus stream's three chapters hold all of its %d frames (%d)" % (len(theirs) // 2, len(ours) // 2))


def json_keys_repeated(text):
    repeated = []

    def pairs(items):
        names = [k for k, _ in items]
        repeated.extend(k for k in set(names) if names.count(k) > 1)
        return dict(items)

    json.loads(text, object_pairs_hook=pairs)
    return repeated


LEVEL_TAGS = """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue><TargetType>TRACK</TargetType></Targets>
 <Simple><Name>ARTIST</Name><String>Track Artist</String></Simple></Tag>
<Tag><Targets><TargetType>ALBUM</TargetType></Targets>
 <Simple><Name>ARTIST</Name><String>Album Artist</String><TagLanguage>ger</TagLanguage>
  <Simple><Name>SORT_WITH</Name><String>Artist, Album</String></Simple></Simple></Tag>
<Tag><Targets></Targets>
 <Simple><Name>LABEL</Name><String>Lbl</String><TagLanguage>fre</TagLanguage><DefaultLanguage>0</DefaultLanguage></Simple>
</Tag></Tags>
"""


TWO_ARTISTS = """<?xml version="1.0"?><Tags><Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
 <Simple><Name>ARTIST</Name><String>A1</String></Simple><Simple><Name>TITLE</Name><String>T</String></Simple>
 <Simple><Name>ARTIST</Name><String>A2</String></Simple></Tag></Tags>
"""


def test_tag_names_and_values(work, files):
    path = remuxed_with(work, "two-artists", TWO_ARTISTS, "--global-tags", files["flac.mka"])
    text = run(ZORVTOOL, "info", windows_path(path)).stdout
    check(json_keys_repeated(text) == [], "one JSON key per field: %s" % json_keys_repeated(text))
    check(fields(path).get("artist") == ["A1", "A2"], "two ARTIST tags are one field of two values")

    run(ZORVTOOL, "tag", windows_path(path), "comment=lower case name")
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    check("<Name>COMMENT</Name>" in extracted and "<Name>comment</Name>" not in extracted,
          "a new tag name is written in upper case")
    check(ffprobe_tags(path).get("comment") == "lower case name", "ffprobe reads the new tag")


def tagged_or_refused(path, changes, expected):
    """A write either refused with the file byte-identical, or read back by us and by ffprobe, audio unchanged."""
    with open(path, "rb") as f:
        before = f.read()
    audio = decoded(path)
    done = run(ZORVTOOL, "tag", windows_path(path), *changes, ok=False)
    with open(path, "rb") as f:
        after = f.read()
    name = os.path.basename(path)
    if done.returncode != 0:
        check(after == before and NOT_TAGGABLE in done.stderr, "%s: refused untouched: %s" % (name, done.stderr.strip()))
        return False
    got, probed = fields_nocase(path), ffprobe_tags(path)
    check(all(got.get(k) == [v] for k, v in expected.items()), "%s: the new tags read back: %s" % (name, got))
    check(all(probed.get(k) == v for k, v in expected.items()), "%s: ffprobe reads the new tags: %s" % (name, probed))
    check(decoded(path) == audio, "%s: the audio decodes as before" % name)
    return True


def ffprobe_stream_tags(path):
    done = subprocess.run(["ffprobe", "-v", "quiet", "-print_format", "json", "-show_streams", path],
                          capture_output=True, text=True)
    return {k.lower(): v for k, v in json.loads(done.stdout)["streams"][0].get("tags", {}).items()}


def tags_without_target(path):
    """The Tags mkvextract shows that aim at no track, chapter, edition or attachment."""
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    root = ElementTree.fromstring(extracted.lstrip("\ufeff").encode()) if extracted.strip() else None
    return [tag for tag in (root if root is not None else []) if not any(
        tag.find("Targets/" + uid) is not None for uid in ("TrackUID", "ChapterUID", "EditionUID", "AttachmentUID"))]


def test_tags_aimed_at_the_track(work):
    """mkvmerge puts an Ogg file's comments into Tags aimed at its track: they
    are the file's fields, and a write changes and removes them where they are."""
    source = os.path.join(work, "three.wav")
    tool("sox", "-n", "-r", "48000", "-c", "2", "-b", "16", source, "synth", "3", "sine", "440")
    for codec, extension in (("libopus", ".opus"), ("libvorbis", ".ogg")):
        ogg = os.path.join(work, "commented" + extension)
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", codec, "-metadata", "title=T", "-metadata",
             "artist=A", "-metadata", "album=Al", "-metadata", "genre=G", "-metadata", "date=2020", "-metadata",
             "comment=C", ogg)
        path = os.path.join(work, "remuxed-" + codec + ".mka")
        tool("mkvmerge", "-q", "-o", path, ogg)
        theirs, ours = ffprobe_stream_tags(path), fields_nocase(path)
        check(all(ours.get(k) == [theirs.get(k)] for k in ("artist", "album", "genre", "description"))
              and ours.get("date") == [theirs.get("date_recorded")],
              "%s remuxed: the tags aimed at its track are read: %s, ffprobe %s" % (codec, ours, theirs))
        run(ZORVTOOL, "tag", windows_path(path), "artist=X", "-genre")
        theirs, ours = ffprobe_stream_tags(path), fields_nocase(path)
        check(theirs.get("artist") == "X" and "genre" not in theirs and theirs.get("album") == "Al",
              "%s remuxed: ffprobe reads the write in the track's tags: %s" % (codec, theirs))
        check(ours.get("artist") == ["X"] and "genre" not in ours and ours.get("album") == ["Al"],
              "%s remuxed: the write reads back: %s" % (codec, ours))
        check(tags_without_target(path) == [], "%s remuxed: no Tag is added beside the track's" % codec)


def tag_shape(path, *left_out):
    """mkvextract's Tags, each as its Targets and SimpleTags in XML, leaving
    out the SimpleTags holding one of the strings LEFT_OUT and the Tags that
    then hold none."""
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    shape = []
    for tag in ElementTree.fromstring(extracted.lstrip("\ufeff").encode()):
        for element in tag:
            element.tail = None
        simples = [ElementTree.tostring(s) for s in tag.findall("Simple") if s.findtext("String") not in left_out]
        if simples:
            shape.append((ElementTree.tostring(tag.find("Targets")), simples))
    return shape


def album_tag(path):
    """The Targets and SimpleTags of the Tag whose TargetType is ALBUM."""
    return next(((targets, simples) for targets, simples in tag_shape(path) if b"ALBUM" in targets), (b"", []))


def test_tag_levels_kept(work):
    """mkvmerge aims an Ogg file's album artist at the track with the
    TargetType ALBUM and no TargetTypeValue (50 by default), ffmpeg its stream
    tags with no level at all, mkvmerge its statistics too: every value reads
    at its level, an edit lands in the Tag it was read from, and every other
    Tag stays as mkvextract shows it, Targets, languages and nested tags."""
    source = os.path.join(work, "levels.wav")
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "2", "sine", "440")
    ogg = os.path.join(work, "levels.ogg")
    tool("oggenc", "-Q", "-t", "Song", "-a", "Track Artist", "-l", "The Album", "-c", "ALBUMARTIST=Album Artist",
         source, "-o", ogg)
    xml = os.path.join(work, "levels.xml")
    with open(xml, "w") as f:
        f.write(LEVEL_TAGS)
    plain, described = (os.path.join(work, name) for name in ("levels-plain.mka", "levels-described.mka"))
    tool("mkvmerge", "-q", "-o", plain, ogg)
    tool("mkvmerge", "-q", "-o", described, "--tags", "0:" + xml, ogg)
    for path in (plain, described):
        name = os.path.basename(path)
        ours = fields_nocase(path)
        check(ours.get("artist") == ["Track Artist"] and ours.get("album artist") == ["Album Artist"],
              "%s: the ALBUM Tag's artist is the album artist: %s" % (name, ours))
        for old, field, new in ((None, "title", "New"), ("Track Artist", "artist", "X"),
                                ("Album Artist", "album artist", "Y")):
            before, album_before = tag_shape(path, old), album_tag(path)
            run(ZORVTOOL, "tag", windows_path(path), "%s=%s" % (field, new))
            check(tag_shape(path, new) == before, "%s: a %s edit leaves every other SimpleTag and Tag as it was:\n%s"
                  "\n%s" % (name, field, before, tag_shape(path, new)))
            if field != "album artist":
                check(album_tag(path) == album_before, "%s: a %s edit leaves the ALBUM Tag" % (name, field))
        ours = fields_nocase(path)
        check(ours.get("title") == ["New"] and ours.get("artist") == ["X"] and ours.get("album artist") == ["Y"],
              "%s: the edits read back: %s" % (name, ours))
        targets, simples = album_tag(path)
        check(b"TargetTypeValue" not in targets and len(simples) == 1 and b"<String>Y</String>" in simples[0],
              "%s: the album artist edit lands in the ALBUM Tag: %s %s" % (name, targets, simples))
    edited = b"".join(album_tag(described)[1])
    check(b"<TagLanguage>ger</TagLanguage>" in edited and b"<Name>SORT_WITH</Name>" in edited,
          "an edited value keeps its language and nested tags: %s" % edited)

    streams = os.path.join(work, "levels-streams.mka")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "flac", "-metadata", "album=Al", "-metadata:s:a:0",
         "artist=Stream Artist", "-metadata:s:a:0", "genre=G", streams)
    check(fields_nocase(streams).get("artist") == ["Stream Artist"], "a stream tag without a level is the track's")
    for old, field, new in ((None, "title", "T"), ("Stream Artist", "artist", "X")):
        before, probed = tag_shape(streams, old), ffprobe_stream_tags(streams)
        run(ZORVTOOL, "tag", windows_path(streams), "%s=%s" % (field, new))
        check(tag_shape(streams, new) == before, "ffmpeg stream tags: a %s edit leaves the other Tags as they were:"
              "\n%s\n%s" % (field, before, tag_shape(streams, new)))
    probed = ffprobe_stream_tags(streams)
    check(probed.get("artist") == "X" and probed.get("genre") == "G", "ffprobe reads the stream's tags: %s" % probed)


def audio_md5(path):
    return subprocess.run(["ffmpeg", "-loglevel", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "md5", "-"],
                          capture_output=True, text=True, check=True).stdout.strip()


def test_track_name_as_title(work):
    """mkvmerge moves an Ogg file's title into the track's name: that is the
    title while no tag gives one, and an edit or a removal of it is written
    as a title tag aimed at the track, which ffprobe reads over the name."""
    ogg = os.path.join(work, "titled.opus")
    tool("ffmpeg", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "sine=d=3:r=48000", "-metadata", "title=T",
         "-metadata", "artist=A", "-c:a", "libopus", ogg)
    for shape, options in (("with track tags", []), ("without tags", ["--no-track-tags",
                                                                      "--disable-track-statistics-tags"])):
        path = os.path.join(work, "named.mka")
        tool("mkvmerge", "-q", "-o", path, *options, ogg)
        audio = audio_md5(path)
        check(fields_nocase(path).get("title") == ["T"] == [ffprobe_stream_tags(path).get("title")],
              "%s: the track's name is the title: %s" % (shape, fields_nocase(path)))
        run(ZORVTOOL, "tag", windows_path(path), "title=New")
        ours, theirs = fields_nocase(path), ffprobe_stream_tags(path)
        check(ours.get("title") == ["New"] and theirs.get("title") == "New" and tags_without_target(path) == [],
              "%s: a new title is written aimed at the track: %s, ffprobe %s" % (shape, ours, theirs))
        run(ZORVTOOL, "tag", windows_path(path), "-title")
        run(ZORVTOOL, "tag", windows_path(path), "comment=C")
        ours, theirs = fields_nocase(path), ffprobe_stream_tags(path)
        check("title" not in ours and theirs.get("title", "") == "" and ours.get("comment") == ["C"],
              "%s: a removed title stays removed, the name does not come back: %s, ffprobe %s" % (shape, ours, theirs))
        check(audio_md5(path) == audio, "%s: the audio is unchanged" % shape)


def test_replaygain_names_kept(work, files):
    path = os.path.join(work, "replaygain.mka")
    gains = {"replaygain_track_gain": "-6.50 dB", "replaygain_track_peak": "0.912345",
             "replaygain_album_gain": "-7.25 dB", "replaygain_album_peak": "0.987654"}
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", files["source"], "-c:a", "flac",
         *sum((["-metadata", "%s=%s" % (k.upper(), v)] for k, v in gains.items()), []), path)
    run(ZORVTOOL, "tag", windows_path(path), "title=X")
    probed = ffprobe_tags(path)
    check(all(probed.get(k) == v for k, v in gains.items()) and "replaygain_gain" not in probed,
          "a title edit keeps ffmpeg's ReplayGain tags as they were: %s" % probed)
    run(ZORVTOOL, "tag", windows_path(path), "replaygain_album_gain=-2 dB")
    probed = ffprobe_tags(path)
    check(probed.get("replaygain_album_gain") == "-2.00 dB" and probed.get("replaygain_track_gain") == "-6.50 dB"
          and "replaygain_gain" not in probed, "a changed gain keeps the name it was stored under: %s" % probed)


def test_damaged_tags(work, files):
    """A Tags element whose size is off, or a grown Tag inside it, costs the
    tags with a warning: the audio plays, and a write is refused untouched."""
    remuxed = os.path.join(work, "damaged-source.mka")
    tool("mkvmerge", "-q", "-o", remuxed, files["opus.webm"])
    for name, original in (("flac.mka", files["flac.mka"]), ("mkvmerge remux", remuxed)):
        audio = decoded(original)
        with open(original, "rb") as f:
            data = f.read()
        for shape, damaged in matroska_bytes.damaged_tags_shapes(data):
            label = "%s, %s" % (name, shape)
            path = os.path.join(work, "damaged.mka")
            with open(path, "wb") as f:
                f.write(damaged)
            out = path + ".out.wav"
            done = run(ZORVTOOL, "decode", windows_path(path), windows_path(out), "--bits", "16", ok=False)
            check(done.returncode == 0 and wav_samples(out) == audio and "Damaged Matroska tags skipped" in done.stderr,
                  "%s: decodes whole with a warning: %s" % (label, done.stderr.strip()))
            check(run(ZORVTOOL, "info", windows_path(path), ok=False).returncode == 0, "%s: info reads" % label)
            done = run(ZORVTOOL, "tag", windows_path(path), "title=x", ok=False)
            with open(path, "rb") as f:
                check(done.returncode != 0 and f.read() == damaged, "%s: a write is refused untouched" % label)


def test_unusual_layouts(work, files):
    for name in ("flac.mka", "opus.webm"):
        path = os.path.join(work, "noseekhead-" + name)
        with open(files[name], "rb") as f:
            data = matroska_bytes.without_seekhead(f.read())
        with open(path, "wb") as f:
            f.write(data)
        tagged_or_refused(path, ["title=Small"], {"title": "Small"})
        tagged_or_refused(path, ["comment=" + "g" * 3000], {"comment": "g" * 3000})

        path = os.path.join(work, "second-tags-" + name)
        tool("mkvmerge", "-q", "-o", path, files[name])
        with open(path, "rb") as f:
            data = matroska_bytes.with_second_tags(f.read(), room=2000)
        with open(path, "wb") as f:
            f.write(data)
        check(fields(path).get("album artist") is None, "%s: a Tags element no SeekHead names is not read" % name)
        check(tagged_or_refused(path, ["title=After", "comment=" + "s" * 1000], {"title": "After"}),
              "%s with a second Tags element takes the tags" % name)


def simple_tag_values(path, name):
    """Every value mkvextract finds under a TagName, in file order."""
    xml = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, check=True).stdout
    return [simple.findtext("String") for simple in ElementTree.fromstring(xml).iter("Simple")
            if simple.findtext("Name") == name] if xml.strip() else []


def test_tags_copied_where_a_void_stood(work, files):
    # A second Tags element that repeats the first: each value reads once,
    # and a write keeps it once for every reader.
    plain, path = os.path.join(work, "copied-plain.mka"), os.path.join(work, "copied.mka")
    tagged = os.path.join(work, "copied-source.mka")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", files["source"], "-c:a", "flac", "-metadata", "artist=Band",
         "-metadata", "album=Record", "-metadata", "genre=Rock", tagged)
    tool("mkvmerge", "-q", "-o", plain, tagged)
    with open(plain, "rb") as f:
        data = matroska_bytes.with_tags_copy_in_void(f.read())
    with open(path, "wb") as f:
        f.write(data)
    expected = fields(plain)
    check(fields(path) == expected, "Tags copied where a Void stood read once: %s" % fields(path))
    run(ZORVTOOL, "tag", windows_path(path), "title=After")
    expected["title"] = ["After"]
    check(fields(path) == expected, "Tags copied where a Void stood: a write keeps each value once: %s" % fields(path))
    check([simple_tag_values(path, name) for name in ("ARTIST", "ALBUM", "TITLE")] == [["Band"], ["Record"], ["After"]],
          "Tags copied where a Void stood: mkvextract finds each value once after a write")
    check(ffprobe_tags(path).get("artist") == "Band", "Tags copied where a Void stood: ffprobe reads the artist")


def test_growing_edits_reuse_room(work, files):
    # Ten edits that each outgrow the Tags take the room earlier Tags left:
    # the file grows by a few Tags' worth, not by one for every edit.
    path = os.path.join(work, "growing.mka")
    described = os.path.join(work, "growing-source.mka")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", files["source"], "-c:a", "flac", "-metadata",
         "description=" + "d" * 8600, described)
    tool("mkvmerge", "-q", "-o", path, described)
    audio = decoded(path)
    first_size = os.path.getsize(path)
    for edit in range(1, 11):
        run(ZORVTOOL, "tag", windows_path(path), "comment=" + "c" * (250 * edit))
    with open(path, "rb") as f:
        data = f.read()
    last_tags = max(total for element_id, _, total in matroska_bytes.children(data) if element_id == matroska_bytes.TAGS)
    growth = len(data) - first_size
    check(growth < 3 * last_tags, "ten growing edits grow the file by %d bytes, Tags of %d" % (growth, last_tags))
    check(simple_tag_values(path, "COMMENT") == ["c" * 2500] and simple_tag_values(path, "DESCRIPTION") == ["d" * 8600],
          "after ten growing edits mkvextract finds the last comment and the description once")
    check(ffprobe_tags(path).get("comment") == "c" * 2500, "after ten growing edits ffprobe reads the last comment")
    check(subprocess.run(["mkvinfo", path], capture_output=True).returncode == 0 and decoded(path) == audio,
          "after ten growing edits mkvinfo walks the file and the audio is unchanged")


def test_cut_files(work, files):
    # What ffmpeg plays of a cut file is played here too, the start of the
    # whole file's audio; ffmpeg may also play part of the block that the
    # cut runs through (frames of one block, generously).
    for name, block in (("flac.mka", 4608), ("opus.webm", 960), ("exact-pcm.mka", 44100)):
        with open(files[name], "rb") as f:
            data = f.read()
        whole = decoded(files[name])
        length = info(files[name])[0]["info"]["length"]
        for percent in (25, 50, 75, 95):
            path = os.path.join(work, "cut%d-%s" % (percent, name))
            with open(path, "wb") as f:
                f.write(data[:len(data) * percent // 100])
            out = path + ".out.wav"
            done = run(ZORVTOOL, "decode", windows_path(path), windows_path(out), "--bits", "16", ok=False)
            ours = wav_samples(out) if done.returncode == 0 else ()
            reference = path + ".ref.wav"
            subprocess.run(["ffmpeg", "-loglevel", "quiet", "-y", "-i", path, "-c:a", "pcm_s16le", reference])
            theirs = wav_samples(reference)
            check(len(theirs) <= len(ours) + 2 * 2 * block and ours == whole[:len(ours)],
                  "%s cut at %d%%: plays what is there (%d frames, ffmpeg %d)" %
                  (name, percent, len(ours) // 2, len(theirs) // 2))
            check(abs(info(path)[0]["info"]["length"] - length) < 1e-6, "%s cut at %d%%: the length the file says" %
                  (name, percent))
            with open(path, "rb") as f:
                before = f.read()
            done = run(ZORVTOOL, "tag", windows_path(path), "title=x", ok=False)
            with open(path, "rb") as f:
                check(done.returncode != 0 and f.read() == before, "%s cut at %d%%: a retag is refused untouched" %
                      (name, percent))


def test_killed_retags(work, files):
    original = os.path.join(work, "kill_source.mka")
    shutil.copy(files["flac.mka"], original)
    old_title = fields(original).get("title")
    path = os.path.join(work, "killed.mka")
    # How long one retag takes here, its program's start included (a run
    # of its own, as the killed ones): the kills spread over that time.
    shutil.copy(original, path)
    started = time.time()
    subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "tag", windows_path(path), "title=Timed"],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    span = time.time() - started
    rng = random.Random(41)
    outcomes = {"old": 0, "new": 0}
    for round_ in range(KILLS):
        shutil.copy(original, path)
        big = rng.random() < 0.5
        new_title = "Round %d" % round_
        args = ["title=" + new_title] + (["comment=" + "z" * 3000] if big else [])
        process = subprocess.Popen([WINE_EXEC, BUILD_DIR, ZORVTOOL, "tag", windows_path(path), *args],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # Starting the program takes most of a run: the writes come late.
        time.sleep((0.3 + 0.8 * rng.random()) * span)
        process.kill()
        process.wait()
        wait_until_wine_lets_go(path)
        try:
            title = fields(path).get("title")
        except RuntimeError as e:
            check(False, "round %d: the file no longer opens after a kill: %s" % (round_, e))
            continue
        check(title in (old_title, [new_title]), "round %d: old or new tags after a kill, not %s" % (round_, title))
        outcomes["new" if title == [new_title] else "old"] += 1
    print("killed retags: %(old)d left the old tags, %(new)d the new ones" % outcomes)


def test_claims_and_pictures(work, files):
    for name, mime, expected in (("track.MKA", "video/x_matroska", "path 1 mime 1"),
                                 ("clip.WebM", "AUDIO/WEBM", "path 1 mime 1"),
                                 ("track.mk3d", "video/x-matroska", "path 0 mime 0")):
        got = run(PROBE, "claims", name, mime).stdout.strip()
        check(got == expected, "%s / %s claimed as %s, not %s" % (name, mime, expected, got))

    def attach(name, *attachments):
        path = os.path.join(work, name)
        args = ["mkvmerge", "-q", "-o", path]
        for file_name, mime in attachments:
            picture = os.path.join(work, "pictures", file_name)
            os.makedirs(os.path.dirname(picture), exist_ok=True)
            with open(picture, "wb") as f:
                f.write(file_name.encode() * 3)
            args += ["--attachment-mime-type", mime, "--attach-file", picture]
        tool(*args, files["pcm.mka"])
        return run(PROBE, "art", windows_path(path)).stdout.split()

    check(attach("a1.mka", ("cover.jpg", "image/jpeg"), ("back cover.png", "image/png"))
          == ["front", "27", "back", "42"], "cover.jpg and back cover.png are front and back")
    check(attach("a2.mka", ("Cover.JPG", "image/jpeg")) == ["front", "27"], "names compare without case")
    check(attach("a3.mka", ("poster.jpg", "image/jpeg")) == ["front", "30"], "a single picture is the front")
    check(attach("a4.mka", ("poster.jpg", "image/jpeg"), ("scan.png", "image/png"))[0] == "error",
          "two unnamed pictures: not found")
    check(attach("a5.mka", ("cover.jpg", "Image/JPEG"))[0] == "error", "the MIME prefix compares with case")
    check(attach("a6.mka", ("cover.jpg", "image/jpeg"), ("front cover.png", "image/png")) == ["front", "27"],
          "the first front picture in file order stays")
    check(attach("a7.mka", ("font.ttf", "application/x-truetype-font"))[0] == "error", "a font is no picture")


def main():
    with tempfile.TemporaryDirectory(prefix="zorv-mkv-") as work:
        files = make_files(work)
        test_decoding_and_seeking(work, files)
        test_chapters(work, files)
        tagged = test_tags(work, files)
        test_retag(work, files, tagged)
        test_in_place_or_through_a_copy(work)
        test_opus_end_trim(work, files)
        test_tag_names_and_values(work, files)
        test_tags_aimed_at_the_track(work)
        test_track_name_as_title(work)
        test_tag_levels_kept(work)
        test_replaygain_names_kept(work, files)
        test_damaged_tags(work, files)
        test_unusual_layouts(work, files)
        test_tags_copied_where_a_void_stood(work, files)
        test_growing_edits_reuse_room(work, files)
        test_cut_files(work, files)
        test_claims_and_pictures(work, files)
        test_killed_retags(work, files)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


sys.exit(main())
