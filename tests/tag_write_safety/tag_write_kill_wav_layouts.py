#!/usr/bin/python3
"""Tag writes of WAV files with an APEv2 and an ID3v1 tag behind the RIFF,
and with an empty ID3 chunk before two more, killed at any moment (see
tag_write_kill.py).

usage: tag_write_kill_wav_layouts.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import sys

from tag_write_kill import main

if __name__ == "__main__":
    sys.exit(main("wav_layouts"))
