#!/usr/bin/python3
"""Tag writes over MP4 tag and chapter-text boxes, MP4 files cut short, and files
no input claims: refused whole or the audio kept (see tag_write_damage.py).

usage: tag_write_damage_mp4.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_damage import main

if __name__ == "__main__":
    sys.exit(main("mp4"))
