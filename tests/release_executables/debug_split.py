#!/usr/bin/python3
"""Each shipped executable holds no debug sections nor symbols, names its symbol file
through a debug link whose checksum matches, and the symbol file beside it
holds the debug information and the symbols.

usage: debug_split.py OBJDUMP OBJCOPY EXE...
"""
import os
import subprocess
import sys
import tempfile
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures  # noqa: E402

OBJDUMP, OBJCOPY, EXECUTABLES = sys.argv[1], sys.argv[2], sys.argv[3:]


def section_names(path):
    listing = subprocess.run([OBJDUMP, "-h", path], check=True, capture_output=True, text=True).stdout
    names = set()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) >= 2 and fields[0].isdigit():
            names.add(fields[1])
    return names


def symbol_count(path):
    listing = subprocess.run([OBJDUMP, "-t", path], check=True, capture_output=True, text=True).stdout
    return sum(1 for line in listing.splitlines() if line.startswith("["))


def debug_link(path):
    """The file name and CRC-32 the .gnu_debuglink section records."""
    with tempfile.TemporaryDirectory() as work:
        dumped = os.path.join(work, "link")
        subprocess.run([OBJCOPY, "--dump-section", ".gnu_debuglink=" + dumped, path, os.path.join(work, "copy")],
                       check=True, capture_output=True)
        with open(dumped, "rb") as f:
            data = f.read()
    name = data[:data.index(0)].decode()
    crc_at = (len(name) + 1 + 3) // 4 * 4
    return name, int.from_bytes(data[crc_at:crc_at + 4], "little")


def main():
    for exe in EXECUTABLES:
        label = os.path.basename(exe)
        sections = section_names(exe)
        debug = sorted(s for s in sections if s.startswith(".debug") or s.startswith(".zdebug"))
        check(not debug, label + " carries no debug sections, found " + ", ".join(debug))
        check(".text" in sections, label + " still has its code")
        check(symbol_count(exe) == 0, label + " carries no symbol table")
        check(".gnu_debuglink" in sections, label + " names its symbol file")
        symbols = exe + ".debug"
        check(os.path.isfile(symbols), label + " has its symbol file beside it")
        if ".gnu_debuglink" not in sections or not os.path.isfile(symbols):
            continue
        name, crc = debug_link(exe)
        check(name == label + ".debug", label + " links " + name)
        with open(symbols, "rb") as f:
            check(zlib.crc32(f.read()) == crc, label + ": the link's checksum matches the symbol file beside it")
        check(".debug_info" in section_names(symbols), label + ".debug holds the debug information")
        check(symbol_count(symbols) > 1000, label + ".debug holds the symbol table")
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
