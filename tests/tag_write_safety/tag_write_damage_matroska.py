#!/usr/bin/python3
"""Tag writes over Matroska layouts (no SeekHead, damaged or second Tags, cut
short) and Matroska files cut short: refused whole or the audio kept; an
APEv2 tag behind the Segment stays there through edits, and a stacked or
damaged one behind Tags that end the Segment through a growing edit (see
tag_write_damage.py).

usage: tag_write_damage_matroska.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_damage import main

if __name__ == "__main__":
    sys.exit(main("matroska"))
