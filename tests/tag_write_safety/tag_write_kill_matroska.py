#!/usr/bin/python3
"""Tag writes of Matroska (in place, grown, into earlier room, without a
SeekHead, a second Tags element behind or in front of the Clusters, track and
album-level tags) killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_matroska.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("matroska"))
