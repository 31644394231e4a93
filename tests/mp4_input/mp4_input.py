#!/usr/bin/python3
"""MP4-family files through the real zorvtool: Apple Lossless decodes
bit-exact to its source, whole and after a seek, in the speaker order and mask
of its layout; AAC decodes through the system's decoder close to ffmpeg's
decode and to the sample count the gapless record gives, also after an edit,
which adds no chapter list to a file trimmed by that record; an audiobook's
chapters are subsongs with their index points; the integrity check reports a
damaged layout; a file with only an AC-3 track fails with a data error.

usage: mp4_input.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import array
import json
import os
import struct
import subprocess
import sys
import tempfile

from mutagen.mp4 import MP4, MP4Cover, MP4FreeForm

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import (check, failures, mp4_chapter_titles, tool, windows_path,  # noqa: E402
                             note_machine_gaps, player_underruns, without_machine_gaps, zorvtool_runner)
from decoded_audio import snr_db, wav  # noqa: E402
import gapless_record  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
CORRUPTED = "Unsupported format or corrupted file"


run = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def decoded(path, *options, bits="32"):
    out = path + ".out.wav"
    run("decode", windows_path(path), windows_path(out), "--bits", bits, *options)
    result = wav(out)
    os.remove(out)
    return result


def test_apple_lossless(work):
    # Tones of a different pitch per channel: a channel in the wrong place shows.
    for name, channels, bits, mask in (("stereo16", 2, 16, 0x3), ("stereo24", 2, 24, 0x3), ("mono16", 1, 16, 0x4),
                                       ("surround16", 6, 16, 0x3F), ("surround24", 6, 24, 0x3F)):
        source = os.path.join(work, name + ".wav")
        tones = []
        for c in range(channels):
            tones += ["sine", str(200 + 150 * c)]
        tool("sox", "-n", "-r", "44100", "-b", str(bits), "-c", str(channels), source, "synth", "3", *tones,
             "vol", "0.6")
        m4a = os.path.join(work, name + ".m4a")
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "alac", m4a)
        _, _, expected = wav(source)
        got_channels, got_mask, whole = decoded(m4a, bits=str(bits))
        check(got_channels == channels and whole == expected,
              "%s ALAC decodes bit-exact to its source (%d of %d samples)" % (name, len(whole), len(expected)))
        if channels > 2:
            check(got_mask == mask, "%s comes out with mask %#x, not %s" % (name, mask, got_mask))
        _, _, sought = decoded(m4a, "--seek", "1.5", bits=str(bits))
        check(sought == expected[int(1.5 * 44100) * channels:], "%s seeks to 1.5 s bit-exact" % name)
        if name in ("stereo24", "surround16"):
            # The same packets in Matroska ("A_ALAC") go through the same codec.
            mka = os.path.join(work, name + ".mka")
            tool("ffmpeg", "-loglevel", "error", "-y", "-i", m4a, "-c:a", "copy", mka)
            check(decoded(mka, bits=str(bits))[2] == expected, "%s ALAC in Matroska decodes bit-exact" % name)
    info = json.loads(run("info", windows_path(os.path.join(work, "surround24.m4a"))).stdout)["subsongs"][0]["info"]
    technical = info["technical"]
    check(technical.get("codec") == "ALAC" and technical.get("bitspersample") == "24" and
          technical.get("channels") == "6", "the ALAC info names codec, depth and channels: %s" % technical)


def aac_with_gapless_record(work, name, source, frames):
    """An AAC file whose iTunSMPB record names its encoder delay and its
    count of valid samples."""
    m4a = os.path.join(work, name)
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "aac", "-b:a", "192k", m4a)
    tagged = MP4(m4a)
    record = " 00000000 00000400 00000000 %016X 00000000 00000000" % frames
    tagged["----:com.apple.iTunes:iTunSMPB"] = [MP4FreeForm(record.encode())]
    tagged.save()
    return m4a


def test_aac(work):
    source = os.path.join(work, "aac-source.wav")
    tool("sox", "-n", "-r", "44100", "-b", "16", "-c", "2", source, "synth", "4", "sine", "500", "sine", "750",
         "vol", "0.5")
    m4a = aac_with_gapless_record(work, "aac.m4a", source, 4 * 44100)
    reference = m4a + ".ref.wav"
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", m4a, "-c:a", "pcm_f32le", reference)
    _, _, theirs = wav(reference)
    channels, _, ours = decoded(m4a)
    check(channels == 2, "AAC decodes in stereo")
    check(len(ours) == 4 * 44100 * 2, "AAC decodes to the record's valid samples (%d)" % (len(ours) // 2))
    check(snr_db(theirs, ours) > 40, "AAC decodes close to ffmpeg: %.1f dB" % snr_db(theirs, ours))
    _, _, sought = decoded(m4a, "--seek", "2")
    tail = theirs[2 * 44100 * 2:4 * 44100 * 2]
    check(len(sought) == len(tail) and snr_db(tail, sought) > 40,
          "AAC seeks to 2 s: %.1f dB over %d samples" % (snr_db(tail, sought), len(sought)))

    # One signal cut in two and encoded apart plays back without a gap or an
    # overlap: the halves' decodes joined are the signal's length and follow it.
    halves = []
    for i, (start, length) in enumerate(((0, 1.5), (1.5, 2.5))):
        part = os.path.join(work, "half%d.wav" % i)
        tool("sox", source, part, "trim", str(start), str(length))
        halves.append(decoded(aac_with_gapless_record(work, "half%d.m4a" % i, part, int(length * 44100)))[2])
    joined = list(halves[0]) + list(halves[1])
    _, _, original = wav(source)
    original = [x / 32768.0 for x in original]
    junction = slice(int(1.4 * 44100) * 2, int(1.6 * 44100) * 2)
    check(len(joined) == len(original) and snr_db(original[junction], joined[junction]) > 20,
          "two AAC halves join without a gap: %d of %d samples, %.1f dB at the cut" %
          (len(joined), len(original), snr_db(original[junction], joined[junction])))


def write_with_user_data_box(source, target, kind, payload):
    """A copy of an MP4 file whose movie box, and its user data box, are the
    last boxes, with a box of the kind appended to the user data."""
    data = bytearray(open(source, "rb").read())
    box = struct.pack(">I4s", len(payload) + 8, kind) + payload
    for kind in (b"moov", b"udta"):
        at = data.rindex(kind) - 4
        assert at + struct.unpack(">I", data[at:at + 4])[0] == len(data), "%s is not last" % kind
        data[at:at + 4] = struct.pack(">I", len(data) - at + len(box))
    open(target, "wb").write(bytes(data) + box)


def write_with_index_map(source, target, entries):
    """With an "indx" box of (pregap, [index points]) per chapter."""
    payload = struct.pack(">I", len(entries))
    for value, points in entries:
        payload += struct.pack(">QI", value, len(points)) + b"".join(struct.pack(">Q", p) for p in points)
    write_with_user_data_box(source, target, b"indx", payload)


def test_chapters_and_refusals(work):
    source = os.path.join(work, "book.wav")
    tool("sox", "-n", "-r", "44100", "-b", "16", "-c", "1", source, "synth", "6", "sine", "300")
    meta = os.path.join(work, "book.txt")
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\ntitle=Book\n")
        for i, (start, end) in enumerate(((0, 2000), (2000, 3500), (3500, 6000))):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=Part %d\n" % (start, end, i + 1))
    book = os.path.join(work, "book.m4b")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-i", meta, "-map", "0", "-map_metadata", "1",
         "-c:a", "alac", "-f", "ipod", book)
    subsongs = json.loads(run("info", windows_path(book)).stdout)["subsongs"]
    check([s["subsong"] for s in subsongs] == [1, 2, 3], "three chapters are subsongs 1-3: %s" %
          [s["subsong"] for s in subsongs])
    _, _, whole = wav(source)
    _, _, second = decoded(book, "--subsong", "2", bits="16")
    check(second == whole[2 * 44100:int(3.5 * 44100)], "chapter 2 decodes exactly its range (%d samples)" % len(second))

    # The chapters' index points ("indx" in the user data, 100 ns units):
    # chapter 2 has a pregap of one second and its index 02 0.4 s in.
    indexed = os.path.join(work, "indexed.m4b")
    write_with_index_map(book, indexed, [(0, []), (10000000, [4000000]), (0, [])])
    subsongs = json.loads(run("info", windows_path(indexed)).stdout)["subsongs"]
    technical = [s["info"]["technical"] for s in subsongs]
    check(technical[1].get("pregap") == "00:01:00" and technical[1].get("index 02") == "00:00:30",
          "chapter 2's index points reach its info: %s" % technical[1])
    check("pregap" not in technical[0] and "index 02" not in technical[2],
          "chapters without index points show none: %s, %s" % (technical[0], technical[2]))

    # The decoder's integrity check reports an ID3v1 tag appended to the file
    # and decodes it all the same; a plain decode says nothing.
    tagged = os.path.join(work, "id3v1.m4b")
    with open(book, "rb") as f, open(tagged, "wb") as out:
        out.write(f.read() + b"TAG" + bytes(125))
    checked = run("decode", windows_path(tagged), windows_path(tagged + ".wav"), "--check")
    check("apparent ID3 tag found at the end" in checked.stderr, "--check reports the layout: %r" % checked.stderr)
    plain = run("decode", windows_path(tagged), windows_path(tagged + ".wav"))
    check("ID3" not in plain.stderr, "a decode without the check reports nothing: %r" % plain.stderr)

    # Damaged sample sizes end decoding with a data error, not a crash or a
    # huge allocation: a size of 0, and one near 4 GiB that would wrap a
    # 32-bit buffer size.
    with open(os.path.join(work, "stereo16.m4a"), "rb") as f:
        good = f.read()
    table = good.index(b"stsz") + 16
    for index, size, message in ((4, 0, "Invalid MP4 frame size: frame 5 of"), (2, 0xFFFFFFFF, "")):
        damaged = os.path.join(work, "damaged-%d.m4a" % index)
        entry = table + 4 * index
        with open(damaged, "wb") as f:
            f.write(good[:entry] + struct.pack(">I", size) + good[entry + 4:])
        failed = run("decode", windows_path(damaged), windows_path(damaged + ".wav"), ok=False)
        output = failed.stdout + failed.stderr
        check(failed.returncode != 0 and CORRUPTED in output and message in output,
              "a sample size of %#x fails with a data error: %s" % (size, output.strip()))

    ac3 = os.path.join(work, "only.m4a")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "ac3", "-f", "mp4", ac3)
    failed = run("decode", windows_path(ac3), windows_path(ac3 + ".wav"), ok=False)
    check(failed.returncode != 0 and CORRUPTED in failed.stdout + failed.stderr,
          "an AC-3-only file fails with a data error: %s" % failed.stderr.strip())


def test_retag(work):
    """`zorvtool tag` rewrites an .m4a through the input dispatch: the new
    fields are read back by mutagen, the cover, the gapless record and the
    audio stay."""
    source = os.path.join(work, "tag.wav")
    tool("sox", "-n", "-r", "44100", "-b", "16", "-c", "2", source, "synth", "2", "sine", "300", "sine", "450")
    m4a = aac_with_gapless_record(work, "tag.m4a", source, 2 * 44100)
    cover = b"\xff\xd8\xff\xe0" + bytes(200) + b"\xff\xd9"
    tagged = MP4(m4a)
    tagged["covr"] = [MP4Cover(cover, imageformat=MP4Cover.FORMAT_JPEG)]
    tagged["\xa9nam"] = ["Old"]
    tagged.save()
    _, _, before = decoded(m4a)
    run("tag", windows_path(m4a), "title=New", "artist=One", "artist=Two", "date=2001", "tracknumber=3")
    after = MP4(m4a)
    check(after.get("\xa9nam") == ["New"] and after.get("\xa9ART") == ["One", "Two"] and
          after.get("\xa9day") == ["2001"] and after.get("trkn", [(0, 0)])[0][0] == 3,
          "the new fields are stored: %s" % {k: after[k] for k in after.keys() if k != "covr"})
    check([bytes(c) for c in after.get("covr", [])] == [cover], "the cover stays")
    check("----:com.apple.iTunes:iTunSMPB" in after, "the gapless record stays")
    fields = json.loads(run("info", windows_path(m4a)).stdout)["subsongs"][0]["info"]["fields"]
    check(fields.get("title") == ["New"] and fields.get("date") == ["2001"] and fields.get("tracknumber") == ["3"],
          "the player reads the new fields back: %s" % fields)
    check(decoded(m4a)[2] == before, "the audio is unchanged")


def itunes_trimmed(work, name, source):
    """ffmpeg's AAC of the source with a title and the gapless record iTunes
    writes; the file and its count of valid samples."""
    m4a = os.path.join(work, name)
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "aac", "-b:a", "128k", m4a)
    channels, _, samples = wav(source)
    valid = len(samples) // channels
    gapless_record.add_record(m4a, valid, **{"\xa9nam": ["Song"]})
    return m4a, valid


def test_edit_of_a_trimmed_file(work):
    """An edit of a file trimmed by its gapless record adds no chapter, and
    the file plays the same frames as before and as in ffmpeg."""
    source = os.path.join(work, "trimmed.wav")
    tool("sox", "-n", "-r", "44100", "-b", "16", "-c", "2", source, "synth", "2.5", "sine", "350", "sine", "520",
         "vol", "0.5")
    m4a, valid = itunes_trimmed(work, "trimmed.m4a", source)
    reference = m4a + ".ref.wav"
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", m4a, "-c:a", "pcm_f32le", reference)
    theirs = wav(reference)[2]
    before = decoded(m4a)[2]
    # ffmpeg leaves the padding on: its frames run on past the valid ones.
    check(len(before) == valid * 2 and len(theirs) >= len(before) and snr_db(theirs, before) > 40,
          "the trimmed file plays ffmpeg's frames: %d samples, ffmpeg %d, %.1f dB" %
          (len(before), len(theirs), snr_db(theirs, before)))
    run("tag", windows_path(m4a), "title=New")
    check(mp4_chapter_titles(m4a) == ([], []), "an edit adds no chapter: %s" % (mp4_chapter_titles(m4a),))
    check(decoded(m4a)[2] == before, "after the edit it plays the same frames")

    # A file an earlier edit gave one chapter named after its title, at the
    # presentation start: it still plays from its first sample, also after
    # another edit.
    held = os.path.join(work, "trimmed-chapter.m4a")
    write_with_user_data_box(m4a, held, b"chpl", b"\x01" + bytes(4) + struct.pack(">IQB", 1, 0, 3) + b"New")
    check(mp4_chapter_titles(held) == (["New"], ["New"]), "the one-chapter list is read by ffprobe and mutagen")
    check(decoded(held)[2] == before, "with its one chapter it plays from its first sample")
    run("tag", windows_path(held), "title=Newer")
    check(decoded(held)[2] == before, "and so after another edit")


def played(work, *paths):
    """(the float samples of the one device stream `zorvtool play` opened,
    from its first sound; where the player said its output ran dry). Wine
    mixes at 48 kHz float."""
    capture = os.path.join(work, "capture-%s.wav" % os.path.basename(paths[0]))
    env = dict(os.environ, AUDIO_CAPTURE="|cat >> " + capture)
    done = subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, "play", *[windows_path(p) for p in paths]],
                          capture_output=True, text=True, env=env, timeout=120)
    check(done.returncode == 0 and done.stdout.strip().endswith("stopped 1"), "play ends by itself: " + done.stdout)
    data = open(capture, "rb").read()
    check(data.count(b"RIFF") == 1, "the files share one device stream")
    payload = data[data.index(b"data") + 8:]
    return from_first_sound(array.array("f", payload[:len(payload) // 4 * 4])), player_underruns(done.stdout)


def from_first_sound(samples):
    """Stereo samples from the first frame that is not silent."""
    first = next((i for i, v in enumerate(samples) if v != 0.0), len(samples))
    return list(samples[first - first % 2:])


def check_heard(what, expected, played_sound, same=lambda a, b: a == b):
    """Checks that the sound heard is the sound expected, once the silence a
    busy machine put into the capture is taken out; says which it was."""
    # Wine drops the last few milliseconds when a device closes.
    tail = 48000 // 20 * 2
    heard, underruns = played_sound
    kept, gaps = without_machine_gaps(expected, heard, underruns, same)
    note_machine_gaps(what, gaps, underruns)
    kept = kept[:len(expected)]
    differs = next((n for n, (a, b) in enumerate(zip(expected, kept)) if not same(a, b)), None)
    fault = "" if differs is None else "; from %.3f s on the player's sound is not the file's: a decoding fault" % (
        differs / 96000)
    check(len(kept) >= len(expected) - tail and differs is None,
          "%s (%d of %d samples%s)" % (what, len(kept), len(expected), fault))


def test_play(work):
    source = os.path.join(work, "play.wav")
    tool("sox", "-n", "-r", "48000", "-b", "16", "-c", "2", source, "synth", "1.5", "sine", "300", "sine", "450",
         "vol", "0.5")
    m4a = os.path.join(work, "play.m4a")
    tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "alac", m4a)
    expected = from_first_sound([x / 32768.0 for x in wav(source)[2]])
    check_heard("an ALAC .m4a is heard bit-exact", expected, played(work, m4a))

    # Two AAC files cut from one signal play as one: what is heard is their
    # two decodes back to back, with nothing between them.
    halves = []
    for i, (start, length) in enumerate(((0, 1.25), (1.25, 1.25))):
        part = os.path.join(work, "play-half%d.wav" % i)
        tool("sox", source, part, "trim", str(start), str(length))
        halves.append(aac_with_gapless_record(work, "play-half%d.m4a" % i, part, int(length * 48000)))
    joined = from_first_sound(list(decoded(halves[0])[2]) + list(decoded(halves[1])[2]))
    check_heard("two AAC halves are heard without a gap", joined, played(work, *halves),
                lambda a, b: abs(a - b) < 1e-5)


def main():
    with tempfile.TemporaryDirectory() as work:
        test_apple_lossless(work)
        test_aac(work)
        test_chapters_and_refusals(work)
        test_retag(work)
        test_edit_of_a_trimmed_file(work)
        test_play(work)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
