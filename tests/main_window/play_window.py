#!/usr/bin/python3
"""Playing from the real zorv.exe's main window, heard in the capture file,
and its menus as a user opens them (screenshots kept under the build folder's
test-artifacts/play_window and main_window for a person to look at).

Each track is a constant level of its own, so the levels heard, in order,
tell which tracks played in which order (also the chapters of a Matroska
book, in its album); the volume slider's positions are heard as levels too.

usage: play_window.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import array
import math
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import captured_samples, check, heard_levels, windows_path, write_stereo_wav, x_environment  # noqa: E402
from blackbox_checks import screen_shot as shared_screen_shot  # noqa: E402
import main_window  # noqa: E402  (the window tests' player; its own checks run only as a script)

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
PROBE = os.environ["ZORV_WINDOW_PROBE"]
QUIET = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
LEVELS = {"01 First.wav": 2000, "02 Second.wav": 4000, "03 Third.wav": 6000}
PLAY, PAUSE, MENU, LINE_1, LINE_2, LIST, REPEAT = 1000, 4, 1052, 1079, 1080, 1069, 1006


def write_level_wav(path, level, seconds=0.5):
    write_stereo_wav(path, array.array("h", [level] * int(48000 * seconds) * 2))


class Player(main_window.Player):
    """The window tests' player, with a capture file of its own per start."""

    def start(self, *args):
        self.capture = os.path.join(self.folder, "capture-%d.wav" % time.monotonic_ns())
        env = dict(os.environ, AUDIO_CAPTURE="|cat >> " + self.capture)
        self.process = subprocess.Popen([WINE_EXEC, BUILD_DIR, self.exe, *args], env=env, **QUIET)

    def hand_over(self, *args):
        """A second start, which hands its command line to the running player."""
        subprocess.run([WINE_EXEC, BUILD_DIR, self.exe, *args], timeout=60, **QUIET)

    def enabled(self, control):
        return self.controls()[1].get(control, (0, 0, False))[2]

    def checked(self, control):
        return self.controls()[1].get(control, (0, 0, False, False))[3]


def make_folder(player):
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    for name, level in LEVELS.items():
        write_level_wav(os.path.join(music, name), level)
    return music


def listen(player, last_level):
    """Waits for the last level to be heard and for the lines to say stopped;
    answers the levels heard and starts a new capture."""
    player.wait(lambda: heard_levels(player.capture)[-1:] == [last_level], 30)
    check(player.wait(lambda: player.text(LINE_1) == "Playback stopped", 30),
          "play: the lines say playback stopped at the end: %r" % player.text(LINE_1))
    check(player.text(LINE_2) == "", "play: line 2 is empty when stopped: %r" % player.text(LINE_2))
    time.sleep(0.5)
    levels = heard_levels(player.capture)
    # The sink appends each device it opens: a file that is gone starts anew.
    if os.path.exists(player.capture):
        os.remove(player.capture)
    return levels


def test_play_button(root):
    player = Player(root, "play")
    music = make_folder(player)
    player.start(windows_path(music))
    check(player.wait(lambda: player.enabled(PLAY), 60), "play: the folder is listed")
    player.probe("command", str(PLAY))
    levels = listen(player, 6000)
    check(levels == [2000, 4000, 6000], "play: nothing selected plays the folder from its first track: %r" % levels)
    check(player.stop() == 0, "play: the program ends cleanly")

    # A file given on the command line is selected and plays the folder from
    # it on, as Play does with it selected; so does one handed to the running
    # player by a second start.
    player.start(windows_path(os.path.join(music, "02 Second.wav")))
    check(player.wait(lambda: player.enabled(PLAY), 60), "play: the folder is listed with the second track")
    levels = listen(player, 6000)
    check(levels == [4000, 6000], "play: a file on the command line plays the folder from it on: %r" % levels)
    player.probe("command", str(PLAY))
    levels = listen(player, 6000)
    check(levels == [4000, 6000], "play: with the second track selected, from it on: %r" % levels)
    player.hand_over(windows_path(os.path.join(music, "02 Second.wav")))
    levels = listen(player, 6000)
    check(levels == [4000, 6000], "play: a file handed over by a second start plays from it on: %r" % levels)
    check(player.stop() == 0, "play: the program ends cleanly")


def test_random_order_from_the_item_menu(root):
    player = Player(root, "random")
    music = make_folder(player)
    # Files given on the command line are selected (and played in order).
    player.start(*[windows_path(os.path.join(music, name)) for name in LEVELS])
    check(player.wait(lambda: player.enabled(PLAY), 60), "random: the folder is listed")
    listen(player, 6000)
    player.probe("context-menu", str(LIST))
    time.sleep(1)
    screen_shot("item-menu-three-tracks")
    # Play this, then Play this in random order.
    player.probe("menu-keys", "down", "down", "return")
    player.wait(lambda: len(heard_levels(player.capture)) >= 3, 30)
    time.sleep(0.5)
    levels = heard_levels(player.capture)
    check(player.stop() == 0, "random: ends cleanly")
    check(sorted(levels) == [2000, 4000, 6000], "random: each of the three tracks plays once: %r" % levels)


def test_now_playing_lines(root):
    player = Player(root, "lines")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone = os.path.join(player.folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone, "synth", "60", "sine", "440"], check=True)
    tagged = os.path.join(music, "tagged.flac")
    subprocess.run(["flac", "-s", "-f", "-T", "TITLE=<b>Bold</b> & more", "-T", "ARTIST=A, B", "-T", "ALBUM=Album",
                    "-T", "DATE=2001", "-o", tagged, tone], check=True)
    subprocess.run(["flac", "-s", "-f", "-o", os.path.join(music, "untagged.flac"), tone], check=True)
    os.remove(tone)

    player.start(windows_path(tagged))
    check(player.wait(lambda: player.enabled(PLAY), 60), "lines: the tagged track is listed")
    player.probe("command", str(PLAY))
    check(player.wait(lambda: player.text(LINE_2).startswith("Artist:"), 20),
          "lines: line 2 shows the artist: %r" % player.text(LINE_2))
    check(player.text(LINE_2) == "Artist: A, B, album: Album [2001]",
          "lines: played from a folder, artists and album are plain text: %r" % player.text(LINE_2))
    line_1 = player.text(LINE_1)
    check(line_1.startswith("<a><b>Bold<\u200b/b> & more</a> ["),
          "lines: the title shows as it is, markup and ampersand included: %r" % line_1)
    first = player.text(LINE_1)
    check(player.wait(lambda: player.text(LINE_1) != first, 10), "lines: the time advances while playing")
    player.shot("now-playing")

    # Every change of what plays reaches the lines: the transport buttons.
    player.probe("command", "1061")
    check(player.wait(lambda: player.text(LINE_2) == "Unknown artist", 10),
          "buttons: a click on Fast-forward plays the next track: %r" % player.text(LINE_2))
    player.probe("command", "1060")
    check(player.wait(lambda: player.text(LINE_2).startswith("Artist:"), 10),
          "buttons: a click on Rewind plays the previous track: %r" % player.text(LINE_2))
    player.probe("command", str(PAUSE))
    check(player.wait(lambda: player.checked(PAUSE), 10), "buttons: Pause pauses")
    # A refresh of the line already on its way when the button took the
    # click may still land: the time stands from then on.
    def time_stands():
        before = player.text(LINE_1)
        time.sleep(2)
        return player.text(LINE_1) == before
    check(player.wait(time_stands, 10), "buttons: paused, the time stands: %r" % player.text(LINE_1))
    check(player.stop() == 0, "lines: ends cleanly")

    player.start(windows_path(os.path.join(music, "untagged.flac")))
    check(player.wait(lambda: player.enabled(PLAY), 60), "lines: the untagged track is listed")
    player.probe("command", str(PLAY))
    check(player.wait(lambda: player.text(LINE_2) == "Unknown artist", 20),
          "lines: a track without tags has an unknown artist: %r" % player.text(LINE_2))
    check(player.stop() == 0, "lines: second run ends cleanly")


def test_links_after_a_library_start(root):
    player = Player(root, "library", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone = os.path.join(player.folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone, "synth", "60", "sine", "440"], check=True)
    subprocess.run(["flac", "-s", "-f", "-T", "TITLE=Duet", "-T", "ARTIST=A, B", "-T", "ALBUM=Album", "-T",
                    "DATE=2001", "-o", os.path.join(music, "duet.flac"), tone], check=True)
    os.remove(tone)
    player.start()
    # The albums level has something to play once the scan has found the track.
    check(player.wait(lambda: player.enabled(PLAY), 120), "library: the scan fills the albums level")
    player.probe("command", str(PLAY))
    expected = "Artist: <a>A</a>, <a>B</a>, album: <a>Album [2001]</a>"
    check(player.wait(lambda: player.text(LINE_2) == expected, 20),
          "library: started from a library view, artists and album are links: %r" % player.text(LINE_2))
    # The same track handed over from its folder: no links into the library.
    player.hand_over(windows_path(os.path.join(music, "duet.flac")))
    plain = "Artist: A, B, album: Album [2001]"
    check(player.wait(lambda: player.text(LINE_2) == plain, 20),
          "library: handed over from a folder, artists and album are plain text: %r" % player.text(LINE_2))
    check(player.stop() == 0, "library: ends cleanly")


def screen_shot(name):
    return shared_screen_shot(BUILD_DIR, "play_window", name)


def xdotool(*args):
    return subprocess.run(["xdotool", *args], capture_output=True, text=True, stdin=subprocess.DEVNULL,
                          env=x_environment(BUILD_DIR))


def test_menus(root):
    player = Player(root, "menus")
    music = make_folder(player)
    player.start(windows_path(os.path.join(music, "02 Second.wav")))
    check(player.wait(lambda: player.enabled(PLAY), 60), "menus: the folder is listed")
    controls = player.controls()[1]
    check(controls[MENU][3] is False, "menus: the Menu button starts unchecked")
    player.probe("command", str(MENU))
    check(player.wait(lambda: player.checked(MENU), 20), "menus: the Menu button stays checked while its menu is open")
    time.sleep(1)
    screen_shot("main-menu")
    player.probe("menu-keys", "escape")
    check(player.wait(lambda: not player.checked(MENU), 10), "menus: Escape closes the main menu")

    # A right click on the selected track opens the item menu there.
    left, top = controls[LIST][4][:2]
    xdotool("mousemove", str(left + 60), str(top + 30), "click", "3")
    time.sleep(1.5)
    screen_shot("item-menu")
    player.probe("menu-keys", "escape")
    time.sleep(0.5)
    check(player.stop() == 0, "menus: ends cleanly with menus opened and closed")


def loudest_common_level(capture):
    """The 16-bit level heard most often in a capture file, 0 for silence."""
    counts = {}
    for level in captured_samples(capture):
        if level:
            counts[abs(level)] = counts.get(abs(level), 0) + 1
    return max(counts, key=counts.get) if counts else 0


def test_volume_slider_is_heard(root):
    player = Player(root, "volume")
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    write_level_wav(os.path.join(music, "level.wav"), 16000, 1.0)
    player.start(windows_path(music))
    check(player.wait(lambda: player.enabled(PLAY), 60), "volume: the folder is listed")
    position = 0
    for notches in (0, 3, 2):
        if notches:
            # The slider's popup: each notch of the wheel away from the user
            # moves the slider ten steps down.
            player.probe("command", "1059")
            popups = []
            player.wait(lambda: popups.extend(line for line in player.probe("popups").stdout.splitlines()
                                              if line.startswith("#32770")) or popups, 20)
            if not popups:
                check(False, "volume: the Volume button opens the slider")
                break
            left, top, right, bottom = (int(v) for v in popups[0].split("\t")[1].split(","))
            xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2), *["click", "5"] * notches)
            time.sleep(0.5)
            # A pointer left over a button would show its tooltip to the tests after this one.
            xdotool("mousemove", "1023", "767")
            screen_shot("volume-slider-%d" % (position + 10 * notches))
            player.keys("escape")
            player.wait(lambda: not player.probe("popups").stdout.strip(), 10)
            position += 10 * notches
        player.probe("command", str(PLAY))
        player.wait(lambda: player.text(LINE_1) != "Playback stopped", 20)
        player.wait(lambda: player.text(LINE_1) == "Playback stopped", 30)
        time.sleep(0.5)
        heard = loudest_common_level(player.capture)
        if os.path.exists(player.capture):
            os.remove(player.capture)
        gain = 10 ** (10 * math.log2(1 - position / 100) / 20)
        check(abs(heard - 16000 * gain) <= 16000 * gain * 0.04,
              "volume: at slider step %d the level heard is %d, not %d" % (position, heard, round(16000 * gain)))
    check(player.stop() == 0, "volume: the program ends cleanly")


def test_repeat_over_a_deleted_folder(root):
    """Repeat on and the playing folder deleted: once every track has failed
    in a row, playback stops with the errors shown rather than going round
    in silence for ever."""
    player = Player(root, "repeat")
    music = make_folder(player)
    player.start(windows_path(music))
    check(player.wait(lambda: player.enabled(PLAY), 60), "repeat: the folder is listed")
    left, top, right, bottom = player.controls()[1][REPEAT][4]
    xdotool("mousemove", str((left + right) // 2), str((top + bottom) // 2), "click", "1")
    xdotool("mousemove", "1023", "767")
    check(player.wait(lambda: player.checked(REPEAT), 10), "repeat: the Repeat button is on")
    player.probe("command", str(PLAY))
    check(player.wait(lambda: heard_levels(player.capture)[:1] == [2000], 30), "repeat: the first track is heard")
    shutil.rmtree(music)
    stopped = player.wait(lambda: player.text(LINE_1) == "Playback stopped", 30)
    check(stopped, "repeat: playback stops once every track has failed: %r" % player.text(LINE_1))
    # The popup's text field, which the probe lists as a child and again
    # among the descendants.
    listing = player.probe("--title", "Playback error", "descendants").stdout
    start = listing.find("1077\t")
    errors = listing[start:listing.find("\n1077\t", start)].count("Unable to open item for playback")
    # Each track fails once; the engine opens items ahead of what is heard,
    # so those of a further round may fail before the stop.
    check(3 <= errors <= 9, "repeat: the popup shows each track's failure: %d" % errors)
    screen_shot("repeat-deleted-folder")
    check(player.stop() == 0, "repeat: ends cleanly")


def test_chapters_in_file_order(root):
    """A Matroska book whose chapters carry no track number and whose names
    sort otherwise: its album lists them in the file's order, and Home and
    Enter play them in it."""
    player = Player(root, "chapters", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    levels = [2000, 4000, 6000]
    # Made outside the library folder, which the player scans whole.
    wav, meta = os.path.join(root, "book.wav"), os.path.join(root, "book.txt")
    write_stereo_wav(wav, array.array("h", [v for level in levels for v in [level] * 24000 * 2]))
    with open(meta, "w") as f:
        f.write(";FFMETADATA1\nartist=Dora\nalbum=Book\n")
        for i, title in enumerate(["Prologue", "Middle Part", "Epilogue"]):
            f.write("[CHAPTER]\nTIMEBASE=1/1000\nSTART=%d\nEND=%d\ntitle=%s\n" % (500 * i, 500 * i + 500, title))
    subprocess.run(["ffmpeg", "-v", "quiet", "-y", "-i", wav, "-i", meta, "-map_metadata", "1", "-map_chapters", "1",
                    "-c:a", "pcm_s16le", os.path.join(music, "book.mka")], check=True)
    player.start()
    check(player.wait(lambda: player.enabled(PLAY), 120), "chapters: the scan fills the albums level")
    player.keys("home", "return")
    check(player.text(1067).startswith("Album: <a>Book</a>"), "chapters: Enter opens the book: %r" % player.text(1067))
    screen_shot("chapters-in-file-order")
    player.keys("home", "return")
    heard = listen(player, levels[-1])
    check(heard == levels, "chapters: Home and Enter play the chapters in the file's order: %r" % heard)
    check(player.stop() == 0, "chapters: ends cleanly")


def main():
    main_window.run_window_tests(test_chapters_in_file_order, test_volume_slider_is_heard, test_play_button, test_random_order_from_the_item_menu,
                                 test_now_playing_lines, test_links_after_a_library_start, test_menus,
                                 test_repeat_over_a_deleted_folder)


main()
