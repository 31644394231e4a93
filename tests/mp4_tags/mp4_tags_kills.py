#!/usr/bin/python3
"""MP4 retags by zorvtool killed at random moments, each file left playing
the same audio with the old or the new tags (see mp4_tags.py).

usage: mp4_tags_kills.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from mp4_tags import kills_main

if __name__ == "__main__":
    sys.exit(kills_main())
