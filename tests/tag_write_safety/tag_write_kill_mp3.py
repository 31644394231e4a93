#!/usr/bin/python3
"""Tag writes of MP3 (ID3v2, APEv2 and ID3v1 together, APEv2 and ID3v1 growing
and shrinking, a gain tool's items, large tags) killed at any moment (see
tag_write_kill.py).

usage: tag_write_kill_mp3.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("mp3"))
