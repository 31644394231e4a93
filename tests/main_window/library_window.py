#!/usr/bin/python3
"""The library as the real zorv.exe keeps it across runs and fills it while
it scans: a start and quit that change nothing leave database.dat as it was
(bytes and time), a new file gets it written again, a large folder shows
its first albums while the indexing notice is still up, and a large stored
library (intact or damaged) opens on its albums from database.dat alone.

usage: library_window.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import shutil
import struct
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
import main_window  # noqa: E402  (the window tests' player; its own checks run only as a script)

PLAY, NOTICE, CAPTION = 1000, 1324, 1067
MONITOR_FOLDERS = "A0AA0DBF-C6D0-4DB7-BC23-E2AF96BDBEC4"  # config.dat: the music folders are monitored
OLD_TIME = 1000000000  # 2001: a file written by a run has a later time


def albums_shown(player):
    return player.controls()[1].get(PLAY, (0, 0, False))[2]


def notice_shown(player):
    return player.controls()[1].get(NOTICE, (0, False))[1]


def database(player):
    return os.path.join(player.folder, "zorv-configuration", "database.dat")


def run_until_scanned(player):
    """Starts the player, waits until the library is filled and the scan is
    over, and quits; answers the exit code."""
    player.start()
    check(player.wait(lambda: albums_shown(player), 120), "the albums level fills")
    check(player.wait(lambda: not notice_shown(player), 120), "the indexing notice goes")
    return player.stop()


def test_unchanged_library_is_not_written(root):
    player = main_window.Player(root, "unchanged", library=True)
    main_window.make_music(player.folder)
    check(run_until_scanned(player) == 0, "unchanged: the first run ends cleanly")
    path = database(player)
    check(os.path.isfile(path), "unchanged: the first run writes database.dat")
    before = open(path, "rb").read()
    os.utime(path, (OLD_TIME, OLD_TIME))

    check(run_until_scanned(player) == 0, "unchanged: the second run ends cleanly")
    check(os.stat(path).st_mtime == OLD_TIME and open(path, "rb").read() == before,
          "unchanged: a run that found nothing new leaves database.dat untouched")

    shutil.copy(os.path.join(player.folder, "music", "carl", "Carl-1.flac"),
                os.path.join(player.folder, "music", "carl", "Carl-2.flac"))
    check(run_until_scanned(player) == 0, "unchanged: the third run ends cleanly")
    check(os.stat(path).st_mtime != OLD_TIME and open(path, "rb").read() != before,
          "unchanged: a new file gets database.dat written")


def make_large_music(folder, files):
    """`files` tagged FLAC files in albums of 20, hard links to four seeds."""
    seeds = os.path.join(folder, "seeds")
    os.makedirs(seeds)
    tone = os.path.join(seeds, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    for n in range(4):
        subprocess.run(["flac", "-s", "-f", "-T", "ARTIST=Artist %d" % n, "-T", "ALBUM=Album %d" % n,
                        "-T", "TITLE=Song %d" % n, "-o", os.path.join(seeds, "seed%d.flac" % n), tone], check=True)
    for i in range(files):
        album = os.path.join(folder, "music", "Artist %d" % (i // 200), "Album %d" % (i // 20))
        if i % 20 == 0:
            os.makedirs(album)
        os.link(os.path.join(seeds, "seed%d.flac" % (i % 4)), os.path.join(album, "%02d Song.flac" % (i % 20)))


def test_first_albums_while_scanning(root):
    player = main_window.Player(root, "large", library=True)
    # Large enough that the scan outlasts the window's start and the probe's
    # polling on an idle machine too (6,000 cached files were read before the
    # first poll could see the list).
    make_large_music(player.folder, 30000)
    player.start()
    # The list is first read the moment the window shows, perhaps before the
    # scan has put up its notice: what counts is that albums are listed at
    # two polls in a row with the notice up, so the scan went on after they
    # showed (a scan that hands its tracks over only at its end cannot).
    polls_with_both, notice_seen, deadline = 0, False, time.time() + 180
    while time.time() < deadline and polls_with_both < 2:
        controls = player.controls()[1]
        shown = controls.get(PLAY, (0, 0, False))[2]
        scanning = controls.get(NOTICE, (0, False))[1]
        if notice_seen and not scanning:
            break  # the scan is over
        notice_seen = notice_seen or scanning
        polls_with_both += 1 if shown and scanning else 0
        time.sleep(0.1)
    seen_during_scan = polls_with_both >= 2
    check(seen_during_scan, "large: the first albums show while the indexing notice is still up")
    player.shot("albums-while-scanning")
    check(player.wait(lambda: not notice_shown(player), 180), "large: the scan ends")
    check(player.stop() == 0, "large: ends cleanly")


def stored_library(albums, songs):
    """database.dat whose one music folder, the program's own, holds `albums`
    album folders of `songs` tracks, each with its info; no file exists."""
    def text(value):
        return struct.pack("<I", len(value)) + value
    tree = [struct.pack("<2I", 0, albums)]
    for a in range(albums):
        tree.append(text(b"Album %03d" % a) + struct.pack("<I", songs))
        for n in range(songs):
            info = b"\0".join([b"Song %d" % n, b"Artist %d" % (a % 7), b"", b"Rock", b"Album %03d" % a,
                               b"%d" % (n + 1), b"", b"2001", b""])
            tree.append(text(b"%02d Song.flac" % n) + struct.pack("<6I", 0x12345678, 0x01D00000, 1, 0, 1, 0x43340000)
                        + text(info))
        tree.append(struct.pack("<I", 0))
    tree = b"".join(tree)
    blob = (main_window.guid_bytes("A5CA0AD0-EA5D-4E04-AA2C-DD0A4502366E") + text(tree)
            + main_window.guid_bytes("9BEA8494-6045-4945-9ABC-0B38AEC3916A"))
    return main_window.guid_bytes("9F65C755-13F6-4814-A9B1-F1B6F7AD7FFC") + struct.pack("<I", 1) + text(b".") + text(blob)


def test_stored_library_opens_on_its_albums(root):
    """6,000 stored tracks, enough for the albums to be built on a worker,
    shown without a folder being looked at, the same albums whether built
    ahead at the start or once shown; a damaged file shows what it still
    holds, says nothing, and a restart finds the same."""
    # Albums are listed by artist: Artist 0 has album 0 first, Artist 6 album 293 last.
    first, last = "Album: <a>Album 000 [2001]</a>", "Album: <a>Album 293 [2001]</a>"
    whole = stored_library(300, 20)
    for name, content, albums in (("stored", whole, True), ("count-past-records", whole[:16] + struct.pack(
            "<I", 1000) + whole[20:], True), ("cut", whole[:len(whole) // 2], False)):
        player = main_window.Player(root, name, library=True)
        player.write_config({MONITOR_FOLDERS: b"\0"})
        open(database(player), "wb").write(content)
        for run in ("first run", "restart"):
            player.start()
            check(player.wait(lambda: player.text(CAPTION) == "All albums", 60), "%s, %s: opens on the albums" % (name, run))
            if albums:
                check(player.wait(lambda: albums_shown(player), 60), "%s, %s: the albums fill" % (name, run))
                if name == "stored" and run == "first run":
                    player.shot("stored-library-albums")
                # The view the window opens on was built ahead, the one Up
                # returns to once shown: the restart checks each end of the
                # other.
                ends = [(("home", "down"), first, "first"), (("end",), last, "last")]
                for keys, caption, which in ends if run == "first run" else reversed(ends):
                    player.keys(*keys, "return")
                    check(player.text(CAPTION).startswith(caption),
                          "%s, %s: the %s album: %r" % (name, run, which, player.text(CAPTION)))
                    player.keys("alt+up")
            else:
                time.sleep(2)
                check(not albums_shown(player), "%s, %s: nothing usable, nothing to play" % (name, run))
            check(not player.probe("popups").stdout.strip(), "%s, %s: no message" % (name, run))
            check(player.stop() == 0, "%s, %s: ends cleanly" % (name, run))


if __name__ == "__main__":
    main_window.run_window_tests(test_unchanged_library_is_not_written, test_first_albums_while_scanning,
                                 test_stored_library_opens_on_its_albums)
