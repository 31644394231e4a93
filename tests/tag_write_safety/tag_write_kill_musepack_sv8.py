#!/usr/bin/python3
"""Tag writes of Musepack version 8 (APEv2, header gain, chapters, large items, a
100 KB cover item) killed at any moment (see tag_write_kill.py).

usage: tag_write_kill_musepack_sv8.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("musepack_sv8"))
