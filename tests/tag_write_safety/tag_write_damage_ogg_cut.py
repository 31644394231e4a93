#!/usr/bin/python3
"""Tag writes over Ogg Vorbis, Opus and Ogg FLAC files cut short within their
first audio page: refused whole or the audio kept (see tag_write_damage.py).

usage: tag_write_damage_ogg_cut.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_damage import main

if __name__ == "__main__":
    sys.exit(main("ogg_cut"))
