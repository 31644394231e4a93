#!/usr/bin/python3
"""The main menu's commands in the real zorv.exe as a user reaches them: the
playback commands handed over by a second start ("/pause", "/play", "/next",
"/prev", "/stop", "/exit") and the media keys (fast-forward, rewind), heard in
a capture played at real-time pace; About, the installer, Preferences,
Restart and Exit from the Menu popup, seen in the windows they open and the
processes they end. Screenshots (the Playback popup while paused, the Shift
menu, the about box, the installer, the preferences) are kept under the build
folder's test-artifacts/main_menu_commands for a person to look at.

Every second of a track is a constant level of its own (track 1: 1001, 1002,
...; track 2: 2001, ...), so the levels heard tell which track played, where
in it, and every jump.

usage: main_menu_commands.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import array
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "main_window"))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, heard_levels, screen_shot, windows_path, write_stereo_wav  # noqa: E402
import main_window  # noqa: E402  (the window tests' player; its own checks run only as a script)

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
PAUSE, MENU, LINE_1 = 4, 1052, 1079
APPCOMMAND_MEDIA_FAST_FORWARD, APPCOMMAND_MEDIA_REWIND = 49, 50
SECONDS = 30


def write_stepped_wav(path, base):
    """48 kHz stereo 16-bit; second k holds the level base + 1 + k."""
    data = array.array("h")
    for second in range(SECONDS):
        data.extend([base + 1 + second] * 48000 * 2)
    write_stereo_wav(path, data)


def close_menu(player):
    """Escape once for the submenu and once for the menu: a key is posted to
    the menu window that is open, which the first one closes."""
    player.probe("menu-keys", "escape")
    player.probe("menu-keys", "escape")
    check(player.wait(lambda: "#32768" not in player.output("popups"), 10), "the menu closes")


class Player(main_window.Player):
    """The window tests' player, whose sound goes to a capture file at
    real-time pace."""

    def __init__(self, root, name):
        super().__init__(root, name)
        self.capture = os.path.join(self.folder, "capture.wav")

    def environment(self):
        sink = "|%s %s %s" % (sys.executable, os.path.join(HERE, "paced_sink.py"), self.capture)
        return dict(os.environ, AUDIO_CAPTURE=sink)

    def start(self, *args):
        self.process = subprocess.Popen([WINE_EXEC, BUILD_DIR, self.exe, *args], env=self.environment(), **QUIET)

    def second_start(self, *args):
        """Another start of the same copy: it hands its command line over and ends."""
        return subprocess.run([WINE_EXEC, BUILD_DIR, self.exe, *args], env=self.environment(), timeout=60,
                              **QUIET).returncode

    def output(self, *args):
        return self.probe(*args).stdout

    def titled_texts(self, title):
        """The texts of the controls of the program's window whose title
        begins so; None while there is no such window."""
        out = self.output("--title", title, "descendants")
        if out.startswith("no such window"):
            return None
        return [line.split("\t", 6)[6] for line in out.splitlines()[1:] if line.count("\t") >= 6]

    def has_window(self, title):
        return self.titled_texts(title) is not None

    def checked(self, control):
        return self.controls()[1].get(control, (None, False, False, False))[3]

    def heard(self):
        return heard_levels(self.capture)

    def ended(self, seconds=60):
        """The exit code once the process ends, None when it does not."""
        try:
            return self.process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            return None


def make_tracks(player):
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    paths = []
    for number, base in ((1, 1000), (2, 2000), (3, 3000)):
        paths.append(os.path.join(music, "%02d.wav" % number))
        write_stepped_wav(paths[-1], base)
    return [windows_path(p) for p in paths]


def track_levels(levels, number):
    """The levels heard of one track (with what fades of its own level fell
    in its range)."""
    return [level for level in levels if number * 1000 < level <= number * 1000 + SECONDS] or [0]


def steps_held(player, number):
    """The steps between the levels of one track held for 0.1 s of sound or
    more: playing on climbs by one, a skip or a return jumps (a fade between
    holds none of its levels)."""
    held = track_levels(heard_levels(player.capture, held=9600), number)
    return [b - a for a, b in zip(held, held[1:])]


def after(levels, level):
    """What was heard after the first time `level` was."""
    return levels[levels.index(level) + 1:] if level in levels else []


def test_playback_from_a_second_start(root):
    player = Player(root, "playback")
    tracks = make_tracks(player)
    player.start(*tracks)
    check(player.wait(lambda: 1003 in player.heard(), 60), "playback: the first track plays: %r" % player.heard()[-5:])

    # The option is found whatever its case.
    check(player.second_start("/PAUSE") == 0, "pause: the second start hands over and ends")
    check(player.wait(lambda: player.checked(PAUSE), 15), "pause: the Pause button shows the pause")
    paused_at = player.heard()[-1:]
    time.sleep(3)
    # A level change already on its way to the device may still arrive.
    check(paused_at and player.heard()[-1] <= paused_at[-1] + 1, "pause: nothing more is heard while paused: %r then %r"
          % (paused_at, player.heard()[-3:]))

    # The Playback popup while paused: Play and Pause both checked.
    player.probe("menu")
    player.probe("menu-keys", "down", "down", "down", "right")
    screen_shot(BUILD_DIR, "main_menu_commands", "playback-popup-while-paused")
    close_menu(player)

    check(player.second_start("/play") == 0, "play: the second start ends")
    check(player.wait(lambda: not player.checked(PAUSE), 15), "play: the pause ends")
    check(player.wait(lambda: len(player.heard()) > len(paused_at) and player.heard()[-1] >= paused_at[-1] + 2, 15),
          "play: playback goes on")
    resumed = player.heard()
    check(resumed.count(1001) == 1, "play: resumes where it paused instead of starting the track again: %r" % resumed)

    # Fast-forward and Rewind are not in the normal menu; the media keys run
    # them. Each is told by the jump it leaves in the levels, not by how soon
    # they change: a busy machine makes the sound late, never makes it jump.
    player.probe("media-key", str(APPCOMMAND_MEDIA_FAST_FORWARD))
    check(player.wait(lambda: any(8 <= step <= 12 for step in steps_held(player, 1)), 30),
          "fast-forward: about ten seconds are skipped: %r" % steps_held(player, 1))
    time.sleep(1.5)
    player.probe("media-key", str(APPCOMMAND_MEDIA_REWIND))
    check(player.wait(lambda: any(-12 <= step <= -8 for step in steps_held(player, 1)), 30),
          "rewind: about ten seconds are heard again: %r" % steps_held(player, 1))

    check(player.second_start("/next") == 0, "next: the second start ends")
    check(player.wait(lambda: 2002 in player.heard(), 15), "next: the second track plays: %r" % player.heard()[-5:])
    check(player.second_start("/prev") == 0, "prev: the second start ends")
    check(player.wait(lambda: 1001 in after(player.heard(), 2002), 15),
          "prev: the first track plays again from its start: %r" % player.heard()[-5:])

    check(player.second_start("/stop") == 0, "stop: the second start ends")
    check(player.wait(lambda: player.text(LINE_1) == "Playback stopped", 15),
          "stop: the window says playback stopped: %r" % player.text(LINE_1))
    time.sleep(1)
    stopped_at = player.heard()
    time.sleep(2)
    check(player.heard() == stopped_at, "stop: nothing more is heard")

    check(player.second_start("/exit") == 0, "exit: the second start ends")
    check(player.ended() == 0, "exit: the running instance ends cleanly")


def test_help_and_file_commands_from_the_menu(root):
    player = Player(root, "menu")
    player.start()
    check(player.wait(lambda: player.controls()[0] is not None, 60), "menu: the main window appears")

    # Help, About.
    player.probe("menu")
    player.probe("menu-keys", "down", "down", "down", "down", "right")
    screen_shot(BUILD_DIR, "main_menu_commands", "help-popup")
    player.probe("menu-keys", "return")
    check(player.wait(lambda: player.has_window("About"), 15), "about: the about box opens")
    about = player.titled_texts("About") or []
    check("Zorv Audio Player v1.0.21" in about, "about: it names the program and its version: %r" % about)
    screen_shot(BUILD_DIR, "main_menu_commands", "about-box")
    player.probe("--title", "About", "close")
    check(player.wait(lambda: not player.has_window("About"), 15), "about: the box closes")

    # File, Install to removable medium: the entry before Preferences and Exit.
    player.probe("menu")
    player.probe("menu-keys", "down", "right", "up", "up", "up")
    screen_shot(BUILD_DIR, "main_menu_commands", "file-popup")
    player.probe("menu-keys", "return")
    wizard = "Install to Removable Medium"
    check(player.wait(lambda: player.has_window(wizard), 15), "install: the wizard opens")
    screen_shot(BUILD_DIR, "main_menu_commands", "installer-wizard")
    player.probe("--title", wizard, "close")
    check(player.wait(lambda: not player.has_window(wizard), 15), "install: the wizard closes")

    # File, Preferences: the entry before Exit; the dialog opens at its own choice of page.
    player.probe("menu")
    player.probe("menu-keys", "down", "right", "up", "up", "return")
    check(player.wait(lambda: player.has_window("Preferences"), 15), "preferences: the dialog opens")
    screen_shot(BUILD_DIR, "main_menu_commands", "preferences")
    player.probe("--title", "Preferences", "close")
    check(player.wait(lambda: not player.has_window("Preferences"), 15), "preferences: the dialog closes")

    # Restart exists only in the menu opened with Shift, just before Exit.
    first = player.process
    player.probe("menu", "shift")
    player.probe("menu-keys", "down", "right", "up", "up")
    screen_shot(BUILD_DIR, "main_menu_commands", "file-popup-with-shift")
    player.probe("menu-keys", "return")
    check(player.ended() == 0, "restart: the first process ends cleanly")
    check(player.wait(lambda: player.controls()[0] is not None, 60), "restart: the program comes back")
    # The new process is not ours to wait for: Exit from the menu ends it.
    player.probe("menu")
    player.probe("menu-keys", "down", "right", "up", "return")
    check(player.wait(lambda: "no main window" in player.output("children"), 60),
          "exit: Exit in the menu ends the restarted program")
    check(first.returncode == 0, "restart: exit code %r" % first.returncode)


def main():
    main_window.run_window_tests(test_playback_from_a_second_start, test_help_and_file_commands_from_the_menu)


main()
