#!/usr/bin/python3
"""Tag writes of Opus (in place, through the temporary file, a 100 KB picture)
killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_opus.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("opus"))
