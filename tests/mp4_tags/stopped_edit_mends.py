#!/usr/bin/python3
"""What the player's next edit makes of a media data box that a stopped tag
edit seems to have left over a copy of the old movie box (made here at the
byte level from an ffmpeg fast-start file).

usage: stopped_edit_mends.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE

With the samples in a media data box behind the copy, the edit mends: the
copy turns "free" and the samples stay in a top-level "mdat". With them in
a "free", "skip" or "uuid" box there, which other taggers drop, the media
data box stays as it is through a title edit and an edit of no value, and
AtomicParsley's edit after the player's keeps the audio for ffmpeg. A track
with a second chunk offset table is refused, the file unchanged.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path, zorvtool_runner  # noqa: E402
import mp4_bytes  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
zorvtool = zorvtool_runner(WINE_EXEC, BUILD_DIR, ZORVTOOL)


def decoded(path):
    """ffmpeg's MD5 of the audio packets, or its errors."""
    done = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-map", "0:a", "-c", "copy", "-f", "md5", "-"],
                          capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 and not done.stderr else "errors: " + done.stderr[-300:]


def box_holding(data, at):
    return [kind for kind, start, size in mp4_bytes.boxes(data) if start + 8 <= at < start + size]


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def check_mend(folder, source, md5):
    """The shape recognised: the copy turns "free", the samples stay in "mdat"."""
    path = os.path.join(folder, "inner-mdat.m4a")
    write(path, mp4_bytes.as_stopped_edit_over_media(source))
    samples = source[mp4_bytes.find(source, b"mdat")[1] + 8:][:512]
    result = zorvtool("mp4-tags", windows_path(path), "title=By the player", ok=False)
    mended = read(path)
    check(result.returncode == 0 and [b[0] for b in mp4_bytes.boxes(mended)][:3] == [b"ftyp", b"free", b"mdat"]
          and box_holding(mended, mended.find(samples)) == [b"mdat"] and decoded(path) == md5,
          "samples in an inner mdat: the edit mends: %s %s" % (mp4_bytes.boxes(mended), result.stderr.strip()))


def check_inner_box_kept_as_media(folder, source, md5, kind, edit):
    label = "samples in an inner %s, %s" % (kind.decode(), edit[0] if edit[0][0] == "-" else "title edit")
    path = os.path.join(folder, "inner-%s.m4a" % kind.decode())
    shaped = mp4_bytes.as_stopped_edit_over_media(source, kind)
    write(path, shaped)
    samples = source[mp4_bytes.find(source, b"mdat")[1] + 8:][:512]
    result = zorvtool("mp4-tags", windows_path(path), *edit, ok=False)
    edited = read(path)
    check(result.returncode == 0, "%s: written: %s" % (label, result.stderr.strip()))
    check(box_holding(edited, edited.find(samples)) == [b"mdat"] and decoded(path) == md5,
          "%s: the samples stay in a top-level media box: %s" % (label, mp4_bytes.boxes(edited)))
    if edit[0][0] == "-":
        check(edited == shaped, "%s: the file stays byte for byte" % label)
    tool("AtomicParsley", path, "--title", "By AtomicParsley", "--overWrite")
    check(decoded(path) == md5, "%s: AtomicParsley's next edit keeps the audio: %s, boxes %s"
          % (label, decoded(path), mp4_bytes.boxes(read(path))))


def check_two_chunk_tables_refused(folder, source):
    path = os.path.join(folder, "two-tables.m4a")
    shaped = mp4_bytes.as_stopped_edit_over_media(mp4_bytes.with_second_chunk_table(source))
    write(path, shaped)
    for edit in (["title=By the player"], ["-lyrics"]):
        result = zorvtool("mp4-tags", windows_path(path), *edit, ok=False)
        check(result.returncode != 0 and "two chunk offset tables" in result.stderr and read(path) == shaped,
              "two chunk tables, %s: refused, the file unchanged (exit %d): %s"
              % (edit[0], result.returncode, result.stderr.strip()))


def main():
    with tempfile.TemporaryDirectory() as folder:
        wav, fast = os.path.join(folder, "src.wav"), os.path.join(folder, "fast.m4a")
        tool("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "3", "sine", "440", "sine", "550")
        tool("ffmpeg", "-v", "error", "-y", "-i", wav, "-c:a", "aac", "-b:a", "64k", "-movflags", "+faststart", fast)
        source, md5 = read(fast), decoded(fast)
        check_mend(folder, source, md5)
        for kind in (b"free", b"skip", b"uuid"):
            check_inner_box_kept_as_media(folder, source, md5, kind, ["title=By the player"])
        check_inner_box_kept_as_media(folder, source, md5, b"free", ["-lyrics"])
        check_two_chunk_tables_refused(folder, source)
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
