#!/usr/bin/python3
"""Tag writes of WavPack (APEv2 growing and shrinking, a cue image, large items,
a 100 KB cover item) killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_wavpack.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("wavpack"))
