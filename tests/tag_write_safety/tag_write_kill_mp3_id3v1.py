#!/usr/bin/python3
"""Tag writes of MP3 with ID3v2 and ID3v1 (in place in either order, through the
temporary file, an album only in ID3v1) killed at any moment (see
tag_write_kill.py).

usage: tag_write_kill_mp3_id3v1.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("mp3_id3v1"))
