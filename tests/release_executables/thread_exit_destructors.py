#!/usr/bin/python3
"""No thread-local object of the shipped executables has a destructor: the
runtime's support for them is not linked in. With this toolchain that support
keeps a static whose destructor, at process exit, takes the write side of the
thread-key lock while worker threads ending at the same moment take its read
side around their own thread-local destructors; a close of the player could
then wait for ever. Read from each executable's symbol file.

usage: thread_exit_destructors.py OBJDUMP EXE...
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

OBJDUMP, EXECUTABLES = sys.argv[1], sys.argv[2:]
REGISTRATION = "___cxa_thread_atexit"  # what every thread-local destructor is registered through


def main():
    for exe in EXECUTABLES:
        listing = subprocess.run([OBJDUMP, "-t", exe + ".debug"], check=True, capture_output=True, text=True).stdout
        names = {line.split()[-1] for line in listing.splitlines() if line.startswith("[")}
        check(len(names) > 1000, os.path.basename(exe) + ": its symbol file lists the symbols")
        check(REGISTRATION not in names,
              os.path.basename(exe) + " registers no thread-local destructor (a thread_local object with one)")
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
