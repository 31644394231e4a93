#!/usr/bin/python3
"""zorvtool batch answers each command as a run of its own would: the same
exit status, output and errors, in order, through failures and wrong calls,
with tabs, line breaks and backslashes inside arguments.

usage: tool_batch.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402

COMMAND = sys.argv[1:4]

CALLS = [
    ("tf", "%a%|%b%|%c%", "a=tab\there", "b=two\nlines", "c=back\\slash\\t"),
    ("no-such-command",),
    ("info", "C:\\no-such-folder\\track.unknownformat"),
    ("tf", "%a%", "novalue"),
    ("version",),
]


def alone(args):
    done = subprocess.run([*COMMAND, *args], capture_output=True, text=True, encoding="utf-8", errors="replace")
    return done.returncode, done.stdout, done.stderr


def main():
    batch = ZorvtoolBatch(COMMAND)
    for args in CALLS:
        expected = alone(args)
        got = batch.run(*args)
        check((got.returncode, got.stdout, got.stderr) == expected,
              "batch %s answers %r, a run of its own %r" % (args, (got.returncode, got.stdout, got.stderr), expected))
    check(batch.run("batch").returncode == 2, "a batch inside the batch is a wrong call")
    check(batch.run("version").stdout.startswith("zorvtool "), "the batch goes on after a wrong call")
    check(len(batch.started) == 1, "one process answered them all, not %d" % len(batch.started))
    batch.close()
    print("%d passed, %d failed" % (len(CALLS) + 3 - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
