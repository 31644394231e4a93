#!/usr/bin/python3
"""Matroska and WebM files made by ffmpeg and mkvmerge, read by the Matroska
reader (through matroska_structure_dump) and compared with mkvinfo's view of
the same files; a live stream's unknown-size Segment is refused; damaged
copies must each end in a clean error with no allocation above the 16 MiB caps.

usage: matroska_input.py WINE_EXEC BUILD_DIR MATROSKA_STRUCTURE_DUMP_EXE
"""
import os
import random
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, DUMP = sys.argv[1:4]
CAP = 16 * 1024 * 1024
CORRUPTED = "Unsupported format or corrupted file"

TOP_LEVEL_IDS = {
    "Seek head": 0x114D9B74, "Segment information": 0x1549A966, "Tracks": 0x1654AE6B, "Chapters": 0x1043A770,
    "Cues": 0x1C53BB6B, "Attachments": 0x1941A469, "Tags": 0x1254C367, "Cluster": 0x1F43B675, "EBML void": 0xEC,
}
TRACK_TYPES = {"video": 1, "audio": 2, "complex": 3, "logo": 0x10, "subtitles": 0x11, "buttons": 0x12, "control": 0x20}


def dump(*args):
    result = subprocess.run([WINE_EXEC, BUILD_DIR, DUMP, *args], capture_output=True, text=True, encoding="utf-8")
    return result.returncode, result.stdout.replace("\r\n", "\n")


def make_fixtures(folder):
    path = lambda name: os.path.join(folder, name)
    tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", path("src.wav"), "synth", "3", "sine", "440", "sine", "660")
    with open(path("cover.jpg"), "wb") as f:
        f.write(b"\xff\xd8\xff\xe0" + bytes(300) + b"\xff\xd9")
    with open(path("meta.txt"), "w") as f:
        f.write(";FFMETADATA1\ntitle=Whole\n[CHAPTER]\nTIMEBASE=1/1000\nSTART=0\nEND=1000\ntitle=One\n"
                "[CHAPTER]\nTIMEBASE=1/1000\nSTART=1000\nEND=3000\ntitle=Two\n")
    with open(path("chapters.txt"), "w") as f:
        f.write("CHAPTER01=00:00:00.000\nCHAPTER01NAME=Eins\nCHAPTER02=00:00:01.500\nCHAPTER02NAME=Zwei\n")
    with open(path("tags.xml"), "w") as f:
        f.write('<?xml version="1.0"?><Tags><Tag><Targets><TargetTypeValue>50</TargetTypeValue></Targets>'
                "<Simple><Name>TITLE</Name><String>Album</String></Simple></Tag></Tags>")
    codecs = {"flac.mka": ["flac"], "vorbis.webm": ["libvorbis"], "opus.webm": ["libopus"],
              "pcm.mka": ["pcm_s16le"], "mp3.mka": ["libmp3lame"], "alac.mka": ["alac"], "aac.mka": ["aac"]}
    files = []
    for name, codec in codecs.items():
        made = path("ff_" + name)
        extra = []
        if name.endswith(".mka"):  # chapters, tags and an attachment; WebM takes none of the last
            extra = ["-i", path("meta.txt"), "-map", "0", "-map_metadata", "1", "-attach", path("cover.jpg"),
                     "-metadata:s:t", "mimetype=image/jpeg"]
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", path("src.wav"), *extra, "-c:a", *codec, made)
        files.append(made)
        remuxed = path("mm_" + name)
        options = ["--chapters", path("chapters.txt"), "--global-tags", path("tags.xml")]
        if name.endswith(".mka"):
            options += ["--attachment-mime-type", "image/jpeg", "--attach-file", path("cover.jpg")]
        if name.startswith("pcm"):
            options += ["--no-cues"]
        tool("mkvmerge", "-q", "-o", remuxed, *options, made)
        files.append(remuxed)
    # Two audio tracks, the second default and forced, as a muxer of several languages writes them.
    two = path("mm_two_tracks.mka")
    tool("mkvmerge", "-q", "-o", two, "--default-track-flag", "0:0", path("ff_flac.mka"),
        "--forced-display-flag", "0:1", path("ff_vorbis.webm"))
    files.append(two)
    return files


def mkvinfo_nodes(path):
    text = subprocess.run(["mkvinfo", "-a", "-P", "-z", "--ui-language", "en_US", path], capture_output=True,
                          text=True, check=True).stdout
    nodes, stack = [], []
    for line in text.splitlines():
        m = re.match(r"^(\|?)( *)\+ (.*)$", line)
        if not m:
            continue
        depth = len(m.group(1)) + len(m.group(2))
        body = re.match(r"^(.*?)(?: at (\d+) size (\d+)(?: data size (\d+))?)?$", m.group(3))
        name, _, value = body.group(1).partition(": ")
        node = {"name": name, "value": value, "children": [],
                "pos": int(body.group(2)) if body.group(2) else None,
                "size": int(body.group(3)) if body.group(3) else None,
                "data": int(body.group(4)) if body.group(4) else None}
        del stack[depth:]
        (stack[-1]["children"] if stack else nodes).append(node)
        stack.append(node)
    return nodes


def child(node, name):
    return next((c for c in node["children"] if c["name"] == name), None)


def seconds(text):
    h, m, s = text.split()[0].split(":")
    return int(h) * 3600 + int(m) * 60 + float(s)


def nanoseconds(text):
    h, m, s = text.split()[0].split(":")
    whole, frac = s.split(".")
    return ((int(h) * 60 + int(m)) * 60 + int(whole)) * 10**9 + int(frac.ljust(9, "0"))


def expected_view(path):
    """What the reader must find, from mkvinfo's output."""
    nodes = mkvinfo_nodes(path)
    view = {"doctype": child(nodes[0], "Document type")["value"]}
    segment = next(n for n in nodes if n["name"] == "Segment")
    data_start = segment["pos"] + segment["size"] - segment["data"]
    view["segment"] = (segment["pos"], data_start, segment["data"])
    view["top"] = {(TOP_LEVEL_IDS.get(c["name"]), c["pos"]) for c in segment["children"]}
    view["seek"] = set()
    for head in (c for c in segment["children"] if c["name"] == "Seek head"):
        for entry in head["children"]:
            raw = child(entry, "Seek ID")["value"].split(" (")[0]
            target = int(raw.replace("0x", "").replace(" ", ""), 16)
            view["seek"].add((target, data_start + int(child(entry, "Seek position")["value"])))
    info = child(segment, "Segment information")
    view["scale"] = int(child(info, "Timestamp scale")["value"])
    duration = child(info, "Duration")
    view["duration"] = seconds(duration["value"]) if duration else 0.0
    view["tracks"] = []
    for track in child(segment, "Tracks")["children"]:
        if track["name"] != "Track":
            continue
        get = lambda name, node=track: child(node, name)["value"] if child(node, name) else None
        audio = child(track, "Audio track") or {"children": []}
        private = get("Codec's private data")
        view["tracks"].append({
            "number": int(get("Track number").split()[0]), "uid": int(get("Track UID")),
            "type": TRACK_TYPES[get("Track type")], "codec": get("Codec ID"),
            "private": int(private.split()[1]) if private else 0,
            "rate": float(get("Sampling frequency", audio) or 0), "channels": int(get("Channels", audio) or 0),
            "bits": int(get("Bit depth", audio) or 0),
            "flags": "%d%d%d" % (int(get('"Enabled" flag') or 0), int(get('"Default track" flag') or 0),
                                 int(get('"Forced display" flag') or 0))})
    audio = [t for t in view["tracks"] if t["type"] == 2]
    chosen = next((t for t in audio if t["flags"][2] == "1"), None) or \
        next((t for t in audio if t["flags"][1] == "1"), None) or (audio[0] if audio else None)
    view["chosen"] = chosen["number"] if chosen else None
    view["chapters"] = []
    chapters = child(segment, "Chapters")
    for edition in (chapters["children"] if chapters else []):
        if child(edition, "Edition flag hidden") and child(edition, "Edition flag hidden")["value"] == "1":
            continue
        for atom in (c for c in edition["children"] if c["name"] == "Chapter atom"):
            end = child(atom, "Chapter time end")
            display = child(atom, "Chapter display")
            title = child(display, "Chapter string")["value"] if display and child(display, "Chapter string") else ""
            view["chapters"].append("%s %d %d %s" % (child(atom, "Chapter UID")["value"],
                                                     nanoseconds(child(atom, "Chapter time start")["value"]),
                                                     nanoseconds(end["value"]) if end else -1, title))
    view["cues"] = {}
    cues = child(segment, "Cues")
    for point in (cues["children"] if cues else []):
        time = nanoseconds(child(point, "Cue time")["value"]) // view["scale"]
        for positions in (c for c in point["children"] if c["name"] == "Cue track positions"):
            if chosen and int(child(positions, "Cue track")["value"]) == chosen["number"]:
                view["cues"][time] = int(child(positions, "Cue cluster position")["value"])
    view["attachments"] = []
    for attachments in (c for c in segment["children"] if c["name"] == "Attachments"):
        for attached in attachments["children"]:
            data = child(attached, "File data")
            view["attachments"].append("%d %d %s|%s" % (data["pos"] + data["size"] - data["data"], data["data"],
                                                        child(attached, "MIME type")["value"],
                                                        child(attached, "File name")["value"]))
    view["blocks"] = []
    for cluster in (c for c in segment["children"] if c["name"] == "Cluster"):
        for item in cluster["children"]:
            block = item if item["name"] == "Simple block" else child(item, "Block") if item["name"] == "Block group" else None
            if block:
                track = re.search(r"track number (\d+)", block["value"]).group(1)
                view["blocks"].append(" ".join([track] + [str(f["size"]) for f in block["children"] if f["name"] == "Frame"]))
    return view


def compare(path):
    name = os.path.basename(path)
    want = expected_view(path)
    code, out = dump("--blocks", windows_path(path))
    lines = out.splitlines()
    check(code == 0 and lines and not lines[0].startswith("error"), "%s reads (%s)" % (name, lines[:1]))
    if code != 0 or not lines or lines[0].startswith("error"):
        return
    fields = lambda word: [l.split(" ", 1)[1] for l in lines if l.startswith(word + " ")]
    check(fields("doctype") == [want["doctype"]], "%s document type %s" % (name, want["doctype"]))
    check(fields("segment") == ["%d %d %d" % want["segment"]], "%s segment place and size" % name)
    positions = {(int(l.split()[0], 16), int(l.split()[1])) for l in fields("position")}
    check(positions <= want["top"] | want["seek"], "%s mapped positions are elements" % name)
    for element in ("Segment information", "Tracks", "Chapters", "Cues", "Attachments", "Tags"):
        found = {p for i, p in want["top"] if i == TOP_LEVEL_IDS[element]}
        listed = {p for i, p in want["seek"] if i == TOP_LEVEL_IDS[element]}
        if listed:
            check(found <= {p for i, p in positions if i == TOP_LEVEL_IDS[element]}, "%s finds %s" % (name, element))
    scale, duration = fields("info")[0].split()
    check(int(scale) == want["scale"], "%s timecode scale" % name)
    check(abs(float(duration) * int(scale) / 1e9 - want["duration"]) < 1e-6, "%s duration" % name)
    got_tracks = [l.split() for l in fields("track")]
    check(len(got_tracks) == len(want["tracks"]), "%s track count" % name)
    for got, track in zip(got_tracks, want["tracks"]):
        check([int(got[0]), int(got[1]), int(got[2]), got[3], int(got[5])] ==
              [track["number"], track["uid"], track["type"], track["codec"], track["private"]],
              "%s track %d identity and codec" % (name, track["number"]))
        check(abs(float(got[7]) - track["rate"]) < 0.01 and int(got[10]) == track["channels"]
              and int(got[12]) == track["bits"], "%s track %d audio settings" % (name, track["number"]))
        check(got[14] == track["flags"], "%s track %d flags %s" % (name, track["number"], track["flags"]))
    check([int(x) for x in fields("chosen")] == ([want["chosen"]] if want["chosen"] else []), "%s track choice" % name)
    got_chapters = [" ".join(l.split()[:3] + [l.split(" ", 4)[4] if len(l.split(" ", 4)) > 4 else ""]) for l in fields("chapter")]
    want_chapters = [" ".join(c.split()[:3] + [c.split(" ", 3)[3] if len(c.split(" ", 3)) > 3 else ""]) for c in want["chapters"]]
    check(got_chapters == want_chapters, "%s chapters %s" % (name, want_chapters))
    check({int(l.split()[0]): int(l.split()[1]) for l in fields("cue")} == want["cues"],
          "%s cues (%d)" % (name, len(want["cues"])))
    check(fields("attachment") == want["attachments"], "%s attachments %s" % (name, want["attachments"]))
    got_blocks = [" ".join([l.split()[0]] + l.split()[3:]) for l in fields("block")]
    check(got_blocks == want["blocks"], "%s blocks and laced frame sizes (%d blocks)" % (name, len(want["blocks"])))


def damaged_copies(folder, sources, rng):
    out = []
    for index, source in enumerate(sources):
        with open(source, "rb") as f:
            data = f.read()
        places = sorted({n["pos"] for n in mkvinfo_nodes(source) for n in [n] + n["children"] if n["pos"] is not None})
        places += [rng.randrange(len(data)) for _ in range(40)]
        cases = [data[:rng.randrange(len(data))] for _ in range(30)]
        for at in places:
            for offset in (1, 2, 4, 5):
                p = min(at + offset, len(data) - 1)
                for value in (b"\x00", b"\xff", b"\x01\xff\xff\xff\xff\xff\xff\xff", b"\x80"):
                    cases.append(data[:p] + value + data[p + 1:])
            cases.append(data[:at])
        for case, bytes_ in enumerate(cases):
            target = os.path.join(folder, "damaged_%d_%d.mka" % (index, case))
            with open(target, "wb") as f:
                f.write(bytes_)
            out.append(target)
    return out


def main():
    rng = random.Random(40)
    with tempfile.TemporaryDirectory() as folder:
        files = make_fixtures(folder)
        for path in files:
            compare(path)

        flac = os.path.join(folder, "ff_flac.mka")
        # What a live stream writes: a Segment of unknown size.
        live = os.path.join(folder, "live.mka")
        with open(live, "wb") as f:
            subprocess.run(["ffmpeg", "-loglevel", "error", "-i", os.path.join(folder, "src.wav"), "-c:a", "flac",
                            "-f", "matroska", "pipe:1"], stdout=f, check=True)
        code, out = dump(windows_path(live))
        check(out.strip() == "error: " + CORRUPTED, "unknown-size Segment refused: " + out.strip())

        damaged = damaged_copies(folder, [flac, os.path.join(folder, "mm_vorbis.webm"), os.path.join(folder, "mm_aac.mka")], rng)
        results = []
        for start in range(0, len(damaged), 150):
            batch = damaged[start:start + 150]
            code, out = dump("--check", *[windows_path(p) for p in batch])
            check(code == 0, "damaged files %d to %d end without a fault: %s" % (start, start + len(batch), out[-300:]))
            results += out.splitlines()
        check(len(results) == len(damaged), "every damaged file reported (%d of %d)" % (len(results), len(damaged)))
        clean = [r for r in results if re.match(r"^(ok|error: .+) \| largest allocation (\d+)$", r)
                 and int(r.rsplit(" ", 1)[1]) <= CAP]
        check(len(clean) == len(results), "every damaged file ends cleanly within the caps: %s"
              % [r for r in results if r not in clean][:3])
        print("%d damaged files: %d read whole, %d refused" % (len(results), sum(r.startswith("ok") for r in results),
                                                                sum(r.startswith("error") for r in results)))
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
