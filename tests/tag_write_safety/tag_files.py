"""Fixtures and independent readings shared by the tag-write safety tests:
files made with Debian's encoders, an APEv2 tag built by hand, and the
trailing tags read straight from the bytes."""
import json
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import windows_path  # noqa: E402,F401
import matroska_bytes  # noqa: E402


def run(cmd):
    subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def ape_tag(items):
    """An APEv2 tag with header and footer from (key, value) text items."""
    body = b"".join(struct.pack("<II", len(v.encode()), 0) + k.encode() + b"\0" + v.encode() for k, v in items)
    block = lambda flags: b"APETAGEX" + struct.pack("<IIII", 2000, len(body) + 32, len(items), flags) + bytes(8)
    return block(0xA0000000) + body + block(0x80000000)


def insert_before_id3v1(path, tag):
    with open(path, "rb") as f:
        data = f.read()
    cut = len(data) - 128 if data[-128:-125] == b"TAG" else len(data)
    with open(path, "wb") as f:
        f.write(data[:cut] + tag + data[cut:])


def make_fixtures(folder):
    src = os.path.join(folder, "src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"])
    art = os.path.join(folder, "art.png")
    with open(art, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + bytes(range(256)) * 20)
    out = {}
    out["flac"] = os.path.join(folder, "f.flac")
    run(["flac", "-s", "-f", "--padding=4096", "--seekpoint=2x", "--picture=3|image/png||1x1x24|" + art,
         "-T", "TITLE=Old title", "-T", "ARTIST=Old artist", "-o", out["flac"], src])
    out["mp3all"] = os.path.join(folder, "all.mp3")
    run(["lame", "--quiet", "-b", "128", "--add-id3v2", "--tt", "Old title", "--ta", "Old artist", src, out["mp3all"]])
    insert_before_id3v1(out["mp3all"], ape_tag([("Title", "Old title"), ("Artist", "Old artist")]))
    out["mp3trail"] = os.path.join(folder, "trail.mp3")
    run(["lame", "--quiet", "-b", "128", "--id3v1-only", "--tt", "Old title", "--ta", "Old artist", src,
         out["mp3trail"]])
    insert_before_id3v1(out["mp3trail"], ape_tag([("Title", "Old title"), ("Artist", "Old artist")]))
    out["wv"] = os.path.join(folder, "p.wv")
    run(["wavpack", "-q", "-y", "-w", "Title=Old title", "-w", "Artist=Old artist", src, "-o", out["wv"]])
    out["ogg"] = os.path.join(folder, "v.ogg")
    run(["oggenc", "-Q", "-t", "Old title", "-a", "Old artist", src, "-o", out["ogg"]])
    out["opus"] = os.path.join(folder, "o.opus")
    run(["opusenc", "--quiet", "--title", "Old title", "--artist", "Old artist", src, out["opus"]])
    out.update(make_matroska_fixtures(folder, src))
    out["wav"] = os.path.join(folder, "w.wav")
    if subprocess.run(["which", "ffmpeg"], capture_output=True).returncode == 0:
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-metadata", "title=Old title", "-metadata",
             "artist=Old artist", out["wav"]])
    else:
        del out["wav"]
    return out


def make_matroska_fixtures(folder, src):
    """Matroska with tags from ffmpeg (Tags before the Clusters, no room to
    grow), its mkvmerge remux (Tags at the end of the file), the remux without
    its SeekHead, and the remux with a second Tags element that no SeekHead
    names."""
    if any(subprocess.run(["which", t], capture_output=True).returncode for t in ("ffmpeg", "mkvmerge")):
        return {}
    out = {"mka": os.path.join(folder, "m.mka"), "mkaremux": os.path.join(folder, "remuxed.mka")}
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-c:a", "flac", "-metadata", "title=Old title", "-metadata",
         "artist=Old artist", out["mka"]])
    run(["mkvmerge", "-q", "-o", out["mkaremux"], out["mka"]])
    with open(out["mkaremux"], "rb") as f:
        remuxed = f.read()
    for name, data in (("mkanoseek", matroska_bytes.without_seekhead(remuxed)),
                       ("mkatwo", matroska_bytes.with_second_tags(remuxed, room=12000))):
        out[name] = os.path.join(folder, name + ".mka")
        with open(out[name], "wb") as f:
            f.write(data)
    return out


class Zorvtool:
    def __init__(self, wine_exec, build_dir, exe):
        self.command = [wine_exec, build_dir, exe]

    def popen(self, *args, env=None):
        return subprocess.Popen([*self.command, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                env=env)

    def run(self, *args):
        r = subprocess.run([*self.command, *args], capture_output=True, text=True, encoding="utf-8",
                           errors="replace")
        return r.returncode, r.stdout, r.stderr

    def fields(self, path):
        """The fields of subsong 0, names in lower case; None when the file cannot be read."""
        rc, out, _ = self.run("info", windows_path(path))
        if rc != 0:
            return None
        data = json.loads(out)["subsongs"][0]["info"]
        return {k.lower(): v for k, v in data.get("fields", {}).items()}

    def decoded(self, path):
        """The decoded audio as bytes of a WAV file; None when decoding fails."""
        out = path + ".decoded.wav"
        rc, _, _ = self.run("decode", windows_path(path), windows_path(out))
        if rc != 0 or not os.path.exists(out):
            return None
        with open(out, "rb") as f:
            data = f.read()
        os.remove(out)
        return data


def id3v1_title(data):
    if data[-128:-125] != b"TAG":
        return None
    return data[-125:-95].rstrip(b"\0 ").decode("latin-1")


def ape_title(data):
    """The Title item of an APEv2 tag ending where the file or its ID3v1 tag ends."""
    end = len(data) - 128 if data[-128:-125] == b"TAG" else len(data)
    footer = data[end - 32:end]
    if footer[:8] != b"APETAGEX":
        return None
    size, count = struct.unpack_from("<II", footer, 12)
    area = data[end - size:end - 32]
    pos = 0
    for _ in range(count):
        length, _flags = struct.unpack_from("<II", area, pos)
        key_end = area.index(b"\0", pos + 8)
        key = area[pos + 8:key_end].decode()
        value = area[key_end + 1:key_end + 1 + length].decode()
        if key.lower() == "title":
            return value
        pos = key_end + 1 + length
    return None


def id3v2_title(data):
    if data[:3] != b"ID3":
        return None
    version = data[3]
    size = 0
    for b in data[6:10]:
        size = (size << 7) | b
    pos = 10
    while pos + 10 <= 10 + size:
        frame_id = data[pos:pos + 4]
        raw = data[pos + 4:pos + 8]
        length = 0
        if version == 4:
            for b in raw:
                length = (length << 7) | b
        else:
            length = int.from_bytes(raw, "big")
        if frame_id == b"\0\0\0\0":
            return None
        if frame_id == b"TIT2":
            body = data[pos + 10:pos + 10 + length]
            encoding, text = body[0], body[1:]
            codec = {0: "latin-1", 1: "utf-16", 2: "utf-16-be", 3: "utf-8"}[encoding]
            return text.decode(codec).rstrip("\0")
        pos += 10 + length
    return None
