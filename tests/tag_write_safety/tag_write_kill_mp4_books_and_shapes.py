#!/usr/bin/python3
"""Tag writes of MP4 books (a chapter renamed in its list and its text track) and
MP4 files trimmed by a gapless record or with two genres killed at any moment
(see tag_write_kill.py).

usage: tag_write_kill_mp4_books_and_shapes.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("mp4_books_and_shapes"))
