#!/usr/bin/python3
"""A Musepack file whose chapters mpcchap wrote from a cue sheet (each with
its own track number, title, artist and songwriter), its own APEv2 tag
holding a title, artist, album, comment and genre: its last chapter
retitled in the properties dialog of the real zorv.exe and applied. Read
back with mutagen and ffprobe, the file's own tag is as it was (its title
and artist kept, no "Track" item, the chapters' artist not put over its
own), and only the last chapter's packet changed. Every field of a Musepack
file whose tag holds a picture too removed in the dialog: the picture
stays, read by mutagen, and mpcdec plays the file.

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
from properties_apply_formats import apply_and_wait, edit_and_apply  # noqa: E402
from properties_window import CANCEL, DIALOG, METADATA_LIST, dialog_closed, open_dialog_in_album, rows  # noqa: E402
from mutagen.apev2 import APEv2, APEValue, BINARY  # noqa: E402

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
    check(player.wait(lambda: dialog_closed(player), 30), "the dialog closes")
    check(player.stop() == 0, "the player ends cleanly")


def test_every_field_removed_keeps_the_picture(root):
    player = Player(root, "musepack-picture", library=True)
    os.makedirs(os.path.join(player.folder, "music"))
    path = os.path.join(player.folder, "music", "song.mpc")
    wav = os.path.join(root, "picture-src.wav")  # outside the library's folder
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "2", "sine", "440"], check=True)
    subprocess.run(["mpcenc", "--silent", "--overwrite", wav, path], check=True)
    picture = b"cover.png\0" + bytes(range(256)) * 40
    tagged = APEv2()
    tagged.update({"Title": "Song", "Artist": "Anna", "Year": "2001"})
    tagged["Cover Art (Front)"] = APEValue(picture, BINARY)
    tagged.save(path)
    if not open_dialog_in_album(player, "picture", "end"):
        return
    def filled_rows():
        lines = player.probe(*DIALOG, "rows", str(METADATA_LIST)).stdout.splitlines()
        return [str(i) for i, line in enumerate(lines) if line.partition("\t")[2].strip()]
    check(player.wait(lambda: len(filled_rows()) == 3, 30), "the dialog shows the title, artist and date: %r" %
          rows(player, METADATA_LIST))
    filled = filled_rows()
    player.probe(*DIALOG, "select-rows", str(METADATA_LIST), *filled)
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "delete")
    check(apply_and_wait(player), "Apply ends with the dialog enabled")
    items = {key: value.value for key, value in APEv2(path).items()}
    check(items == {"Cover Art (Front)": picture}, "mutagen reads the picture alone: %r" % sorted(items))
    played = subprocess.run(["mpcdec", path, wav], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    check(played == 0, "mpcdec plays the file")
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "the dialog closes")
    check(player.stop() == 0, "the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_last_chapter_retitled, test_every_field_removed_keeps_the_picture)
