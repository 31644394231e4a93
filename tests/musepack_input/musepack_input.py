#!/usr/bin/python3
"""Black-box runs of zorvtool on Musepack files made here by mpcenc, with
chapters added by mpcchap, checked against mpcdec and mutagen.

usage: musepack_input.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

ZORV_MUSEPACK_KILLS sets how many writes are killed at random moments (32
by default).
"""
import array
import hashlib
import json
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import wave
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, wait_until_wine_lets_go, windows_path, zorvtool_runner  # noqa: E402
from damaged_streams import mpc_cut_in_last_audio_packet, mpc_cut_in_seek_table, mpc_header_grown, mpc_packets  # noqa: E402,E501
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tag_write_safety"))
from tag_files import ape_footer_claiming_audio, ape_tag, musepack_sv7  # noqa: E402
import apev2_layouts  # noqa: E402
from musepack_chapters import FILE_TAGS, make_cue_chaptered as make_chaptered_from_sheet  # noqa: E402
from mutagen.apev2 import APEv2  # noqa: E402
from mutagen.musepack import Musepack  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
RATE = 44100
# The chapters mpcchap writes: the first starts after the stream's start.
CHAPTERS = "[44100]\nTITLE=One\nARTIST=Art\nALBUM=Alb\n[132300]\nTITLE=Two\nARTIST=Art\nALBUM=Alb\n"


def zorvtool_cmd(*args):
    return [WINE_EXEC, BUILD_DIR, ZORVTOOL, *args]


zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def info_of(path):
    result = zorvtool("info", windows_path(path), ok=False)
    return json.loads(result.stdout)["subsongs"] if result.returncode == 0 else {"error": result.stderr}


def field(info, name):
    """A field's values, its name compared without regard to case."""
    for key, values in info.get("fields", {}).items():
        if key.lower() == name:
            return values
    return None


def samples(wav_path):
    with wave.open(wav_path) as w:
        data = array.array("h", w.readframes(w.getnframes()))
        return data, w.getnchannels()


def decode(folder, path, *options):
    out = os.path.join(folder, "decoded.wav")
    result = zorvtool("decode", windows_path(path), windows_path(out), "--bits", "16", *options, ok=False)
    if result.returncode != 0:
        return None, result.stderr
    return samples(out)[0], result.stderr


def reference(folder, path):
    out = os.path.join(folder, "reference.wav")
    tool("mpcdec", path, out)
    return samples(out)


def reference_md5(folder, path):
    return hashlib.md5(reference(folder, path)[0].tobytes()).hexdigest()


def max_difference(a, b):
    if a is None or len(a) != len(b):
        return "lengths %s and %d" % (None if a is None else len(a), len(b))
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def make_fixtures(folder):
    wav = os.path.join(folder, "src.wav")
    tool("sox", "-n", "-r", str(RATE), "-c", "2", "-b", "16", wav, "synth", "6", "sine", "440", "sine", "550")
    plain = os.path.join(folder, "plain.mpc")
    tool("mpcenc", "--silent", "--overwrite", wav, plain)
    mono_wav = os.path.join(folder, "mono.wav")
    tool("sox", "-n", "-r", "32000", "-c", "1", "-b", "16", mono_wav, "synth", "2", "sine", "300")
    mono = os.path.join(folder, "mono.mpc")
    tool("mpcenc", "--silent", "--overwrite", mono_wav, mono)
    chaptered = os.path.join(folder, "chapters.mpc")
    shutil.copy(plain, chaptered)
    ini = os.path.join(folder, "chapters.ini")
    open(ini, "w").write(CHAPTERS)
    tool("mpcchap", chaptered, ini)
    return plain, mono, chaptered


def chapter_starts(folder, path):
    dump = os.path.join(folder, "dump.ini")
    if os.path.exists(dump):
        os.remove(dump)
    tool("mpcchap", path, dump)
    return [int(line.strip()[1:-1]) for line in open(dump) if line.startswith("[")]


def check_decoding(folder, plain, mono, chaptered):
    for name, path in (("stereo", plain), ("mono", mono)):
        ref, channels = reference(folder, path)
        got, err = decode(folder, path)
        check(max_difference(got, ref) in (0, 1), "%s: whole decode within 1 LSB of mpcdec: %s %s" %
              (name, max_difference(got, ref), err))
        got, err = decode(folder, path, "--seek", "1.5")
        skip = int(1.5 * (RATE if name == "stereo" else 32000)) * channels
        check(max_difference(got, ref[skip:]) in (0, 1), "%s: decode after a seek within 1 LSB: %s %s" %
              (name, max_difference(got, ref[skip:]), err))
    ref, channels = reference(folder, chaptered)
    subsongs = info_of(chaptered)
    check([s.get("subsong") for s in subsongs] == [1, 2], "chapters are subsongs 1 and 2: %s" % subsongs)
    if len(subsongs) == 2:
        lengths = [round(s["info"].get("length", 0), 3) for s in subsongs]
        check(lengths == [2.0, 3.0], "chapter lengths run from start to start: %s" % lengths)
        titles = [field(s["info"], "title") for s in subsongs]
        check(titles == [["One"], ["Two"]], "chapter titles from their tags: %s" % titles)
    got, err = decode(folder, chaptered, "--subsong", "1")
    want = ref[44100 * channels:132300 * channels]
    check(max_difference(got, want) in (0, 1), "chapter 1 plays exactly its samples: %s %s" %
          (max_difference(got, want), err))
    got, err = decode(folder, chaptered, "--subsong", "2", "--seek", "10")
    check((got is not None and len(got) == 0) or "no audio" in err, "a seek past the chapter's end plays nothing: %s" %
          (err if got is None else len(got)))
    tech = info_of(plain)[0]["info"]
    check(tech.get("technical", {}).get("codec") == "Musepack" and tech.get("technical", {}).get("streamversion") == "8",
          "technical fields: %s" % tech.get("technical"))


def check_cut_files(folder, plain):
    """A file cut anywhere plays its whole frames before the cut and ends cleanly."""
    ref, _ = reference(folder, plain)
    data = open(plain, "rb").read()
    for percent in (25, 50, 75, 95):
        cut = os.path.join(folder, "cut%d.mpc" % percent)
        open(cut, "wb").write(data[:len(data) * percent // 100])
        got, err = decode(folder, cut)
        played = 0 if got is None else len(got)
        check(got is not None and played >= len(ref) * (percent - 20) // 100 and
              max_difference(got, ref[:played]) in (0, 1),
              "cut at %d%%: %d of %d samples play, as mpcdec's (%s)" % (percent, played, len(ref), err.strip()))


def check_replaygain(folder, plain):
    path = os.path.join(folder, "gain.mpc")
    shutil.copy(plain, path)
    tool("mpcgain", path)
    header_gain = Musepack(path).info.title_gain
    shown = info_of(path)[0]["info"].get("replaygain", {})
    check(shown.get("track_gain") is not None and abs(shown["track_gain"] - header_gain) < 0.01,
          "the header's gain is shown: %s, mutagen %s" % (shown, header_gain))
    size, md5 = os.path.getsize(path), reference_md5(folder, path)
    result = zorvtool("tag", windows_path(path), "replaygain_track_gain=-3.25 dB",
                      "replaygain_track_peak=0.5", "replaygain_album_gain=-4.00 dB", ok=False)
    info = Musepack(path).info
    check(result.returncode == 0 and os.path.getsize(path) == size,
          "ReplayGain goes into the header, size kept: %s" % result.stderr)
    check(abs(info.title_gain - -3.25) < 0.01 and abs(info.album_gain - -4.0) < 0.01,
          "mutagen reads the new gains: %s %s" % (info.title_gain, info.album_gain))
    # mutagen scales peaks by 65535 where the stream's own decoder uses 32768.
    shown = info_of(path)[0]["info"].get("replaygain", {})
    check(shown.get("track_peak") is not None and abs(shown["track_peak"] - 0.5) < 0.001 and
          abs(info.title_peak * 65535 / 32768 - 0.5) < 0.001, "the new peak reads back: %s, mutagen %s" %
          (shown, info.title_peak))
    check(reference_md5(folder, path) == md5, "audio unchanged by the ReplayGain write")


def check_gain_items_of_other_programs(folder, plain):
    """ReplayGain items another program wrote into the APEv2 tag of SV8 and
    SV7 streams stay byte for byte through a title edit, as the stream
    does; an edit of the track gain changes its item and the header, and
    leaves the other items."""
    items = [("REPLAYGAIN_TRACK_GAIN", "-6.095000 dB"), ("REPLAYGAIN_TRACK_PEAK", "0.912345"),
             ("REPLAYGAIN_ALBUM_GAIN", "-5.500000 dB"), ("Title", "Old")]
    for name, stream in (("sv8", open(plain, "rb").read()), ("sv7", musepack_sv7())):
        path = os.path.join(folder, "gain-items-%s.mpc" % name)
        with open(path, "wb") as f:
            f.write(stream + ape_tag(items))
        before = apev2_layouts.items(open(path, "rb").read())
        result = zorvtool("tag", windows_path(path), "title=New", ok=False)
        data = open(path, "rb").read()
        after = apev2_layouts.items(data)
        check(result.returncode == 0 and data[:len(stream)] == stream and after[:3] == before[:3] and
              after[3:] == [("Title", 0, b"New")], "%s: the gain items and the stream stay through a title edit: %r" %
              (name, after))
        probe = ffprobe_tags(path)
        check(probe.get("replaygain_track_gain") == "-6.095000 dB" and probe.get("title") == "New",
              "%s: ffprobe reads the items: %r" % (name, probe))
        result = zorvtool("tag", windows_path(path), "replaygain_track_gain=-2.00 dB", ok=False)
        gained = dict(APEv2(path))
        check(result.returncode == 0 and str(gained["REPLAYGAIN_TRACK_GAIN"]) == "-2.00 dB" and
              str(gained["REPLAYGAIN_ALBUM_GAIN"]) == "-5.500000 dB" and abs(Musepack(path).info.title_gain + 2) < 0.01,
              "%s: the gain edit reaches the item and the header: %r" % (name, dict(gained)))


def check_tags(folder, plain):
    path = os.path.join(folder, "tags.mpc")
    shutil.copy(plain, path)
    md5 = reference_md5(folder, path)
    result = zorvtool("tag", windows_path(path), "title=Hello", "artist=A", "artist=B", "album=Ä", ok=False)
    tags = APEv2(path)
    check(result.returncode == 0 and str(tags.get("Title")) == "Hello" and list(tags.get("Artist")) == ["A", "B"] and
          str(tags.get("Album")) == "Ä", "mutagen reads the APEv2 tag: %s %s" % (result.stderr, dict(tags)))
    result = zorvtool("tag", windows_path(path), "-title", "-artist", "-album", ok=False)
    check(result.returncode == 0 and os.path.getsize(path) == os.path.getsize(plain),
          "removing every field removes the tag")
    check(reference_md5(folder, path) == md5, "audio unchanged by the tag writes")


def check_chapter_edits(folder, chaptered):
    path = os.path.join(folder, "edit.mpc")
    shutil.copy(chaptered, path)
    md5 = reference_md5(folder, path)
    result = zorvtool("tag", windows_path(path), "--subsong", "2", "title=Zwei", ok=False)
    check(result.returncode == 0, "chapter edit succeeds: %s" % result.stderr)
    check(chapter_starts(folder, path) == [44100, 132300], "each chapter keeps its start: %s" %
          chapter_starts(folder, path))
    check(reference_md5(folder, path) == md5, "audio unchanged by the chapter edit")
    titles = [field(s["info"], "title") for s in info_of(path)]
    check(titles == [["One"], ["Zwei"]], "chapter titles after the edit: %s" % titles)
    albums = [field(s["info"], "album") for s in info_of(path)]
    check(albums == [["Alb"], ["Alb"]] and file_tag(path) is None,
          "the album the chapters share stays theirs, the file gets no tag of its own: %s %s" %
          (albums, file_tag(path)))

    # Without the stream-end packet there is nowhere to put the chapters.
    cut = os.path.join(folder, "no_end.mpc")
    data = open(chaptered, "rb").read()
    end = data.rfind(b"SE\x03")
    open(cut, "wb").write(data[:end] + data[end + 3:])
    before = open(cut, "rb").read()
    result = zorvtool("tag", windows_path(cut), "--subsong", "1", "title=never", ok=False)
    check(open(cut, "rb").read() == before, "no stream end: chapter edit leaves the file unchanged (%d %s)" %
          (result.returncode, result.stderr.strip()))


def file_tag(path):
    """The file's own APEv2 tag as mutagen reads it; None when it has none."""
    try:
        return {key: str(value) for key, value in APEv2(path).items()}
    except Exception:  # noqa: BLE001 (mutagen's "no APE tag" and its errors alike)
        return None


def chapter_packets(path):
    """The bytes of each chapter packet, in order."""
    data = open(path, "rb").read()
    return [data[at:at + size] for key, at, size in mpc_packets(data) if key == b"CT"]


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path],
                         capture_output=True, text=True).stdout
    return {key.lower(): value for key, value in json.loads(out or "{}").get("format", {}).get("tags", {}).items()}


def make_cue_chaptered(folder):
    path = os.path.join(folder, "cue_chapters.mpc")
    make_chaptered_from_sheet(os.path.join(folder, "src.wav"), path,
                              sheet_header='PERFORMER "Chapter Artist"\nTITLE "The Album"\n')
    return path


def check_chapter_edits_keep_the_files_tag(folder):
    """Edits of a cue sheet's chapters change only the values edited: one
    that changes nothing writes nothing, one chapter's title goes into its
    own packet alone, a value changed on every chapter goes where every
    reader finds it, and a removal the file's tag would undo is refused."""
    source = make_cue_chaptered(folder)
    check(file_tag(source) == FILE_TAGS, "mpcenc wrote the file's tag: %s" % file_tag(source))
    path = os.path.join(folder, "cue_edit.mpc")
    for name, changes in (("a chapter's own title written back", ["--subsong", "3", "title=Third"]),
                          ("a field no one holds removed", ["-composer"]),
                          ("the file's own album written to every chapter", ["album=The Album"])):
        shutil.copy(source, path)
        result = zorvtool("tag", windows_path(path), *changes, ok=False)
        check(result.returncode == 0 and open(path, "rb").read() == open(source, "rb").read(),
              "%s writes nothing: %s" % (name, result.stderr.strip()))

    shutil.copy(source, path)
    result = zorvtool("tag", windows_path(path), "--subsong", "3", "title=Dritte", ok=False)
    check(result.returncode == 0, "one chapter retitled: %s" % result.stderr.strip())
    check(file_tag(path) == FILE_TAGS, "one chapter retitled: the file's tag as it was: %s" % file_tag(path))
    probed = ffprobe_tags(path)
    check(probed.get("title") == "File Title" and probed.get("artist") == "File Artist",
          "one chapter retitled: ffprobe reads the file's title and artist: %s" % probed)
    check(chapter_packets(path)[:2] == chapter_packets(source)[:2],
          "one chapter retitled: the other chapters' packets are byte-identical")
    subsongs = info_of(path)
    check([field(s["info"], "title") for s in subsongs] == [["First"], ["Second"], ["Dritte"]] and
          [field(s["info"], "tracknumber") for s in subsongs] == [["1"], ["2"], ["3"]],
          "one chapter retitled: the chapters read back: %s" % subsongs)

    shutil.copy(source, path)
    result = zorvtool("tag", windows_path(path), "artist=New Artist", "genre=Blues", ok=False)
    check(result.returncode == 0 and file_tag(path) == dict(FILE_TAGS, Artist="New Artist", Genre="Blues"),
          "an artist and genre set on every chapter reach the file's tag, nothing else changes: %s %s" %
          (result.stderr.strip(), file_tag(path)))
    check([field(s["info"], "artist") for s in info_of(path)] == [["New Artist"]] * 3,
          "an artist set on every chapter: every chapter reads it")

    shutil.copy(source, path)
    result = zorvtool("tag", windows_path(path), "--subsong", "2", "-genre", ok=False)
    check(result.returncode != 0 and "The Genre of chapter 2" in result.stderr and
          open(path, "rb").read() == open(source, "rb").read(),
          "a genre removed from one chapter, which the file's tag gives it, is refused untouched, the field "
          "named as the tag editor shows it: %s" % result.stderr.strip())
    # A field beyond the standard ones too, as the tag editor lists it.
    shutil.copy(source, path)
    zorvtool("tag", windows_path(path), "mood=Calm")
    before = open(path, "rb").read()
    result = zorvtool("tag", windows_path(path), "--subsong", "2", "-mood", ok=False)
    check(result.returncode != 0 and "The <MOOD> of chapter 2" in result.stderr and open(path, "rb").read() == before,
          "a mood removed from one chapter is refused untouched, named as the tag editor shows it: %s" %
          result.stderr.strip())


def run_bounded(*args):
    """zorvtool's exit status, or None when it ran past a minute."""
    try:
        return subprocess.run(zorvtool_cmd(*args), capture_output=True, timeout=60).returncode
    except subprocess.TimeoutExpired:
        return None


def check_damaged_chapter_packets(folder):
    """A chapter packet whose size byte is 0: info, tag, decode and a
    library scan end cleanly, the chapters before it still there."""
    source = make_cue_chaptered(folder)
    data = open(source, "rb").read()
    chapters = [at for key, at, size in mpc_packets(data) if key == b"CT"]
    for n, at in enumerate(chapters):
        scan_folder = os.path.join(folder, "damaged%d" % n)
        os.makedirs(scan_folder, exist_ok=True)
        path = os.path.join(scan_folder, "damaged.mpc")
        damaged = data[:at + 2] + b"\0" + data[at + 3:]
        open(path, "wb").write(damaged)
        name = "chapter %d's size byte 0" % (n + 1)
        codes = {"info": run_bounded("info", windows_path(path)),
                 "decode": run_bounded("decode", windows_path(path), windows_path(path + ".wav")),
                 "tag": run_bounded("tag", windows_path(path), "--subsong", "1", "title=X"),
                 "scan": run_bounded("scan", windows_path(scan_folder))}
        check(all(code in (0, 1, 2) for code in codes.values()), "%s: every command ends cleanly: %s" % (name, codes))
        if codes["tag"] != 0:
            check(open(path, "rb").read() == damaged, "%s: a refused write leaves the file" % name)
        if codes["info"] == 0:
            subsongs = info_of(path)
            count = len(subsongs) if isinstance(subsongs, list) else subsongs
            check(count == (n if n > 0 else 1), "%s: the chapters before it are read: %s" % (name, count))


def check_cut_chapter_packets(folder):
    """A file cut inside a chapter packet, as an interrupted copy leaves it: a
    tag written after the cut is never read as that chapter, and an edit of
    the chapters before it, which would lose the cut one, is refused saying
    why."""
    data = open(make_cue_chaptered(folder), "rb").read()
    path = os.path.join(folder, "cut_chapter.mpc")
    for n, (at, size) in enumerate((at, size) for key, at, size in mpc_packets(data) if key == b"CT"):
        cut = data[:at + size // 2]
        open(path, "wb").write(cut)
        result = zorvtool("tag", windows_path(path), "title=Written", ok=False)
        name = "cut inside chapter %d" % (n + 1)
        if result.returncode != 0:
            check(open(path, "rb").read() == cut and "chapter of the file is damaged" in result.stderr,
                  "%s: refused saying why, the file unchanged: %s" % (name, result.stderr.strip()))
            continue
        titles = [field(subsong["info"], "title") for subsong in info_of(path)]
        check(titles == [["Written"]], "%s: the title written is the file's, no chapter's: %s" % (name, titles))

def check_appended_second_tag(folder):
    """A second complete APEv2 tag appended after the file's own, with and
    without chapters: a write leaves a tag mutagen and ffprobe read as
    written, or is refused with the file unchanged."""
    plain = os.path.join(folder, "tagged.mpc")
    tags = [arg for name, value in FILE_TAGS.items() for arg in ("--tag", "%s=%s" % (name, value))]
    tool("mpcenc", "--silent", "--overwrite", *tags, os.path.join(folder, "src.wav"), plain)
    for kind, source in (("chapters", make_cue_chaptered(folder)), ("no chapters", plain)):
        data = open(source, "rb").read()
        stacked = data + data[data.rfind(b"APETAGEX", 0, len(data) - 32):]
        path = os.path.join(folder, "stacked.mpc")
        for changes, expected in ((["-" + name.lower() for name in FILE_TAGS], None),
                                  (["title=New"], dict(FILE_TAGS, Title="New"))):
            open(path, "wb").write(stacked)
            result = zorvtool("tag", windows_path(path), *changes, ok=False)
            name = "%s, stacked tags, %s" % (kind, " ".join(changes))
            if result.returncode != 0:
                check(open(path, "rb").read() == stacked and "second APEv2 tag" in result.stderr,
                      "%s: refused saying why, the file unchanged: %s" % (name, result.stderr.strip()))
                continue
            check(file_tag(path) == expected, "%s: mutagen reads the tag as written: %s" % (name, file_tag(path)))
            check(ffprobe_tags(path) == {k.lower(): v for k, v in (expected or {}).items()},
                  "%s: ffprobe reads it too: %s" % (name, ffprobe_tags(path)))


def check_damage(folder, plain):
    huge = os.path.join(folder, "huge.mpc")
    shutil.copy(plain, huge)
    os.truncate(huge, 2 ** 31 + 4096)
    result = zorvtool("info", windows_path(huge), ok=False)
    check(result.returncode != 0 and result.stderr.strip() != "",
          "a file of 2 GiB is refused with an error: %s" % result.stderr)
    os.remove(huge)

    # A stream header claiming more leading silence than samples (5 samples,
    # 127 silent), its checksum made to match.
    data = bytearray(open(plain, "rb").read())
    sample_count_in_three_bytes = data[12] & 0x80 and data[13] & 0x80 and not data[14] & 0x80
    if data[4:7] == b"SH\x0e" and sample_count_in_three_bytes and not data[15] & 0x80:
        data[12:16] = b"\x80\x80\x05\x7f"
        data[7:11] = zlib.crc32(bytes(data[11:18])).to_bytes(4, "big")
        crafted = os.path.join(folder, "silence.mpc")
        open(crafted, "wb").write(data)
        subsongs = info_of(crafted)
        length = subsongs[0]["info"].get("length") if isinstance(subsongs, list) else subsongs
        check(length == 0, "more leading silence than samples: length 0, not a wrapped count: %s" % length)
    else:
        check(False, "the encoder's stream header has the expected layout: %s" % data[4:18].hex())


def expect_refused_or_same_audio(folder, name, path, changes):
    before = open(path, "rb").read()
    md5 = reference_md5(folder, path)
    result = zorvtool("tag", windows_path(path), *changes, ok=False)
    after = open(path, "rb").read()
    if result.returncode != 0:
        check(after == before and result.stderr.strip() != "",
              "%s: a refused write says why and changes nothing (%d bytes cut)"
              % (name, len(before) - len(after)))
    else:
        try:
            same = reference_md5(folder, path) == md5
        except subprocess.CalledProcessError:
            same = False  # mpcdec no longer decodes it
        check(same, "%s: a write that went through kept the audio" % name)
    return result.returncode


def check_tags_over_audio(folder, wav):
    """Trailing tags that claim audio bytes are damage: a write is refused
    whole, in both stream versions, as for the other formats."""
    sv8 = os.path.join(folder, "tagged8.mpc")
    tool("mpcenc", "--silent", "--overwrite", "--tag", "Title=Only", wav, sv8)
    sv7 = musepack_sv7() + ape_tag([("Title", "Only")])
    for version, data in (("sv8", open(sv8, "rb").read()), ("sv7", sv7)):
        for extra in (20, 2000):
            for changes in (["-title"], ["-title", "artist=Kept"]):
                path = os.path.join(folder, "over.mpc")
                open(path, "wb").write(ape_footer_claiming_audio(data, extra))
                code = expect_refused_or_same_audio(folder, "%s footer %d bytes over the audio, %s" %
                                                    (version, extra, " ".join(changes)), path, changes)
                check(code != 0, "%s: a footer reaching %d bytes over the audio refuses %s" %
                      (version, extra, changes))
    # Cut just after the tag's header: that header is the last block.
    data = open(sv8, "rb").read()
    path = os.path.join(folder, "cut_after_header.mpc")
    open(path, "wb").write(data[:data.rfind(b"APETAGEX", 0, len(data) - 32) + 32])
    expect_refused_or_same_audio(folder, "sv8 cut after the tag's header", path, ["-title"])


def check_sv7_header_kept(folder):
    """A write changes only the bytes it means to: the stored peaks stay as
    they were, through a write and through a refused one."""
    path = os.path.join(folder, "sv7.mpc")
    data = musepack_sv7(peak=0x1D67)
    open(path, "wb").write(data)
    subsongs = info_of(path)
    check(isinstance(subsongs, list) and subsongs[0]["info"].get("technical", {}).get("streamversion") == "7",
          "the hand-made version 7 stream opens: %s" % subsongs)
    result = zorvtool("tag", windows_path(path), "title=Seven", ok=False)
    after = open(path, "rb").read()
    check(result.returncode == 0 and after[:len(data)] == data,
          "a tag write leaves the version 7 stream byte for byte (%s): %s" %
          (result.stderr.strip(), after[:28].hex()))
    open(path, "wb").write(ape_footer_claiming_audio(after, 20))
    before = open(path, "rb").read()
    result = zorvtool("tag", windows_path(path), "title=Refused", "replaygain_track_gain=-1.00 dB", ok=False)
    check(result.returncode != 0 and open(path,
          "rb").read() == before, "a refused write leaves the header's gain and peaks")


def check_kills(folder, plain, chaptered):
    count = int(os.environ.get("ZORV_MUSEPACK_KILLS", "32"))
    env = dict(os.environ, ZORV_TEST_WRITE_PAUSE_MS="40")
    writes = [
        ("tag", plain, ["title=old"], ["title=new", "artist=killed"]),
        ("gain", plain, ["replaygain_track_gain=-1.00 dB"], ["replaygain_track_gain=-5.00 dB"]),
        ("chapter", chaptered, ["--subsong", "1", "title=old"], ["--subsong", "1", "title=new"]),
        # The chapter's packet changes in length: the tail is rewritten.
        ("shared", chaptered, ["--subsong", "1", "title=old", "artist=Own"],
         ["--subsong", "1", "title=new", "artist=Art"]),
    ]
    sources = {}
    for name, origin, old, new in writes:
        source = os.path.join(folder, "kill_source_%s.mpc" % name)
        shutil.copy(origin, source)
        zorvtool("tag", windows_path(source), *old)
        # The kills fall between the time the write takes without the pauses
        # and the time it takes with them.
        spans = []
        for pause_env in (None, env):
            probe = os.path.join(folder, "probe.mpc")
            shutil.copy(source, probe)
            started = time.monotonic()
            subprocess.run(zorvtool_cmd("tag", windows_path(probe), *new), env=pause_env, capture_output=True)
            spans.append(time.monotonic() - started)
        sources[name] = (source, reference_md5(folder, source), spans[0] * 0.8, spans[1] + 0.05)
    rng = random.Random(45)
    bad, outcomes = [], {}
    for i in range(count):
        name, _, old, new = writes[i % len(writes)]
        source, md5, earliest, latest = sources[name]
        target = os.path.join(folder, "kill.mpc")
        shutil.copy(source, target)
        child = subprocess.Popen(zorvtool_cmd("tag", windows_path(target), *new), env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(earliest, latest))
        child.kill()
        child.wait()
        wait_until_wine_lets_go(target)
        try:
            if name == "gain":
                value = round(Musepack(target).info.title_gain, 2)
                ok = value in (-1.0, -5.0)
            elif name == "shared":
                subsongs = info_of(target)
                value = [[field(s["info"], key) for key in ("title", "artist")] for s in subsongs]
                ok = value in ([[["old"], ["Own"]], [["Two"], ["Art"]]], [[["new"], ["Art"]], [["Two"], ["Art"]]])
            else:
                subsongs = info_of(target)
                value = field(subsongs[0]["info"], "title")
                ok = value in (["old"], ["new"])
            ok = ok and reference_md5(folder, target) == md5
        except Exception as e:  # noqa: BLE001
            value, ok = "unreadable: %s" % e, False
        outcomes[(name, str(value))] = outcomes.get((name, str(value)), 0) + 1
        if not ok:
            bad.append((i, name, value))
    print("killed writes by what they left:", outcomes)
    check(not bad, "%d killed writes: same audio, old or new values: %s" % (count, bad[:5]))


def check_damage_outside_the_audio(folder, plain):
    """A cut seek table costs the seek table, with a warning; a header grown
    since the seek table was written plays from its start as mpcdec plays it."""
    ref, _ = reference(folder, plain)
    data = open(plain, "rb").read()
    path = os.path.join(folder, "cut_table.mpc")
    open(path, "wb").write(mpc_cut_in_seek_table(data))
    out = os.path.join(folder, "decoded.wav")
    result = zorvtool("decode", windows_path(path), windows_path(out), "--bits", "16", ok=False)
    got = samples(out)[0] if result.returncode == 0 else None
    check(max_difference(got, ref) in (0, 1) and "seek table" in result.stderr,
          "cut inside the seek table: every frame plays, with a warning (%s)" % result.stderr.strip())
    check(isinstance(info_of(path), list), "cut inside the seek table: the info reads: %s" % info_of(path))
    got, err = decode(folder, path, "--seek", "2")
    check(max_difference(got, ref[2 * RATE * 2:]) in (0, 1), "cut inside the seek table: a seek lands: %s %s" %
          (max_difference(got, ref[2 * RATE * 2:]), err))

    path = os.path.join(folder, "grown_header.mpc")
    open(path, "wb").write(mpc_header_grown(data))
    ref, _ = reference(folder, path)
    got, err = decode(folder, path)
    check(max_difference(got, ref) in (0, 1), "a header grown since the seek table plays as mpcdec's: %s %s" %
          (max_difference(got, ref), err))
    for seconds in (1.5, 4):
        got, err = decode(folder, path, "--seek", str(seconds))
        skip = int(seconds * RATE) * 2
        check(max_difference(got, ref[skip:]) in (0, 1) and "seek table" in err,
              "a header grown since the seek table: a seek to %s s lands, with a warning: %s %s" %
              (seconds, max_difference(got, ref[skip:]), err.strip()))


def check_tag_after_a_cut(folder, plain):
    """A tag written to a file cut inside its last audio packet lies where the
    cut packet claims more bytes: it must never play as audio, and it can be
    removed again."""
    cut = mpc_cut_in_last_audio_packet(open(plain, "rb").read())
    path = os.path.join(folder, "cut_tagged.mpc")
    open(path, "wb").write(cut)
    before, err = decode(folder, path)
    check(before is not None, "the cut file plays: %s" % err)
    result = zorvtool("tag", windows_path(path), "comment=" + "long comment " * 2000, ok=False)
    after, err = decode(folder, path)
    if result.returncode == 0:
        check(after == before, "a long tag after a cut plays no noise: %s of %s samples (%s)" %
              (None if after is None else len(after), len(before or []), err))
        result = zorvtool("tag", windows_path(path), "-comment", ok=False)
        check(result.returncode == 0 and open(path, "rb").read() == cut,
              "the tag comes off again, leaving the cut file: %s" % result.stderr.strip())
    else:
        check(open(path, "rb").read() == cut, "a refused write leaves the cut file")


def check_linux_paths(folder, plain):
    """Every subcommand takes a path as the system gives it."""
    out = os.path.join(folder, "linux_path.wav")
    path = os.path.join(folder, "linux_path.mpc")
    shutil.copy(plain, path)
    for args in (("info", path), ("decode", path, out), ("tag", path, "title=Linux")):
        result = zorvtool(*args, ok=False)
        check(result.returncode == 0, "%s takes a Linux path: %s" % (args[0], result.stderr.strip()))


def main():
    with tempfile.TemporaryDirectory() as folder:
        plain, mono, chaptered = make_fixtures(folder)
        check_decoding(folder, plain, mono, chaptered)
        check_cut_files(folder, plain)
        check_replaygain(folder, plain)
        check_gain_items_of_other_programs(folder, plain)
        check_tags(folder, plain)
        check_chapter_edits(folder, chaptered)
        check_chapter_edits_keep_the_files_tag(folder)
        check_damaged_chapter_packets(folder)
        check_cut_chapter_packets(folder)
        check_appended_second_tag(folder)
        check_damage(folder, plain)
        check_tags_over_audio(folder, os.path.join(folder, "src.wav"))
        check_sv7_header_kept(folder)
        check_damage_outside_the_audio(folder, plain)
        check_tag_after_a_cut(folder, plain)
        check_linux_paths(folder, plain)
        check_kills(folder, plain, chaptered)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


sys.exit(main())
