#!/usr/bin/python3
"""The real zorv.exe's window over a library of 30,000 tracks, large enough
that its views are built on a worker: the window answers while a view is
built, and a quick second switch lands in place of the first, which never
shows.

usage: view_switching.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
import library_window  # noqa: E402
import main_window  # noqa: E402

CAPTION = 1067
APPCOMMAND_BROWSER_BACKWARD, APPCOMMAND_BROWSER_FORWARD = "1", "2"


def test_window_answers_while_a_view_builds(root):
    player = main_window.Player(root, "switching", library=True)
    library_window.make_large_music(player.folder, 30000)
    player.start()
    check(player.wait(lambda: library_window.albums_shown(player), 180), "switching: the albums level fills")
    check(player.wait(lambda: not library_window.notice_shown(player), 180), "switching: the scan ends")
    check(player.wait(lambda: player.text(CAPTION) == "All albums", 30), "switching: starts at the albums")
    player.keys("home", "return")
    check(player.wait(lambda: player.text(CAPTION) == "All songs", 30), "switching: All songs opens")
    # The window has handled Back and answers the probe while the albums of
    # 30,000 tracks are still being built (even on a busy machine, where the
    # probe may wait its turn for tens of milliseconds).
    lines = player.probe("send-app-commands", str(CAPTION), APPCOMMAND_BROWSER_BACKWARD).stdout.splitlines()
    check(lines == ["All songs"], "switching: the window answers before the albums are built: %r" % lines)
    check(player.wait(lambda: player.text(CAPTION) == "All albums", 30), "switching: the albums arrive")
    # Forward and at once Back: the songs never show, the albums come back.
    lines = player.probe("send-app-commands", str(CAPTION), APPCOMMAND_BROWSER_FORWARD,
                         APPCOMMAND_BROWSER_BACKWARD).stdout.splitlines()
    check(lines == ["All albums", "All albums"], "switching: both commands answered at once: %r" % lines)
    seen = set()
    deadline = time.time() + 3
    while time.time() < deadline:
        seen.add(player.text(CAPTION))
        time.sleep(0.1)
    check(seen == {"All albums"}, "switching: the second switch lands, never the first: %r" % seen)
    player.shot("albums-after-quick-switches")
    check(player.stop() == 0, "switching: ends cleanly")


if __name__ == "__main__":
    main_window.run_window_tests(test_window_answers_while_a_view_builds)
