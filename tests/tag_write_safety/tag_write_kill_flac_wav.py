#!/usr/bin/python3
"""Tag writes of FLAC (in place, through the temporary file, a cue image, large
tags) and WAV killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_flac_wav.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("flac_wav"))
