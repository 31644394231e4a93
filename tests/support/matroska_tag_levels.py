"""Matroska files whose Tags stand at several levels and targets, as ffmpeg,
mkvmerge and mkvpropedit make them, and their Tags as mkvextract shows them:
- chaptered: ffmpeg's FLAC with three chapters (its per-stream ENCODER and
  DURATION in a Tag aimed at the track with no level), then mkvpropedit's
  level-30 TITLE and ARTIST aimed at the track, and when asked a TITLE Tag
  aimed at each chapter with its name;
- collection: mkvmerge's whole-file Tags with a COLLECTION (70) TITLE beside
  the album's (50, a level mkvmerge leaves unsaid) and the track's (30);
- track_album: mkvpropedit's --tags track: with a level-50 TITLE (unsaid) and
  a level-30 TITLE and ARTIST, both aimed at the track;
- every_level: mkvmerge's whole-file Tags with a TITLE at each level from 70
  down to 10 (a box set's number and count of discs at 60, the album's
  level unsaid beside its TargetType, the album's
  TITLE in German, its ARTIST with a nested SimpleTag, a TagBinary), and when
  asked three chapters from a simple chapter file;
- named_chapters: ffmpeg's FLAC with chapters Prologue, Middle Part and
  Epilogue, then mkvpropedit's level-30 TITLE aimed at the track;
- chapter_artists: mkvmerge's three chapters (UIDs 1001 to 1003), an ARTIST
  Tag aimed at the first and one aimed at the other two, the whole file's
  ARTIST at the collection's (70), the album's (50) and a movement's (20)
  level, and the track's level-30 ARTIST aimed at it.
"""
import os
import re
import subprocess
from xml.etree import ElementTree

CHAPTER_NAMES = ("First", "Second", "Third")

COLLECTION_TAGS = """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>70</TargetTypeValue><TargetType>COLLECTION</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>The Collection</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>50</TargetTypeValue><TargetType>ALBUM</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>The Album</String></Simple>
 <Simple><Name>ARTIST</Name><String>Album Artist</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue><TargetType>TRACK</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>Song</String></Simple></Tag>
</Tags>
"""

TRACK_ALBUM_TAGS = """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>Album Of Track</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>Song</String></Simple>
 <Simple><Name>ARTIST</Name><String>Singer</String></Simple></Tag>
</Tags>
"""

EVERY_LEVEL_TAGS = """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>70</TargetTypeValue><TargetType>COLLECTION</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>The Collection</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>60</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>The Box</String></Simple>
 <Simple><Name>PART_NUMBER</Name><String>3</String></Simple>
 <Simple><Name>TOTAL_PARTS</Name><String>2</String></Simple></Tag>
<Tag><Targets><TargetType>ALBUM</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>The Album</String><TagLanguage>ger</TagLanguage><DefaultLanguage>0</DefaultLanguage></Simple>
 <Simple><Name>ARTIST</Name><String>Album Artist</String>
  <Simple><Name>SORT_WITH</Name><String>Artist, Album</String></Simple></Simple>
 <Simple><Name>BLOB</Name><Binary>00112233</Binary></Simple></Tag>
<Tag><Targets><TargetTypeValue>40</TargetTypeValue><TargetType>PART</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>Side A</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue><TargetType>TRACK</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>Song</String></Simple>
 <Simple><Name>ARTIST</Name><String>Singer</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>20</TargetTypeValue><TargetType>MOVEMENT</TargetType></Targets>
 <Simple><Name>TITLE</Name><String>Movement I</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>10</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>Shot</String></Simple></Tag>
</Tags>
"""

SIMPLE_CHAPTERS = "".join("CHAPTER%02d=00:00:0%d.000\nCHAPTER%02dNAME=%s\n" % (n + 1, n, n + 1, name)
                          for n, name in enumerate(CHAPTER_NAMES))

TRACK_LEVEL_TAG = """  <Tag>
    <Targets><TargetTypeValue>30</TargetTypeValue><TrackUID>%s</TrackUID></Targets>
    <Simple><Name>TITLE</Name><String>Track Title</String></Simple>
    <Simple><Name>ARTIST</Name><String>Track Artist</String></Simple>
  </Tag>
</Tags>"""


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def written(path, text):
    with open(path, "w") as f:
        f.write(text)
    return path


CHAPTER_TAG = """  <Tag>
    <Targets><TargetTypeValue>30</TargetTypeValue><ChapterUID>%s</ChapterUID></Targets>
    <Simple><Name>TITLE</Name><String>%s</String></Simple>
  </Tag>
"""


def make_chaptered(folder, name="chaptered.mka", chapter_titles=False):
    tone, path = os.path.join(folder, "chaptered.wav"), os.path.join(folder, name)
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3", "sine", "440")
    chapters = "".join("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" % (i * 1000, i * 1000 + 1000, n)
                       for i, n in enumerate(CHAPTER_NAMES))
    metadata = written(os.path.join(folder, "chaptered.ffmeta"),
                       ";FFMETADATA1\nartist=Whole Artist\nalbum=The Album\n" + chapters)
    run("ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-i", metadata, "-map", "0:a", "-map_metadata", "1",
        "-map_chapters", "1", "-c:a", "flac", path)
    # mkvpropedit's --tags track: would replace ffmpeg's stream Tag: every
    # Tag is written again with the track-level one added.
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True, check=True).stdout
    uid = re.search(r"<TrackUID>(\d+)</TrackUID>", extracted).group(1)
    titles = "".join(CHAPTER_TAG % pair for pair in zip(chapter_uids(path), CHAPTER_NAMES)) if chapter_titles else ""
    xml = written(os.path.join(folder, "chaptered.xml"),
                  extracted.lstrip("\ufeff").replace("</Tags>", titles + TRACK_LEVEL_TAG % uid))
    run("mkvpropedit", "-q", path, "--tags", "all:" + xml)
    for made in (tone, metadata, xml):
        os.remove(made)
    return path


def make_collection(folder, name="collection.mka"):
    tone, path = os.path.join(folder, "collection.wav"), os.path.join(folder, name)
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440")
    xml = written(os.path.join(folder, "collection.xml"), COLLECTION_TAGS)
    run("mkvmerge", "-q", "--global-tags", xml, "-o", path, tone)
    os.remove(tone)
    os.remove(xml)
    return path


def make_track_album(folder, name="track-album.mka"):
    tone, path = os.path.join(folder, "track-album.wav"), os.path.join(folder, name)
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440")
    run("mkvmerge", "-q", "-o", path, tone)
    xml = written(os.path.join(folder, "track-album.xml"), TRACK_ALBUM_TAGS)
    run("mkvpropedit", "-q", path, "--tags", "track:1:" + xml)
    os.remove(tone)
    os.remove(xml)
    return path


def make_every_level(folder, name="every-level.mka", chapters=False):
    tone, path = os.path.join(folder, "every-level.wav"), os.path.join(folder, name)
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3", "sine", "440")
    xml = written(os.path.join(folder, "every-level.xml"), EVERY_LEVEL_TAGS)
    chapter_file = written(os.path.join(folder, "every-level-chapters.txt"), SIMPLE_CHAPTERS)
    run("mkvmerge", "-q", "--global-tags", xml, *(["--chapters", chapter_file] if chapters else []), "-o", path, tone)
    for made in (tone, xml, chapter_file):
        os.remove(made)
    return path


def tag_list(path):
    """mkvextract's Tags, each as (Targets, [SimpleTag]) in XML, in file order (mkvmerge adds a
    statistics Tag aimed at the track after those it is given)."""
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    shape = []
    for tag in ElementTree.fromstring(extracted.lstrip("\ufeff").encode()) if extracted.strip() else []:
        for element in tag.iter():
            element.tail = None
        shape.append((ElementTree.tostring(tag.find("Targets")), [ElementTree.tostring(s) for s in tag.findall("Simple")]))
    return shape


def simple_strings(tag):
    return [ElementTree.fromstring(s).findtext("String") for s in tag[1]]


def chapter_uids(path):
    extracted = subprocess.run(["mkvextract", path, "chapters", "-"], capture_output=True, text=True).stdout
    return re.findall(r"<ChapterUID>(\d+)</ChapterUID>", extracted)


NAMED_CHAPTERS = ("Prologue", "Middle Part", "Epilogue")



def track_level_tags(name, value):
    """Tags for mkvmerge's --tags or mkvpropedit's --tags track: with one
    SimpleTag at the track's level."""
    return """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue></Targets>
 <Simple><Name>%s</Name><String>%s</String></Simple></Tag>
</Tags>
""" % (name, value)


def make_named_chapters(folder, name="named-chapters.mka"):
    tone, path = os.path.join(folder, "named.wav"), os.path.join(folder, name)
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3", "sine", "440")
    chapters = "".join("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" % (i * 1000, i * 1000 + 1000, n)
                       for i, n in enumerate(NAMED_CHAPTERS))
    metadata = written(os.path.join(folder, "named.ffmeta"), ";FFMETADATA1\nalbum=The Album\n" + chapters)
    run("ffmpeg", "-loglevel", "error", "-y", "-i", tone, "-i", metadata, "-map", "0:a", "-map_metadata", "1",
        "-map_chapters", "1", "-c:a", "flac", path)
    xml = written(os.path.join(folder, "named.xml"), track_level_tags("TITLE", "Track Title"))
    run("mkvpropedit", "-q", path, "--tags", "track:1:" + xml)
    for made in (tone, metadata, xml):
        os.remove(made)
    return path


ARTIST_CHAPTERS = """<?xml version="1.0"?><Chapters><EditionEntry>
""" + "".join("<ChapterAtom><ChapterUID>%d</ChapterUID><ChapterTimeStart>00:00:0%d.000</ChapterTimeStart>"
              "<ChapterDisplay><ChapterString>%s</ChapterString></ChapterDisplay></ChapterAtom>\n" % (1001 + n, n, name)
              for n, name in enumerate(NAMED_CHAPTERS)) + "</EditionEntry></Chapters>\n"

CHAPTER_ARTIST_TAGS = """<?xml version="1.0"?><Tags>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue><ChapterUID>1001</ChapterUID></Targets>
 <Simple><Name>ARTIST</Name><String>First Artist</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>30</TargetTypeValue><ChapterUID>1002</ChapterUID><ChapterUID>1003</ChapterUID></Targets>
 <Simple><Name>ARTIST</Name><String>Shared Artist</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>70</TargetTypeValue></Targets>
 <Simple><Name>ARTIST</Name><String>Collection Artist</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>
 <Simple><Name>TITLE</Name><String>The Album</String></Simple>
 <Simple><Name>ARTIST</Name><String>Album Artist</String></Simple></Tag>
<Tag><Targets><TargetTypeValue>20</TargetTypeValue></Targets>
 <Simple><Name>ARTIST</Name><String>Movement Artist</String></Simple></Tag>
</Tags>
"""


def make_chapter_artists(folder, name="chapter-artists.mka"):
    tone, path = os.path.join(folder, "artists.wav"), os.path.join(folder, name)
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3", "sine", "440")
    made = [tone] + [written(os.path.join(folder, "artists-%s.xml" % kind), text) for kind, text in
                     (("chapters", ARTIST_CHAPTERS), ("tags", CHAPTER_ARTIST_TAGS), ("track", track_level_tags("ARTIST", "Track Artist")))]
    run("mkvmerge", "-q", "--chapters", made[1], "--global-tags", made[2], "--tags", "0:" + made[3], "-o", path, tone)
    for one in made:
        os.remove(one)
    return path


def simple_pairs(path):
    """(level, TagName, TagString) of every SimpleTag, the level 50 when unsaid."""
    extracted = subprocess.run(["mkvextract", path, "tags", "-"], capture_output=True, text=True).stdout
    return [(tag.findtext("Targets/TargetTypeValue", "50"), s.findtext("Name"), s.findtext("String"))
            for tag in ElementTree.fromstring(extracted.lstrip("\ufeff").encode()) for s in tag.findall("Simple")]
