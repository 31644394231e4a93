"""Files whose tags span many pages, as other programs write them (mutagen
with its padding, metaflac, flac), and what each independent reader finds
in a file: the tests that kill a tag write in the middle judge every reader
on its own, since a file one reader takes whole another may refuse."""
import base64
import hashlib
import json
import os
import re
import subprocess

import mutagen
from mutagen.apev2 import APEv2
from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, COMM, ID3, TIT2, TPE1
from mutagen.mp4 import MP4, MP4Cover
from mutagen.oggopus import OggOpus
from mutagen.oggvorbis import OggVorbis
from views_by_content import view_by_content

BIG_COMMENT = "c" * 300000
PICTURE_SIZE = 100000


def _run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def picture_bytes():
    """A PNG signature before 100 KB that do not repeat within a page, so a
    page of the picture put down at another page's place shows."""
    data = hashlib.sha256(b"cover").digest()
    while len(data) < PICTURE_SIZE:
        data += hashlib.sha256(data[-32:]).digest()
    return b"\x89PNG\r\n\x1a\n" + data[:PICTURE_SIZE]


def _flac_picture():
    picture = Picture()
    picture.type, picture.mime, picture.data = 3, "image/png", picture_bytes()
    return picture


def make_big_comment_flac(folder, src):
    """A FLAC file with a 300 KB comment added by mutagen, which leaves its
    own padding behind it."""
    path = os.path.join(folder, "bigcomment.flac")
    _run(["flac", "-s", "-f", "-T", "TITLE=Old title", "-T", "ARTIST=Old artist", "-o", path, src])
    tagged = FLAC(path)
    tagged["comment"] = BIG_COMMENT
    tagged.save()
    return path


def make_cover_fixtures(folder, src):
    """{name: path} of files with a 100 KB picture beside short text fields,
    as mutagen adds one: WavPack and Musepack with an APEv2 cover item
    ("coverwv", "covermpc"), Ogg Vorbis and Opus with a
    METADATA_BLOCK_PICTURE comment ("picogg", "picopus"); each titled "Old
    title" by "Old artist"."""
    out = {"coverwv": os.path.join(folder, "cover.wv"), "covermpc": os.path.join(folder, "cover.mpc"),
           "picogg": os.path.join(folder, "picture.ogg"), "picopus": os.path.join(folder, "picture.opus")}
    _run(["wavpack", "-q", "-y", src, "-o", out["coverwv"]])
    _run(["mpcenc", "--silent", "--overwrite", src, out["covermpc"]])
    for name in ("coverwv", "covermpc"):
        items = APEv2()
        items["Title"], items["Artist"] = "Old title", "Old artist"
        items["Cover Art (Front)"] = mutagen.apev2.APEValue(b"cover.png\0" + picture_bytes(), mutagen.apev2.BINARY)
        items.save(out[name])
    _run(["oggenc", "-Q", "-t", "Old title", "-a", "Old artist", src, "-o", out["picogg"]])
    _run(["opusenc", "--quiet", "--title", "Old title", "--artist", "Old artist", src, out["picopus"]])
    picture = base64.b64encode(_flac_picture().write()).decode("ascii")
    for name, kind in (("picogg", OggVorbis), ("picopus", OggOpus)):
        tagged = kind(out[name])
        tagged["metadata_block_picture"] = [picture]
        tagged.save()
    return out


def make_large_tag_fixtures(folder, src):
    """{name: path} of files with tags of hundreds of kilobytes, each titled
    "Old title" by "Old artist", from the WAV file `src`."""
    out = {"bigflac": make_big_comment_flac(folder, src)}
    plain_flac = os.path.join(folder, "plain.flac")
    _run(["flac", "-s", "-f", "-T", "TITLE=Old title", "-T", "ARTIST=Old artist", "-o", plain_flac, src])
    # A picture block before the comment (flac puts it after), and one after.
    out["picflacfirst"] = os.path.join(folder, "picture-first.flac")
    out["picflaclast"] = os.path.join(folder, "picture-last.flac")
    picture = os.path.join(folder, "cover.png")
    with open(picture, "wb") as f:
        f.write(picture_bytes())
    _run(["flac", "-s", "-f", "--padding=8192", "--picture=3|image/png||1x1x24|" + picture, "-T", "TITLE=Old title",
          "-T", "ARTIST=Old artist", "-o", out["picflaclast"], src])
    _run(["cp", plain_flac, out["picflacfirst"]])
    _run(["metaflac", "--remove", "--block-type=VORBIS_COMMENT,PADDING", "--dont-use-padding", out["picflacfirst"]])
    _run(["metaflac", "--import-picture-from=3|image/png||1x1x24|" + picture, out["picflacfirst"]])
    _run(["metaflac", "--set-tag=TITLE=Old title", "--set-tag=ARTIST=Old artist", out["picflacfirst"]])
    _run(["metaflac", "--add-padding=8192", out["picflacfirst"]])

    # An ID3v2.3 tag with a 300 KB comment and a 100 KB picture.
    out["bigmp3"] = os.path.join(folder, "big.mp3")
    _run(["lame", "--quiet", "-b", "128", src, out["bigmp3"]])
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Old title"]))
    tags.add(TPE1(encoding=1, text=["Old artist"]))
    tags.add(COMM(encoding=1, lang="eng", desc="", text=[BIG_COMMENT]))
    tags.add(APIC(encoding=1, mime="image/png", type=3, desc="", data=picture_bytes()))
    tags.save(out["bigmp3"], v2_version=3, v1=0)

    # AAC with a 100 KB cover added by mutagen, its padding beside it.
    out["coverm4a"] = os.path.join(folder, "cover.m4a")
    _run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "aac", "-b:a", "64k", "-metadata", "title=Old title",
          "-metadata", "artist=Old artist", out["coverm4a"]])
    tagged = MP4(out["coverm4a"])
    tagged["covr"] = [MP4Cover(picture_bytes(), imageformat=MP4Cover.FORMAT_PNG)]
    tagged.save()

    # A comment header spread over many pages as oggenc lays them out (a
    # command line holds 100 KB of it).
    out["bigogg"] = os.path.join(folder, "bigcomment.ogg")
    _run(["oggenc", "-Q", "-t", "Old title", "-a", "Old artist", "-c", "COMMENT=" + BIG_COMMENT[:100000], src,
          "-o", out["bigogg"]])

    # APEv2 tags with a large text item and a cover item.
    out["bigwv"] = os.path.join(folder, "big.wv")
    _run(["wavpack", "-q", "-y", src, "-o", out["bigwv"]])
    out["bigmpc"] = os.path.join(folder, "big.mpc")
    _run(["mpcenc", "--silent", "--overwrite", src, out["bigmpc"]])
    for name in ("bigwv", "bigmpc"):
        items = APEv2()
        items["Title"], items["Artist"], items["Comment"] = "Old title", "Old artist", BIG_COMMENT
        items["Cover Art (Front)"] = mutagen.apev2.APEValue(b"cover.png\0" + picture_bytes(), mutagen.apev2.BINARY)
        items.save(out[name])
    out.update(make_cover_fixtures(folder, src))
    return out


def _digest(value):
    return hashlib.md5(repr(value).encode()).hexdigest()


def _holds(tags, key):
    try:
        return tags is not None and key in tags
    except ValueError:  # a key the tag kind cannot spell
        return False


def mutagen_view(path):
    """mutagen's reading: every tag item with its bytes, FLAC's pictures and
    the stream's length; a failure as its exception's name."""
    try:
        found = mutagen.File(path)
    except Exception as error:  # a reader's refusal is what it sees
        return "refused: %s" % type(error).__name__
    if found is None:
        return "not recognised"
    tags = found.tags
    if tags is None:
        items = []
    elif isinstance(tags, list):  # Vorbis comments: (name, value) pairs in file order
        items = list(tags)
    else:
        items = sorted((str(key), repr(value)) for key, value in tags.items())
    pictures = [picture.data for picture in getattr(found, "pictures", [])]
    title = next((str(tags[key]) for key in ("title", "TIT2", "Title", "\xa9nam") if _holds(tags, key)), None)
    return "title %s, length %.3f s, %s" % (title, found.info.length, _digest((items, pictures)))


def _run_reader(cmd, path):
    done = subprocess.run(cmd, capture_output=True, text=True, errors="replace")
    # The path and the addresses in its messages would tell copies of one
    # content apart.
    err = re.sub(r" @ 0x[0-9a-f]+", "", done.stderr.replace(path, "FILE"))
    return done.returncode, done.stdout.replace(path, "FILE"), err


def ffprobe_view(path):
    code, out, err = _run_reader(["ffprobe", "-v", "error", "-show_entries",
                                  "format=duration:format_tags:stream_tags:stream=codec_name", "-of", "json", path],
                                 path)
    if code != 0:
        return "refused: %s" % err.strip()[:200]
    found = json.loads(out)
    tag_sets = [found.get("format", {}).get("tags", {})] + [s.get("tags", {}) for s in found.get("streams", [])]
    title = next((value for tags in tag_sets for key, value in tags.items() if key.lower() == "title"), None)
    return "title %r, %s%s" % (title, _digest(found), ", errors: " + err.strip()[:200] if err else "")


@view_by_content
def reader_views(path):
    """{reader: what it finds} for mutagen and ffprobe, and for FLAC files
    flac's test of the whole stream and metaflac's listing of every block."""
    views = {"mutagen": mutagen_view(path), "ffprobe": ffprobe_view(path)}
    if path.endswith(".flac"):
        code, _, err = _run_reader(["flac", "-t", "-s", path], path)
        views["flac -t"] = "passes" if code == 0 else "fails: %s" % err.strip()[:200]
        code, out, err = _run_reader(["metaflac", "--list", path], path)
        views["metaflac"] = _digest(out) if code == 0 else "refused: %s" % err.strip()[:200]
    return views
