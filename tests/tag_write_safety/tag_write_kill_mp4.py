#!/usr/bin/python3
"""Tag writes of MP4 (movie box last, growing and shrinking, first, before
fragments, a cover) killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_mp4.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("mp4"))
