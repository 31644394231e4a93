#!/usr/bin/python3
"""A WAV edit whose file carries more than 16 MiB behind the RIFF (a large
APEv2 tag), killed at writes of its copy beside the file: the file stays
the old one, no temporary file of the edit is left in the system's
temporary folder, and the same edit again makes the unstopped edit's file
and leaves nothing beside it.

usage: wav_tail_temp_files.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

from mutagen.apev2 import APEBinaryValue, APEv2

from tag_files import Zorvtool, run, windows_path
from tag_write_kill import temp_file_name

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

EDIT = ["title=A much longer new title"]
WRITES = re.compile(r"^\d+\s+(write|pwrite64)\(")


def system_temp_folder(wine_exec, build_dir):
    """The Linux path of the folder the programs' %TEMP% names."""
    def output(*args):
        return subprocess.run([wine_exec, build_dir, *args], stdin=subprocess.DEVNULL, capture_output=True,
                              text=True, errors="replace").stdout.strip()
    return output("winepath", "-u", output("cmd", "/c", "echo", "%TEMP%"))


def write_calls(tool, path, watched, inject=None):
    """The names of the writes zorvtool's edit makes on `watched`, killed at
    `inject` (a call's name and its count among calls of that name)."""
    log = path + ".calls"
    command = ["strace", "-f", "-qq", "-P", watched, "-e", "trace=write,pwrite64", "-s", "0", "-o", log]
    if inject:
        command += ["-e", "inject=%s:signal=KILL:when=%d" % inject]
    subprocess.run([*command, *tool.command, "tag", windows_path(path), *EDIT], stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    with open(log, errors="replace") as f:
        names = [found.group(1) for found in map(WRITES.match, f) if found]
    os.remove(log)
    return names


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def main():
    wine_exec, build_dir, exe = sys.argv[1:4]
    tool = Zorvtool(wine_exec, build_dir, exe)
    work = tempfile.mkdtemp(prefix="zorv-wav-tail-temp-")
    try:
        temp_folder = system_temp_folder(wine_exec, build_dir)
        check(os.path.isdir(temp_folder), "the system's temporary folder is found: %r" % temp_folder)

        def left_in_temp():
            return sorted(os.path.basename(p) for p in glob.glob(os.path.join(temp_folder, "omg*.tmp")))

        original = os.path.join(work, "tail.wav")
        run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", original, "synth", "1", "sine", "440"])
        ape = APEv2()
        ape["Title"] = "APE title"
        ape["Cover Art (Front)"] = APEBinaryValue(b"cover.bin\0" + os.urandom(17 * 1024 * 1024))
        ape.save(original)
        ape_items = dict(APEv2(original))
        old_bytes = read_bytes(original)

        def fresh():
            folder = tempfile.mkdtemp(dir=work)
            path = os.path.join(folder, "target.wav")
            shutil.copyfile(original, path)
            return folder, path

        folder, done = fresh()
        names = write_calls(tool, done, os.path.join(folder, temp_file_name("target.wav")))
        new_bytes = read_bytes(done)
        check(names and new_bytes != old_bytes and dict(APEv2(done)) == ape_items,
              "the unstopped edit writes the copy and keeps the APEv2 tag (%d writes)" % len(names))
        before = left_in_temp()
        # The last writes put back what stood behind the RIFF; one in the
        # middle falls in the copying of the file.
        stops = sorted({len(names) // 2, len(names) - 3, len(names) - 2, len(names) - 1} - {-1, -2, -3})
        for index in stops:
            inject = (names[index], names[:index + 1].count(names[index]))
            folder, path = fresh()
            write_calls(tool, path, os.path.join(folder, temp_file_name("target.wav")), inject)
            what = "killed at write %d of %d" % (index + 1, len(names))
            check(read_bytes(path) == old_bytes, "%s: the file is the old one" % what)
            check(left_in_temp() == before, "%s: no temporary file is left in %s: %r" %
                  (what, temp_folder, sorted(set(left_in_temp()) - set(before))))
            rc = tool.run("tag", windows_path(path), *EDIT)[0]
            check(rc == 0 and read_bytes(path) == new_bytes, "%s: the same edit again makes the unstopped edit's "
                  "file (exit code %d)" % (what, rc))
            check(os.listdir(folder) == ["target.wav"], "%s: then the folder holds %s" % (what, os.listdir(folder)))
            shutil.rmtree(folder, ignore_errors=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        print("%d failures" % len(failures))
        return 1
    print("no stop left a temporary file")
    return 0


if __name__ == "__main__":
    sys.exit(main())
