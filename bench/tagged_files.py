"""Tagged FLAC and MP3 files as a user's library holds them, and mutagen
writing an artist into them: what the tag-writing benchmarks measure the
player against."""
import os
import subprocess
import time

from mutagen.flac import FLAC, Picture
from mutagen.id3 import APIC, ID3, TALB, TIT2, TPE1, TRCK


def make_files(music, count):
    """`count` files in `music` (made here), half FLAC, half MP3, each with
    four text fields and a 40 KB front cover, in albums of 20."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    flac_seed, mp3_seed = os.path.join(music, "seed.flac"), os.path.join(music, "seed.mp3")
    subprocess.run(["flac", "-s", "-f", "-o", flac_seed, tone], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", tone, mp3_seed], check=True)
    os.remove(tone)
    seeds = {".flac": open(flac_seed, "rb").read(), ".mp3": open(mp3_seed, "rb").read()}
    os.remove(flac_seed)
    os.remove(mp3_seed)
    cover = b"\xff\xd8\xff\xe0" + os.urandom(40 * 1024 - 6) + b"\xff\xd9"
    paths = []
    for i in range(count):
        extension = ".flac" if i % 2 == 0 else ".mp3"
        path = os.path.join(music, "%04d Song%s" % (i, extension))
        open(path, "wb").write(seeds[extension])
        title, album = "Song %d" % i, "Album %d" % (i // 20)
        if extension == ".flac":
            tags = FLAC(path)
            tags.update({"artist": "Artist", "title": title, "album": album, "tracknumber": str(i % 20 + 1)})
            picture = Picture()
            picture.type, picture.mime, picture.data = 3, "image/jpeg", cover
            tags.add_picture(picture)
            tags.save()
        else:
            tags = ID3()
            for frame in (TPE1(encoding=3, text="Artist"), TIT2(encoding=3, text=title),
                          TALB(encoding=3, text=album), TRCK(encoding=3, text=str(i % 20 + 1)),
                          APIC(encoding=3, mime="image/jpeg", type=3, desc="", data=cover)):
                tags.add(frame)
            tags.save(path)
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
