#!/usr/bin/python3
"""Tag writes of Matroska layouts other programs leave (Tags that end the
Segment with an APEv2 and an ID3v1 tag, an ID3v1 tag or a further EBML
document behind it, which stays there; a second SeekHead in front of the
Clusters naming a second Tags element) killed at any moment (see
tag_write_kill.py).

usage: tag_write_kill_matroska_layouts.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("matroska_layouts"))
