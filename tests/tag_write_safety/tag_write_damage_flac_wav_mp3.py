#!/usr/bin/python3
"""Tag writes over a FLAC seek table of an odd length, subsong numbers a file
lacks and ID3v2 frames the player cannot map, and FLAC, WAV and MP3 files cut
short: refused whole or the audio kept (see tag_write_damage.py).

usage: tag_write_damage_flac_wav_mp3.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_damage import main

if __name__ == "__main__":
    sys.exit(main("flac_wav_mp3"))
