#!/usr/bin/python3
"""Apply in the real zorv.exe's properties dialog writes into each file only
the fields changed in that dialog, over what the file holds at that moment:
a field the user did not touch keeps what another dialog or another program
wrote meanwhile. Over every writable format, two dialogs on the same files
(the newer changes the album, the older then only the genre) and a tagger
changing the album while a dialog is open; over FLAC and MP3 with ID3v1, every
way the dialog changes a row (in place, the field editor, the table editor,
automatic filling, capitalisation, split values, paste of a copied field,
removal, a new field), each after the tagger changed the album again. Files
read back with mutagen, ffprobe and mkvextract.

usage: properties_untouched_fields.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import sys

from mutagen.easyid3 import EasyID3
from mutagen.id3 import ParseID3v1

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path  # noqa: E402
from main_window import Player, run_window_tests  # noqa: E402
from properties_apply_formats import (ALBUM_ROW, GENRE_ROW, OLD, OTHER_READERS, apply_and_wait,  # noqa: E402
                                      edit_and_apply, edit_in_place, fields, make_files, run)
from properties_window import (CANCEL, DIALOG, LIST, METADATA_LIST, PLAY, dialog_closed, rows, shot,  # noqa: E402
                               tags_of)
from properties_window import fields as all_fields  # noqa: E402

EasyID3.RegisterTXXXKey("occasion", "OCCASION")
TABLE_LIST, FIELD_VALUE, NEXT_TAB, OK = 1269, 1077, 40067, 1


def retag(path, work, **tags):
    """Another program changes the file's fields as it would: mutagen in
    place (an ID3v1 block too, where there is one), ffmpeg through a copy
    for Matroska and WAV."""
    if path.endswith(OTHER_READERS):
        copy = os.path.join(work, "retagged" + os.path.splitext(path)[1])
        metadata = [arg for name, value in tags.items() for arg in ("-metadata", "%s=%s" % (name, value))]
        run("ffmpeg", "-v", "quiet", "-y", "-i", path, "-map", "0", "-c", "copy", *metadata, copy)
        os.replace(copy, path)
        return
    file = tags_of(path)
    file.update(dict(tags))
    file.save()


def contents(path):
    with open(path, "rb") as f:
        return f.read()


def id3v1_album(path):
    with open(path, "rb") as f:
        f.seek(-128, os.SEEK_END)
        frames = ParseID3v1(f.read())
    return frames["TALB"].text[0] if frames and "TALB" in frames else None


def dialogs(player, title="Properties"):
    """The handles of the player's open dialogs whose title begins so; asked
    of popups, which answers at once also when there is none."""
    lines = [line.split("\t") for line in player.probe("popups").stdout.splitlines()]
    return {f[2] for f in lines if len(f) >= 4 and f[0] == "#32770" and f[3].startswith(title)}


def open_dialog(player):
    """Properties from the item menu of the selected tracks: the new
    dialog's probe target, or None."""
    before = dialogs(player)
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    if not player.wait(lambda: dialogs(player) - before, 60):
        return None
    return ("--window", (dialogs(player) - before).pop())


def open_first_dialog(player, paths, case):
    """The player started on the files' folder, the files selected and
    Properties opened on them: the dialog's probe target, or None with the
    player stopped."""
    player.start(windows_path(os.path.dirname(paths[0])))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "%s: the folder is listed" % case)
    # Dropped files are selected in their folder without playing them.
    player.probe("drop", *[windows_path(path) for path in paths])
    window = open_dialog(player)
    if window is None:
        check(False, "%s: Properties opens the dialog" % case)
        player.stop()
    return window


def close_dialog(player, window):
    player.probe(*window, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player, window), 30), "Cancel after Apply closes unasked")


def test_every_format(root):
    player = Player(root, "formats")
    paths = make_files(os.path.join(player.folder, "music"))
    names = {path: os.path.basename(path) for path in paths}
    id3v1 = [path for path in paths if path.endswith("id3v1.mp3")]
    work = os.path.join(player.folder, "work")
    os.makedirs(work)
    # A tagger changes the album while the dialog is open; only the genre is
    # edited in the dialog.
    window = open_first_dialog(player, paths, "tagger")
    if window is None:
        return
    check(rows(player, METADATA_LIST, window).get("Album") == OLD["album"], "tagger: the dialog shows the album")
    for path in paths:
        retag(path, work, album="Tagger Album")
    check(edit_and_apply(player, GENRE_ROW, "Blues", window), "tagger: Apply ends")
    for path in paths:
        check(fields(path) == dict(album=["Tagger Album"], genre=["Blues"]),
              "tagger: %s keeps the tagger's album and has the new genre: %r" % (names[path], fields(path)))
    for path in id3v1:
        check(id3v1_album(path) == "Tagger Album", "tagger: %s's ID3v1 album is the tagger's: %r" %
              (names[path], id3v1_album(path)))
    check(rows(player, METADATA_LIST, window).get("Album") == "Tagger Album",
          "tagger: after Apply the dialog shows the tagger's album")
    close_dialog(player, window)

    # Two dialogs: the newer writes the album, then the older, which still
    # shows the album it loaded, writes only the genre.
    older = open_dialog(player)
    newer = open_dialog(player)
    if older is None or newer is None:
        check(False, "two dialogs: Properties opens two dialogs")
        player.stop()
        return
    check(edit_and_apply(player, ALBUM_ROW, "New Album", newer), "two dialogs: Apply in the newer ends")
    check(rows(player, METADATA_LIST, older).get("Album") == "Tagger Album",
          "two dialogs: the older dialog still shows the album it loaded")
    check(edit_and_apply(player, GENRE_ROW, "Swing", older), "two dialogs: Apply in the older ends")
    for path in paths:
        check(fields(path) == dict(album=["New Album"], genre=["Swing"]),
              "two dialogs: %s keeps the newer dialog's album and has the older's genre: %r" %
              (names[path], fields(path)))
    for path in id3v1:
        check(id3v1_album(path) == "New Album", "two dialogs: %s's ID3v1 album is the newer dialog's: %r" %
              (names[path], id3v1_album(path)))
    shown = rows(player, METADATA_LIST, older)
    check(shown.get("Album") == "New Album" and shown.get("Genre") == "Swing",
          "two dialogs: after Apply the older dialog shows what the files hold: %r" % shown)
    shot(player, "untouched-fields-older-dialog", *older)
    close_dialog(player, older)
    close_dialog(player, newer)
    check(player.stop() == 0, "formats: the player ends cleanly")


# The ways to change rows, each on the one properties dialog open; each
# changes fields the tagger does not touch.
def row_of(player, name):
    """The index of the row the metadata list shows under that name."""
    names = [line.split("\t", 1)[0] for line in player.probe(*DIALOG, "rows", str(METADATA_LIST)).stdout.splitlines()]
    return names.index(name) if name in names else -1


def list_menu(player, name, *keys):
    """The metadata list's menu on the named row, an entry chosen by keys."""
    player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row_of(player, name)))
    player.probe(*DIALOG, "focus", str(METADATA_LIST))
    player.probe(*DIALOG, "keys", "apps")
    player.probe("menu-keys", *keys)


def sub_dialog(player, title):
    """Waits for the sub-dialog: its probe target, or None."""
    target = ("--title", title)
    return target if player.wait(lambda: dialogs(player, title), 30) else None


def finish(player, target):
    player.probe(*target, "command", str(OK))
    check(player.wait(lambda: not dialogs(player, target[1]), 30), "%s: OK closes it" % target[1])


def in_place(player):
    edit_in_place(player, row_of(player, "Date"), "1999")


def field_editor(player):
    list_menu(player, "Genre", "down", "return")  # Edit...
    editor = sub_dialog(player, "Editing Field")
    if editor:
        player.probe(*editor, "focus", str(FIELD_VALUE))
        player.probe(*editor, "type", "Rock")
        finish(player, editor)


def capitalise(player):
    list_menu(player, "Title", "end", *["up"] * 6, "return")  # Capitalize


def split(player):
    list_menu(player, "Artist", "end", *["up"] * 4, "return")  # Split values
    splitter = sub_dialog(player, "Split Values")
    if splitter:
        finish(player, splitter)  # the separators as they are: ";" among them


def paste(player):
    """Title copied, then pasted into the empty Composer row: each track's
    own title, as only the private format carries them."""
    for name, key in (("Title", "ctrl+c"), ("Composer", "ctrl+v")):
        player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row_of(player, name)))
        player.probe(*DIALOG, "focus", str(METADATA_LIST))
        player.probe(*DIALOG, "keys", key)


def table_editor(player):
    """Title and Date side by side; the second track's title edited."""
    player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row_of(player, "Title")), str(row_of(player, "Date")))
    player.probe(*DIALOG, "focus", str(METADATA_LIST))
    player.probe(*DIALOG, "keys", "apps")
    player.probe("menu-keys", "down", "return")  # Edit...
    table = sub_dialog(player, "Editing values")
    if table:
        player.probe(*table, "control-keys", str(TABLE_LIST), "end", "f2")
        player.probe(*table, "type", "Opening")
        player.probe(*table, "focus-keys", "return")
        finish(player, table)


def autofill(player, pattern="%tracknumber% - %title%"):
    list_menu(player, "Title", "end", "return")  # Automatically fill values...
    filler = sub_dialog(player, "Automatically Fill Values")
    if filler:
        player.probe(*filler, "focus", "1265")
        player.probe(*filler, "type", pattern)
        finish(player, filler)


def remove(player):
    player.probe(*DIALOG, "select-rows", str(METADATA_LIST), str(row_of(player, "<MOOD>")))
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "delete")


def add_field(player):
    player.probe(*DIALOG, "focus", str(METADATA_LIST))
    player.probe(*DIALOG, "keys", "ctrl+n")
    editor = sub_dialog(player, "Add New Field")
    if editor:
        player.probe(*editor, "type", "OCCASION")
        player.probe(*editor, "command", str(NEXT_TAB))  # the single value for every track
        player.probe(*editor, "focus", str(FIELD_VALUE))
        player.probe(*editor, "type", "Party")
        finish(player, editor)


# Each way, and what it writes into each of the two files.
WAYS = (
    ("in place", in_place, [dict(date=["1999"])] * 2),
    ("field editor", field_editor, [dict(genre=["Rock"])] * 2),
    ("capitalise", capitalise, [dict(title=["First"]), dict(title=["Second"])]),
    ("split values", split, [dict(artist=["Anna", "Bert"])] * 2),
    ("paste", paste, [dict(composer=["First"]), dict(composer=["Second"])]),
    ("table editor", table_editor, [{}, dict(title=["Opening"])]),
    ("automatic filling", autofill, [dict(tracknumber=["01"], title=["Alpha"]),
                                     dict(tracknumber=["02"], title=["Beta"])]),
    ("remove field", remove, [dict(mood=None)] * 2),
    ("add new field", add_field, [dict(occasion=["Party"])] * 2),
)


def make_pair(music):
    """A FLAC file and an MP3 file with ID3v1, named for the automatic filling."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    run("sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440")
    paths = [os.path.join(music, "01 - Alpha.flac"), os.path.join(music, "02 - Beta.mp3")]
    run("flac", "-s", "-f", "-o", paths[0], tone)
    run("lame", "--quiet", "-b", "128", tone, paths[1])
    os.remove(tone)
    for path, title in zip(paths, ("first", "second")):
        tags = tags_of(path)
        if tags.tags is None:
            tags.add_tags()
        tags.update(dict(artist="Anna; Bert", title=title, album="Old Album", date="2004", genre="Jazz", mood="calm"))
        tags.save(**({"v1": 2} if path.endswith(".mp3") else {}))
    return paths


def test_every_way_to_change_a_row(root):
    player = Player(root, "ways")
    paths = make_pair(os.path.join(player.folder, "music"))
    window = open_first_dialog(player, paths, "ways")
    if window is None:
        return
    expected = [all_fields(path) for path in paths]
    for number, (way, change, written) in enumerate(WAYS, 1):
        album = "Tagger Album %d" % number
        for path in paths:
            retag(path, None, album=album)
        retagged = [contents(path) for path in paths]
        change(player)
        check(apply_and_wait(player), "%s: Apply ends" % way)
        for index, path in enumerate(paths):
            if not written[index]:
                check(contents(path) == retagged[index], "%s: %s, not changed in the dialog, is not "
                      "written" % (way, os.path.basename(path)))
            expected[index].update(album=[album], **written[index])
            expected[index] = {name: values for name, values in expected[index].items() if values is not None}
            check(all_fields(path) == expected[index], "%s: %s keeps the tagger's album and has the edit: %r, "
                  "expected %r" % (way, os.path.basename(path), all_fields(path), expected[index]))
        check(id3v1_album(paths[1]) == album, "%s: the MP3's ID3v1 album is the tagger's: %r" %
              (way, id3v1_album(paths[1])))
        check(rows(player, METADATA_LIST).get("Album") == album, "%s: the dialog shows the tagger's album" % way)
    close_dialog(player, window)
    check(player.stop() == 0, "ways: the player ends cleanly")


if __name__ == "__main__":
    run_window_tests(test_every_format, test_every_way_to_change_a_row)
