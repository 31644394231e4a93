#!/usr/bin/python3
"""The real zorv.exe's main window as a user meets it: its controls at their
ids and classes, the library in the list walked with the keys (Enter, Alt+Up,
Backspace, Alt+Left, Alt+Right) and remembered across a restart, full screen
with F11 and Escape, dropped files, the media Play/Pause key, damaged folder
pictures, and the four themes (screenshots kept under the build folder's
test-artifacts/main_window for a person to look at; the black theme's
background checked by pixel).

usage: main_window.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe,
ZORV_FILE_HOLDER_EXE the helper that holds a file open)
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402
from zorvtool_batch import ZorvtoolBatch  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
PROBE = os.environ["ZORV_WINDOW_PROBE"]
PROBE_BATCH = ZorvtoolBatch([WINE_EXEC, BUILD_DIR, PROBE])
HOLDER = os.environ.get("ZORV_FILE_HOLDER_EXE")
ARTIFACTS = os.path.join(BUILD_DIR, "test-artifacts", "main_window")
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

BUTTONS = [4, 1059, 1060, 1061, 1006, 1055, 1052, 1050, 1051, 1000]
LINKS = [1067, 1068, 1079, 1080]
THEMES = {  # name: the theme's GUID as stored in config.dat
    "classic": "8321EE01-0E2F-4CDD-9988-2CFADA2CED4C",
    "black": "F96DE72E-A4F1-41A2-8786-6E7222854877",
    "white": "3CA390B0-28DF-4C27-B1D1-49E36EB98EBA",
    "graphite": "BE388481-626B-4D05-ADDD-9943474D2395",
}
APPCOMMAND_MEDIA_PLAY_PAUSE = 14
MONITOR_FOLDERS = "A0AA0DBF-C6D0-4DB7-BC23-E2AF96BDBEC4"  # config.dat: the music folders are monitored
APPCOMMAND_BROWSER_BACKWARD, APPCOMMAND_BROWSER_FORWARD = 1, 2
ALBUM_ANNA = "Album: <a>First [2001]</a>, artist: <a>Anna</a>"


def guid_bytes(text):
    d = bytes.fromhex(text.replace("-", ""))
    return d[3::-1] + d[5:3:-1] + d[7:5:-1] + d[8:]


def config_file(records):
    """config.dat holding the records {GUID text: value bytes}."""
    payload = b"".join(guid_bytes(g) + struct.pack("<I", len(v)) + v for g, v in records.items())
    salt = struct.pack("<4I", 0x5A6F7276, 0x43666731, 0x9E3779B9, 0x7F4A7C15)
    return (guid_bytes("B2223DD1-15C4-46F5-8031-96E692BC1E20") + hashlib.md5(salt + payload).digest()
            + struct.pack("<I", len(payload)) + payload)


class Player:
    """A copy of zorv.exe with its profile beside it; with `library` the
    library is the copy's own folder, where the music goes."""

    def __init__(self, root, name, library=False):
        self.folder = os.path.join(root, name)
        os.makedirs(self.folder)
        self.exe = os.path.join(self.folder, "zorv.exe")
        shutil.copy(ZORV, self.exe)
        open(self.exe + ".localconfig.opt", "w").close()
        if library:
            open(self.exe + ".locallibrary.opt", "w").close()
        self.process = None

    def write_config(self, records):
        profile = os.path.join(self.folder, "zorv-configuration")
        os.makedirs(profile, exist_ok=True)
        open(os.path.join(profile, "config.dat"), "wb").write(config_file(records))

    def start(self, *args):
        env = dict(os.environ, AUDIO_CAPTURE="/dev/null")
        self.process = subprocess.Popen([WINE_EXEC, BUILD_DIR, self.exe, *args], env=env, **QUIET)

    def probe(self, *args):
        return PROBE_BATCH.run(windows_path(self.exe), *args, timeout=120)

    def controls(self):
        """{id: (class, visible, enabled, checked, rectangle, text)} and the window's line."""
        lines = self.probe("children").stdout.splitlines()
        if not lines or not lines[0].startswith("window\t"):
            return None, {}
        controls = {}
        for line in lines[1:]:
            f = line.split("\t")
            if len(f) >= 7:
                controls[int(f[0])] = (f[1], f[2] == "1", f[3] == "1", f[4] == "1",
                                       tuple(int(v) for v in f[5].split(",")), "\t".join(f[6:]))
        return lines[0].split("\t"), controls

    def text(self, control):
        return self.controls()[1].get(control, ("",) * 6)[5]

    def wait(self, condition, seconds=60):
        deadline = time.time() + seconds
        while time.time() < deadline:
            if condition():
                return True
            time.sleep(0.5)
        return False

    def keys(self, *keys):
        self.probe("keys", *keys)

    def menu_open(self):
        """Whether a popup menu of the program is shown."""
        return any(line.startswith("#32768") for line in self.probe("popups").stdout.splitlines())

    def shot(self, name):
        os.makedirs(ARTIFACTS, exist_ok=True)
        bmp = os.path.join(ARTIFACTS, name + ".bmp")
        self.probe("shot", windows_path(bmp))
        png = os.path.join(ARTIFACTS, name + ".png")
        subprocess.run(["convert", bmp, png], check=True)
        os.remove(bmp)
        return png

    def stop(self):
        """Closes the window as a user does; answers the exit code."""
        self.probe("close")
        try:
            return self.process.wait(timeout=60)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def pixel(png, x, y):
    """(r, g, b) of a pixel of a screenshot."""
    out = subprocess.run(["convert", png, "-crop", "1x1+%d+%d" % (x, y), "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return tuple(out[:3])


def make_music(folder):
    """Two albums by Anna and Carl; each album folder gets its own picture trouble."""
    tone = os.path.join(folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", tone, "synth", "30", "sine", "440"], check=True)
    for sub, artist, album, date, number, title in (("anna", "Anna", "First", "2001", "1", "Beta"),
                                                     ("anna", "Anna", "First", "2001", "2", "Gamma"),
                                                     ("carl", "Carl", "Solo", "", "1", "Eta")):
        os.makedirs(os.path.join(folder, "music", sub), exist_ok=True)
        tags = ["ARTIST=" + artist, "ALBUM=" + album, "TRACKNUMBER=" + number, "TITLE=" + title, "GENRE=Rock"]
        if date:
            tags.append("DATE=" + date)
        subprocess.run(["flac", "-s", "-f", *[a for t in tags for a in ("-T", t)], "-o",
                        os.path.join(folder, "music", sub, "%s-%s.flac" % (artist, number)), tone], check=True)
    os.remove(tone)
    # Not an image at all; and one beyond the 16 MiB a picture may have.
    open(os.path.join(folder, "music", "anna", "cover.jpg"), "wb").write(b"not a picture")
    with open(os.path.join(folder, "music", "carl", "front.jpg"), "wb") as big:
        big.write(b"\xff\xd8\xff\xe0")
        big.truncate(17 * 1024 * 1024)


def test_controls(root):
    player = Player(root, "controls")
    player.start()
    check(player.wait(lambda: player.controls()[0] is not None, 60), "controls: the main window appears")
    window, controls = player.controls()
    check(window is not None and window[1] == "#32770" and window[-1] == "Zorv Audio Player",
          "controls: a dialog captioned Zorv Audio Player: %r" % (window,))
    expected = {**{b: "Zorv:XButton" for b in BUTTONS}, **{link: "SysLink" for link in LINKS},
                1074: "vantrel:separator", 1324: "Static"}
    for control, cls in expected.items():
        check(controls.get(control, ("",))[0] == cls, "controls: %d is a %s: %r" % (control, cls, controls.get(control)))
    check(1069 in controls and controls[1069][0] != "SysListView32" and controls[1069][1],
          "controls: the list 1069 replaces the placeholder: %r" % (controls.get(1069),))
    check(1324 in controls and not controls[1324][1], "controls: the indexing notice is hidden")
    check(player.text(1079) == "Playback stopped", "controls: line 1 reads Playback stopped: %r" % player.text(1079))
    player.shot("fresh-start")
    # The Menu button opens the main menu, held down while it is open.
    player.probe("command", "1052")
    check(player.wait(player.menu_open, 20), "controls: the Menu button opens the main menu")
    player.keys("escape")
    check(player.stop() == 0, "controls: closing the window ends the program cleanly")


def test_hidden_start(root):
    player = Player(root, "hidden")
    player.start("/hide")
    check(player.wait(lambda: player.controls()[0] is not None, 60), "/hide: the window exists")
    window = player.controls()[0]
    check(window is not None and int(window[3], 16) & 0x20000000, "/hide: the window starts minimised: %r" % (window,))
    check(player.stop() == 0, "/hide: ends cleanly")


def test_navigation_and_keys(root):
    player = Player(root, "navigation", library=True)
    make_music(player.folder)
    player.start()
    # The albums level has something to play once the scan has found the tracks.
    check(player.wait(lambda: player.controls()[1].get(1000, (0, 0, False))[2], 120),
          "navigation: the scan fills the albums level")
    check(player.text(1067) == "All albums", "navigation: starts at the albums: %r" % player.text(1067))
    player.keys("home", "down", "return")
    check(player.text(1067) == ALBUM_ANNA, "navigation: Enter opens the album: %r" % player.text(1067))
    player.shot("album-with-damaged-picture")
    # The context key opens the item context menu at the focused track.
    player.keys("home", "apps")
    check(player.wait(player.menu_open, 20), "navigation: the context key opens the item context menu")
    player.keys("escape")
    check(player.wait(lambda: not player.probe("popups").stdout.strip(), 20), "navigation: Escape closes the menu")
    player.keys("alt+up")
    check(player.text(1067) == "All albums", "navigation: Alt+Up goes to the albums")
    player.keys("return")
    check(player.text(1067) == ALBUM_ANNA, "navigation: Alt+Up left the album selected and focused")
    player.keys("back")
    check(player.text(1067) == "All albums", "navigation: Backspace goes back")
    player.keys("alt+right")
    check(player.text(1067) == ALBUM_ANNA, "navigation: Alt+Right goes forward")
    player.keys("alt+left")
    check(player.text(1067) == "All albums", "navigation: Alt+Left goes back")
    player.keys("ctrl+alt+right")
    check(player.text(1067) == "All albums", "navigation: Alt with Ctrl is no history key")
    player.probe("app-command", str(APPCOMMAND_BROWSER_FORWARD))
    check(player.wait(lambda: player.text(1067) == ALBUM_ANNA, 10), "navigation: the browser's Forward key")
    player.probe("app-command", str(APPCOMMAND_BROWSER_BACKWARD))
    check(player.wait(lambda: player.text(1067) == "All albums", 10), "navigation: the browser's Back key")
    # Two albums opened together come back both selected after Alt+Up.
    player.keys("home", "down", "shift+down", "return")
    both = player.text(1067)
    check(both.startswith("Albums:"), "navigation: two albums open together: %r" % both)
    player.keys("alt+up", "return")
    check(player.text(1067) == both, "navigation: Alt+Up kept both albums selected: %r" % player.text(1067))
    # The album whose picture is too large to read shows none, and the
    # program goes on.
    player.keys("alt+up", "end", "return")
    check(player.text(1067).startswith("Album: <a>Solo</a>"), "navigation: the second album: %r" % player.text(1067))
    player.shot("album-with-oversized-picture")
    check(player.stop() == 0, "navigation: the program survives damaged pictures and ends cleanly")

    # The location on screen is where the next start opens.
    player.start()
    check(player.wait(lambda: player.text(1067).startswith("Album: <a>Solo</a>"), 60),
          "navigation: a restart opens the last location: %r" % player.text(1067))
    back = player.controls()[1].get(1050, (0, 0, True))
    check(not back[2], "navigation: a new start has no history to go back to")
    check(player.stop() == 0, "navigation: second run ends cleanly")


def test_full_screen(root):
    player = Player(root, "fullscreen")
    player.start()
    player.wait(lambda: player.controls()[0] is not None, 60)
    window = player.controls()[0]
    placed, monitor = window[5], window[6]
    player.keys("f11")
    # The window's state is read once the key has taken effect: a busy
    # machine can take longer than the probe's pause after each key.
    def shows(style_mask, style, rectangle, checked=None):
        window, controls = player.controls()
        return window is not None and int(window[3], 16) & style_mask == style and window[5] == rectangle and \
            (checked is None or controls.get(1055, (0, 0, 0, None))[3] == checked)
    player.wait(lambda: shows(0x00CF0000, 0, monitor), 10)
    window, controls = player.controls()
    style = int(window[3], 16)
    check(style & 0x00CF0000 == 0, "full screen: F11 removes caption, menu and frame: %08X" % style)
    check(window[5] == monitor, "full screen: F11 covers the monitor: %s vs %s" % (window[5], monitor))
    check(controls[1055][3], "full screen: F11 checks the Full screen button")
    player.shot("full-screen")
    player.keys("f11")
    player.wait(lambda: shows(0x00C00000, 0x00C00000, placed), 10)
    window, controls = player.controls()
    check(int(window[3], 16) & 0x00C00000 == 0x00C00000 and window[5] == placed,
          "full screen: F11 again restores size and caption: %s vs %s" % (window[5], placed))
    player.keys("f11", "escape")
    player.wait(lambda: shows(0x00C00000, 0x00C00000, placed, False), 10)
    window, controls = player.controls()
    check(int(window[3], 16) & 0x00C00000 == 0x00C00000 and window[5] == placed and not controls[1055][3],
          "full screen: Escape restores the window and unchecks the button")
    check(player.stop() == 0, "full screen: ends cleanly")


def test_volume_popup(root):
    player = Player(root, "volume")
    player.start()
    player.wait(lambda: player.controls()[0] is not None, 60)
    button = player.controls()[1][1059][4]
    player.probe("command", "1059")
    popups = []
    # A tooltip that the pointer happens to call up is no popup of the button's.
    player.wait(lambda: popups.extend(line for line in player.probe("popups").stdout.splitlines()
                                      if not line.startswith("tooltips_class32")) or popups, 20)
    check(len(popups) == 1, "volume: the Volume button opens one popup: %r" % popups)
    if popups:
        left, top, right, bottom = (int(v) for v in popups[0].split("\t")[1].split(","))
        centre = (button[0] + button[2]) // 2
        check(top == button[3] and abs((left + right) // 2 - centre) <= 1,
              "volume: the popup hangs from the middle of the button's bottom edge: %r under %r" % (popups[0], button))
        check(player.controls()[1][1059][3], "volume: the button stays down while the popup is open")
        player.keys("escape")
        check(player.wait(lambda: not player.probe("popups").stdout.strip(), 20), "volume: Escape closes the popup")
        check(not player.controls()[1][1059][3], "volume: the button comes up when the popup closes")
    check(player.stop() == 0, "volume: ends cleanly")


def test_drop_and_media_key(root):
    player = Player(root, "drop", library=True)
    make_music(player.folder)
    player.start()
    check(player.wait(lambda: player.controls()[1].get(1000, (0, 0, False))[2], 120),
          "drop: the scan fills the albums level")
    anna = os.path.join(player.folder, "music", "anna")
    player.probe("drop", windows_path(os.path.join(anna, "Anna-1.flac")), windows_path(os.path.join(anna, "Anna-2.flac")))
    check(player.wait(lambda: "anna" in player.text(1067), 20), "drop: the files' folder is shown: %r" % player.text(1067))
    time.sleep(1)
    check(player.text(1079) == "Playback stopped", "drop: dropped files are not played")
    player.shot("dropped-files")

    # Stopped, the media Play/Pause key is the Play button; playing, the Pause button.
    player.probe("media-key", str(APPCOMMAND_MEDIA_PLAY_PAUSE))
    check(player.wait(lambda: player.controls()[1].get(4, (0, 0, False))[2], 20),
          "media key: stopped, Play/Pause starts playback (the Pause button comes alive)")
    check(player.wait(lambda: "Beta" in player.text(1079), 20),
          "media key: line 1 names the track that plays: %r" % player.text(1079))
    player.probe("media-key", str(APPCOMMAND_MEDIA_PLAY_PAUSE))
    check(player.wait(lambda: player.controls()[1].get(4, (0, 0, False, False))[3], 20),
          "media key: playing, Play/Pause pauses (the Pause button is checked)")
    # The same key pressed in the window itself: paused counts as playing, so
    # it is the Pause button again, which resumes.
    time.sleep(0.2)
    player.probe("app-command", str(APPCOMMAND_MEDIA_PLAY_PAUSE))
    check(player.wait(lambda: not player.controls()[1].get(4, (0, 0, False, True))[3], 20),
          "media key: WM_APPCOMMAND Play/Pause in the window resumes (the Pause button comes up)")
    check(player.stop() == 0, "drop: ends cleanly")


def held_by_another_program(path):
    """Whether a Windows program's open of the file meets a sharing violation."""
    return subprocess.run([WINE_EXEC, BUILD_DIR, "cmd", "/c", "type", windows_path(path), ">", "nul"],
                          **QUIET).returncode != 0


def test_indexing_notice_leaves_with_the_library(root):
    player = Player(root, "indexing", library=True)
    music = os.path.join(player.folder, "music")
    elsewhere = os.path.join(player.folder, "elsewhere")
    os.makedirs(elsewhere)
    silence = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36, b"WAVE", b"fmt ", 16, 1, 2, 48000, 192000, 4, 16,
                          b"data", 0)
    for folder in range(60):
        os.makedirs(os.path.join(music, "f%02d" % folder))
        for name in range(150):
            open(os.path.join(music, "f%02d" % folder, "t%03d.wav" % name), "wb").write(silence)
    # Unmonitored folders are scanned when asked, until every file is read:
    # a file another program holds keeps the scan going until it lets go, so
    # the window is looked at during the scan however slow its start.
    player.write_config({MONITOR_FOLDERS: b"\0"})
    held = os.path.join(music, "f30", "t075.wav")
    holder = subprocess.Popen([WINE_EXEC, BUILD_DIR, HOLDER, windows_path(held), "600000", "zorv-indexing-holder"],
                              **QUIET)
    try:
        check(player.wait(lambda: held_by_another_program(held), 60), "indexing: another program holds a file")
        player.start()
        check(player.wait(lambda: player.controls()[0] is not None, 60), "indexing: the window shows")
        player.probe("menu")
        player.probe("menu-keys", "down", "right", "return")  # File, Refresh music folders now
        shown = lambda: player.controls()[1].get(1324, (0, False))[1]  # noqa: E731
        check(player.wait(shown, 60), "indexing: the notice shows over the library's list during the scan")
        player.probe("drop", windows_path(elsewhere))
        check(player.wait(lambda: "elsewhere" in player.text(1067), 20), "indexing: the dropped folder is shown")
        check(not shown(), "indexing: a folder view hides the notice at once")
        player.shot("indexing-left-for-a-folder")
        time.sleep(5)
        check(not shown(), "indexing: the notice stays hidden in the folder view")
        check(player.stop() == 0, "indexing: ends cleanly")
    finally:
        holder.kill()
        holder.wait()


def test_themes(root):
    for name, guid in THEMES.items():
        player = Player(root, "theme-" + name)
        player.write_config({"1DE8F186-735F-4F81-B687-430C92993A15": guid_bytes(guid)})
        player.start()
        player.wait(lambda: player.controls()[0] is not None, 60)
        window, controls = player.controls()
        png = player.shot("theme-%s-96dpi" % name)
        if name == "black" and window is not None:
            # Between the Play button and the caption line lies only the dialog.
            left, top = int(window[5].split(",")[0]), int(window[5].split(",")[1])
            play, caption = controls[1000][4], controls[1067][4]
            x, y = (play[2] + caption[0]) // 2 - left, (play[1] + play[3]) // 2 - top
            check(pixel(png, x, y) == (0, 0, 0), "themes: black paints the dialog black: %r" % (pixel(png, x, y),))
        check(player.stop() == 0, "themes: %s ends cleanly" % name)

    # At 144 DPI the window of the template is larger than this screen: it is
    # made to fit, with every button inside. Only processes started while the
    # setting is there see it, so it is taken away at once.
    desktop = r"HKCU\Control Panel\Desktop"
    player = Player(root, "theme-144dpi")
    subprocess.run([WINE_EXEC, BUILD_DIR, "reg", "add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144",
                    "/f"], **QUIET)
    try:
        player.start()
        player.wait(lambda: player.controls()[0] is not None, 60)
    finally:
        subprocess.run([WINE_EXEC, BUILD_DIR, "reg", "delete", desktop, "/v", "LogPixels", "/f"], **QUIET)
    window, controls = player.controls()
    if window is not None:
        screen = [int(v) for v in window[6].split(",")]
        for control in (1052, 1055, 1069):
            r = controls[control][4]
            check(screen[0] <= r[0] and r[2] <= screen[2] and r[3] <= screen[3],
                  "144 DPI: control %d lies on the screen: %r" % (control, r))
    player.shot("theme-classic-144dpi")
    check(player.stop() == 0, "144 DPI: ends cleanly")


def run_window_tests(*tests):
    """Runs each test in one temporary folder after the Wine session is up;
    a broken case is a failure that hides none of the others. Exits 1 on any
    failure."""
    subprocess.run([WINE_EXEC, BUILD_DIR, "cmd", "/c", "exit"], **QUIET)  # the session, before output is captured
    with tempfile.TemporaryDirectory() as root:
        for test in tests:
            try:
                test(root)
            except Exception as error:  # one broken case must not hide the others
                check(False, "%s: %r" % (test.__name__, error))
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


def main():
    run_window_tests(test_controls, test_hidden_start, test_navigation_and_keys, test_full_screen, test_volume_popup,
                     test_drop_and_media_key, test_indexing_notice_leaves_with_the_library, test_themes)


# Other window tests reuse the player; as a script it runs its own checks.
if __name__ == "__main__":
    main()
