#!/usr/bin/python3
"""Later text edits in place of M4A files made by ffmpeg, mutagen and
AtomicParsley, with and without a cover (see later_edits_in_place.py).

usage: later_edits_mp4.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from later_edits_in_place import main

if __name__ == "__main__":
    sys.exit(main("mp4"))
