#!/usr/bin/python3
"""A comment, an album artist and an artist removed from every track of a cue
image in the properties dialog (see properties_keeps_cue.py).

usage: properties_keeps_cue_removals.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import sys

sys.dont_write_bytecode = True  # no cache folder left in the source tree
from main_window import run_window_tests  # noqa: E402
from properties_keeps_cue import (  # noqa: E402
    test_comment_removed_from_every_cue_track,
    test_album_artist_removed_from_every_cue_track,
    test_artist_removed_from_every_cue_track,
)

if __name__ == "__main__":
    run_window_tests(test_comment_removed_from_every_cue_track,
                     test_album_artist_removed_from_every_cue_track,
                     test_artist_removed_from_every_cue_track)
