#!/usr/bin/python3
"""How MP4 files that ffmpeg makes play through the real zorvtool, against
ffprobe and ffmpeg's own decode: an edit list trims the encoder's priming and
padding, mono AAC stays mono, SBR plays at its output rate, Apple Lossless
above 65535 Hz decodes, and a file cut short plays the part that is there.

usage: mp4_decoding.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import json
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402
from decoded_audio import snr_db, wav, wav_rate  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
run = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def probe(path):
    """ffprobe's sample rate, channels and length in its time base of the audio stream."""
    done = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries",
                           "stream=sample_rate,channels,duration_ts", "-of", "json", path],
                          capture_output=True, text=True, check=True)
    stream = json.loads(done.stdout)["streams"][0]
    return int(stream["sample_rate"]), int(stream["channels"]), int(stream.get("duration_ts", 0))


def ours(path, *options):
    """(rate, channels, frames, samples) of zorvtool's decode."""
    out = path + ".out.wav"
    run("decode", windows_path(path), windows_path(out), "--bits", "32", *options)
    channels, _, samples = wav(out)
    rate = wav_rate(out)
    os.remove(out)
    return rate, channels, len(samples) // channels, samples


def theirs(path):
    """(rate, channels, frames, samples) of ffmpeg's decode."""
    out = path + ".ref.wav"
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", path, "-c:a", "pcm_f32le", out)
    channels, _, samples = wav(out)
    rate = wav_rate(out)
    os.remove(out)
    return rate, channels, len(samples) // channels, samples


def info(path):
    return json.loads(run("info", windows_path(path)).stdout)["subsongs"][0]["info"]


def tone(work, name, seconds, rate=44100, channels=2, bits=16, frames=None):
    """Tones of a different pitch per channel; `frames` cuts them to that many."""
    path = os.path.join(work, name + ".wav")
    tones = []
    for c in range(channels):
        tones += ["sine", str(300 + 170 * c)]
    trim = ["trim", "0", "%ds" % frames] if frames else []
    tool("sox", "-r", str(rate), "-n", "-r", str(rate), "-b", str(bits), "-c", str(channels), path, "synth",
         str(seconds), *tones, "vol", "0.5", *trim)
    return path


def aac(work, name, source, *options):
    path = os.path.join(work, name)
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "aac", *options, path)
    return path


def test_edit_list(work):
    # ffmpeg writes the priming and the length into an edit list, and no
    # gapless record: 220500 frames, not 220500 + 1024 priming.
    source = tone(work, "edit", 5)
    m4a = aac(work, "edit.m4a", source)
    _, _, length = probe(m4a)
    _, _, frames, samples = ours(m4a)
    check(frames == length == 220500, "an edit-listed AAC plays its %d frames, not %d" % (length, frames))
    _, _, _, reference = theirs(m4a)
    check(snr_db(reference[:len(samples)], samples) > 40,
          "it starts where ffmpeg's does: %.1f dB" % snr_db(reference[:len(samples)], samples))
    check(abs(info(m4a)["length"] - 5.0) < 1e-3, "its length is 5 s: %s" % info(m4a)["length"])

    # Two halves of one signal join to its length, also when a half is no
    # whole number of the edit list's milliseconds long: the media's own end
    # is exact where the edit's is rounded.
    lengths = [66177, 110223]
    halves = [aac(work, "edit-half%d.m4a" % i, tone(work, "edit-half%d" % i, 3, frames=n))
              for i, n in enumerate(lengths)]
    played = [ours(h)[2] for h in halves]
    check(played == lengths, "edit-listed halves play %s frames, their sources have %s" % (played, lengths))
    lossless = os.path.join(work, "edit-alac.m4a")
    source = tone(work, "edit-alac", 2, frames=54424)
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "alac", lossless)
    check(ours(lossless)[3] == tuple(x / 32768.0 for x in wav(source)[2]),
          "an edit-listed ALAC file plays every sample of its source")


def test_mono_aac(work):
    source = tone(work, "mono", 2, rate=22050, channels=1)
    for name in ("mono.m4a", "mono.3gp"):
        path = aac(work, name, source)
        rate, channels, _ = probe(path)
        technical = info(path)["technical"]
        check(technical.get("channels") == str(channels) == "1", "%s: info says %s channels, ffprobe %d" %
              (name, technical.get("channels"), channels))
        got_rate, got_channels, frames, samples = ours(path)
        _, _, their_frames, reference = theirs(path)
        check(got_channels == 1 and got_rate == rate, "%s decodes to %d channels at %d Hz" %
              (name, got_channels, got_rate))
        check(snr_db(reference[:len(samples)], samples) > 30, "%s decodes close to ffmpeg: %.1f dB" %
              (name, snr_db(reference[:len(samples)], samples)))


def with_sbr_present(path, output_index):
    """The file with its AAC configuration's sync extension turned from "SBR
    absent" into "SBR present at the rate of this index": the explicit
    signalling of HE-AAC, around an LC stream (Debian's ffmpeg cannot encode
    HE-AAC)."""
    with open(path, "rb") as f:
        data = bytearray(f.read())
    at = data.index(b"\x56\xe5\x00", data.index(b"esds"))
    data[at + 2] = 0x80 | output_index << 3
    with open(path, "wb") as f:
        f.write(data)


def test_sbr(work):
    for channels in (1, 2):
        source = tone(work, "sbr%d" % channels, 2, rate=22050, channels=channels)
        m4a = aac(work, "sbr%d.m4a" % channels, source)
        with_sbr_present(m4a, 4)
        their_rate, their_channels, their_frames, _ = theirs(m4a)
        rate, got_channels, frames, _ = ours(m4a)
        check(their_rate == 44100 and (rate, got_channels) == (their_rate, their_channels),
              "SBR in %d channels plays at %d Hz in %d channels as ffmpeg's %d Hz, %d" %
              (channels, rate, got_channels, their_rate, their_channels))
        check(abs(frames - their_frames) <= 2048, "SBR gives ffmpeg's frame count: %d, %d" % (frames, their_frames))
        check(info(m4a)["technical"].get("samplerate") == "44100", "info gives SBR's rate")


def test_alac_above_65535(work):
    source = tone(work, "alac96", 1, rate=96000, bits=24)
    m4a = os.path.join(work, "alac96.m4a")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "alac", m4a)
    out = m4a + ".out.wav"
    done = run("decode", windows_path(m4a), windows_path(out), "--bits", "24", ok=False)
    check(done.returncode == 0 and wav_rate(out) == 96000 and wav(out)[2] == wav(source)[2],
          "96 kHz ALAC decodes bit-exact: %s" % done.stderr.strip())
    done = run("info", windows_path(m4a), ok=False)
    check(done.returncode == 0 and json.loads(done.stdout)["subsongs"][0]["info"]["technical"].get("samplerate")
          == "96000", "96 kHz ALAC's info gives its rate: %s" % done.stderr.strip())


def test_cut_files(work):
    """Interrupted downloads: the part present plays and ends cleanly."""
    source = tone(work, "cut", 5)
    meta = os.path.join(work, "cut.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\ntitle=Book\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=2000\ntitle=One\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=2000\nEND=5000\ntitle=Two\n")
    shapes = {
        "faststart.m4a": ["-c:a", "aac", "-movflags", "+faststart"],
        "fragmented.m4a": ["-c:a", "aac", "-movflags", "frag_keyframe+empty_moov", "-frag_duration", "500000"],
        "book.m4b": ["-i", meta, "-map", "0", "-map_metadata", "1", "-c:a", "aac", "-movflags", "+faststart",
                     "-f", "ipod"],
        "lossless.m4a": ["-c:a", "alac", "-movflags", "+faststart"],
    }
    _, _, expected = wav(source)
    for name, options in shapes.items():
        whole = os.path.join(work, name)
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, *options, whole)
        with open(whole, "rb") as f:
            data = f.read()
        for percent in (25, 50, 75, 95):
            cut = os.path.join(work, "%d-%s" % (percent, name))
            with open(cut, "wb") as f:
                f.write(data[:len(data) * percent // 100])
            done = run("decode", windows_path(cut), windows_path(cut + ".wav"), "--bits", "16", ok=False)
            if done.returncode != 0:
                check(False, "%s cut at %d%% plays: %s" % (name, percent, (done.stdout + done.stderr).strip()))
                continue
            _, _, samples = wav(cut + ".wav")
            frames = len(samples) // 2
            _, _, their_frames, _ = theirs(cut)
            check(abs(frames - their_frames) <= 1024, "%s cut at %d%% plays %d frames, ffmpeg %d" %
                  (name, percent, frames, their_frames))
            if name == "lossless.m4a":
                check(list(samples) == list(expected[:len(samples)]), "cut ALAC is bit-exact up to its cut")


def test_the_played_track_gives_the_range(work):
    """Beside the audio: ffmpeg's chapter text track, or a second audio
    track of another rate and length. The first audio track plays with its
    own edit list and length; chapter times count from its presentation."""
    source = tone(work, "tracks", 6)
    meta = os.path.join(work, "tracks.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\ntitle=Book\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=3000\ntitle=One\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=3000\nEND=6000\ntitle=Two\n")
    book = aac(work, "tracks.m4b", source, "-i", meta, "-map", "0", "-map_metadata", "1", "-map_chapters", "1",
               "-f", "ipod")
    two = os.path.join(work, "two.m4a")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-f", "lavfi", "-i", "sine=f=1000:d=2:r=48000",
         "-map", "0", "-map", "1", "-c:a", "aac", two)
    _, _, reference = wav(source)
    for path in (book, two):
        name = os.path.basename(path)
        _, _, length = probe(path)
        _, _, frames, samples = ours(path)
        check(frames == length == 264600, "%s plays its first track's %d frames: %d" % (name, length, frames))
        check(snr_db([x / 32768.0 for x in reference[:len(samples)]], samples) > 30,
              "%s starts where its source does: %.1f dB" %
              (name, snr_db([x / 32768.0 for x in reference[:len(samples)]], samples)))
    chapters = [ours(book, "--subsong", str(n))[2] for n in (1, 2)]
    check(chapters == [132300, 132300], "each chapter of the book plays its 3 s: %s" % chapters)
    before = [s["info"]["length"] for s in json.loads(run("info", windows_path(book)).stdout)["subsongs"]]
    run("tag", windows_path(book), "title=Renamed", "--subsong", "1")
    after = [s["info"]["length"] for s in json.loads(run("info", windows_path(book)).stdout)["subsongs"]]
    check(after == before and ours(book, "--subsong", "2")[2] == 132300,
          "a retag keeps the chapter times: %s, %s" % (before, after))


def main():
    with tempfile.TemporaryDirectory() as work:
        test_the_played_track_gives_the_range(work)
        test_edit_list(work)
        test_mono_aac(work)
        test_sbr(work)
        test_alac_above_65535(work)
        test_cut_files(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
