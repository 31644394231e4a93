#!/usr/bin/python3
"""The first edit of Matroska files whose Tags stand in front of the Clusters,
as ffmpeg writes them, stopped before each of its writes and by a power cut
after each of its waits for the disk.

usage: matroska_first_edit_stops.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
The new Tags go behind the Segment and the SeekHead switches to them. An
unstopped edit is watched by strace, which records every write, cut and
wait for the disk it makes on the file. zorvtool is then killed before each
of those writes in turn (a SIGKILL strace delivers as the call starts), and
the file must hold exactly what the recorded writes before it make. A power
cut is rebuilt from the record: every write before a wait for the disk, and
of those after it any subset, a write over several pages also as any one
of its pages alone (the part a power cut may leave of new Tags staged
behind the Segment: bytes no reader reads, which must stop no later edit).

After every stop the player, ffprobe and mkvextract must each read the old
tags or the new ones, and mkvinfo must walk the file. A file whose old Tags
element starts in the first page, beside the SeekHead and the Segment's
size, switches in one write: no stop leaves a reader the old and the new
tags together. Where it starts further on, no one write switches both, and
readers that walk the Segment (ffprobe, mkvextract) may read both for a
moment: the same edit made again, which changes nothing the player reads,
must then leave exactly the tags of an unstopped edit. It must do so after
every stop.
"""
import hashlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor
from itertools import combinations

from tag_files import Zorvtool, matroska_reader_views, run, windows_path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

PAGE = 4096
EDIT = ["artist=A new artist", "title=A new title"]
TRACED = "read,lseek,_llseek,write,pwrite64,ftruncate,ftruncate64,fsync,fdatasync"
TAGS_ID, CLUSTER_ID = bytes.fromhex("1254C367"), bytes.fromhex("1F43B675")


def make_fixtures(folder):
    """{name: (path, one_write)}: ffmpeg's FLAC without and with a 100 KB
    attachment or seventy chapters, and its stereo Vorbis, whose codec setup
    pushes the Tags past the first page; one_write says whether the old Tags
    start in it."""
    src = os.path.join(folder, "src.wav")
    run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", src, "synth", "2", "sine", "440", "sine", "660"])
    attachment = os.path.join(folder, "cover.jpg")
    with open(attachment, "wb") as f:
        f.write(bytes(i * 7 % 251 for i in range(100000)))
    tagged = ["-metadata", "title=Old title", "-metadata", "artist=Old artist"]
    # Seventy chapters, each with its own artist, make Tags longer than a page.
    chapters = os.path.join(folder, "chapters.txt")
    with open(chapters, "w") as f:
        f.write(";FFMETADATA1\n")
        for i in range(70):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=Part %d\nartist=Player %d\n"
                    % (i * 28, i * 28 + 28, i, i))
    out = {}
    for name, codec in (("flac", ["-c:a", "flac"]),
                        ("flac chapters", ["-i", chapters, "-map_metadata", "1", "-map_chapters", "1", "-map", "0",
                                           "-c:a", "flac"]),
                        ("flac attached", ["-attach", attachment, "-metadata:s:t", "mimetype=image/jpeg", "-c:a",
                                           "flac"]),
                        ("vorbis", ["-c:a", "libvorbis"])):
        path = os.path.join(folder, name.replace(" ", "-") + ".mka")
        run(["ffmpeg", "-v", "quiet", "-y", "-i", src, *codec, *tagged, path])
        with open(path, "rb") as f:
            data = f.read()
        tags_at = data.rfind(TAGS_ID, 0, data.find(CLUSTER_ID))  # the element, not the SeekHead's entry
        out[name] = (path, tags_at // PAGE == 0)
    return out


# strace pads the pid to five places: a pid of four digits has two spaces after it.
CALL = re.compile(r'^\d+\s+(\w+)\((\d+)<[^>]*>(.*)\)\s+= (-?\d+)')
UNFINISHED = re.compile(r'^(\d+)\s+(.*) <unfinished \.\.\.>$')
RESUMED = re.compile(r'^(\d+)\s+<\.\.\. \w+ resumed>(.*)$')
DATA = re.compile(r'^, "((?:\\x[0-9a-f]{2})*)", (\d+)(?:, (\d+))?$')


def joined_lines(log):
    """The log's lines, each call whole: a call another thread's call cut in
    two ("<unfinished ...>", "<... read resumed>") is joined again."""
    started = {}
    for line in log.splitlines():
        unfinished, resumed = UNFINISHED.match(line), RESUMED.match(line)
        if unfinished:
            started[unfinished.group(1)] = unfinished.group(2)
        elif resumed and resumed.group(1) in started:
            yield "%s %s%s" % (resumed.group(1), started.pop(resumed.group(1)), resumed.group(2))
        else:
            yield line


def parse_calls(log):
    """The calls that change the file: ("write", offset, bytes), ("cut",
    size) and ("flush",), and the name of each; or the first line that does
    not read as a call."""
    calls, names, positions = [], [], {}
    for line in joined_lines(log):
        found = CALL.match(line)
        if not found:
            if " --- " in line:
                continue  # a signal
            return line
        name, fd, rest, result = found.groups()
        if name == "lseek":
            positions[fd] = int(result)
        elif name == "_llseek":
            positions[fd] = int(rest.split(", ")[2].strip("[]"))
        elif name == "read":
            positions[fd] = positions.get(fd, 0) + max(0, int(result))
        elif name in ("write", "pwrite64"):
            data = DATA.match(rest)
            if not data:
                return line
            written = bytes.fromhex(data.group(1).replace("\\x", ""))
            offset = int(data.group(3)) if name == "pwrite64" else positions.get(fd, 0)
            if name == "write":
                positions[fd] = offset + len(written)
            calls.append(("write", offset, written))
        elif name.startswith("ftruncate"):
            calls.append(("cut", int(rest.strip(", "))))
        elif name in ("fsync", "fdatasync"):
            calls.append(("flush",))
        else:
            return line
        if name not in ("lseek", "_llseek", "read"):
            names.append(name)
    return calls, names


def traced_edit(tool, path, inject=None, edit=EDIT):
    """zorvtool's `edit` of `path` under strace, killed at `inject` (the
    call's name and its count among calls of that name) if given: its exit
    code and what parse_calls made of its record."""
    log = path + ".calls"
    command = ["strace", "-f", "-qq", "-y", "-xx", "-s", "100000000", "-P", path, "-e", "trace=" + TRACED, "-o", log]
    if inject:
        command += ["-e", "inject=%s:signal=KILL:when=%d" % inject]
    rc = subprocess.run([*command, *tool.command, "tag", windows_path(path), *edit], stdout=subprocess.DEVNULL,
                        stderr=subprocess.DEVNULL).returncode
    with open(log, errors="replace") as f:
        text = f.read()
    parsed = parse_calls(text)
    os.remove(log)
    return rc, parsed


def applied(data, calls):
    data = bytearray(data)
    for call in calls:
        if call[0] == "write":
            _, offset, written = call
            data.extend(bytes(max(0, offset + len(written) - len(data))))
            data[offset:offset + len(written)] = written
        elif call[0] == "cut":
            del data[call[1]:]
            data.extend(bytes(call[1] - len(data)))
    return bytes(data)


def power_cut_states(original, calls):
    """{description: bytes} of what the disk may hold after a power cut."""
    states = {}
    done = []
    group = []
    for index, call in enumerate(calls + [("flush",)]):
        if call[0] != "flush":
            group.append((index, call))
            continue
        pieces = [[(i, c)] for i, c in group]
        for i, c in group:
            if c[0] != "write":
                continue
            # A write over several pages may reach the disk as any one of them.
            for start in range(c[1] - c[1] % PAGE, c[1] + len(c[2]), PAGE):
                page = c[2][max(0, start - c[1]):start + PAGE - c[1]]
                if len(page) < len(c[2]):
                    pieces.append([(i, ("write", max(start, c[1]), page))])
        for count in range(len(pieces) + 1):
            for subset in combinations(pieces, count):
                kept = sorted((i, c) for piece in subset for i, c in piece)
                if len({i for i, _ in kept}) == len(kept):
                    states["power cut after %d calls, with %s" % (len(done), [i for i, _ in kept])] = \
                        applied(original, done + [c for _, c in kept])
        done += [c for _, c in group] + [call]
        group = []
    return states


def stopped_states(tool, work, name, original, calls, names, edit=EDIT, suffix=".mka"):
    """({description: bytes} of every stop of the edit that made `calls`:
    zorvtool killed before each write, then every power cut; the same
    keyed by their bytes' digest, one description each). Each stopped
    edit works on a copy of the file `original` named with `suffix`."""
    with open(original, "rb") as f:
        old_bytes = f.read()
    counts = {}
    kills = []
    for index, (call, syscall) in enumerate(zip(calls, names)):
        counts[syscall] = counts.get(syscall, 0) + 1
        if call[0] != "flush":
            kills.append((index, (syscall, counts[syscall])))

    def killed(kill):
        index, inject = kill
        folder, path = state_file(work, old_bytes, suffix)
        traced_edit(tool, path, inject, edit)
        with open(path, "rb") as f:
            data = f.read()
        shutil.rmtree(folder, ignore_errors=True)
        return index, data

    states = {}
    with ThreadPoolExecutor(4) as pool:
        for index, data in pool.map(killed, kills):
            check(data == applied(old_bytes, calls[:index]),
                  "%s: killed before call %d, the file holds the calls before it" % (name, index))
            states["killed before call %d" % index] = data
    states.update(power_cut_states(old_bytes, calls))
    unique = {}
    for what, data in states.items():
        unique.setdefault(hashlib.sha1(data).digest(), (what, data))
    return states, unique


def state_file(work, data, suffix=".mka"):
    """(a new folder, a file in it holding `data`)."""
    folder = tempfile.mkdtemp(dir=work)
    path = os.path.join(folder, "target" + suffix)
    with open(path, "wb") as f:
        f.write(data)
    return folder, path


def views(tool, path):
    found = matroska_reader_views(path)
    found["player"] = tool.all_fields(path)
    return found


def main():
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-first-edit-")
    try:
        for name, (original, one_write) in make_fixtures(work).items():
            with open(original, "rb") as f:
                old_bytes = f.read()
            old = views(tool, original)
            done = os.path.join(work, "done-" + os.path.basename(original))
            shutil.copyfile(original, done)
            rc, parsed = traced_edit(tool, done)
            new = views(tool, done)
            recorded = isinstance(parsed, tuple) and parsed[0]
            check(rc == 0 and recorded and new["player"] != old["player"],
                  "%s: the unstopped edit succeeds and strace records its writes (exit code %s, %s)"
                  % (name, rc, "%d calls" % len(parsed[0]) if isinstance(parsed, tuple)
                     else "a line not read as a call: %r" % parsed[:300]))
            if not recorded:
                continue
            calls, names = parsed
            with open(done, "rb") as f:
                check(applied(old_bytes, calls) == f.read(), "%s: the record makes the edited file" % name)
            flushes = sum(call[0] == "flush" for call in calls)
            check(flushes == (1 if one_write else 2), "%s: the edit waits for the disk %d times" % (name, flushes))
            check(all(old[r] != new[r] for r in ("player", "mkvextract")) and old["mkvinfo"] and new["mkvinfo"],
                  "%s: the readers read the edit: %s" % (name, new))

            states, unique = stopped_states(tool, work, name, original, calls, names)

            def judged(item):
                what, data = item
                folder, path = state_file(work, data)
                problems = []
                seen = views(tool, path)
                mixed = [reader for reader in seen if seen[reader] not in (old[reader], new[reader])]
                # Only where no one write switches both may the walking readers read both, and only once the
                # SeekHead names the new tags.
                walkers_only = set(mixed) <= {"ffprobe", "mkvextract"} and seen["player"] == new["player"]
                if mixed and (one_write or not walkers_only):
                    problems.append("%s read neither the old nor the new tags: %s" %
                                    (mixed, {reader: seen[reader] for reader in mixed}))
                rc = tool.run("tag", windows_path(path), *EDIT)[0]
                again = views(tool, path)
                if rc != 0 or again != new:
                    problems.append("the same edit again reads %s" %
                                    {reader: again[reader] for reader in again if again[reader] != new[reader]})
                with open(path, "rb") as f:
                    if f.read().count(TAGS_ID) != 2:  # the SeekHead's entry and the element
                        problems.append("the same edit again leaves more than one Tags element")
                shutil.rmtree(folder, ignore_errors=True)
                return what, bool(mixed), problems

            with ThreadPoolExecutor(4) as pool:
                results = list(pool.map(judged, sorted(unique.values())))
            for what, _, problems in results:
                for problem in problems:
                    check(False, "%s, %s: %s" % (name, what, problem))
            print("%s: %d writes, %d waits for the disk, %d stops (%d files), %d read by walking readers as both "
                  "tags, mended by the same edit again" %
                  (name, len(calls) - flushes, flushes, len(states), len(unique), sum(m for _, m, _ in results)),
                  flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("every stop left the old tags or the new")
    return 0


if __name__ == "__main__":
    sys.exit(main())
