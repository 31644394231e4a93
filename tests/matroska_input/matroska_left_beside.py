#!/usr/bin/python3
"""Matroska files holding what others left beside the player's tags, edited
through the real zorvtool and read back by ffprobe, mkvextract and mkvinfo.

usage: matroska_left_beside.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

- A second Tags element of other values in front of the Clusters, which no
  SeekHead names, in ffmpeg's FLAC (its Tags in the first page), ffmpeg's
  stereo Vorbis (its Tags past it) and mkvmerge's remux (its Tags behind the
  Clusters): the player shows its values as ffprobe and mkvextract do, an
  edit that changes nothing leaves the file as it was, and an edit of another
  field keeps them for every reader in the one Tags element it leaves.
- Bytes behind the Segment's end that no reader reads (zeros, the second page
  of a Tags element a stopped write left there, stray bytes) in ffmpeg's
  files: each edit succeeds, every reader reads it, and the Segment ends the
  file. An APEv2 and an ID3v1 tag appended there stay at the file's end.
- Tags that end the Segment (mkvmerge's remux, ffmpeg's FLAC after a first
  edit) with an ID3v1 tag, an APEv2 tag with a 100 KB picture, both, an APEv2
  tag without header and an ID3v1 tag, or a further EBML document behind it:
  edits growing by a few bytes and by several KB and a shrinking one keep
  what stands there byte for byte at the file's end, mutagen reads it.
- ffmpeg's FLAC over 64 KiB with a second SeekHead in front of the Clusters,
  which the first does not name, naming its Tags or a second Tags element:
  after each of three edits (in place, then moving the Tags) the player shows
  every value ffprobe and mkvextract read, and mkvextract and mkvinfo read
  the file.
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402
import matroska_bytes  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
BATCH = ZorvtoolBatch([WINE_EXEC, BUILD_DIR, ZORVTOOL])
TAGS_ID = matroska_bytes.TAGS.to_bytes(4, "big")


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def zorvtool(*args):
    return BATCH.run(*args)


def player_fields(path):
    done = zorvtool("info", windows_path(path))
    if done.returncode != 0:
        return None
    return {k.lower(): v for k, v in json.loads(done.stdout)["subsongs"][0]["info"].get("fields", {}).items()}


def readers(path):
    """(ffprobe's tags of the file and its stream as (name in lower case, value) pairs, mkvextract's XML,
    whether mkvinfo walks the file)."""
    probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of", "json",
                            path], capture_output=True, text=True)
    found = json.loads(probe.stdout) if probe.returncode == 0 else {}
    tags = [found.get("format", {}).get("tags", {})] + [s.get("tags", {}) for s in found.get("streams", [])]
    pairs = {(k.lower(), v) for part in tags for k, v in part.items()}
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    walked = subprocess.run(["mkvinfo", path], capture_output=True).returncode == 0
    return pairs, extracted, walked


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_bytes(path, data):
    with open(path, "wb") as f:
        f.write(data)


def make_sources(work):
    src = os.path.join(work, "src.wav")
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660")
    out = {}
    for name, codec in (("ffmpeg flac", "flac"), ("ffmpeg vorbis", "libvorbis")):
        out[name] = os.path.join(work, name.replace(" ", "-") + ".mka")
        run("ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", codec, "-metadata", "title=Old title", "-metadata",
            "artist=Old artist", out[name])
    out["mkvmerge"] = os.path.join(work, "mkvmerge.mka")
    run("mkvmerge", "-q", "-o", out["mkvmerge"], out["ffmpeg flac"])
    return out


def test_second_tags(work, sources):
    for name, source in sources.items():
        path = os.path.join(work, "second-" + os.path.basename(source))
        write_bytes(path, matroska_bytes.with_other_tags_in_void(read_bytes(source), ("COMPOSER", "Writer"),
                                                                  ("COMMENT", "Said")))
        shown = player_fields(path) or {}
        probe, extracted, _ = readers(path)
        check(("composer", "Writer") in probe and "Writer" in extracted,
              "%s: ffprobe and mkvextract read the second Tags element" % name)
        check(shown.get("composer") == ["Writer"] and shown.get("comment") == ["Said"],
              "%s: the player shows the second element's values: %s" % (name, shown))

        before = read_bytes(path)
        done = zorvtool("tag", windows_path(path), "comment=Said")
        check(done.returncode == 0 and read_bytes(path) == before,
              "%s: an edit that changes nothing leaves the file as it was (exit %d)" % (name, done.returncode))

        done = zorvtool("tag", windows_path(path), "title=A new title")
        shown = player_fields(path) or {}
        probe, extracted, walked = readers(path)
        check(done.returncode == 0 and shown.get("title") == ["A new title"] and shown.get("composer") == ["Writer"]
              and shown.get("comment") == ["Said"] and shown.get("album artist") == ["Old artist"],
              "%s: a title edit keeps the second element's values for the player: %s %s"
              % (name, done.stderr.strip(), shown))
        check({("title", "A new title"), ("composer", "Writer"), ("comment", "Said")} <= probe,
              "%s: ffprobe reads the edit and the second element's values: %s" % (name, probe))
        check(all(value in extracted for value in ("A new title", "Writer", "Said")) and walked,
              "%s: mkvextract reads them and mkvinfo walks the file" % name)
        check(read_bytes(path).count(TAGS_ID) == 2, "%s: one Tags element (and the SeekHead's entry) stays" % name)


def segment_ends_at(data):
    _, _, start, size = matroska_bytes.segment(data)
    return start + size


def test_bytes_behind_the_segment(work, sources):
    tags_pages = matroska_bytes.simple_tags(50, ("COMMENT", "c" * 6000))
    behind = {"771 zeros": bytes(771), "4096 zeros": bytes(4096), "100 bytes of 0x01": b"\x01" * 100,
              "stray bytes": b"\x42\x86\x81", "the second page of a Tags element": tags_pages[4096:]}
    id3v1 = b"TAG" + b"Old title".ljust(30, b"\0") + bytes(95)
    item = (6).to_bytes(4, "little") + bytes(4) + b"Album\0Record"
    frame = lambda flags: (b"APETAGEX" + (2000).to_bytes(4, "little") + (len(item) + 32).to_bytes(4, "little") +
                           (1).to_bytes(4, "little") + flags.to_bytes(4, "little") + bytes(8))
    apev2 = frame(0xA0000000) + item + frame(0x80000000)
    appended = {"an APEv2 and an ID3v1 tag": apev2 + id3v1, "zeros, then an ID3v1 tag": bytes(300) + id3v1}
    for name in ("ffmpeg flac", "ffmpeg vorbis"):
        original = read_bytes(sources[name])
        for what, tail in list(behind.items()) + list(appended.items()):
            path = os.path.join(work, "behind.mka")
            write_bytes(path, original + tail)
            for edit in ("title=A new title", "artist=" + "A longer artist " * 20):
                done = zorvtool("tag", windows_path(path), edit)
                value = edit.split("=", 1)[1]
                probe, extracted, walked = readers(path)
                check(done.returncode == 0 and (player_fields(path) or {}).get(edit.split("=")[0]) == [value],
                      "%s with %s behind the Segment: the edit %s... succeeds (exit %d %s)"
                      % (name, what, edit[:20], done.returncode, done.stderr.strip()))
                check((edit.split("=")[0], value) in probe and value in extracted and walked,
                      "%s with %s behind the Segment: ffprobe, mkvextract and mkvinfo read the edit %s..."
                      % (name, what, edit[:20]))
            data = read_bytes(path)
            kept = appended.get(what, b"").lstrip(b"\0")
            check(data[segment_ends_at(data):] == kept,
                  "%s with %s behind the Segment: after the edits %s follows the Segment" %
                  (name, what, "the appended tag" if kept else "nothing"))


def apev2_with_picture(path):
    """Appends to the file an APEv2 tag, as mutagen writes it, with an album and a 100 KB picture."""
    from mutagen.apev2 import APEv2, APEValue, BINARY
    tag = APEv2()
    tag["Album"] = "Appended album"
    tag["Cover Art (Front)"] = APEValue(b"cover.jpg\0" + bytes(i * 7 % 251 for i in range(100000)), BINARY)
    tag.save(path)


def appended_tags_readable(path, tail_kind):
    """Whether mutagen reads the APEv2 tag and the ID3v1 tag the kind of tail holds."""
    from mutagen.apev2 import APEv2
    with open(path, "rb") as f:
        data = f.read()
    ok = True
    if "APEv2" in tail_kind:
        try:
            ok = "Album" in APEv2(path)
        except Exception:  # noqa: BLE001 - any failure of the reader counts
            ok = False
    if "ID3v1" in tail_kind:
        ok = ok and data[-128:-125] == b"TAG"
    return ok


def test_appended_behind_tags_that_end_the_segment(work, sources):
    id3v1 = b"TAG" + b"Old title".ljust(30, b"\0") + bytes(95)
    item = (6).to_bytes(4, "little") + bytes(4) + b"Album\0Record"
    footer = (b"APETAGEX" + (2000).to_bytes(4, "little") + (len(item) + 32).to_bytes(4, "little") +
              (1).to_bytes(4, "little") + bytes(12))
    # ffmpeg's Tags stand in front of the Clusters until the player's first edit moves them to the end.
    first_edited = os.path.join(work, "first-edited.mka")
    write_bytes(first_edited, read_bytes(sources["ffmpeg flac"]))
    zorvtool("tag", windows_path(first_edited), "title=A first edit")
    header_size, _, header_content = matroska_bytes.read_size(read_bytes(first_edited), 4)
    tails = ["an ID3v1 tag", "an APEv2 tag with a 100 KB picture", "an APEv2 tag with a 100 KB picture and an ID3v1 tag",
             "an APEv2 tag without header and an ID3v1 tag", "a further EBML document"]
    for name, source in (("mkvmerge", sources["mkvmerge"]), ("ffmpeg flac after a first edit", first_edited)):
        for tail_kind in tails:
            path = os.path.join(work, "appended.mka")
            original = read_bytes(source)
            write_bytes(path, original)
            if "100 KB" in tail_kind:
                apev2_with_picture(path)
            if tail_kind.endswith("ID3v1 tag"):
                write_bytes(path, read_bytes(path) + id3v1)
            if "without header" in tail_kind:
                write_bytes(path, original + item + footer + id3v1)
            elif "EBML" in tail_kind:
                write_bytes(path, original + original[:header_content + header_size])
            tail = read_bytes(path)[len(original):]
            check(appended_tags_readable(path, tail_kind), "%s with %s: mutagen reads it before the edits" % (name, tail_kind))
            for edit in ("comment=" + "c" * 20, "comment=" + "c" * 6800, "comment=Short"):
                what = "%s with %s behind the Segment, the edit %s... (%d)" % (name, tail_kind, edit[:12], len(edit))
                done = zorvtool("tag", windows_path(path), edit)
                value = edit.split("=", 1)[1]
                data = read_bytes(path)
                probe, extracted, walked = readers(path)
                check(done.returncode == 0 and (player_fields(path) or {}).get("comment") == [value],
                      "%s: succeeds and the player reads it (exit %d %s)" % (what, done.returncode, done.stderr.strip()))
                check(("comment", value) in probe and value in extracted and walked,
                      "%s: ffprobe, mkvextract and mkvinfo read it" % what)
                check(data[segment_ends_at(data):] == tail and appended_tags_readable(path, tail_kind),
                      "%s: what was appended follows the Segment byte for byte and mutagen reads it" % what)


def test_second_seekhead(work, sources):
    for label, pairs in (("naming the Tags", ()), ("naming a second Tags element", (("COMPOSER", "Writer"),))):
        path = os.path.join(work, "second-seekhead.mka")
        write_bytes(path, matroska_bytes.with_second_seekhead(read_bytes(sources["ffmpeg flac"]), *pairs))
        # ffmpeg keeps the title in the Segment's Info, which ffprobe reads
        # as a tag and the player as none, until an edit sets one.
        segment_title = ("title", "Old title")
        expected = {"artist": "Old artist"}
        expected.update((name.lower(), value) for name, value in pairs)
        probe, _, _ = readers(path)
        check(set(expected.items()) <= probe, "a second SeekHead %s: ffprobe reads the values: %s" % (label, probe))
        # The first edit goes where the Tags stand (a second Tags element
        # becomes Void), the second moves them behind the Clusters.
        for edit in ("album artist=O", "title=A new title", "composer=Another writer"):
            done = zorvtool("tag", windows_path(path), edit)
            expected["artist" if edit.startswith("album artist") else edit.split("=")[0]] = edit.split("=", 1)[1]
            shown = player_fields(path) or {}
            probe, extracted, walked = readers(path)
            extracting = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True)
            what = "a second SeekHead %s, after %s" % (label, edit)
            values = {value for values in shown.values() for value in values}
            check(done.returncode == 0 and {value for _, value in probe - {segment_title}} <= values,
                  "%s: the player shows every value ffprobe reads: %s %s, ffprobe %s"
                  % (what, done.stderr.strip(), shown, probe))
            check(set(expected.items()) <= probe and all(v in extracted for v in expected.values()),
                  "%s: ffprobe and mkvextract read every value: %s" % (what, probe))
            check(extracting.returncode == 0 and walked,
                  "%s: mkvextract and mkvinfo read the file: %s" % (what, extracting.stdout[-200:].strip()))


def main():
    work = tempfile.mkdtemp(prefix="zorv-mka-beside-")
    try:
        sources = make_sources(work)
        test_second_tags(work, sources)
        test_bytes_behind_the_segment(work, sources)
        test_appended_behind_tags_that_end_the_segment(work, sources)
        test_second_seekhead(work, sources)
    finally:
        subprocess.run(["rm", "-rf", work])
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every edit kept what others left and removed what no reader reads")
    return 0


if __name__ == "__main__":
    sys.exit(main())
