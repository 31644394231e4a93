#!/usr/bin/python3
"""One track of a cue image retitled in the properties dialog, beside a sheet
comment and beside a CUESHEET block, and sheets beginning with a byte-order
mark listed whole (see properties_keeps_cue.py).

usage: properties_keeps_cue_titles.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import sys

sys.dont_write_bytecode = True  # no cache folder left in the source tree
from main_window import run_window_tests  # noqa: E402
from properties_keeps_cue import (  # noqa: E402
    test_title_edit_of_one_cue_track,
    test_title_edit_beside_a_cue_sheet_block,
    test_sheet_with_a_byte_order_mark_lists_its_tracks,
)

if __name__ == "__main__":
    run_window_tests(test_title_edit_of_one_cue_track,
                     test_title_edit_beside_a_cue_sheet_block,
                     test_sheet_with_a_byte_order_mark_lists_its_tracks)
