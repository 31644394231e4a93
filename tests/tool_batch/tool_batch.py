#!/usr/bin/python3
"""zorvtool batch answers each command as a run of its own would: the same
exit status, output and errors, in order, through failures and wrong calls,
with tabs, line breaks, carriage returns and backslashes inside arguments,
what the decoding library prints itself, relative paths in a working folder
changed after its start, and what a command printed before its process
ended. A line no run of its own could have been given (a NUL byte, bytes
that are not UTF-8, a last line the closed input cut) is refused, with a
message and a failure status, and changes nothing.

usage: tool_batch.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import re
import subprocess
import sys
import tempfile
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, tool, windows_path  # noqa: E402
from zorvtool_batch import READY, ZorvtoolBatch  # noqa: E402

COMMAND = sys.argv[1:4]

CALLS = [
    ("tf", "%title%|%artist%|%album%", "title=tab\there", "artist=two\nlines", "album=back\\slash\\t"),
    ("tf", "%title%|%artist%", "title=carriage\rreturn", "artist=ends in one\r"),
    ("no-such-command",),
    ("info", "C:\\no-such-folder\\track.unknownformat"),
    ("tf", "%a%", "novalue"),
    ("version",),
]

# Lines no run of its own could have been given; run, each would change the
# file's title in a way the caller did not ask for.
UNFIT = [
    ("a path cut at its NUL", "{path}\0junk", "title=Cut"),
    ("a value cut at its NUL", "{path}", "title=Before\0after"),
    ("a byte that is not UTF-8", "{path}", b"title=\xff"),
    ("an overlong form", "{path}", b"title=\xc0\xaf"),
    ("a surrogate", "{path}", b"title=\xed\xa0\x80"),
    ("a code point beyond Unicode", "{path}", b"title=\xf4\x90\x80\x80"),
]


def alone(args):
    done = subprocess.run([*COMMAND, *args], capture_output=True, text=True, encoding="utf-8", errors="replace")
    return done.returncode, done.stdout, done.stderr


def answer(done):
    return done.returncode, done.stdout, done.stderr


def without_addresses(text):
    """The text without the decoder's address, which differs from run to run."""
    return re.sub(r"@ [0-9A-Fa-fx]+\]", "@]", text)


def check_refused(batch, work):
    path = os.path.join(work, "target.wav")
    with wave.open(path, "wb") as target:
        target.setnchannels(1), target.setsampwidth(2), target.setframerate(8000), target.writeframes(bytes(800))
    before = open(path, "rb").read()
    for what, path_field, value in UNFIT:
        done = batch.run("tag", path_field.format(path=windows_path(path)), value)
        check(done.returncode != 0 and "not run" in done.stderr and open(path, "rb").read() == before,
              "%s is refused, the file untouched: %r" % (what, answer(done)))
    # A last line without its line feed: the input was cut inside it.
    out, err = os.path.join(work, "out"), os.path.join(work, "err")
    process = subprocess.Popen([*COMMAND, "batch", windows_path(out), windows_path(err)], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE)
    check(process.stdout.readline() == READY, "a batch of its own starts")
    answered, _ = process.communicate(("tag\t%s\ttitle=Cu" % windows_path(path)).encode())
    check(answered != b"0\n" and b"ended inside the line" in open(err, "rb").read()
          and open(path, "rb").read() == before, "a cut last line is refused (%r), the file untouched" % answered)


def main():
    batch = ZorvtoolBatch(COMMAND)
    for args in CALLS:
        expected = alone(args)
        got = answer(batch.run(*args))
        check(got == expected, "batch %s answers %r, a run of its own %r" % (args, got, expected))
    with tempfile.TemporaryDirectory() as work:
        check_refused(batch, work)

        # The ALAC decoder reports a damaged packet on the process's own errors.
        # sox dithers at random unless told to repeat itself, and a tone made
        # anew each run moves the damage to where the decoder may not say it.
        source, damaged = os.path.join(work, "tone.wav"), os.path.join(work, "damaged.m4a")
        tool("sox", "-R", "-n", "-r", "44100", "-c", "2", "-b", "16", source, "synth", "2", "sine", "440")
        tool("ffmpeg", "-v", "error", "-y", "-i", source, "-c:a", "alac", damaged)
        data = bytearray(open(damaged, "rb").read())
        at = data.index(b"mdat") + 1008
        data[at:at + 64] = b"\xff" * 64
        open(damaged, "wb").write(data)
        args = ("decode", windows_path(damaged), windows_path(damaged + ".wav"))
        expected = alone(args)
        got = answer(batch.run(*args))
        check("no end tag found" in expected[2] and without_addresses(str(got)) == without_addresses(str(expected)),
              "the decoder's own messages: batch %r, a run of its own %r" % (got, expected))
        check(batch.run("batch").returncode == 2, "a batch inside the batch is a wrong call")
        check(batch.run("version").stdout.startswith("zorvtool "), "the batch goes on after a wrong call")
        check(len(batch.started) == 1, "one process answered them all, not %d" % len(batch.started))

        # Relative paths resolve in the caller's working folder of the moment.
        os.chdir(work)
        expected = alone(("info", "tone.wav"))
        got = answer(batch.run("info", "tone.wav"))
        check(got == expected and got[0] == 0, "a relative path: batch %r, a run of its own %r" % (got, expected))

        # The process ended inside a command: what it printed reaches the caller.
        try:
            batch.run("scan", windows_path(work), "--monitor", "600", timeout=15)
            check(False, "a scan that monitors the folder ends within 15 s")
        except subprocess.TimeoutExpired as ended:
            check("damaged.m4a" in (ended.output or ""), "a scan ended by its timeout shows the files it listed: %r"
                  % ended.output)
        os.chdir("/")
    batch.close()
    print("%d failed" % len(failures) if failures else "all passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
