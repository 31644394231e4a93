#!/usr/bin/python3
"""Tag writes of Ogg Vorbis (in place, through the temporary file, a 100 KB
comment and picture) killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_ogg_vorbis.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("ogg_vorbis"))
