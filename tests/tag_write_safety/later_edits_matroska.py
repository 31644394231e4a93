#!/usr/bin/python3
"""Later text edits in place of Matroska files with a 100 KB attachment made by
ffmpeg and by mkvmerge (see later_edits_in_place.py).

usage: later_edits_matroska.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from later_edits_in_place import main

if __name__ == "__main__":
    sys.exit(main("matroska"))
