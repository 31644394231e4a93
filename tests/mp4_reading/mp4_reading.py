#!/usr/bin/python3
"""Black-box runs of zorvtool's MP4 reader on files made here with ffmpeg.

usage: mp4_reading.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

Every sample's file offset, size and duration must equal what ffprobe reads
of the same track; the songs must follow the chapters and the gapless record.
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import tool, windows_path, zorvtool_runner  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
AUDIO_KINDS = {2, 3, 4, 8, 9}
failures = []


def check(condition, what):
    print(("ok:   " if condition else "FAIL: ") + what)
    if not condition:
        failures.append(what)


zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def ffmpeg(*args):
    tool("ffmpeg", "-v", "error", "-y", *args)


def make_fixtures(folder):
    """name -> path of each kind of file the reader must agree with ffprobe on."""
    wav = os.path.join(folder, "src.wav")
    wav24 = os.path.join(folder, "src24.wav")
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "6", "sine", "440", "sine", "660")
    tool("sox", "-n", "-r", "48000", "-c", "2", "-b", "24", wav24, "synth", "3", "sine", "300", "sine", "500")
    chapters = os.path.join(folder, "chapters.txt")
    with open(chapters, "w") as f:
        f.write(";FFMETADATA1\nalbum=Book\n")  # a file title would name every chapter
        for start, end, title in ((0, 2000, "Opening"), (2000, 4500, "Middle"), (4500, 6000, "End")):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" % (start, end, title))
    out = {}

    def make(name, *args, source=wav):
        out[name] = os.path.join(folder, name)
        ffmpeg("-i", source, *args, out[name])

    make("aac.m4a", "-c:a", "aac", "-b:a", "96k")
    make("alac16.m4a", "-c:a", "alac", "-sample_fmt", "s16p")
    make("alac24.m4a", "-c:a", "alac", "-sample_fmt", "s32p", source=wav24)
    make("ac3.mp4", "-c:a", "ac3", "-b:a", "192k")
    make("mobile.3gp", "-c:a", "aac", "-ar", "22050", "-ac", "1", "-b:a", "32k")
    make("faststart.m4a", "-c:a", "aac", "-movflags", "+faststart")
    make("fragmented.m4a", "-c:a", "aac", "-frag_duration", "1000000", "-movflags", "+frag_keyframe+empty_moov")
    make("fragmented_moof_base.m4a", "-c:a", "aac", "-frag_duration", "1000000",
         "-movflags", "+frag_keyframe+empty_moov+default_base_moof")
    make("fragmented_first_in_moov.m4a", "-c:a", "aac", "-frag_duration", "1000000", "-movflags", "+frag_keyframe")
    out["book.m4b"] = os.path.join(folder, "book.m4b")
    ffmpeg("-i", wav, "-i", chapters, "-map_metadata", "1", "-map_chapters", "1", "-c:a", "aac", "-f", "ipod",
           out["book.m4b"])
    return out


def ffprobe_stream_length(path):
    """The first audio stream's length in its time base, as ffprobe totals it."""
    done = subprocess.run(["ffprobe", "-v", "error", "-ignore_editlist", "1", "-select_streams", "a:0",
                           "-show_entries", "stream=duration_ts", "-of", "json", path],
                          capture_output=True, text=True, check=True)
    return int(json.loads(done.stdout)["streams"][0]["duration_ts"])


def ffprobe_packets(path):
    """(pos, size, duration or None, dts) of each packet of the first audio stream, edit lists ignored."""
    done = subprocess.run(["ffprobe", "-v", "error", "-ignore_editlist", "1", "-select_streams", "a:0",
                           "-show_entries", "packet=dts,duration,size,pos", "-of", "json", path],
                          capture_output=True, text=True, check=True)
    packets = []
    for p in json.loads(done.stdout)["packets"]:
        duration = p.get("duration")
        packets.append((int(p["pos"]), int(p["size"]), int(duration) if duration not in (None, "N/A") else None,
                        int(p["dts"])))
    return packets


def reader_info(path):
    result = zorvtool("mp4", windows_path(path), ok=False)
    if result.returncode != 0:
        raise RuntimeError("zorvtool mp4 %s failed: %s" % (path, result.stderr))
    return json.loads(result.stdout)


def reader_samples(path, track):
    result = zorvtool("mp4", windows_path(path), "--samples", str(track), ok=False)
    if result.returncode != 0:
        raise RuntimeError("zorvtool mp4 --samples %s failed: %s" % (path, result.stderr))
    return [tuple(int(v) for v in line.split()) for line in result.stdout.splitlines() if line.strip()]


def compare_with_ffprobe(name, path):
    info = reader_info(path)
    audio = [t for t in info["tracks"] if t["kind"] in AUDIO_KINDS]
    check(len(audio) == 1, "%s: one audio track found" % name)
    if not audio:
        return info
    ours = reader_samples(path, audio[0]["index"])
    theirs = ffprobe_packets(path)
    check(len(ours) == len(theirs) and len(ours) > 0,
          "%s: sample count %d equals ffprobe's %d" % (name, len(ours), len(theirs)))
    mismatches = []
    dts = 0
    for i, ((offset, size, duration), (pos, psize, pduration, pdts)) in enumerate(zip(ours, theirs)):
        # ffprobe gives the last packet of a fragmented file the default
        # duration instead of its run's own; its stream length has the right
        # one, and the total below checks it.
        last = i == len(theirs) - 1
        if offset != pos or size != psize or dts != pdts or (
                pduration is not None and not last and duration != pduration):
            mismatches.append((i, (offset, size, duration, dts), (pos, psize, pduration, pdts)))
        dts += duration
    check(not mismatches, "%s: every offset, size, duration and decode time equals ffprobe's %s" %
          (name, mismatches[:3]))
    length = ffprobe_stream_length(path)
    check(dts == length, "%s: the durations add up to ffprobe's stream length %d: %d" % (name, length, dts))
    return info


def check_samples_of_all(fixtures):
    for name, path in sorted(fixtures.items()):
        info = compare_with_ffprobe(name, path)
        if name.startswith("alac"):
            track = info["tracks"][0]
            bits = 16 if name == "alac16.m4a" else 24
            check(track["bits_per_sample"] == bits and track["decoder_setup_bytes"] >= 28,
                  "%s: %d-bit ALAC with its set-up" % (name, bits))
        if name.startswith("fragmented"):
            songs = info["songs"]
            check(len(songs) == 1 and abs(songs[0]["end"] - 6.0) < 0.1,
                  "%s: one song as long as all fragments, got %s" % (name, songs))


def check_chapters(fixtures):
    info = reader_info(fixtures["book.m4b"])
    songs = info["songs"]
    # Chapter times count from the start of the presentation, which the edit
    # list puts after the encoder's 1,024 samples of priming.
    priming = 1024 / 44100
    starts = [round(s["start"] - priming, 3) for s in songs]
    check(starts == [0.0, 2.0, 4.5], "book.m4b: a song per chapter starting at 0, 2, 4.5 after the priming: %s" % starts)
    check([round(s["end"] - priming, 3) for s in songs[:2]] == [2.0, 4.5],
          "book.m4b: each song ends where the next starts")
    check([s["fields"].get("title") for s in songs] == [["Opening"], ["Middle"], ["End"]],
          "book.m4b: chapter names are the song titles")
    check([s["fields"].get("track") for s in songs] == [["1"], ["2"], ["3"]], "book.m4b: songs are numbered")


def check_gapless_record(fixtures, folder):
    try:
        from mutagen.mp4 import MP4, MP4FreeForm
    except ImportError:
        print("skip: mutagen is not installed")
        return
    path = os.path.join(folder, "gapless.m4a")
    with open(fixtures["aac.m4a"], "rb") as src, open(path, "wb") as dst:
        dst.write(src.read())
    tagged = MP4(path)
    record = " 00000000 00000840 000001CA 0000000000040000 00000000 00000000"
    tagged["----:com.apple.iTunes:iTunSMPB"] = [MP4FreeForm(record.encode())]
    tagged.save()
    songs = reader_info(path)["songs"]
    check(len(songs) == 1 and abs(songs[0]["start"] - 0x840 / 44100) < 1e-6 and
          abs(songs[0]["end"] - (0x840 + 0x40000) / 44100) < 1e-6,
          "gapless.m4a: the record's delay and valid samples give the range: %s" % songs)
    compare_with_ffprobe("gapless.m4a (moov rewritten by mutagen)", path)


def check_damage(fixtures, folder):
    data = open(fixtures["aac.m4a"], "rb").read()
    moov = data.find(b"moov") - 4
    cases = {
        "no_moov.m4a": data[:moov],
        "cut_moov.m4a": data[:moov + 200],
        "not_mp4.m4a": b"RIFF" + bytes(200),
    }
    for name, content in cases.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(content)
        result = zorvtool("mp4", windows_path(path), ok=False)
        check(result.returncode == 1 and result.stderr.startswith("zorvtool: ") and len(result.stderr.splitlines()) == 1,
              "%s: refused with one clean line: %r" % (name, result.stderr))
    result = zorvtool("mp4", windows_path(cases and os.path.join(folder, "no_moov.m4a")), ok=False)
    check("moov box not found" in result.stderr, "a file without a movie box says so: %r" % result.stderr)
    result = zorvtool("mp4", windows_path(os.path.join(folder, "cut_moov.m4a")), ok=False)
    check("invalid or incomplete data" in result.stderr, "a cut movie box is incomplete data: %r" % result.stderr)


def main():
    with tempfile.TemporaryDirectory() as folder:
        fixtures = make_fixtures(folder)
        check_samples_of_all(fixtures)
        check_chapters(fixtures)
        check_gapless_record(fixtures, folder)
        check_damage(fixtures, folder)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
