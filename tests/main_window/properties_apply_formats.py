#!/usr/bin/python3
"""Two Applies in a row in one properties dialog of the real zorv.exe, over a
selection of every format the player writes tags to: after each Apply every
file holds every edit so far (read back with mutagen, ffprobe and mkvextract), and the
dialog shows what the files hold, so that the second Apply writes nothing
back that the first changed. An MP3 whose new tags fit their old room is
written in place, also with an ID3v1 block beside its ID3v2 tag: the same
file, only the tags' bytes changed; and every
file is written as zorvtool's tag command writes a copy of it (in place or
through a new file, to the same size).

usage: properties_apply_formats.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
from xml.etree import ElementTree

import mutagen

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
from main_window import BUILD_DIR, QUIET, WINE_EXEC, Player, run_window_tests  # noqa: E402
from properties_window import (APPLY, CANCEL, DIALOG, METADATA_LIST, PLAY, WS_DISABLED, dialog_closed,  # noqa: E402
                               dialog_window, rows)

OLD = {"artist": "Anna", "title": "Song", "album": "Old Album", "genre": "Jazz"}
# Rows of the metadata list, from the top: Artist, Title, Album, Date, Genre.
ALBUM_ROW, GENRE_ROW = 2, 4
# Files whose tags mutagen does not read.
OTHER_READERS = (".mka", ".wav")


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_files(music):
    """One file of each writable format, the same four fields in each."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440")
    metadata = [arg for name, value in OLD.items() for arg in ("-metadata", "%s=%s" % (name, value))]
    made = {
        "mp3": lambda p: run("lame", "--quiet", "-b", "128", tone, p),
        "id3v1.mp3": lambda p: run("lame", "--quiet", "-b", "128", tone, p),
        "flac": lambda p: run("flac", "-s", "-f", "-o", p, tone),
        "ogg": lambda p: run("oggenc", "-Q", "-o", p, tone),
        "opus": lambda p: run("opusenc", "--quiet", tone, p),
        "wv": lambda p: run("wavpack", "-q", "-y", tone, "-o", p),
        "mpc": lambda p: run("mpcenc", "--silent", "--overwrite", tone, p),
        "aac.m4a": lambda p: run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "aac", p),
        "alac.m4a": lambda p: run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "alac", p),
        "mka": lambda p: run("ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "flac", *metadata, p),
        "wav": lambda p: run("ffmpeg", "-v", "quiet", "-y", "-i", tone, *metadata, p),
    }
    paths = []
    for number, (name, make) in enumerate(made.items(), 1):
        path = os.path.join(music, "%02d.%s" % (number, name))
        make(path)
        if not path.endswith(OTHER_READERS):
            tags = mutagen.File(path, easy=True)
            if tags.tags is None:
                tags.add_tags()
            for key, value in OLD.items():
                tags[key] = value
            # An ID3v1 tag too: an edit then changes both ends of the file.
            tags.save(**({"v1": 2} if name == "id3v1.mp3" else {}))
        paths.append(path)
    os.remove(tone)
    return paths


def matroska_fields(path):
    """album and genre from the Tags as mkvextract gives them: an album's
    title is TITLE in a tag aimed at level 50, or ALBUM."""
    with tempfile.TemporaryDirectory() as work:
        xml = os.path.join(work, "tags.xml")
        subprocess.run(["mkvextract", path, "tags", xml], check=True, stdout=subprocess.DEVNULL)
        tags = {}
        for tag in ElementTree.parse(xml).getroot().iter("Tag"):
            level = tag.findtext("Targets/TargetTypeValue", "50")
            for simple in tag.iter("Simple"):
                name, value = simple.findtext("Name", "").lower(), simple.findtext("String")
                if name == "title" and level == "50":
                    name = "album"
                tags.setdefault(name, []).append(value)
    return tags


def fields(path):
    """album and genre as an independent reader finds them."""
    if path.endswith(".mka"):
        tags = matroska_fields(path)
    elif path.endswith(".wav"):
        out = subprocess.run(["ffprobe", "-v", "quiet", "-of", "json", "-show_entries", "format_tags", path],
                             capture_output=True, text=True).stdout
        tags = {key.lower(): [value] for key, value in json.loads(out or "{}").get("format", {}).get("tags", {}).items()}
    else:
        tags = {key.lower(): list(values) for key, values in (mutagen.File(path, easy=True).tags or {}).items()}
    return {name: tags.get(name) for name in ("album", "genre")}


def mp3_tag_end(data):
    """Where the leading ID3v2 tag ends."""
    if data[:3] != b"ID3":
        return 0
    size = 0
    for byte in data[6:10]:
        size = (size << 7) | byte
    return 10 + size


def tool_writes(paths, folder):
    """How zorvtool's tag command writes the first edit into a copy of each
    file: {name: (in place, new size)}."""
    os.makedirs(folder)
    writes = {}
    for path in paths:
        copy = os.path.join(folder, os.path.basename(path))
        shutil.copyfile(path, copy)
        inode = os.stat(copy).st_ino
        subprocess.run([WINE_EXEC, BUILD_DIR, os.path.join(BUILD_DIR, "tools", "zorvtool.exe"), "tag",
                        windows_path(copy), "album=New Album"], **QUIET)
        writes[os.path.basename(path)] = (os.stat(copy).st_ino == inode, os.path.getsize(copy))
    return writes


def edit_in_place(player, row, text, window=DIALOG):
    """The row's value typed in place (F2) for every track."""
    player.probe(*window, "control-keys", str(METADATA_LIST), "home", *["down"] * row, "f2")
    player.probe(*window, "type", text)
    player.probe(*window, "focus-keys", "return")


def apply_and_wait(player, window=DIALOG):
    """Apply; true once the dialog is enabled again with Apply off."""
    player.probe(*window, "command", str(APPLY))
    return player.wait(lambda: (lambda w: w[0] is not None and not w[1].get(APPLY, (0, 1))[1] and
                                not int(w[0][3], 16) & WS_DISABLED)(dialog_window(player, window)), 120)


def edit_and_apply(player, row, text, window=DIALOG):
    """The row's value typed in place for every track, then Apply; true once
    the dialog is enabled again with Apply off."""
    edit_in_place(player, row, text, window)
    return apply_and_wait(player, window)


def test_two_applies_over_every_format(root):
    player = Player(root, "formats")
    paths = make_files(os.path.join(player.folder, "music"))
    names = {path: os.path.basename(path) for path in paths}
    mp3s = [path for path in paths if path.endswith(".mp3")]
    mp3_before = {}
    for mp3 in mp3s:
        with open(mp3, "rb") as f:
            mp3_before[mp3] = f.read()
    inodes = {path: os.stat(path).st_ino for path in paths}
    by_tool = tool_writes(paths, os.path.join(player.folder, "tool"))
    player.start(windows_path(os.path.dirname(paths[0])))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "formats: the folder is listed")
    player.probe("drop", *[windows_path(path) for path in paths])
    player.probe("context-menu", "1069")
    player.probe("menu-keys", "up", "return")
    if not player.wait(lambda: dialog_window(player)[0] is not None, 60):
        check(False, "formats: Properties opens the dialog")
        player.stop()
        return
    shown = rows(player, METADATA_LIST)
    check(shown.get("Album") == OLD["album"] and shown.get("Genre") == OLD["genre"],
          "formats: every file's fields are read: %r" % shown)

    expected = dict(album=[OLD["album"]], genre=[OLD["genre"]])
    for step, (row, field, value) in enumerate(((ALBUM_ROW, "album", "New Album"), (GENRE_ROW, "genre", "Rock")), 1):
        check(edit_and_apply(player, row, value), "apply %d: Apply ends with the dialog enabled and Apply off" % step)
        expected[field] = [value]
        for path in paths:
            check(fields(path) == expected, "apply %d: %s holds every edit so far: %r" %
                  (step, names[path], fields(path)))
        shown = rows(player, METADATA_LIST)
        check(shown.get("Album") == expected["album"][0] and shown.get("Genre") == expected["genre"][0],
              "apply %d: the dialog shows what the files hold: %r" % (step, shown))
        if step == 1:
            # "New Album" is as long as "Old Album": the tags keep their size,
            # the ID3v2 tag at the start and an ID3v1 block at the end.
            for mp3 in mp3s:
                with open(mp3, "rb") as f:
                    mp3_after = f.read()
                before = mp3_before[mp3]
                start = mp3_tag_end(before)
                end = len(before) - 128 if before[-128:-125] == b"TAG" else len(before)
                check(os.stat(mp3).st_ino == inodes[mp3] and len(mp3_after) == len(before) and
                      mp3_after[start:end] == before[start:end], "apply 1: %s is written in place, only its tags' "
                      "bytes changed (inode %d -> %d)" % (names[mp3], inodes[mp3], os.stat(mp3).st_ino))
            for path in paths:
                by_window = (os.stat(path).st_ino == inodes[path], os.path.getsize(path))
                check(by_window == by_tool[names[path]], "apply 1: %s is written as zorvtool writes it "
                      "(in place, size): %r, zorvtool %r" % (names[path], by_window, by_tool[names[path]]))

    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "formats: Cancel after Apply closes unasked")
    check(player.stop() == 0, "formats: the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_two_applies_over_every_format)
