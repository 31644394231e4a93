#!/usr/bin/python3
"""A title shortened in the properties dialog of the real zorv.exe over two
WavPack files: one tagged by mutagen, one whose tag an earlier build left
with zeros between its items and footer and WavPack's tagger then gave an
album behind them. The dialog shows every item of both; after Apply each
tag is its items right before its footer, and wvtag extends it: wvunpack
and mutagen read every item, and a genre applied next from the same dialog
keeps the tagger's item. The same genre applied again writes nothing.

usage: properties_keeps_wavpack.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys

from mutagen.apev2 import APEv2

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import edit_and_apply  # noqa: E402
from properties_window import CANCEL, DIALOG, METADATA_LIST, dialog_closed, open_dialog_on_tracks, rows, shot  # noqa: E402
import apev2_layouts  # noqa: E402

# Rows of the metadata list, from the top: Artist, Title, Album, Date, Genre.
TITLE_ROW, GENRE_ROW = 1, 4
OLD = {"Title": "The Old Song Title", "Artist": "Anna"}


def make_files(music):
    """A WavPack file tagged by mutagen with a title, artist and album, and
    one with a title and artist, 1 KB of zeros and wvtag's album behind them."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    paths = [os.path.join(music, name) for name in ("1 mutagen.wv", "2 earlier.wv")]
    for path in paths:
        subprocess.run(["wavpack", "-q", "-y", tone, "-o", path], check=True)
        tagged = APEv2()
        tagged.update(OLD if path == paths[1] else dict(OLD, Album="WVTAG Album"))
        tagged.save(path)
    os.remove(tone)
    with open(paths[1], "rb") as f:
        data = apev2_layouts.with_zeros_before_footer(f.read(), 1024)
    with open(paths[1], "wb") as f:
        f.write(data)
    subprocess.run(["wvtag", "-q", "-w", "Album=WVTAG Album", paths[1]], check=True)
    return paths


def items(path):
    try:
        return {key: str(value) for key, value in APEv2(path).items()}
    except Exception as error:  # mutagen's refusal is what is checked
        return {"~error": str(error)}


def test_wavpack_edit_extended_by_wvtag(root):
    player = Player(root, "keeps_wavpack")
    paths = make_files(os.path.join(player.folder, "music"))
    names = {path: os.path.basename(path) for path in paths}
    if not open_dialog_on_tracks(player, paths):
        check(False, "keeps_wavpack: Properties opens the dialog")
        player.stop()
        return
    shown = rows(player, METADATA_LIST)
    shot(player, "keeps-wavpack-dialog", *DIALOG)
    check(shown.get("Artist") == "Anna" and shown.get("Album") == "WVTAG Album",
          "keeps_wavpack: the dialog shows every item of both files: %r" % shown)
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "keeps_wavpack: Apply ends with the dialog enabled")
    for path in paths:
        with open(path, "rb") as f:
            between = apev2_layouts.items_before_footer(f.read())
        check(between == b"", "%s: the footer follows the last item: %r between" % (names[path], between))
        subprocess.run(["wvtag", "-q", "-w", "Comment=from wvtag", path], check=True)
        listed = apev2_layouts.wvunpack_items(path)
        check(listed.get("Title") == "New Title" and listed.get("Album") == "WVTAG Album" and
              listed.get("Comment") == "from wvtag", "%s: wvunpack lists every item: %r" % (names[path], listed))
        found = items(path)
        check(found == dict(OLD, Title="New Title", Album="WVTAG Album", Comment="from wvtag"),
              "%s: mutagen reads every item: %r" % (names[path], found))

    check(edit_and_apply(player, GENRE_ROW, "Rock"), "keeps_wavpack: the second Apply ends with the dialog enabled")
    shot(player, "keeps-wavpack-second-apply", *DIALOG)
    before = {}
    for path in paths:
        found = items(path)
        check(found == dict(OLD, Title="New Title", Album="WVTAG Album", Comment="from wvtag", Genre="Rock") and
              apev2_layouts.footer_follows_items(path),
              "%s: the genre is added, the tagger's item kept: %r" % (names[path], found))
        with open(path, "rb") as f:
            before[path] = (os.stat(path).st_ino, f.read())
    check(edit_and_apply(player, GENRE_ROW, "Rock"), "keeps_wavpack: the same genre again ends with the dialog enabled")
    for path in paths:
        with open(path, "rb") as f:
            check((os.stat(path).st_ino, f.read()) == before[path], "%s: the same genre again writes nothing" %
                  names[path])
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "keeps_wavpack: the dialog closes")
    check(player.stop() == 0, "keeps_wavpack: the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_wavpack_edit_extended_by_wvtag)
