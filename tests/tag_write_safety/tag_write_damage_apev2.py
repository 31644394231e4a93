#!/usr/bin/python3
"""Tag writes over trailing APEv2 tags (footers reaching over the audio or
claiming audio bytes, two tags in a row) and WavPack and Musepack files cut
short: refused whole or the audio kept (see tag_write_damage.py).

usage: tag_write_damage_apev2.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_damage import main

if __name__ == "__main__":
    sys.exit(main("apev2"))
