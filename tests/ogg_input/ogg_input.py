#!/usr/bin/python3
"""Ogg Vorbis, Opus and FLAC through zorvtool, against oggdec, opusdec and the native FLAC decode.

usage: ogg_input.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import base64
import json
import math
import os
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path, zorvtool_runner  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def info(path):
    return json.loads(zorvtool("info", windows_path(path)).stdout)["subsongs"]


def wav_samples(path):
    """Samples of a 16-bit integer or 32-bit float WAV file, and its channel count."""
    with open(path, "rb") as f:
        data = f.read()
    fmt = data.index(b"fmt ")
    channels, = struct.unpack_from("<H", data, fmt + 10)
    bits, = struct.unpack_from("<H", data, fmt + 22)
    start = data.index(b"data") + 8
    size = min(struct.unpack_from("<I", data, start - 4)[0], len(data) - start)
    if bits == 16:
        return struct.unpack("<%dh" % (size // 2), data[start:start + size - size % 2]), channels
    return struct.unpack("<%df" % (size // 4), data[start:start + size - size % 4]), channels


def decoded(path, *options):
    out = path + ".out.wav"
    zorvtool("decode", windows_path(path), windows_path(out), *options)
    samples = wav_samples(out)
    os.remove(out)
    return samples


def tone(work, name, rate, channels, seconds, freq=440):
    path = os.path.join(work, name)
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", "16", path, "synth", str(seconds),
                    "sine", str(freq), "vol", "0.5"], check=True, capture_output=True)
    return path


# The encoders seed their serial numbers from the clock: links made within a
# second would share one, which a chain must not.
serials = iter(range(1000, 2000))


def vorbis(work, name, source, *options):
    path = os.path.join(work, name)
    subprocess.run(["oggenc", "-Q", "--serial", str(next(serials)), *options, source, "-o", path], check=True)
    return path


def opus(work, name, source, *options):
    path = os.path.join(work, name)
    subprocess.run(["opusenc", "--quiet", "--serial", str(next(serials)), *options, source, path], check=True)
    return path


def oggdec(path):
    out = path + ".ref.wav"
    subprocess.run(["oggdec", "-Q", path, "-o", out], check=True)
    samples = wav_samples(out)[0]
    os.remove(out)
    return samples


def opusdec(path):
    out = path + ".ref.wav"
    subprocess.run(["opusdec", "--quiet", "--float", "--rate", "48000", path, out], check=True,
                   capture_output=True)
    samples = wav_samples(out)[0]
    os.remove(out)
    return samples


def max_difference(a, b):
    return max((abs(x - y) for x, y in zip(a, b)), default=0)


def test_single_links(work):
    stereo = tone(work, "stereo.wav", 44100, 2, 3)
    mono48 = tone(work, "mono48.wav", 48000, 1, 1, 300)
    ogg = vorbis(work, "a.ogg", stereo, "-t", "Title A", "-c", "ALBUMARTIST=Someone")
    one_second = opus(work, "one.opus", mono48)
    flac_native = os.path.join(work, "f.flac")
    flac_ogg = os.path.join(work, "f.oga")
    subprocess.run(["flac", "-s", "-f", stereo, "-o", flac_native], check=True)
    subprocess.run(["flac", "-s", "-f", "--ogg", "-T", "TITLE=In Ogg", stereo, "-o", flac_ogg], check=True)

    samples, channels = decoded(ogg, "--bits", "16")
    reference = oggdec(ogg)
    check(channels == 2 and len(samples) == len(reference),
          "Vorbis: length %d, oggdec %d" % (len(samples), len(reference)))
    check(max_difference(samples, reference) <= 1, "Vorbis: within 1 LSB of oggdec")
    fields = info(ogg)[0]["info"]["fields"]
    check(fields.get("ALBUM ARTIST") == ["Someone"], "Vorbis: ALBUMARTIST read as album artist: %s" % fields)

    # Pre-skip 312 and 48,000 granules after it: exactly one second.
    check(info(one_second)[0]["info"]["length"] == 1.0, "Opus: a link of 48,000 granules after pre-skip is 1.0 s")
    samples, _ = decoded(one_second, "--bits", "32")
    reference = opusdec(one_second)
    check(len(samples) == 48000 == len(reference), "Opus: exactly 48,000 frames (%d)" % len(samples))
    check(max_difference(samples, reference) < 1e-5, "Opus: matches opusdec --float")

    check(decoded(flac_ogg, "--bits", "16") == decoded(flac_native, "--bits", "16"),
          "Ogg FLAC: identical to the native FLAC decode")
    check(info(flac_ogg)[0]["info"]["fields"].get("TITLE") == ["In Ogg"], "Ogg FLAC: comment read")


def crossings(samples, channels, channel):
    column = samples[channel::channels]
    return sum(1 for a, b in zip(column, column[1:]) if (a < 0) != (b < 0)) // 2


def test_six_channels(work):
    """Each speaker keeps its own tone: 200 Hz front left ... 700 Hz back right (the LFE is filtered)."""
    source = os.path.join(work, "six.wav")
    subprocess.run(["sox", "-n", "-r", "48000", "-b", "16", "-c", "6", source, "synth", "1", "sine", "200", "sine",
                    "300", "sine", "400", "sine", "500", "sine", "600", "sine", "700", "vol", "0.3"],
                   check=True, capture_output=True)
    samples, channels = decoded(vorbis(work, "six.ogg", source), "--bits", "16")
    tones = [crossings(samples, channels, c) for c in range(channels)]
    check(channels == 6 and all(abs(t - f) <= 2 for t, f in zip(tones, [200, 300, 400, None, 600, 700]) if f),
          "six-channel Vorbis in speaker order: %s" % tones)


def test_chain_and_seek(work):
    stereo = tone(work, "stereo.wav", 44100, 2, 3)
    mono48 = tone(work, "mono48.wav", 48000, 1, 2, 300)
    links = [vorbis(work, "l1.ogg", stereo), vorbis(work, "l2.ogg", mono48, "-q", "2"),
             opus(work, "l3.opus", stereo)]
    chain = os.path.join(work, "chain.ogg")
    with open(chain, "wb") as out:
        for link in links:
            with open(link, "rb") as f:
                out.write(f.read())
    subsongs = info(chain)
    check([s["info"]["technical"]["codec"] for s in subsongs] == ["Vorbis", "Vorbis", "Opus"],
          "chain: one subsong per link")
    check([round(s["info"]["length"], 3) for s in subsongs] == [3.0, 2.0, 3.0], "chain: each link's own length")

    # (subsong, rate, reference, 16-bit tolerance or float tolerance)
    cases = [(0, 44100, oggdec(links[0]), 1), (1, 48000, oggdec(links[1]), 1), (2, 48000, opusdec(links[2]), 1e-4)]
    for subsong, rate, reference, tolerance in cases:
        bits = "16" if tolerance == 1 else "32"
        channels = 1 if subsong == 1 else 2
        length = len(reference) // channels / rate
        for seconds in (0.0, length / 2, length - 1.0):
            samples, _ = decoded(chain, "--subsong", str(subsong), "--bits", bits, "--seek", "%.6f" % seconds)
            expected = reference[int(round(seconds * rate)) * channels:]
            check(len(samples) == len(expected) and max_difference(samples, expected) <= tolerance,
                  "chain link %d: seek to %.3f s lands on the samples of a decode from the start" % (subsong, seconds))


def ogg_pages(path):
    """(offset, sequence number, serial number, header + body bytes) of every page."""
    with open(path, "rb") as f:
        data = f.read()
    pages, offset = [], 0
    while offset < len(data):
        assert data[offset:offset + 4] == b"OggS", "a page starts at %d" % offset
        segments = data[offset + 26]
        size = 27 + segments + sum(data[offset + 27:offset + 27 + segments])
        serial, sequence = struct.unpack_from("<II", data, offset + 14)
        pages.append((offset, sequence, serial, data[offset:offset + size]))
        offset += size
    return pages


def ogginfo_clean(path):
    run = subprocess.run(["ogginfo", path], capture_output=True, text=True)
    return run.returncode == 0 and "WARNING" not in run.stdout and "ERROR" not in run.stdout


def test_retag(work):
    stereo = tone(work, "stereo.wav", 44100, 2, 3)
    original = vorbis(work, "tagged.ogg", stereo, "-t", "A title of some length")
    reference = decoded(original, "--bits", "16")
    retagged = os.path.join(work, "retagged.ogg")
    with open(original, "rb") as f, open(retagged, "wb") as out:
        out.write(f.read())

    zorvtool("tag", windows_path(retagged), "title=A shorter title")
    before, after = ogg_pages(original), ogg_pages(retagged)
    check(os.path.getsize(retagged) == os.path.getsize(original), "a shorter title keeps the file size")
    changed = [i for i, (a, b) in enumerate(zip(before, after)) if a[3] != b[3]]
    check(changed and max(changed) < 3, "only header pages change: %s" % changed)
    check(info(retagged)[0]["info"]["fields"].get("title") == ["A shorter title"], "the new title reads back")

    # Past 64 KiB the comment needs more pages: later pages are renumbered.
    for name in ("comment", "description", "lyrics"):
        zorvtool("tag", windows_path(retagged), name + "=" + "x" * 30000)
    pages = ogg_pages(retagged)
    check(len(pages) > len(before), "a large comment adds header pages")
    check([p[1] for p in pages] == list(range(len(pages))), "pages renumbered in sequence")
    check(ogginfo_clean(retagged), "ogginfo finds the rebuilt file clean")
    check(decoded(retagged, "--bits", "16") == reference, "the audio survives the rebuild")

    # A chain whose second link grows: the first stays byte for byte.
    links = [vorbis(work, "c1.ogg", stereo), opus(work, "c2.opus", stereo), vorbis(work, "c3.ogg", stereo)]
    chain = os.path.join(work, "retag-chain.ogg")
    with open(chain, "wb") as out:
        for link in links:
            with open(link, "rb") as f:
                out.write(f.read())
    first_link = open(links[0], "rb").read()
    zorvtool("tag", windows_path(chain), "title=" + "t" * 5000, "--subsong", "1")
    with open(chain, "rb") as f:
        check(f.read(len(first_link)) == first_link, "editing link 2 leaves link 1 byte-identical")
    subsongs = info(chain)
    check(len(subsongs) == 3 and subsongs[1]["info"]["fields"].get("title") == ["t" * 5000]
          and "title" not in subsongs[2]["info"]["fields"], "only link 2 carries the new title")
    check(ogginfo_clean(chain), "ogginfo finds the rebuilt chain clean")

    # Ogg FLAC: the comment block's length follows its new body.
    flac_ogg = os.path.join(work, "retag.oga")
    subprocess.run(["flac", "-s", "-f", "--ogg", "-T", "TITLE=Old", stereo, "-o", flac_ogg], check=True)
    flac_audio = decoded(flac_ogg, "--bits", "16")
    zorvtool("tag", windows_path(flac_ogg), "title=A new and longer title", "artist=Someone")
    check(subprocess.run(["flac", "-s", "-t", flac_ogg]).returncode == 0 and ogginfo_clean(flac_ogg),
          "Ogg FLAC: retagged file passes flac -t and ogginfo")
    check(info(flac_ogg)[0]["info"]["fields"].get("title") == ["A new and longer title"], "Ogg FLAC: title reads back")
    check(decoded(flac_ogg, "--bits", "16") == flac_audio, "Ogg FLAC: audio unchanged")

    # Opus keeps the album gain as output gain and the track gain as R128.
    # (album, track, output gain, R128_TRACK_GAIN)
    cases = [("-3.0", "-5.5", -2048, "-640"), (None, "1.0", -1024, "0"), (None, None, 0, None)]
    for album, track, output_gain, r128 in cases:
        path = opus(work, "gain.opus", stereo)
        changes = ["replaygain_album_gain=%s dB" % album if album else "-replaygain_album_gain",
                   "replaygain_track_gain=%s dB" % track if track else "-replaygain_track_gain"]
        zorvtool("tag", windows_path(path), *changes)
        with open(path, "rb") as f:
            data = f.read()
        gain, = struct.unpack_from("<h", data, data.index(b"OpusHead") + 16)
        tags = subprocess.run(["opusinfo", path], capture_output=True, text=True).stdout
        check(gain == output_gain, "Opus %s/%s: output gain %d" % (album, track, gain))
        check(("R128_TRACK_GAIN=%s" % r128 in tags) if r128 else "R128_TRACK_GAIN" not in tags,
              "Opus %s/%s: R128_TRACK_GAIN %s" % (album, track, r128))
        read_back = info(path)[0]["info"]["replaygain"]
        if album:
            check(abs(read_back["album_gain"] - float(album)) < 1 / 256
                  and abs(read_back["track_gain"] - float(track)) < 1 / 256, "Opus gains read back")

    # Other taggers leave the output gain at 0 and write both R128 gains,
    # each relative to the output gain.
    from mutagen.oggopus import OggOpus
    path = opus(work, "r128.opus", stereo)
    tagged = OggOpus(path)
    tagged["R128_TRACK_GAIN"], tagged["R128_ALBUM_GAIN"] = "-2560", "-2304"
    tagged.save()
    read_back = info(path)[0]["info"]["replaygain"]
    check(abs(read_back["album_gain"] + 4.0) < 1e-4 and abs(read_back["track_gain"] + 5.0) < 1e-4,
          "Opus R128 album and track gains: %s" % read_back)
    # A title edit leaves the gains as the other tagger wrote them.
    zorvtool("tag", windows_path(path), "title=Saved")
    saved = OggOpus(path)
    check(saved.get("R128_ALBUM_GAIN") == ["-2304"] and saved.get("R128_TRACK_GAIN") == ["-2560"],
          "Opus title edit: R128 tags %s" % dict(saved))
    with open(path, "rb") as f:
        data = f.read()
    gain, = struct.unpack_from("<h", data, data.index(b"OpusHead") + 16)
    check(gain == 0, "Opus title edit: output gain %d" % gain)
    # A gain edit moves the album gain into the header and makes the track
    # gain relative to it.
    zorvtool("tag", windows_path(path), "replaygain_track_gain=-6.00 dB")
    saved = OggOpus(path)
    check("R128_ALBUM_GAIN" not in saved and saved.get("R128_TRACK_GAIN") == ["-512"],
          "Opus gain edit: R128 tags %s" % dict(saved))
    with open(path, "rb") as f:
        data = f.read()
    gain, = struct.unpack_from("<h", data, data.index(b"OpusHead") + 16)
    check(gain == -9 * 256, "Opus gain edit: output gain %d" % gain)
    read_back = info(path)[0]["info"]["replaygain"]
    check(abs(read_back["album_gain"] + 4.0) < 1e-4 and abs(read_back["track_gain"] + 6.0) < 1e-4,
          "Opus gains after the gain edit: %s" % read_back)


def test_edits_touch_only_what_changes(work):
    """An edit that changes nothing writes nothing, and an edit keeps the
    other comments as they stand, in Vorbis, Opus and Ogg FLAC alike."""
    from mutagen.oggvorbis import OggVorbis
    from mutagen.oggopus import OggOpus
    from mutagen.oggflac import OggFLAC
    stereo = tone(work, "untouched.wav", 44100, 2, 2)
    flac_ogg = os.path.join(work, "untouched.oga")
    subprocess.run(["flac", "-s", "-f", "--ogg", stereo, "-o", flac_ogg], check=True)
    files = [(vorbis(work, "untouched.ogg", stereo), OggVorbis), (opus(work, "untouched.opus", stereo), OggOpus),
             (flac_ogg, OggFLAC)]
    for path, kind in files:
        tagged = kind(path)
        tagged.tags.clear()
        tagged.tags.extend([("Zeta", "z"), ("TITLE", "Old"), ("artist", "A"), ("ARTIST", "B")])
        tagged.save()
        os.utime(path, (1000000000, 1000000000))
        with open(path, "rb") as f:
            before = f.read()
        zorvtool("tag", windows_path(path), "-comment")
        with open(path, "rb") as f:
            check(f.read() == before and os.stat(path).st_mtime == 1000000000,
                  "%s: removing a field the file does not hold writes nothing" % path)
        zorvtool("tag", windows_path(path), "title=New")
        tags = list(kind(path).tags)
        check(len(tags) == 4 and tags[0] == ("Zeta", "z") and tags[1][0].lower() == "title" and tags[1][1] == "New"
              and tags[2:] == [("artist", "A"), ("ARTIST", "B")],
              "%s: the other comments keep their order and spelling: %s" % (path, tags))
        check(ogginfo_clean(path), "%s: ogginfo finds the edited file clean" % path)


def ogg_links(path):
    """Each logical stream of an Ogg file, read page by page without libogg:
    its size in bytes, the bytes of its first `headers` packets (3 for
    Vorbis, 2 for Opus, told by the first packet) and its last granule."""
    data = open(path, "rb").read()
    links, at = [], 0
    while at + 27 <= len(data):
        assert data[at:at + 4] == b"OggS", "a page at %d" % at
        flags, granule, serial = data[at + 5], *struct.unpack_from("<qI", data, at + 6)
        count = data[at + 26]
        laces = data[at + 27:at + 27 + count]
        body = at + 27 + count
        if flags & 2:
            codec = "opus" if data[body:body + 8] == b"OpusHead" else "vorbis"
            links.append({"serial": serial, "bytes": 0, "header_bytes": 0, "packets": 0, "granule": -1,
                          "headers": 2 if codec == "opus" else 3, "first": data[body:body + 64]})
        link = links[-1]
        link["bytes"] += 27 + count + sum(laces)
        for lace in laces:
            if link["packets"] < link["headers"]:
                link["header_bytes"] += lace
                if lace < 255:
                    link["packets"] += 1
        if granule != -1:
            link["granule"] = granule
        at = body + sum(laces)
    return links


def test_information_of_large_headers_and_chains(work):
    """What a scan reads of Ogg files: fields before and after a cover that
    spreads the comment header over several pages, lengths and bitrates,
    link by link in a chain, as an independent reading of the pages gives
    them."""
    from mutagen.flac import Picture
    from mutagen.oggopus import OggOpus
    from mutagen.oggvorbis import OggVorbis
    picture = Picture()
    picture.type, picture.mime, picture.data = 3, "image/jpeg", b"\xff\xd8" + os.urandom(90000) + b"\xff\xd9"
    block = base64.b64encode(picture.write()).decode()
    stereo = tone(work, "cover.wav", 44100, 2, 3)
    short = tone(work, "short.wav", 48000, 1, 2, 300)
    made = {
        "covered.ogg": vorbis(work, "covered.ogg", stereo, "-t", "Before"),
        "covered.opus": opus(work, "covered.opus", short, "--title", "Before"),
        "plain.ogg": vorbis(work, "plain.ogg", short, "-t", "Plain"),
    }
    for name, kind in (("covered.ogg", OggVorbis), ("covered.opus", OggOpus)):
        tagged = kind(made[name])
        tagged["METADATA_BLOCK_PICTURE"] = [block]
        tagged["ARTIST"] = ["After the cover"]
        tagged.save()
    chain = os.path.join(work, "covered-chain.ogg")
    with open(chain, "wb") as out:
        for name in ("covered.ogg", "covered.opus", "plain.ogg"):
            out.write(open(made[name], "rb").read())
    # A page holds at most 255 x 255 bytes.
    check(ogg_links(made["covered.ogg"])[0]["header_bytes"] > 255 * 255, "the Vorbis headers span several pages")

    for path in list(made.values()) + [chain]:
        for link, subsong in zip(ogg_links(path), info(path)):
            got, name = subsong["info"], "%s link %d" % (os.path.basename(path), subsong["subsong"])
            opus_link = link["headers"] == 2
            rate = 48000 if opus_link else struct.unpack_from("<I", link["first"], 12)[0]
            preskip = struct.unpack_from("<H", link["first"], 10)[0] if opus_link else 0
            length = (link["granule"] - preskip) / rate
            bitrate = math.floor((link["bytes"] - link["header_bytes"]) * 8 / length / 1000 + 0.5)
            check(abs(got["length"] - length) < 1e-9 and got["technical"].get("bitrate") == str(bitrate),
                  "%s: length %s and bitrate %s, the pages say %s and %d" % (
                      name, got["length"], got["technical"].get("bitrate"), length, bitrate))
            fields = {k.lower(): v for k, v in got["fields"].items()}
            if "covered" in os.path.basename(path) and fields.get("title") != ["Plain"]:
                check(fields.get("title") == ["Before"] and fields.get("artist") == ["After the cover"]
                      and not any("picture" in k for k in fields),
                      "%s: the fields on both sides of the cover, the cover not among them: %s" % (name, fields))


def test_a_lost_page_before_the_last(work):
    """A Vorbis stream that lost the page before its last one (a damaged
    page is dropped whole): the packets after the gap play, the last page's
    among them, and only about the lost page's audio is missing."""
    source = tone(work, "gap.wav", 44100, 2, 12)
    whole = vorbis(work, "gap-whole.ogg", source)
    pages = ogg_pages(whole)
    granules = [struct.unpack_from("<q", page[3], 6)[0] for page in pages]
    lost = len(pages) - 2
    with open(whole, "rb") as f:
        data = f.read()
    gap = os.path.join(work, "gap.ogg")
    with open(gap, "wb") as f:
        f.write(data[:pages[lost][0]] + data[pages[lost + 1][0]:])
    intact, channels = decoded(whole)
    played, _ = decoded(gap)
    missing = (len(intact) - len(played)) // channels
    last_page = granules[-1] - granules[lost]
    allowed = granules[lost] - granules[lost - 1] + 44100 // 10
    check(last_page > 44100 // 10, "the last page holds %d frames, more than the loss allowed beside the gap's" % last_page)
    check(missing <= allowed, "a page lost before the last one: %d frames missing, at most %d (the last page holds %d)"
          % (missing, allowed, last_page))


def main():
    with tempfile.TemporaryDirectory(prefix="zorv-ogg-") as work:
        test_a_lost_page_before_the_last(work)
        test_single_links(work)
        test_six_channels(work)
        test_chain_and_seek(work)
        test_retag(work)
        test_edits_touch_only_what_changes(work)
        test_information_of_large_headers_and_chains(work)
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    print("all checks passed")
    return 0


sys.exit(main())
