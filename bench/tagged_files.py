"""Tagged FLAC, MP3, M4A, WavPack and Musepack files as a user's library
holds them (tagged by mutagen), and mutagen writing edits into them: what the tag-writing
benchmarks measure the player against."""
import os
import subprocess
import time

from mutagen.apev2 import APEv2, APEValue, BINARY
from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, ID3, TALB, TIT2, TPE1, TRCK
from mutagen.mp4 import MP4, MP4Cover

EXTENSIONS = (".flac", ".mp3", ".m4a", ".wv", ".mpc")


def tone_seeds(folder):
    """The bytes of one second of tone in each of EXTENSIONS, untagged."""
    tone = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    commands = {
        ".flac": lambda out: ["flac", "-s", "-f", "-o", out, tone],
        ".mp3": lambda out: ["lame", "--quiet", "-b", "128", tone, out],
        # The movie box first, as most music stores and rippers lay M4A out.
        ".m4a": lambda out: ["ffmpeg", "-v", "error", "-y", "-i", tone, "-c:a", "aac", "-b:a", "128k",
                             "-movflags", "+faststart", out],
        ".wv": lambda out: ["wavpack", "-q", "-y", tone, "-o", out],
        ".mpc": lambda out: ["mpcenc", "--silent", "--overwrite", tone, out],
    }
    seeds = {}
    for extension, command in commands.items():
        seed = os.path.join(folder, "seed" + extension)
        subprocess.run(command(seed), check=True, stdin=subprocess.DEVNULL)
        seeds[extension] = open(seed, "rb").read()
        os.remove(seed)
    os.remove(tone)
    return seeds


def jpeg_cover(size):
    """`size` bytes that readers take for a JPEG front cover."""
    return b"\xff\xd8\xff\xe0" + os.urandom(size - 6) + b"\xff\xd9"


def tag_file(path, title, album, track, cover):
    """Artist, title, album and track number, and the front cover unless
    `cover` is None, written by mutagen as a new tag."""
    if path.endswith(".flac"):
        tags = FLAC(path)
        tags.update({"artist": "Artist", "title": title, "album": album, "tracknumber": str(track)})
        if cover is not None:
            picture = Picture()
            picture.type, picture.mime, picture.data = 3, "image/jpeg", cover
            tags.add_picture(picture)
        tags.save()
    elif path.endswith(".mp3"):
        tags = ID3()
        for frame in (TPE1(encoding=3, text="Artist"), TIT2(encoding=3, text=title),
                      TALB(encoding=3, text=album), TRCK(encoding=3, text=str(track))):
            tags.add(frame)
        if cover is not None:
            tags.add(APIC(encoding=3, mime="image/jpeg", type=3, desc="", data=cover))
        tags.save(path)
    elif path.endswith((".wv", ".mpc")):
        tags = APEv2()
        tags.update({"Artist": "Artist", "Title": title, "Album": album, "Track": str(track)})
        if cover is not None:
            tags["Cover Art (Front)"] = APEValue(b"cover.jpg\0" + cover, BINARY)
        tags.save(path)
    else:
        tags = MP4(path)
        tags.update({"\xa9ART": ["Artist"], "\xa9nam": [title], "\xa9alb": [album], "trkn": [(track, 20)]})
        if cover is not None:
            tags["covr"] = [MP4Cover(cover, imageformat=MP4Cover.FORMAT_JPEG)]
        tags.save()


def make_files(music, count):
    """`count` files in `music` (made here), half FLAC, half MP3, each with
    four text fields and a 40 KB front cover, in albums of 20."""
    os.makedirs(music)
    seeds = tone_seeds(music)
    cover = jpeg_cover(40 * 1024)
    paths = []
    for i in range(count):
        extension = ".flac" if i % 2 == 0 else ".mp3"
        path = os.path.join(music, "%04d Song%s" % (i, extension))
        open(path, "wb").write(seeds[extension])
        tag_file(path, "Song %d" % i, "Album %d" % (i // 20), i % 20 + 1, cover)
        paths.append(path)
    return paths


def make_format_files(music, extension, count, seeds, cover):
    """`count` files of one format in `music` (made here), with four text
    fields and `cover` (or none), in albums of 20."""
    os.makedirs(music)
    paths = []
    for i in range(count):
        path = os.path.join(music, "%04d Song%s" % (i, extension))
        open(path, "wb").write(seeds[extension])
        tag_file(path, "Song %d" % i, "Album %d" % (i // 20), i % 20 + 1, cover)
        paths.append(path)
    return paths


def mutagen_write(paths, artist):
    """Milliseconds mutagen takes to write `artist` into every file."""
    start = time.perf_counter()
    for path in paths:
        if path.endswith(".flac"):
            tags = FLAC(path)
            tags["artist"] = artist
            tags.save()
        else:
            tags = ID3(path)
            tags.setall("TPE1", [TPE1(encoding=3, text=artist)])
            tags.save(path)
    return (time.perf_counter() - start) * 1000.0


def mutagen_edit(paths, title_suffix, artist):
    """Milliseconds mutagen takes to append `title_suffix` to the title of
    every file and set its artist to `artist`, each file opened, read and
    saved in turn, as a tag editor does."""
    start = time.perf_counter()
    for path in paths:
        if path.endswith(".flac"):
            tags = FLAC(path)
            tags["title"] = tags["title"][0] + title_suffix
            tags["artist"] = artist
            tags.save()
        elif path.endswith(".mp3"):
            tags = ID3(path)
            tags.setall("TIT2", [TIT2(encoding=3, text=str(tags["TIT2"]) + title_suffix)])
            tags.setall("TPE1", [TPE1(encoding=3, text=artist)])
            tags.save(path)
        elif path.endswith((".wv", ".mpc")):
            tags = APEv2(path)
            tags["Title"] = str(tags["Title"]) + title_suffix
            tags["Artist"] = artist
            tags.save()
        else:
            tags = MP4(path)
            tags["\xa9nam"] = [tags["\xa9nam"][0] + title_suffix]
            tags["\xa9ART"] = [artist]
            tags.save()
    return (time.perf_counter() - start) * 1000.0
