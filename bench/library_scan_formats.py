#!/usr/bin/python3
"""The library scan's cost per file by format: folders of FLAC, Ogg Vorbis
and Ogg Opus files, each file carrying a cover picture of about 40 KB
(53 KB once base64-encoded in an Ogg comment), scanned with `zorvtool scan`
in alternating rounds under the same Wine; prints min / median / max per
format and each format's median against FLAC's.

usage: bench/library_scan_formats.py BUILD_DIR [FILES] [ROUNDS]
FILES per format defaults to 2,000 (hard links to four seeds per format, in
albums of 20); ROUNDS to 7. Needs sox, flac, oggenc, opusenc, ffmpeg and
python3-mutagen. ZORV_BENCH_ZORVTOOL names another zorvtool.exe to measure
(an earlier build).
"""
import base64
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.path.abspath(sys.argv[1])
FILES = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 7
WINE_EXEC = os.path.join(HERE, "..", "tools", "wine-exec")
ZORVTOOL = os.environ.get("ZORV_BENCH_ZORVTOOL", os.path.join(BUILD, "tools", "zorvtool.exe"))
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from album_links import link_albums  # noqa: E402

QUIET = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_seeds(seeds):
    from mutagen.flac import Picture
    from mutagen.oggvorbis import OggVorbis
    cover = os.path.join(seeds, "cover.jpg")
    subprocess.run(["ffmpeg", "-y", "-f", "lavfi", "-i", "testsrc=size=600x600", "-frames:v", "1", "-q:v", "3",
                    cover], **QUIET)
    picture = Picture()
    picture.type, picture.mime, picture.data = 3, "image/jpeg", open(cover, "rb").read()
    for n in range(4):
        tone = os.path.join(seeds, "tone%d.wav" % n)
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3", "sine",
                        str(330 + 110 * n), "vol", "0.3"], **QUIET)
        tags = {"TITLE": "Song %d" % n, "ARTIST": "Artist %d" % n, "ALBUM": "Album %d" % n, "DATE": "2001"}
        flac_tags = [a for k, v in tags.items() for a in ("-T", "%s=%s" % (k, v))]
        subprocess.run(["flac", "-s", "-f", *flac_tags, "--picture=" + cover, "-o",
                        os.path.join(seeds, "seed%d.flac" % n), tone], **QUIET)
        vorbis = os.path.join(seeds, "seed%d.ogg" % n)
        subprocess.run(["oggenc", "-Q", "-q", "3", *[a for k, v in tags.items() for a in ("-c", "%s=%s" % (k, v))],
                        "-o", vorbis, tone], **QUIET)
        tagged = OggVorbis(vorbis)
        tagged["METADATA_BLOCK_PICTURE"] = [base64.b64encode(picture.write()).decode()]
        tagged.save()
        opus_tags = [a for k, v in tags.items() for a in ("--comment", "%s=%s" % (k, v))]
        subprocess.run(["opusenc", "--quiet", *opus_tags, "--picture", cover, tone,
                        os.path.join(seeds, "seed%d.opus" % n)], **QUIET)


def scan_seconds(folder):
    windows = "Z:" + folder.replace("/", "\\")
    out = subprocess.run([WINE_EXEC, BUILD, ZORVTOOL, "scan", windows], check=True, capture_output=True,
                         text=True).stdout
    found = re.search(r"scanned (\d+) tracks in ([0-9.]+) s", out)
    if not found or int(found.group(1)) != FILES:
        raise RuntimeError("scan of %s: %r" % (folder, out[-200:]))
    return float(found.group(2))


def main():
    subprocess.run(["cmake", "--build", BUILD, "--target", "zorvtool"], **QUIET)
    # The Wine server first, with its output elsewhere, so that capturing
    # zorvtool's output never waits for it.
    subprocess.run([WINE_EXEC, BUILD, "cmd", "/c", "exit"], **QUIET)
    work = tempfile.mkdtemp(prefix="zorv-scanformats.")
    try:
        seeds = os.path.join(work, "seeds")
        os.makedirs(seeds)
        make_seeds(seeds)
        formats = ["flac", "ogg", "opus"]
        folders = {f: os.path.join(work, f) for f in formats}
        for f in formats:
            link_albums(seeds, folders[f], FILES, lambda i, extension=f: extension)
            scan_seconds(folders[f])  # unmeasured: the system's cache and Wine warm up
        times = {f: [] for f in formats}
        for _ in range(ROUNDS):
            for f in formats:
                times[f].append(scan_seconds(folders[f]) * 1000.0)
        print("%d files per format, %d rounds" % (FILES, ROUNDS))
        reference = statistics.median(times["flac"])
        for f in formats:
            t = times[f]
            print("%-5s scan: min %.0f ms, median %.0f ms, max %.0f ms; median per file %.0f us, %.2fx FLAC" % (
                f, min(t), statistics.median(t), max(t), statistics.median(t) * 1000.0 / FILES,
                statistics.median(t) / reference))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
