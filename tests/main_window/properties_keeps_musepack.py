#!/usr/bin/python3
"""A Musepack file whose chapters mpcchap wrote from a cue sheet (each with
its own track number, title, artist and songwriter), its own APEv2 tag
holding a title, artist, album, comment and genre: its last chapter
retitled in the properties dialog of the real zorv.exe and applied. Read
back with mutagen and ffprobe, the file's own tag is as it was (its title
and artist kept, no "Track" item, the chapters' artist not put over its
own), and only the last chapter's packet changed.

usage: properties_keeps_musepack.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
from damaged_streams import mpc_packets  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from musepack_chapters import FILE_TAGS, make_cue_chaptered  # noqa: E402
from properties_apply_formats import edit_and_apply  # noqa: E402
from properties_window import CANCEL, DIALOG, METADATA_LIST, dialog_window, open_dialog_in_album, rows  # noqa: E402
from mutagen.apev2 import APEv2  # noqa: E402

TITLE_ROW = 1  # Artist, Title, Album, ...
def make_chaptered(path):
    folder = os.path.dirname(path)
    wav = os.path.join(folder, "src.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "6", "sine", "440"], check=True)
    make_cue_chaptered(wav, path)
    os.remove(wav)


def chapter_packets(path):
    data = open(path, "rb").read()
    return [data[at:at + size] for key, at, size in mpc_packets(data) if key == b"CT"]


def ffprobe_tags(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "format_tags", "-of", "json", path],
                         capture_output=True, text=True).stdout
    return {key.lower(): value for key, value in json.loads(out or "{}").get("format", {}).get("tags", {}).items()}


def test_last_chapter_retitled(root):
    player = Player(root, "musepack-chapters", library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    path = os.path.join(player.folder, "music", "book.mpc")
    make_chaptered(path)
    packets = chapter_packets(path)
    check(len(packets) == 3, "mpcchap wrote three chapters: %d" % len(packets))
    if not open_dialog_in_album(player, "chapters", "end"):
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Title") == "Third" and shown.get("Artist") == "Chapter Artist",
          "the dialog shows the last chapter with its own title and artist: %r" % shown)
    check(edit_and_apply(player, TITLE_ROW, "Dritte"), "Apply ends with the dialog enabled")
    tags = {key: str(value) for key, value in APEv2(path).items()}
    check(tags == FILE_TAGS, "mutagen reads the file's own tag as it was: %r" % tags)
    probed = ffprobe_tags(path)
    check(probed.get("title") == "File Title" and probed.get("artist") == "File Artist",
          "ffprobe reads the file's own title and artist: %r" % probed)
    after = chapter_packets(path)
    check(after[:2] == packets[:2] and len(after) == 3 and b"Dritte" in after[2] and b"Writer Three" in after[2],
          "only the last chapter's packet changed, to the new title")
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_window(player)[0] is None, 30), "the dialog closes")
    check(player.stop() == 0, "the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_last_chapter_retitled)
