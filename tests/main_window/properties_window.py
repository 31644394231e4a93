#!/usr/bin/python3
"""The tag editor reached the way a user reaches it: three tagged tracks of
three formats selected in the real zorv.exe's main window, "Properties" picked
from their item menu (right click, then the menu key), ARTIST edited in place
for all three and written by Apply; the files read back with mutagen; ARTIST
typed into the field editor for four formats, ended with Enter, written without
the line break. One Apply on 120 tracks of the library shows, the moment the
dialog is back, what the files hold. Its lists scroll with the middle button held, and its
field-name and pattern boxes suggest what was typed before (screenshots kept
under the build folder's test-artifacts/properties_window for a person to look
at).

usage: properties_window.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import shutil
import subprocess
import time
import sys

import mutagen
from mutagen.easyid3 import EasyID3

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, screen_shot, windows_path, x_environment  # noqa: E402
from main_window import BUILD_DIR, Player, run_window_tests  # noqa: E402  (the window tests' player)

ARTIFACTS = os.path.join(BUILD_DIR, "test-artifacts", "properties_window")
PLAY, LIST = 1000, 1069
METADATA_LIST, PROPERTIES_LIST, APPLY, CANCEL = 1257, 1019, 1074, 2
WS_DISABLED = 0x08000000
DIALOG = ("--title", "Properties")  # the probe's commands on the properties dialog
TRACKS = (("1 first.flac", "Anna", "First"), ("2 second.mp3", "Anna", "Second"), ("3 third.ogg", "Bert", "Third"))


def make_tracks(music):
    """Three formats, each with the common fields and one of its own."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    paths = []
    for number, (name, artist, title) in enumerate(TRACKS, 1):
        path = os.path.join(music, name)
        if name.endswith(".flac"):
            subprocess.run(["flac", "-s", "-f", "-o", path, tone], check=True)
        elif name.endswith(".mp3"):
            subprocess.run(["lame", "--quiet", "-b", "128", tone, path], check=True)
        else:
            subprocess.run(["oggenc", "-Q", "-o", path, tone], check=True)
        tags = tags_of(path)
        if tags.tags is None:
            tags.add_tags()
        for key, value in (("artist", artist), ("title", title), ("album", "Shared Album"), ("date", "2004"),
                           ("tracknumber", str(number)), ("genre", "Jazz"), ("mood", "calm")):
            tags[key] = value
        # No padding: a longer artist makes every file grow, so that sizes
        # shown after Apply tell a fresh read from a stale one.
        tags.save(padding=lambda info: 0)
        paths.append(path)
    os.remove(tone)
    return paths


def tags_of(path):
    """The fields as names and values, the same way for every format."""
    EasyID3.RegisterTXXXKey("mood", "MOOD")
    return mutagen.File(path, easy=True)


def fields(path):
    return {key.lower(): list(values) for key, values in tags_of(path).items()}


def dialog_window(player, window=DIALOG):
    """The properties dialog's window line (class, visible, style, ...) and
    {id: (visible, enabled)} of its controls."""
    lines = player.probe(*window, "descendants").stdout.splitlines()
    if not lines or not lines[0].startswith("window\t"):
        return None, {}
    controls = {int(f[0]): (f[2] == "1", f[3] == "1") for f in (line.split("\t") for line in lines[1:]) if len(f) >= 7}
    return lines[0].split("\t"), controls


def dialog_closed(player, window=DIALOG):
    """Whether the properties dialog is gone, asked without the probe's wait
    for a window still opening (ten seconds for every dialog that closed)."""
    if window[0] == "--title":
        window = ("--title-now",) + tuple(window[1:])
    return dialog_window(player, window)[0] is None


def controls_of(player, title):
    """The control ids of the player's top-level window whose title begins so."""
    lines = player.probe("--title", title, "descendants").stdout.splitlines()
    if not lines or not lines[0].startswith("window\t"):
        return []
    return [int(f[0]) for f in (line.split("\t") for line in lines[1:]) if f and f[0].lstrip("-").isdigit()]


def rows(player, control, window=DIALOG):
    return dict(line.split("\t", 1) for line in player.probe(*window, "rows", str(control)).stdout.splitlines()
                if "\t" in line)


def shot(player, name, *target):
    os.makedirs(ARTIFACTS, exist_ok=True)
    bmp = os.path.join(ARTIFACTS, name + ".bmp")
    player.probe(*target, "shot", windows_path(bmp))
    if os.path.exists(bmp):
        subprocess.run(["convert", bmp, os.path.join(ARTIFACTS, name + ".png")], check=True)
        os.remove(bmp)


def xdotool(*args):
    subprocess.run(["xdotool", *args], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=x_environment(BUILD_DIR))


def popups(player):
    """The classes of the player's visible top-level windows besides its main window."""
    return [line.split("\t")[0] for line in player.probe("popups").stdout.splitlines() if line]


def control_rectangle(player, title, control):
    for line in player.probe("--title", title, "descendants").stdout.splitlines()[1:]:
        f = line.split("\t")
        if len(f) >= 6 and f[0] == str(control):
            return [int(v) for v in f[5].split(",")]
    return None


def open_dialog_in_album(player, kind, *select):
    """The library's first album opened, its rows chosen with the keys
    `select` and Properties opened on them; false with the player stopped
    when the dialog does not open."""
    player.start()
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 120), "%s: the scan finds it" % kind)
    player.keys("home", "down", "return")
    check(player.text(1067).startswith("Album:"), "%s: its album opens: %r" % (kind, player.text(1067)))
    player.keys(*select)
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    if player.wait(lambda: dialog_window(player)[0] is not None, 60):
        return True
    check(False, "%s: Properties opens the dialog" % kind)
    player.stop()
    return False


def open_dialog_on_tracks(player, paths):
    player.start(windows_path(os.path.dirname(paths[0])))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "road: the folder is listed")
    player.probe("drop", *[windows_path(path) for path in paths])
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    return player.wait(lambda: dialog_window(player)[0] is not None, 60)


def test_scrolling_and_suggestions_in_the_dialog(root):
    player = Player(root, "helpers")
    paths = make_tracks(os.path.join(player.folder, "music"))
    if not open_dialog_on_tracks(player, paths):
        check(False, "helpers: the properties dialog opens")
        player.stop()
        return
    # The middle button held over the list shows the scrolling marker at the
    # press point until it is released.
    area = control_rectangle(player, "Properties", METADATA_LIST)
    x, y = (area[0] + area[2]) // 2, (area[1] + area[3]) // 2
    xdotool("mousemove", str(x), str(y), "mousedown", "2")
    marked = player.wait(lambda: "Zorv:AutoscrollMarker" in popups(player), 10)
    screen_shot(BUILD_DIR, "properties_window", "autoscroll-marker")
    xdotool("mouseup", "2")
    check(marked, "autoscroll: the middle button over the metadata list shows the marker: %r" % popups(player))
    check(player.wait(lambda: "Zorv:AutoscrollMarker" not in popups(player), 10),
          "autoscroll: releasing the button hides the marker")

    # A new field's name box suggests the field names used before.
    player.probe(*DIALOG, "keys", "ctrl+n")
    check(player.wait(lambda: controls_of(player, "Add New Field"), 20), "suggest: Ctrl+N opens the new field's editor")
    before = popups(player)
    player.probe("--title", "Add New Field", "keys", "a", "l")
    suggested = player.wait(lambda: len(popups(player)) > len(before), 10)
    screen_shot(BUILD_DIR, "properties_window", "field-name-suggestions")
    check(suggested, "suggest: typing AL into the field name offers the history: %r" % popups(player))
    player.probe("--title", "Add New Field", "command", str(CANCEL))
    check(player.wait(lambda: not controls_of(player, "Add New Field"), 20), "suggest: the editor closes")

    # The automatic filling's pattern box suggests the patterns used before.
    player.probe(*DIALOG, "keys", "apps")
    player.probe("menu-keys", "end", "return")
    opened = player.wait(lambda: control_rectangle(player, "Automatically Fill Values", 1265) is not None, 20)
    check(opened, "suggest: the list's menu opens the automatic filling")
    if opened:
        box = control_rectangle(player, "Automatically Fill Values", 1265)
        xdotool("mousemove", str(box[0] + 20), str((box[1] + box[3]) // 2), "click", "1")
        before = popups(player)
        xdotool("type", "--delay", "150", "%ti")
        suggested = player.wait(lambda: len(popups(player)) > len(before), 10)
        screen_shot(BUILD_DIR, "properties_window", "pattern-suggestions")
        check(suggested, "suggest: typing %%ti into the pattern offers the history: %r" % popups(player))
        xdotool("key", "Escape")
        player.probe("--title", "Automatically Fill Values", "command", str(CANCEL))
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.stop() == 0, "helpers: the player ends cleanly")


def test_edit_three_tracks_from_the_item_menu(root):
    player = Player(root, "properties")
    paths = make_tracks(os.path.join(player.folder, "music"))
    before = {path: fields(path) for path in paths}
    audio = {path: mutagen.File(path).info.length for path in paths}
    player.start(windows_path(os.path.dirname(paths[0])))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "road: the folder is listed")
    # Dropped files are selected in their folder without playing them.
    player.probe("drop", *[windows_path(path) for path in paths])

    player.probe("context-menu", str(LIST))
    shot(player, "item-menu")
    # "Properties" is the menu's last entry.
    player.probe("menu-keys", "up", "return")
    check(player.wait(lambda: dialog_window(player)[0] is not None, 60), "road: Properties opens the dialog")
    window, _ = dialog_window(player)
    if window is None:
        player.stop()
        return
    caption = window[-1]
    check(caption == 'Properties (3 items) - "First", "Second", "Third"',
          "road: the caption names the three tracks in list order: %r" % caption)
    shown = rows(player, METADATA_LIST)
    check(shown.get("Artist") == "\u00abmultiple values\u00bb Anna; Bert" and shown.get("Album") == "Shared Album"
          and shown.get("<MOOD>") == "calm", "road: the rows show what the files hold: %r" % shown)
    technical = rows(player, PROPERTIES_LIST)
    total = "{:,}".format(sum(os.path.getsize(path) for path in paths)).replace(",", " ")
    check(technical.get("File names") == ", ".join(name for name, _, _ in TRACKS) and
          technical.get("Total size", "").endswith("(%s bytes)" % total),
          "road: the properties tab shows the three files' loaded info: %r" % technical)

    # In place, from the keyboard: the first row, F2, the text, Enter.
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
    player.probe(*DIALOG, "type", "New Artist")
    player.probe(*DIALOG, "focus-keys", "return")
    check(rows(player, METADATA_LIST).get("Artist") == "New Artist", "road: the artist is edited in place for all")
    check(dialog_window(player)[1].get(APPLY, (0, 0))[1], "road: an edit enables Apply")

    # Closing the player with the edit unwritten asks first; Cancel keeps
    # the player, the dialog and the edit.
    player.probe("close")
    asked = player.wait(lambda: {6, 7, 2} <= set(controls_of(player, "Properties")), 30)
    check(asked, "exit: unsaved edits ask Yes/No/Cancel before the player quits")
    if asked:
        player.probe("--title", "Properties", "command", "2")
    time.sleep(2)
    check(player.process.poll() is None, "exit: Cancel at the question keeps the player running")
    check(rows(player, METADATA_LIST).get("Artist") == "New Artist", "exit: Cancel keeps the edit")

    player.probe(*DIALOG, "command", str(APPLY))
    done = player.wait(lambda: (lambda w: w[0] is not None and not w[1].get(APPLY, (0, 1))[1] and
                                not int(w[0][3], 16) & WS_DISABLED)(dialog_window(player)), 60)
    check(done, "road: Apply ends with the dialog enabled and Apply off")
    shot(player, "dialog-three-tracks", *DIALOG)
    for path in paths:
        expected = dict(before[path], artist=["New Artist"])
        after = fields(path)
        check(after == expected, "road: %s has the new artist and keeps every other field: %r" %
              (os.path.basename(path), after))
        check(abs(mutagen.File(path).info.length - audio[path]) < 0.001,
              "road: %s keeps its audio" % os.path.basename(path))
    shown = rows(player, METADATA_LIST)
    check(shown.get("Artist") == "New Artist" and shown.get("Title") == "\u00abmultiple values\u00bb First; Second; Third"
          and shown.get("<MOOD>") == "calm", "road: right after Apply the dialog shows what the files hold: %r" % shown)
    technical = rows(player, PROPERTIES_LIST)
    total = "{:,}".format(sum(os.path.getsize(path) for path in paths)).replace(",", " ")
    check(technical.get("Total size", "").endswith("(%s bytes)" % total),
          "road: right after Apply the properties tab shows the files' new sizes: %r" % technical.get("Total size"))

    # The dialog's own keys work inside the player's loop too.
    player.probe(*DIALOG, "keys", "ctrl+tab")
    controls = dialog_window(player)[1]
    check(controls.get(PROPERTIES_LIST, (0,))[0] and not controls.get(METADATA_LIST, (1,))[0],
          "road: Ctrl+Tab shows the properties tab: %r" % controls)

    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "road: Cancel after Apply closes unasked")

    # From the keyboard: the tracks selected with the keys, the menu key opens
    # the item menu at the focused one, and a fresh load shows the files.
    player.probe("keys", "home", "shift+end", "apps")
    player.probe("menu-keys", "up", "return")
    check(player.wait(lambda: dialog_window(player)[0] is not None, 60), "road: the menu key leads to Properties")
    check(rows(player, METADATA_LIST).get("Artist") == "New Artist", "road: reopened, the files hold the new artist")
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.stop() == 0, "road: the player ends cleanly")


def make_many_tracks(music, count):
    """`count` FLAC and MP3 files, each with its own title."""
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    seeds = {".flac": os.path.join(music, "seed.flac"), ".mp3": os.path.join(music, "seed.mp3")}
    subprocess.run(["flac", "-s", "-f", "-o", seeds[".flac"], tone], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", tone, seeds[".mp3"]], check=True)
    paths = []
    for i in range(count):
        extension = ".flac" if i % 2 == 0 else ".mp3"
        path = os.path.join(music, "%03d Song%s" % (i, extension))
        shutil.copyfile(seeds[extension], path)
        tags = tags_of(path)
        if tags.tags is None:
            tags.add_tags()
        tags.update({"artist": "Old Artist", "title": "Song %d" % i, "album": "Album %d" % (i // 20)})
        tags.save(padding=lambda info: 0)
        paths.append(path)
    for path in list(seeds.values()) + [tone]:
        os.remove(path)
    return paths


def test_apply_on_many_tracks_shows_what_the_files_hold(root):
    """Many tracks of the player's library written by one Apply: the moment
    the dialog is back, its rows and the files' sizes are those the files
    hold, and every file holds the edit."""
    player = Player(root, "many", library=True)
    paths = make_many_tracks(os.path.join(player.folder, "music"), 120)
    player.start(windows_path(os.path.dirname(paths[0])))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "many: the folder is listed")
    player.keys("home", "shift+end")
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    check(player.wait(lambda: dialog_window(player)[0] is not None, 60), "many: Properties opens the dialog")
    if dialog_window(player)[0] is None:
        player.stop()
        return
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home", "f2")
    player.probe(*DIALOG, "type", "New Artist")
    player.probe(*DIALOG, "focus-keys", "return")
    # Timed as a user sees it: the first moment the dialog is enabled again
    # with Apply off is when its rows must already be right.
    timed = player.probe("stopwatch", "Properties", str(APPLY), *DIALOG, "command", str(APPLY))
    check(timed.returncode == 0, "many: Apply ends with the dialog enabled and Apply off")
    shown = rows(player, METADATA_LIST)
    technical = rows(player, PROPERTIES_LIST)
    shot(player, "dialog-many-tracks", *DIALOG)
    check(shown.get("Artist") == "New Artist" and shown.get("Title", "").startswith("\u00abmultiple values\u00bb Song 0;"),
          "many: right after Apply the dialog shows the new artist and every title: %r" % shown)
    total = "{:,}".format(sum(os.path.getsize(path) for path in paths)).replace(",", " ")
    check(technical.get("Total size", "").endswith("(%s bytes)" % total),
          "many: right after Apply the properties tab shows the files' new sizes: %r" % technical.get("Total size"))
    wrong = [os.path.basename(path) for path in paths if fields(path).get("artist") != ["New Artist"]]
    check(not wrong, "many: every file holds the new artist: %r" % wrong[:5])
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.wait(lambda: dialog_closed(player), 30), "many: Cancel after Apply closes unasked")
    check(player.stop() == 0, "many: the player ends cleanly")


def test_field_editor_keeps_line_breaks_out_of_values(root):
    """Artist edited for four formats on the field editor's "Single value"
    page, the text ended with Enter as a user does."""
    player = Player(root, "field-editor")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone = os.path.join(music, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "1", "sine", "440"], check=True)
    paths = [os.path.join(music, name) for name in ("1.flac", "2.mp3", "3.ogg", "4.m4a")]
    subprocess.run(["flac", "-s", "-f", "-o", paths[0], tone], check=True)
    subprocess.run(["lame", "--quiet", "-b", "128", tone, paths[1]], check=True)
    subprocess.run(["oggenc", "-Q", "-o", paths[2], tone], check=True)
    subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", tone, "-c:a", "aac", paths[3]], check=True)
    os.remove(tone)
    for path in paths:
        tags = tags_of(path)
        if tags.tags is None:
            tags.add_tags()
        tags["artist"] = "Old"
        tags.save()
    player.start(windows_path(music))
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 60), "field editor: listed")
    player.probe("drop", *[windows_path(path) for path in paths])
    player.probe("context-menu", str(LIST))
    player.probe("menu-keys", "up", "return")
    check(player.wait(lambda: dialog_window(player)[0] is not None, 60), "field editor: Properties opens")
    # Artist, the first row: Edit..., the first entry of its menu.
    player.probe(*DIALOG, "control-keys", str(METADATA_LIST), "home")
    player.probe(*DIALOG, "keys", "apps")
    player.probe("menu-keys", "down", "return")
    editor = ("--title", "Editing Field")
    check(player.wait(lambda: player.probe(*editor, "descendants").returncode == 0, 30), "field editor: Edit... opens it")
    shot(player, "field-editor-single-value", *editor)
    player.probe(*editor, "type", "Anna; Bert")
    player.probe(*editor, "focus-keys", "return")
    player.probe(*editor, "command", "1")
    check(player.wait(lambda: player.probe(*editor, "descendants").returncode != 0, 30), "field editor: OK closes it")
    player.probe(*DIALOG, "command", str(APPLY))
    player.wait(lambda: (lambda w: w[0] is not None and not w[1].get(APPLY, (0, 1))[1])(dialog_window(player)), 60)
    for path in paths:
        check(fields(path).get("artist") == ["Anna", "Bert"],
              "field editor: %s holds two artists and no line break: %r" % (os.path.basename(path), fields(path)))
    player.probe(*DIALOG, "command", str(CANCEL))
    check(player.stop() == 0, "field editor: the player ends cleanly")


def main():
    run_window_tests(test_edit_three_tracks_from_the_item_menu, test_apply_on_many_tracks_shows_what_the_files_hold,
                     test_field_editor_keeps_line_breaks_out_of_values, test_scrolling_and_suggestions_in_the_dialog)


# Other window tests reuse its helpers; as a script it runs its own checks.
if __name__ == "__main__":
    main()
