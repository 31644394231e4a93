#!/usr/bin/python3
"""Tag writes that fail at any change they make (a write, a flush, a cut or
growth of the file, the move of the new file into place), on every format's
roads: the first edit of each kind of file, a later one, which finds the
room the first laid out, and one too long for any file to take in place.
write_fault_probe makes the Nth change of a title edit fail with an I/O
error, for N = 1, 2, ... until the edit goes through; after each failure
the caller got an I/O error, the file is as it was (or, where a stopped
in-place write leaves steps behind, ffprobe and the player still read the
old title or the new one), it decodes, and an input that met the failure
reads and writes on. The report matches what readers find: a plain I/O
error leaves the old tags in force, and a failure after the new ones took
effect says they were written and what failed after. The edit that goes
through is read by ffprobe and leaves the audio as ffmpeg decoded it before.

zorvtool's tag command failing at each change of a Musepack, WavPack and MP3
edit ends with its message and exit status 1, never a crash, the file as it
was; of a Matroska and an MP4 edit made in place, with status 1 and the old
title, or, after the switch to the new tags, with status 4, the new title
and a message that says the tags were written.

usage: tag_write_faults.py WINE_EXEC BUILD_DIR PROBE_EXE   (ZORVTOOL_EXE in the environment)
"""
import json
from concurrent.futures import ThreadPoolExecutor
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402
from musepack_chapters import make_cue_chaptered  # noqa: E402
from tag_files import ffmpeg_decode, make_fixtures, run  # noqa: E402
from views_by_content import view_by_content  # noqa: E402

# The files of tag_files.make_fixtures written here, and the kinds added below.
FIXTURES = ["flac", "oga", "ogg", "opus", "mp3all", "mp3both", "mp3trail", "wav", "rf64", "w64", "wv", "mpc",
            "mpc7", "mpcchapters", "m4a", "m4afast", "mka", "mkaremux"]
# Where the edit goes to the first chapter's own tag, which ffprobe does not read.
CHAPTERED = {"mpcchapters"}
# Kinds of WAV the player reads but does not tag: refused before any change.
REFUSED = {"rf64", "w64"}
ZORVTOOL_FIXTURES = ["mpc", "wv", "mp3all"]
# Written in place in steps, some of which follow the switch to the new tags.
ZORVTOOL_IN_PLACE_FIXTURES = ["mkaremux", "m4a"]


def add_fixtures(folder, out):
    src = os.path.join(folder, "src.wav")
    out["oga"] = os.path.join(folder, "f.oga")
    run(["flac", "-s", "-f", "--ogg", "-T", "TITLE=Old title", "-o", out["oga"], src])
    out["rf64"] = os.path.join(folder, "r.wav")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-rf64", "always", out["rf64"]])
    out["w64"] = os.path.join(folder, "w.w64")
    run(["ffmpeg", "-v", "quiet", "-y", "-i", src, out["w64"]])
    longer = os.path.join(folder, "src6.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", longer, "synth", "6", "sine", "440", "sine", "660"])
    out["mpcchapters"] = os.path.join(folder, "c.mpc")
    make_cue_chaptered(longer, out["mpcchapters"])


@view_by_content
def ffprobe_titles(path):
    """Every title ffprobe shows of the file and its streams (a Matroska
    segment title beside the tags', an ID3v1 title cut to 30 bytes)."""
    done = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags:stream_tags", "-of", "json", path],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return None
    probed = json.loads(done.stdout)
    tags = [s.get("tags", {}) for s in probed.get("streams", [])] + [probed.get("format", {}).get("tags", {})]
    return sorted(v for t in tags for k, v in t.items() if k.lower() == "title")


def check_rounds(name, mode, path, rounds, old_audio):
    check(rounds and "error" not in rounds[-1], "%s: the probe ran (%s)" % (name, rounds[-1:]))
    if not rounds or "error" in rounds[-1]:
        return
    last = rounds[-1]
    check(last.get("written"), "%s: the edit goes through once no change fails: %s" % (name, str(last)[:300]))
    check(len(rounds) >= (4 if mode == "long" else 2),
          "%s: the edit makes changes for the faults to hit: %d rounds" % (name, len(rounds)))
    if not last.get("written"):
        return
    old_titles = ffprobe_titles(path + ".first")
    new_titles = ffprobe_titles(path) or []
    title = last["title"]
    check(name.split()[0] in CHAPTERED or
          any(t and title.startswith(t) and len(t) >= min(30, len(title)) for t in new_titles),
          "%s: ffprobe reads the title written: %s" % (name, str(new_titles)[:200]))
    # ffmpeg decodes an MP3 with an APEv2 tag of some thousands of bytes,
    # whoever wrote it, into more samples than without.
    if not (mode == "long" and name.startswith("mp3")):
        check(ffmpeg_decode(path) == old_audio, "%s: the audio is as ffmpeg decoded it before" % name)
    for r in rounds[:-1]:
        where = "%s, change %d" % (name, r["step"])
        check(r.get("io") and not r.get("refused"), "%s: an I/O error reached the caller: %s" % (where, r))
        check("I/O error" in r.get("failure", ""), "%s: the message says it: %s" % (where, r.get("failure")))
        if not r.get("unchanged"):
            left = ffprobe_titles("%s.fault-%d" % (path, r["step"]))
            check(left in (old_titles, new_titles),
                  "%s: the file changed, and ffprobe reads the old or the new titles: %s" % (where, str(left)[:200]))
        check(r.get("decoded", "").isdigit() and int(r["decoded"]) > 0,
              "%s: the file decodes after: %s" % (where, r.get("decoded")))
        check(r.get("reads") in (r.get("old"), title), "%s: the player reads the old or the new title: %s"
              % (where, r.get("reads", "")[:100]))
        check(r.get("again") == r.get("failure"), "%s: the second writer fails alike: %s" % (where, r.get("again")))
        # A writer may show the edit it was given until it writes again.
        check(r.get("read_after") in (r.get("old"), title),
              "%s: that writer reads the old title after, or the one it failed to write: %s" % (where, r))
        check_reported_as_in_force(where, path, r, old_titles, new_titles, title)
        check(r.get("rewritten") == "written", "%s: and writes again: %s" % (where, r.get("rewritten")))


def check_reported_as_in_force(where, path, r, old_titles, new_titles, title):
    """The report matches the tags every reader finds: the old ones after a
    plain I/O error, the new ones after "written" with what failed after."""
    written = r.get("after_switch")
    left = old_titles if r.get("unchanged") else ffprobe_titles("%s.fault-%d" % (path, r["step"]))
    in_force = "new" if left == new_titles and r.get("reads") == title else \
        "old" if left == old_titles and r.get("reads") == r.get("old") else "mixed"
    check(in_force == ("new" if written else "old"),
          "%s: reported as %s, and the %s tags are in force: %s" %
          (where, "written" if written else "not written", in_force, str(r)[:300]))
    if written:
        check(r.get("failure", "").startswith("The new tags were written, but a later step failed: "),
              "%s: the message says the tags were written: %s" % (where, r.get("failure")))
        check(r.get("read_after") == title, "%s: that writer reads the title it wrote: %s" % (where, r))


def check_refused(name, rounds, path, before):
    with open(path, "rb") as f:
        unchanged = f.read() == before
    check(len(rounds) == 1 and rounds[0].get("refused_at_open") and rounds[0].get("unchanged") and unchanged,
          "%s: the edit is refused before any change, the file unchanged: %s" % (name, rounds))


def probe_rounds(wine_exec, build_dir, probe, path, mode):
    done = subprocess.run([wine_exec, build_dir, probe, windows_path(path), mode],
                          capture_output=True, text=True, encoding="utf-8", errors="replace")
    rounds = []
    for line in done.stdout.splitlines():
        if line.startswith("{"):
            rounds.append(json.loads(line))
    if done.returncode != 0 and not (rounds and "error" in rounds[-1]):
        rounds.append({"error": "exit %d: %s" % (done.returncode, done.stderr[-400:])})
    return rounds


def check_zorvtool(wine_exec, build_dir, zorvtool, name, original, work, in_place=False):
    """A title no file takes in place: written through a temporary copy; or
    (in_place) a short one, written in steps, each failure after the switch
    to the new tags ending with exit status 4 and a message that says they
    were written. Answers how many failures came after the switch."""
    path = os.path.join(work, "tool-" + os.path.basename(original))
    shutil.copyfile(original, path)
    with open(path, "rb") as f:
        before = f.read()
    old_titles = ffprobe_titles(original)
    written = 0
    for fault in range(1, 100):
        title = "Tool title" if in_place else "Tool title " * 500
        done = subprocess.run([wine_exec, build_dir, zorvtool, "tag", windows_path(path), "title=" + title],
                              capture_output=True, text=True, encoding="utf-8", errors="replace",
                              env=dict(os.environ, ZORV_TEST_WRITE_FAULT_AT=str(fault)))
        if done.returncode == 0:
            print("zorvtool", name, fault - 1, "failed edits,", written, "after the switch", flush=True)
            check(fault > 3, "zorvtool %s: the edit went through after %d faults" % (name, fault - 1))
            return written
        with open(path, "rb") as f:
            unchanged = f.read() == before
        where = "zorvtool %s, change %d" % (name, fault)
        if done.returncode == 4:
            written += 1
            check("The new tags were written, but a later step failed: I/O error" in done.stderr,
                  "%s: the message says the tags were written: %s" % (where, done.stderr[-300:]))
            check(any(t.strip() == title.strip() for t in ffprobe_titles(path) or []),
                  "%s: reported as written, and ffprobe reads the new title" % where)
            shutil.copyfile(original, path)
            continue
        check(done.returncode == 1 and "I/O error" in done.stderr,
              "%s: exit status 1 with the message, not a crash: %d %s" % (where, done.returncode, done.stderr[-300:]))
        if in_place:
            check(ffprobe_titles(path) == old_titles,
                  "%s: reported as not written, and ffprobe reads the old titles: %s" % (where, ffprobe_titles(path)))
            shutil.copyfile(original, path)
        else:
            check(unchanged, "%s: the file is as it was" % where)
    check(False, "zorvtool %s: the edit never went through" % name)
    return written


def main():
    wine_exec, build_dir, probe = sys.argv[1:4]
    zorvtool = os.environ.get("ZORVTOOL_EXE")
    work = tempfile.mkdtemp(prefix="zorv-tag-faults-")
    try:
        fixtures = make_fixtures(work)
        add_fixtures(work, fixtures)
        def probe_file(name, mode, old_audio):
            # A folder per file: a copy a round keeps sits beside it.
            folder = os.path.join(work, mode, name)
            os.makedirs(folder)
            path = os.path.join(folder, "x" + os.path.splitext(fixtures[name])[1])
            shutil.copyfile(fixtures[name], path)
            label = "%s (%s edit)" % (name, mode)
            rounds = probe_rounds(wine_exec, build_dir, probe, path, mode)
            print(label, len(rounds), "rounds,", len([r for r in rounds if r.get("after_switch")]),
                  "after the switch", flush=True)
            if name in REFUSED:
                with open(fixtures[name], "rb") as f:
                    check_refused(label, rounds, path, f.read())
            else:
                check_rounds(label, mode, path, rounds, old_audio)

        # Each probe runs its many rounds in one process: a few side by side.
        with ThreadPoolExecutor(3) as pool:
            runs = []
            for name in FIXTURES:
                check(name in fixtures, "the %s file was made" % name)
                if name not in fixtures:
                    continue
                old_audio = ffmpeg_decode(fixtures[name])
                for mode in ("first",) if name in REFUSED else ("first", "later", "long"):
                    runs.append(pool.submit(probe_file, name, mode, old_audio))
            for done in runs:
                done.result()
        if zorvtool:
            for name in ZORVTOOL_FIXTURES:
                check_zorvtool(wine_exec, build_dir, zorvtool, name, fixtures[name], work)
            # Where a Matroska edit's switch falls depends on how the muxer
            # laid out the dithered tone; an MP4 movie box moved to the end is
            # always tidied after it.
            written = sum(check_zorvtool(wine_exec, build_dir, zorvtool, name, fixtures[name], work, in_place=True)
                          for name in ZORVTOOL_IN_PLACE_FIXTURES)
            check(written > 0, "zorvtool: some failures of the in-place edits came after the switch")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAILED:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
