#!/usr/bin/python3
"""The preferences dialog of the real zorv.exe as a user meets it: Ctrl+P
opens it, the pages set the caption, Apply writes config.dat at once and the
choices hold across a restart, the dialog reopens where it was left, in
German and Russian its title (and the about box's) is the language's from
the moment it opens, and after switching Wine to 144 DPI it reopens half as large again, as far as
the 1024 x 768 screen allows, with every button on it. Screenshots
of both pages are kept under the build folder's
test-artifacts/preferences for a person to look at.

usage: preferences_window.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import os
import struct
import subprocess
import sys

sys.dont_write_bytecode = True  # no cache folder left in the source tree
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, HERE)
from blackbox_checks import check, failures, windows_path  # noqa: E402
from program_copy import QUIET, Player, session_env  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
REPO = os.path.join(HERE, "..", "..")
ARTIFACTS = os.path.join(BUILD_DIR, "test-artifacts", "preferences")
REPLAYGAIN_ITEM = "C70F0A8C-3CD5-4BA9-88CD-CC161A87A00E"
PLACEMENT_ITEM = "F90B10FB-D8FE-461A-8154-4664B7E8AEE9"
OUTPUT_DEVICE_ITEM = "C9026507-B29B-4A35-A2B7-3C16BCCB0391"
DEVICE_LIST = 1287
FOLDERS_ITEM = "5AA02BF0-431E-4460-B1F0-9EE74D02754F"
ADD_FOLDER, PLAY_BUTTON, ADDITIONAL_FOLDERS = 1033, 1000, 1318
PICKER_TITLE = "Choose folder to add"
TITLE = "Preferences"
TRACK_BASED, ALBUM_BASED, APPLY, WITH_LABEL = 1331, 1332, 1074, 1129


def rectangle(line):
    """The window rectangle of the probe's window line."""
    return tuple(int(v) for v in line[5].split(","))


def open_dialog(player):
    """Ctrl+P in the main window; the dialog's window line, or None. Another
    program's window may take the front between bringing the main window
    forward and the key, so the key is tried again."""
    line = [None]

    def shown():
        line[0] = player.controls(TITLE)[0]
        return line[0] is not None
    for _ in range(3):
        player.probe("keys", "ctrl+p")
        if player.wait(shown, 8):
            break
    return line[0]


def caption_after_choosing(player, index):
    player.window(TITLE, "select-root", str(index))
    return player.controls(TITLE)[0][-1]


def test_pages_apply_and_restart(root):
    player = Player(WINE_EXEC, BUILD_DIR, ZORV, root, "pages")
    player.start()
    window = open_dialog(player)
    check(window is not None, "Ctrl+P opens the preferences dialog")
    if window is None:
        player.stop()
        return
    check(caption_after_choosing(player, 0) == "Preferences: Music folders", "the first page is Music folders")
    os.makedirs(ARTIFACTS, exist_ok=True)
    player.shot(TITLE, os.path.join(ARTIFACTS, "music_folders_page.png"))
    check(caption_after_choosing(player, 1) == "Preferences: Playback", "the second page is Playback")
    _, controls = player.controls(TITLE)
    check(controls.get(WITH_LABEL, ("",) * 6)[5] == "\u00b10.0dB", "the preamp shows \u00b10.0dB")
    check(controls.get(ALBUM_BASED, (None, None, None, False))[3], "album-based by default")
    check(not controls.get(APPLY, (None, None, True))[2], "Apply waits for a change")
    player.shot(TITLE, os.path.join(ARTIFACTS, "playback_page.png"))

    player.window(TITLE, "click", str(TRACK_BASED))
    check(player.wait(lambda: player.controls(TITLE)[1].get(APPLY, (None, None, False))[2], 10),
          "a change makes Apply available")
    player.window(TITLE, "click", str(APPLY))
    stored = lambda: player.records().get(REPLAYGAIN_ITEM, b"")[:4] == struct.pack("<I", 1)
    check(player.wait(stored, 10), "Apply writes the track mode into config.dat at once")

    player.window(TITLE, "move", "40", "30")
    moved = rectangle(player.controls(TITLE)[0])
    player.window(TITLE, "click", "2")  # Cancel
    check(player.wait(lambda: player.gone(TITLE), 10), "Cancel closes the dialog")
    check(player.stop() == 0, "the program ends cleanly")

    player.start()
    window = open_dialog(player)
    check(window is not None and rectangle(window) == moved,
          "after a restart the dialog reopens where it was left: %r, %r" % (window and rectangle(window), moved))
    if window is not None:
        caption_after_choosing(player, 1)
        _, controls = player.controls(TITLE)
        check(controls.get(TRACK_BASED, (None, None, None, False))[3], "the track mode holds across a restart")
    check(player.stop() == 0, "the program ends cleanly after the restart")
    return moved, player


def test_music_folder(root):
    """A folder added through the picker is indexed once applied: the albums
    level gets something to play; removing the folder empties it again."""
    player = Player(WINE_EXEC, BUILD_DIR, ZORV, root, "music_folder")
    music = os.path.join(root, "added music")
    os.makedirs(music)
    tone = os.path.join(root, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "3", "sine", "440"], check=True)
    subprocess.run(["flac", "-s", "-f", "-T", "ARTIST=Dora", "-T", "ALBUM=Added", "-T", "TITLE=One", "-o",
                    os.path.join(music, "one.flac"), tone], check=True)
    player.start()
    playable = lambda: player.controls("Zorv Audio Player")[1].get(PLAY_BUTTON, (0, 0, False))[2]
    if open_dialog(player) is None:
        check(False, "music folder: the dialog opens")
        player.stop()
        return
    check(not playable(), "music folder: nothing to play before the folder is added")
    caption_after_choosing(player, 0)
    choose_folder(player, windows_path(music))
    check(player.wait(lambda: player.controls(TITLE)[1].get(APPLY, (None, None, False))[2], 20),
          "music folder: the chosen folder makes Apply available")
    # The same folder chosen again, in spellings the picker hands on, is not
    # listed twice (it refuses forward slashes and "..").
    path = windows_path(music)
    for spelling in (path, path.upper(), path + "\\"):
        choose_folder(player, spelling)
    rows = player.window(TITLE, "rows", str(ADDITIONAL_FOLDERS))[1]
    check(rows == [path], "music folder: one row for the folder chosen again in three spellings: %r" % rows)
    os.makedirs(ARTIFACTS, exist_ok=True)
    player.shot(TITLE, os.path.join(ARTIFACTS, "music_folder_chosen_again.png"))
    player.window(TITLE, "click", str(APPLY))
    check(player.wait(playable, 60), "music folder: the scan of the added folder fills the albums level")
    player.window(TITLE, "click", "2")
    check(player.stop() == 0, "music folder: the program ends cleanly")
    stored = player.records().get(FOLDERS_ITEM, b"")
    check(windows_path(music).encode() in stored, "music folder: the folder is stored: %r" % stored)


def test_picker_cancelled(root):
    """The picker cancelled twice, once with its Cancel button and once with
    Escape, then the dialog and the player closed: the process ends with exit
    code 0 and leaves no crash dump in the profile."""
    player = Player(WINE_EXEC, BUILD_DIR, ZORV, root, "picker_cancelled")
    player.start()
    if open_dialog(player) is None:
        check(False, "picker cancelled: the dialog opens")
        player.stop()
        return
    caption_after_choosing(player, 0)
    picker_open = lambda: player.controls(PICKER_TITLE)[0] is not None
    for cancel in (("click", "2"), ("keys", "escape")):
        player.window(TITLE, "click", str(ADD_FOLDER))
        check(player.wait(picker_open, 20), "picker cancelled: \"+\" opens the picker")
        player.window(PICKER_TITLE, *cancel)
        check(player.wait(lambda: player.gone(PICKER_TITLE), 20), "picker cancelled: %s closes the picker" % (cancel,))
    rows = player.window(TITLE, "rows", str(ADDITIONAL_FOLDERS))[1]
    check(rows == [], "picker cancelled: no folder is listed: %r" % rows)
    player.window(TITLE, "click", "2")
    check(player.wait(lambda: player.gone(TITLE), 10), "picker cancelled: the dialog closes")
    code = player.stop()
    check(code == 0, "picker cancelled: the program ends with exit code 0: %r" % code)
    profile = os.path.join(player.folder, "zorv-configuration")
    dumps = [name for name in os.listdir(profile) if name.startswith("failure-")]
    check(not dumps, "picker cancelled: no crash dump: %r" % dumps)


def choose_folder(player, path):
    """"+" on the Music folders page, the path typed into the picker."""
    player.window(TITLE, "click", str(ADD_FOLDER))
    player.window(PICKER_TITLE, "set-text", "Edit", path)
    player.window(PICKER_TITLE, "click", "1")
    # The dialogs over the main window: the preferences, and the picker while it is open.
    player.wait(lambda: sum(line.startswith("#32770") for line in player.probe("popups")[1]) == 1, 10)


def test_missing_device(root):
    """A configured device that is gone leaves the list without a choice;
    the hint under it is kept as a screenshot of the whole screen."""
    player = Player(WINE_EXEC, BUILD_DIR, ZORV, root, "missing_device")
    player.write_config({OUTPUT_DEVICE_ITEM: bytes(range(1, 17))})
    player.start()
    if open_dialog(player) is not None:
        caption_after_choosing(player, 1)
        _, controls = player.controls(TITLE)
        check(controls.get(DEVICE_LIST, ("",) * 6)[5] == "", "a missing device leaves the list without a choice")
        subprocess.run(["import", "-window", "root", os.path.join(ARTIFACTS, "missing_device.png")],
                       env=session_env(BUILD_DIR), **QUIET)
    check(player.stop() == 0, "missing device: the program ends cleanly")


def test_high_dpi(root, player):
    """The same profile in a Wine session at 144 DPI: the stored placement
    (taken at 96 DPI) grows by half."""
    session = os.path.join(BUILD_DIR, "dpi144-session")
    subprocess.run([os.path.join(REPO, "tools", "wine-session"), "start", session], check=True, **QUIET)
    try:
        env = session_env(session)
        reg = os.path.join(session, "dpi144.reg")
        open(reg, "w").write('REGEDIT4\n\n[HKEY_CURRENT_USER\\Control Panel\\Desktop]\n"LogPixels"=dword:00000090\n\n'
                             '[HKEY_CURRENT_CONFIG\\Software\\Fonts]\n"LogPixels"=dword:00000090\n')
        subprocess.run(["wine", "regedit", "/S", reg], env=env, **QUIET)
        subprocess.run(["wineserver", "-k"], env=env, **QUIET)
        subprocess.run([os.path.join(REPO, "tools", "wine-session"), "start", session], check=True, **QUIET)
        stored = struct.unpack("<6i", player.records()[PLACEMENT_ITEM])
        big = Player(WINE_EXEC, session, ZORV, root, "dpi144")
        big.write_config({PLACEMENT_ITEM: player.records()[PLACEMENT_ITEM]})
        big.start()
        window = open_dialog(big)
        check(window is not None, "144 DPI: Ctrl+P opens the dialog")
        frame_fills_screen = [False, False]
        if window is not None:
            left, top, right, bottom = rectangle(window)
            screen = tuple(int(v) for v in window[6].split(","))
            # The display is only 1024 x 768: a frame as large as the screen
            # is as far as the window can grow.
            frame_fills_screen = [right - left >= screen[2] - screen[0], bottom - top >= screen[3] - screen[1]]
            # Every button and the close box are within reach on the screen.
            check(screen[0] <= left and screen[1] <= top and right <= screen[2] and bottom <= screen[3],
                  "144 DPI: the dialog lies on the screen: %r on %r" % ((left, top, right, bottom), screen))
            controls = big.controls(TITLE)[1]
            for control, name in ((1, "OK"), (2, "Cancel"), (APPLY, "Apply")):
                r = controls.get(control, (0, 0, 0, 0, (0, 0, 10 ** 6, 10 ** 6)))[4]
                check(screen[0] <= r[0] and screen[1] <= r[1] and r[2] <= screen[2] and r[3] <= screen[3],
                      "144 DPI: %s lies on the screen: %r" % (name, r))
            # Each page keeps its controls inside the dialog, which the screen
            # made narrower than the page was drawn for.
            for index, page in (("0", "music_folders"), ("1", "playback")):
                big.window(TITLE, "select-root", index)
                subprocess.run(["sleep", "1"])
                subprocess.run(["import", "-window", "root", os.path.join(ARTIFACTS, page + "_page_144dpi.png")],
                               env=env, **QUIET)
                beyond = [(control, c[0], c[4]) for control, c in big.controls(TITLE)[1].items()
                          if c[1] and c[4][2] > right]
                check(not beyond, "144 DPI: the %s page's controls lie within the dialog: %r" % (page, beyond))
            big.window(TITLE, "click", "2")
            big.wait(lambda: big.gone(TITLE), 10)
        check(big.stop() == 0, "144 DPI: the program ends cleanly")
        grown = struct.unpack("<6i", big.records()[PLACEMENT_ITEM])
        check(stored[4] == 96 and grown[4] == 144, "the record holds the DPI it was taken at: %r, %r" % (stored, grown))
        for i, what in enumerate(("width", "height")):
            check(abs(grown[i] - stored[i] * 3 // 2) <= 2 or frame_fills_screen[i],
                  "144 DPI: the %s grows by half: %d -> %d" % (what, stored[i], grown[i]))
    finally:
        subprocess.run([os.path.join(REPO, "tools", "wine-session"), "stop", session], **QUIET)


def dialogs(player):
    """[(handle, title)] of the program's dialog windows now shown."""
    _, lines = player.probe("popups")
    return [(f[2], f[3]) for f in (line.split("\t") for line in lines) if len(f) >= 4 and f[0] == "#32770"]


def test_titles_follow_the_language(root):
    """Started in German and in Russian ("/lang"), the dialog has the
    language's title from the moment it opens with no page chosen (the last
    page shown is not kept across a start), and with a page; so has the
    about box, and its text. Screenshots are kept."""
    os.makedirs(ARTIFACTS, exist_ok=True)
    for lang, preferences, about, notice in (
            ("0x407", "Einstellungen", "Info", "Freie Software unter der Apache-Lizenz 2.0."),
            ("0x419", "Настройки", "О программе",
             "Свободная программа под лицензией Apache 2.0.")):
        player = Player(WINE_EXEC, BUILD_DIR, ZORV, root, "language-" + lang)
        player.start("/lang", lang)
        shown = []
        for _ in range(3):
            player.probe("keys", "ctrl+p")
            if player.wait(lambda: shown.extend(dialogs(player)) or shown, 8):
                break
        check(len(shown) == 1, "%s: Ctrl+P opens the preferences dialog: %r" % (lang, shown))
        if len(shown) != 1:
            player.stop()
            continue
        handle, title = shown[0]
        check(title == preferences, "%s: the dialog opens titled %r: %r" % (lang, preferences, title))
        player.probe("--window", handle, "shot", windows_path(os.path.join(ARTIFACTS, "title-%s.bmp" % lang)))
        player.probe("--window", handle, "select-root", "0")
        _, after = dialogs(player)[0]
        check(after.startswith(preferences + ": ") or after.startswith(preferences + "\uff1a"),
              "%s: a page's title: %r" % (lang, after))
        player.probe("--window", handle, "click", "2")  # Cancel
        check(player.wait(lambda: not dialogs(player), 10), "%s: Cancel closes the dialog" % lang)

        player.probe("menu")
        player.probe("menu-keys", "down", "down", "down", "down", "right")
        player.probe("menu-keys", "return")
        boxes = []
        check(player.wait(lambda: boxes.extend(dialogs(player)) or boxes, 15), "%s: the about box opens" % lang)
        if boxes:
            handle, title = boxes[0]
            _, lines = player.probe("--window", handle, "descendants")
            check(title == about and any(line.endswith("\t" + notice) for line in lines),
                  "%s: the about box speaks the language: %r %r" % (lang, title, lines))
            player.probe("--window", handle, "shot", windows_path(os.path.join(ARTIFACTS, "about-%s.bmp" % lang)))
            player.probe("--window", handle, "close")
        check(player.stop() == 0, "%s: the program ends cleanly" % lang)
    for name in os.listdir(ARTIFACTS):
        if name.endswith(".bmp") and "-0x4" in name:
            bmp = os.path.join(ARTIFACTS, name)
            subprocess.run(["convert", bmp, bmp[:-4] + ".png"], check=True)
            os.remove(bmp)


def main():
    subprocess.run([WINE_EXEC, BUILD_DIR, "cmd", "/c", "exit"], **QUIET)  # the session, before output is captured
    with tempfile.TemporaryDirectory() as root:
        try:
            result = test_pages_apply_and_restart(root)
            test_missing_device(root)
            test_music_folder(root)
            test_picker_cancelled(root)
            test_titles_follow_the_language(root)
            if result:
                test_high_dpi(root, result[1])
        except Exception as error:  # report, never hang
            check(False, "%r" % (error,))
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
