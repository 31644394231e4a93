#!/usr/bin/python3
"""A title edited and applied in the real zorv.exe's properties dialog over
MP3 files holding a second tag kind beside the ID3v2 tag the player reads: a
gain tool's APEv2 items (read or not) all stay as they were, and an album
that only the ID3v1 block holds stays, read back with mutagen; the title
reaches every tag.

usage: properties_keeps_mp3.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import subprocess
import sys

from mutagen.apev2 import APEv2
from mutagen.id3 import ID3, TCMP, TIT2

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import edit_and_apply  # noqa: E402
from properties_window import CANCEL, DIALOG, METADATA_LIST, dialog_window, open_dialog_on_tracks, rows  # noqa: E402
from two_tag_kinds import GAIN_ITEMS, tag_with_album_only_in_id3v1, tag_with_gain_items  # noqa: E402

# Rows of the metadata list, from the top: Artist, Title, Album, ...
TITLE_ROW = 1


def make_files(music):
    """An MP3 with ID3v2 and APEv2 tags, and one with ID3v2 and ID3v1 tags
    whose album only the ID3v1 block holds."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    ape, v1 = os.path.join(music, "1 ape.mp3"), os.path.join(music, "2 id3v1.mp3")
    for path in (ape, v1):
        subprocess.run(["lame", "--quiet", "-b", "128", tone, path], check=True)
    os.remove(tone)
    tag_with_gain_items(ape, "Old One")
    tag_with_album_only_in_id3v1(v1, "Old Two", "V1 Album")
    return ape, v1


def test_title_edit_keeps_the_other_tags_values(root):
    player = Player(root, "keeps_mp3")
    ape, v1 = make_files(os.path.join(player.folder, "music"))
    with open(v1, "rb") as f:
        block = f.read()[-128:]
    check(str(ID3(v1)["TALB"]) == "V1 Album" and "TALB" not in ID3(v1, load_v1=False),
          "keeps_mp3: the album is only in the ID3v1 block")
    if not open_dialog_on_tracks(player, [ape, v1]):
        check(False, "keeps_mp3: Properties opens the dialog")
        player.stop()
        return
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "keeps_mp3: Apply ends with the dialog enabled")
    check(rows(player, METADATA_LIST).get("Title") == "New Title", "keeps_mp3: the dialog shows the new title")

    items = APEv2(ape)
    kept = {key: str(items[key]) for key in GAIN_ITEMS if key in items}
    check(kept == GAIN_ITEMS, "keeps_mp3: every APEv2 item stays: %r" % dict(items))
    check(set(items.keys()) - set(GAIN_ITEMS) <= {"Title"} and str(items.get("Title", "New Title")) == "New Title",
          "keeps_mp3: the APEv2 tag gets the title alone: %r" % dict(items))
    check(str(ID3(ape)["TIT2"]) == "New Title" and str(ID3(ape)["TPE1"]) == "Band", "keeps_mp3: ID3v2 title edited")

    tags = ID3(v1)
    with open(v1, "rb") as f:
        new_block = f.read()[-128:]
    check(str(tags["TIT2"]) == "New Title" and str(tags.get("TALB")) == "V1 Album",
          "keeps_mp3: the ID3v1 album stays: %s" % tags.pprint())
    check(new_block[3:33].rstrip(b"\0") == b"New Title" and new_block[33:] == block[33:],
          "keeps_mp3: only the ID3v1 title changed")

    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_window(player)[0] is None, 30), "keeps_mp3: the dialog closes")
    check(player.stop() == 0, "keeps_mp3: the player ends cleanly")


def test_title_edit_of_a_compilation_stores_no_album_artist(root):
    """An MP3 marked as a compilation (TCMP) with no album artist: the
    dialog shows "Various Artists", and a title edit applied does not write
    it into the file."""
    player = Player(root, "compilation_mp3")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone, path = os.path.join(music, "tone.wav"), os.path.join(music, "compilation.mp3")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", tone, path], check=True)
    os.remove(tone)
    tags = ID3()
    tags.add(TIT2(encoding=1, text=["Old"]))
    tags.add(TCMP(encoding=1, text=["1"]))
    tags.save(path)
    if not open_dialog_on_tracks(player, [path]):
        check(False, "compilation_mp3: Properties opens the dialog")
        player.stop()
        return
    check(rows(player, METADATA_LIST).get("Album Artist") in ("Various Artists", None),
          "compilation_mp3: the dialog shows the compilation's album artist: %r" % rows(player, METADATA_LIST))
    check(edit_and_apply(player, TITLE_ROW, "New Title"), "compilation_mp3: Apply ends with the dialog enabled")
    tags = ID3(path)
    check(str(tags["TIT2"]) == "New Title" and not tags.getall("TPE2") and str(tags["TCMP"]) == "1",
          "compilation_mp3: the title alone is written, no album artist: %s" % tags.pprint())
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_window(player)[0] is None, 30), "compilation_mp3: the dialog closes")
    check(player.stop() == 0, "compilation_mp3: the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_title_edit_keeps_the_other_tags_values,
                     test_title_edit_of_a_compilation_stores_no_album_artist)
