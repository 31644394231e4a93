#!/usr/bin/python3
"""Later text edits in place of WavPack and Musepack with a 100 KB APEv2 cover
item, tagged by mutagen and by wvtag (see later_edits_in_place.py).

usage: later_edits_apev2.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from later_edits_in_place import main

if __name__ == "__main__":
    sys.exit(main("apev2"))
