#!/usr/bin/python3
"""Tag writes over Ogg pages (audio sharing the comment's page, damaged pages and
lacing values): refused whole or the audio kept (see tag_write_damage.py).

usage: tag_write_damage_ogg.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_damage import main

if __name__ == "__main__":
    sys.exit(main("ogg"))
