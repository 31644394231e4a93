#!/usr/bin/python3
"""The link lines of the real zorv.exe's main window as a user meets them:
each link of the navigation line, of a folder's path and of now-playing
line 2 clicked with the pointer (xdotool) where it shows on the screen,
checked by where the window went; and the lines' text and link colours in
the four themes, read from screenshots (kept under the build folder's
test-artifacts/main_window for a person to look at).

usage: link_lines.py WINE_EXEC BUILD_DIR ZORV_EXE  (ZORV_WINDOW_PROBE names the probe)
"""
import collections
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.dont_write_bytecode = True  # no cache folder left in the source tree
from blackbox_checks import check, windows_path, x_environment  # noqa: E402
import main_window  # noqa: E402  (the window tests' player; its own checks run only as a script)
from main_window import BUILD_DIR, THEMES, Player, guid_bytes, run_window_tests  # noqa: E402

PLAY, CAPTION, PATH_LINE, LINE_1, LINE_2 = 1000, 1067, 1068, 1079, 1080
THEME_ITEM = "1DE8F186-735F-4F81-B687-430C92993A15"
# Text and link colours of each theme as (r, g, b); the classic theme's text
# is the system's window text colour, black in Wine's default scheme.
COLOURS = {
    "classic": ((0, 0, 0), (0, 0, 255)),
    "black": ((255, 255, 255), (0x60, 0x60, 255)),
    "white": ((0, 0, 0), (0, 0, 255)),
    "graphite": ((0, 0, 0), (0, 0, 192)),
}


class Picture:
    """A screenshot's pixels as (r, g, b) by (x, y)."""

    def __init__(self, png):
        size = subprocess.run(["convert", png, "-format", "%w %h", "info:"], capture_output=True, text=True,
                              check=True).stdout.split()
        self.width, self.height = int(size[0]), int(size[1])
        self.data = subprocess.run(["convert", png, "-depth", "8", "rgb:-"], capture_output=True, check=True).stdout

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def colours(self, box):
        """How often each colour occurs in box (left, top, right, bottom)."""
        return collections.Counter(self.at(x, y) for y in range(max(box[1], 0), min(box[3], self.height))
                                   for x in range(max(box[0], 0), min(box[2], self.width)))


def window_box(window, control):
    """A control's rectangle in the coordinates of the window's screenshot."""
    left, top = (int(v) for v in window[5].split(",")[:2])
    return (control[0] - left, control[1] - top, control[2] - left, control[3] - top)


def link_spots(picture, box):
    """Where each link of a line shows, left to right, as window points: the
    links are underlined, so the row with the longest runs of one colour
    that is neither the background nor the text's is the underline, and each
    run of it is one link."""
    counts = picture.colours(box)
    if len(counts) < 3:
        return []
    background = counts.most_common(1)[0][0]
    best = []
    for y in range(box[1], box[3]):
        runs, start, colour = [], None, None
        for x in range(box[0], box[2] + 1):
            here = picture.at(x, y) if x < box[2] else None
            if start is not None and here != colour:
                if x - start >= 6:
                    runs.append((start, x, colour))
                start = None
            if start is None and here not in (None, background):
                start, colour = x, here
        if sum(r[1] - r[0] for r in runs) > sum(r[1] - r[0] for r in best):
            best, underline = runs, y
    # Plain text makes short runs of its own colour; the links share one.
    if not best:
        return []
    link_colour = collections.Counter(r[2] for r in best for _ in range(r[1] - r[0])).most_common(1)[0][0]
    return [((r[0] + r[1]) // 2, underline - 3) for r in best if r[2] == link_colour]


def link_texts(markup):
    return re.findall(r"<a>(.*?)</a>", markup)


def click_links(player, control, name):
    """Clicks each link of the control in turn, calling back with its index
    and text after each click; the window must show the line again (as it
    was) before the next one."""
    window, controls = player.controls()
    markup = controls[control][5]
    png = player.shot(name)
    spots = link_spots(Picture(png), window_box(window, controls[control][4]))
    texts = link_texts(markup)
    check(len(spots) == len(texts), "%s: every link shows, underlined: %d spots for %r" % (name, len(spots), texts))
    left, top = (int(v) for v in window[5].split(",")[:2])
    for index, (x, y) in enumerate(spots[:len(texts)]):
        yield index, texts[index], (left + x, top + y)


def click_at(point):
    """Clicks there, then takes the pointer to the screen's corner: one left
    over a control would show its tooltip to the tests after this one."""
    subprocess.run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1", "mousemove", "1023", "767"],
                   env=x_environment(BUILD_DIR), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    time.sleep(0.5)


def test_navigation_line(root):
    player = Player(root, "nav-links", library=True)
    main_window.make_music(player.folder)
    player.start()
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 120), "nav line: the scan is done")
    for index, text, point in click_links(player, PATH_LINE, "links-navigation-line"):
        click_at(point)
        # The place the line leads to shows its own name as plain text.
        line = player.text(PATH_LINE)
        check(text in line and "<a>%s</a>" % text not in line,
              "nav line: a click on %r opens it: %r" % (text, line))
        player.probe("command", "1050")  # Back, so the line is as it was
        player.wait(lambda: player.text(CAPTION) == "All albums", 10)
    check(player.stop() == 0, "nav line: ends cleanly")


def test_folder_path(root):
    player = Player(root, "path-links")
    deep = os.path.join(player.folder, "music", "one", "two")
    os.makedirs(deep)
    player.start(windows_path(deep))
    check(player.wait(lambda: player.text(CAPTION).endswith("two"), 60), "path: the folder is shown")
    shown = player.text(CAPTION)
    for index, text, point in click_links(player, CAPTION, "links-folder-path"):
        click_at(point)
        caption = player.text(CAPTION)
        # A drive shows with its volume name, a folder as the last name of its path.
        opened = caption.startswith(text) if text.endswith(":") else caption.endswith(" " + text)
        check(opened, "path: a click on %r opens that folder: %r" % (text, caption))
        player.probe("command", "1050")
        player.wait(lambda: player.text(CAPTION) == shown, 10)
    check(player.stop() == 0, "path: ends cleanly")


def test_now_playing_line(root):
    player = Player(root, "np-links", library=True)
    music = os.path.join(player.folder, "music")
    os.makedirs(music)
    tone = os.path.join(player.folder, "tone.wav")
    subprocess.run(["sox", "-n", "-r", "48000", "-c", "2", "-b", "16", tone, "synth", "120", "sine", "440"], check=True)
    subprocess.run(["flac", "-s", "-f", "-T", "TITLE=Duet", "-T", "ARTIST=Anna", "-T", "ALBUM=Album", "-T",
                    "DATE=2001", "-o", os.path.join(music, "duet.flac"), tone], check=True)
    os.remove(tone)
    player.start()
    check(player.wait(lambda: player.controls()[1].get(PLAY, (0, 0, False))[2], 120), "now playing: the scan is done")
    player.probe("command", str(PLAY))
    check(player.wait(lambda: link_texts(player.text(LINE_2)) == ["Anna", "Album [2001]"], 20),
          "now playing: line 2 links the artist and the album: %r" % player.text(LINE_2))
    for index, text, point in click_links(player, LINE_2, "links-now-playing"):
        click_at(point)
        caption = player.text(CAPTION)
        if text.startswith("Album"):
            check(caption.startswith("Album: ") and "Album [2001]" in caption,
                  "now playing: the album link opens the album: %r" % caption)
        else:
            check(re.search(r"artist: (<a>)?%s(</a>)?$" % text, caption) is not None,
                  "now playing: the artist link %r opens that artist: %r" % (text, caption))
    check(player.stop() == 0, "now playing: ends cleanly")


def test_theme_colours(root):
    for name, guid in THEMES.items():
        player = Player(root, "colours-" + name)
        player.write_config({THEME_ITEM: guid_bytes(guid)})
        player.start()
        player.wait(lambda: "<a>" in player.text(PATH_LINE), 60)
        window, controls = player.controls()
        if window is None:
            check(False, "colours: %s starts" % name)
            continue
        picture = Picture(player.shot("links-theme-%s" % name))
        text, link = COLOURS[name]
        counts = picture.colours(window_box(window, controls[PATH_LINE][4]))
        check(counts[link] >= 20, "colours: %s links show in %r: %r" % (name, link, counts.most_common(4)))
        check(counts[text] >= 10, "colours: %s plain text shows in %r: %r" % (name, text, counts.most_common(4)))
        check(player.stop() == 0, "colours: %s ends cleanly" % name)


def main():
    run_window_tests(test_navigation_line, test_folder_path, test_now_playing_line, test_theme_colours)


main()
