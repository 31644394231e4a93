#!/usr/bin/python3
"""WAV edits stopped before each of their writes and by a power cut after
each of their waits for the disk, on files with an APEv2 and an ID3v1 tag
behind the RIFF and with an empty ID3 chunk before two more.

usage: wav_edit_stops.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
A WAV edit goes into a copy beside the file, which then replaces it. strace
records every write, cut and wait for the disk the edit makes on the copy,
and zorvtool is killed before each of them in turn: the file must stay the
old one byte for byte, and the same edit again must then make exactly the
file the unstopped edit made. The copy's last call is a wait for the disk,
so that a power cut after the move finds it whole.
Where no copy can be had beside the file (here a folder stands under the
copy's name), an edit that keeps the file's size goes down in place as one
write within one page: killed before it, and cut by a power cut after it,
every reader (the player, mutagen's ID3 and APEv2 readings, the bytes behind
the RIFF) finds the old file or the new one, and the same edit again ends
as the unstopped one; an edit that would change the size is refused with the
file unchanged.
"""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

from matroska_first_edit_stops import TRACED, applied, parse_calls, power_cut_states
from tag_files import Zorvtool, make_wav_layout_fixtures, run, windows_path
from tag_write_kill import temp_file_name, wav_reader_views

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

GROWING = ["title=A much longer new title"]
# As long as the title the copy road's edit leaves.
SAME_SIZE = ["title=A much longer NEW title"]


def traced(tool, path, watched, edit, inject=None):
    """zorvtool's `edit` of `path` under strace, which records the calls on
    `watched` and kills at `inject` (the call's name and its count among
    calls of that name): (exit code, parse_calls' record)."""
    log = path + ".calls"
    command = ["strace", "-f", "-qq", "-y", "-xx", "-s", "100000000", "-P", watched, "-e", "trace=" + TRACED,
               "-o", log]
    if inject:
        command += ["-e", "inject=%s:signal=KILL:when=%d" % inject]
    rc = subprocess.run([*command, *tool.command, "tag", windows_path(path), *edit], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL).returncode
    with open(log, errors="replace") as f:
        parsed = parse_calls(f.read())
    os.remove(log)
    return rc, parsed


def kills(calls, names):
    """(index, inject) for each write and cut of the record."""
    counts, out = {}, []
    for index, (call, syscall) in enumerate(zip(calls, names)):
        counts[syscall] = counts.get(syscall, 0) + 1
        if call[0] != "flush":
            out.append((index, (syscall, counts[syscall])))
    return out


def fresh(work, source, road):
    """(a new folder, a copy of `source` in it); for the in-place road, a
    folder under the copy's name beside it."""
    folder = tempfile.mkdtemp(dir=work)
    path = os.path.join(folder, "target.wav")
    shutil.copyfile(source, path)
    if road == "in place":
        os.mkdir(os.path.join(folder, temp_file_name("target.wav")))
    return folder, path


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def check_copy_road(tool, work, name, original):
    folder, done = fresh(work, original, "copy")
    watched = os.path.join(folder, temp_file_name("target.wav"))
    rc, parsed = traced(tool, done, watched, GROWING)
    recorded = isinstance(parsed, tuple) and parsed[0]
    check(rc == 0 and recorded and read_bytes(done) != read_bytes(original),
          "%s, the copy: the edit succeeds and strace records its writes (exit code %d, %s)" %
          (name, rc, "%d calls" % len(parsed[0]) if isinstance(parsed, tuple) else repr(parsed[:300])))
    if not recorded:
        return None
    calls, names = parsed
    check(applied(b"", calls) == read_bytes(done), "%s, the copy: the record makes the edited file" % name)
    check(calls[-1] == ("flush",), "%s, the copy: its last call is a wait for the disk: %s" % (name, names[-1]))
    new_bytes, old_bytes = read_bytes(done), read_bytes(original)
    check(wav_reader_views(done)["behind the riff"] == wav_reader_views(original)["behind the riff"],
          "%s, the copy: what stood behind the RIFF stays there" % name)

    def killed(kill):
        index, inject = kill
        folder, path = fresh(work, original, "copy")
        traced(tool, path, os.path.join(folder, temp_file_name("target.wav")), GROWING, inject)
        problems = [] if read_bytes(path) == old_bytes else ["the file is not the old one"]
        rc = tool.run("tag", windows_path(path), *GROWING)[0]
        if rc != 0 or read_bytes(path) != new_bytes:
            problems.append("the same edit again makes another file (exit code %d)" % rc)
        if os.listdir(folder) != ["target.wav"]:
            problems.append("the folder then holds %s" % os.listdir(folder))
        shutil.rmtree(folder, ignore_errors=True)
        return index, problems

    stops = kills(calls, names)
    with ThreadPoolExecutor(4) as pool:
        for index, problems in pool.map(killed, stops):
            for problem in problems:
                check(False, "%s, the copy killed before call %d: %s" % (name, index, problem))
    print("%s, the copy: %d calls, %d stops" % (name, len(calls), len(stops)), flush=True)
    return done


def check_in_place_road(tool, work, name, laid_out):
    """`laid_out`: the file as the copy road's edit left it."""
    folder, refused = fresh(work, laid_out, "in place")
    rc = tool.run("tag", windows_path(refused), "comment=" + "d" * 5000)[0]
    check(rc != 0 and read_bytes(refused) == read_bytes(laid_out),
          "%s, in place: a growing edit is refused with the file unchanged (exit code %d)" % (name, rc))
    folder, done = fresh(work, laid_out, "in place")
    rc, parsed = traced(tool, done, done, SAME_SIZE)
    recorded = isinstance(parsed, tuple) and parsed[0]
    check(rc == 0 and recorded, "%s, in place: the edit succeeds and strace records its writes (exit code %d)" %
          (name, rc))
    if not recorded:
        return
    calls, names = parsed
    old_bytes, new_bytes = read_bytes(laid_out), read_bytes(done)
    writes = [call for call in calls if call[0] != "flush"]
    check(len(writes) == 1 and len(writes[0][2]) <= 4096 and len(new_bytes) == len(old_bytes),
          "%s, in place: one write within a page: %s" % (name, [(c[0], c[1]) for c in writes]))
    views = {"old": (tool.all_fields(laid_out), wav_reader_views(laid_out)),
             "new": (tool.all_fields(done), wav_reader_views(done))}
    check(views["old"] != views["new"], "%s, in place: the readers read the edit" % name)
    states = {"killed before call %d" % index: applied(old_bytes, calls[:index]) for index, _ in kills(calls, names)}
    states.update(power_cut_states(old_bytes, calls))
    unique = {hashlib.sha1(data).digest(): (what, data) for what, data in states.items()}

    def judged(item):
        what, data = item
        folder, path = fresh(work, laid_out, "in place")
        with open(path, "wb") as f:
            f.write(data)
        problems = []
        seen = (tool.all_fields(path), wav_reader_views(path))
        if seen not in views.values():
            problems.append("the readers read neither the old file nor the new: %s" % (seen,))
        rc = tool.run("tag", windows_path(path), *SAME_SIZE)[0]
        if rc != 0 or read_bytes(path) != new_bytes:
            problems.append("the same edit again makes another file (exit code %d)" % rc)
        shutil.rmtree(folder, ignore_errors=True)
        return what, problems

    with ThreadPoolExecutor(4) as pool:
        for what, problems in pool.map(judged, sorted(unique.values())):
            for problem in problems:
                check(False, "%s, in place, %s: %s" % (name, what, problem))
    print("%s, in place: %d calls, %d stops (%d files)" % (name, len(calls), len(states), len(unique)), flush=True)


def main():
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-wav-stops-")
    try:
        src, wav = os.path.join(work, "src.wav"), os.path.join(work, "w.wav")
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"])
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, "-metadata", "title=Old title", "-metadata",
             "artist=Old artist", wav])
        layouts = make_wav_layout_fixtures(work, {"wav": wav})
        for name, original in (("tags behind the riff", layouts["wavtail"]),
                               ("an empty id3 chunk before two more", layouts["wavid3s"])):
            laid_out = check_copy_road(tool, work, name, original)
            if laid_out:
                check_in_place_road(tool, work, name, laid_out)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every stop left the old file or the new")
    return 0


if __name__ == "__main__":
    sys.exit(main())
