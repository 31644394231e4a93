#!/usr/bin/python3
"""The properties dialog's tools on real files: the table edit of several
fields, automatic filling from file names and clipboard lines, and the split
values dialog with its separators kept in config.dat; files read back with
mutagen, screenshots of the three dialogs.

usage: properties_tools.py WINE_EXEC BUILD_DIR PROBE_EXE
"""
import os
import subprocess
import sys
import tempfile

from mutagen.flac import FLAC

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, PROBE = sys.argv[1:4]


def make_flac(path, wav, **tags):
    subprocess.run(["flac", "-s", "-f", "-o", path, wav], check=True)
    flac = FLAC(path)
    for name, value in tags.items():
        flac[name] = value
    flac.save()
    return path


def run_script(work, name, steps, paths):
    script = os.path.join(work, name + ".txt")
    with open(script, "w") as out:
        out.write("\n".join(steps) + "\n")
    run = subprocess.run([WINE_EXEC, BUILD_DIR, PROBE, "script", windows_path(script),
                          *[windows_path(p) for p in paths]],
                         capture_output=True, text=True, timeout=240, cwd=os.path.dirname(PROBE))
    out = run.stdout.replace("\r\n", "\n")
    check(run.returncode == 0 and "opened" in out, "%s: the probe ran: %d %s" % (name, run.returncode, out))
    return out


def section(out, step):
    """The output of each run of a step, in order."""
    return [part.split("\n> ")[0] for part in out.split("> " + step + "\n")[1:]]


def check_table_edit(work, wav):
    files = [make_flac(os.path.join(work, "t%d.flac" % i), wav, artist="Old %d" % i, title="Title %d" % i,
                       mood="calm") for i in range(3)]
    out = run_script(work, "table", [
        "open", "select 0 1", "menu 3", "subdump",
        # Title dragged in front of Artist: Tab follows the screen.
        "suborder 0 1 3 2", "subdump", "subshot table_edit_three_tracks",
        "subcell 0 1", "celltype New One", "cellkey tab", "where",
        "celltype A; B", "cellkey tab", "where",
        "celltype Dropped", "cellkey escape", "where",
        "subcell 1 0", "cellkey shift+tab", "where", "cellkey escape",
        "subcell 2 0", "celltype Solo", "cellkey enter", "where",
        "subcell 0 -1", "celltype Renamed", "cellkey enter", "where", "cellkey escape",
        "subdump", "subcmd 1", "subdump", "dump", "command 1074", "wait", "dump"], files)
    menus = [line for line in out.splitlines() if line.startswith("menu|")]
    check("menu|Edit..." in menus, "two rows on three tracks offer Edit: %r" % menus)
    dumps = section(out, "subdump")
    check(len(dumps) == 4, "four sub-dialog dumps: %s" % out)
    if len(dumps) < 4:
        return
    check("sub|Editing values - Artist, Title|" in dumps[0], "the caption names the fields: %s" % dumps[0])
    check("head|#|Item|Artist|Title" in dumps[0] and "row|1|Title 0|Old 0|Title 0" in dumps[0] and
          "rows|3" in dumps[0], "one row per track, one column per field: %s" % dumps[0])
    check("head|#|Item|Title|Artist" in dumps[1], "the dragged order shows: %s" % dumps[1])
    wheres = [line for line in out.splitlines() if line.startswith("where|")]
    check(wheres[:2] == ["where|0|2", "where|1|3"],
          "Tab goes from Title to Artist in the row (shown order), then to the next row's Title: %r" % wheres)
    check(wheres[2:5] == ["where|none", "where|1|3", "where|none"],
          "Esc ends editing; Shift+Tab from Artist goes back to Title; Enter on the last row ends: %r" % wheres)
    check(wheres[5:] == ["where|1|1"], "Enter walks the read-only item column down: %r" % wheres)
    check("row|1|Title 0|New One|A; B" in dumps[2] and "row|2|Title 1|Title 1|Old 1" in dumps[2] and
          "row|3|Title 2|Title 2|Solo" in dumps[2],
          "Tab commits, Esc never does, the item column never changes: %s" % dumps[2])
    check("sub|none" in dumps[3], "OK closes the table edit")
    meta = section(out, "dump")
    check(len(meta) == 2 and "apply|on" in meta[0] and "\u00abmultiple values\u00bb" in meta[0],
          "the rows took the results and Apply is on: %s" % meta)
    one, two, three = (FLAC(f) for f in files)
    check(one["artist"] == ["A", "B"] and one["title"] == ["New One"] and one["mood"] == ["calm"],
          "the multi-value artist became two values, the title one: %r" % dict(one))
    check(two["artist"] == ["Old 1"] and two["title"] == ["Title 1"], "the escaped cell was not written: %r" % dict(two))
    check(three["artist"] == ["Solo"], "Enter committed the last row's cell: %r" % dict(three))

    out = run_script(work, "table-cancel", [
        "open", "select 0 1", "menu 3", "subcell 0 0", "celltype Never", "cellkey tab", "subcmd 2", "dump",
        "select 0 1", "menu 3", "subcell 1 1", "cellkey escape", "subcmd 1", "dump"], files)
    meta = section(out, "dump")
    check(len(meta) == 2 and all("apply|off" in m and "Never" not in m for m in meta),
          "Cancel drops committed cells; OK after only Esc changes nothing: %s" % meta)
    check(FLAC(files[0])["artist"] == ["A", "B"], "nothing was written")


def check_autofill(work, wav):
    folder = os.path.join(work, "Band")
    os.makedirs(folder)
    files = [make_flac(os.path.join(folder, "07. Intro.flac"), wav, title="Old", artist="Keep"),
             make_flac(os.path.join(folder, "08. Second  Song.flac"), wav, title="Old", artist="Keep")]
    out = run_script(work, "autofill", [
        "open", "menu 14", "subdump", "subpattern %tracknumber%. %title%", "subdump", "subshot autofill_preview",
        "subpattern %album%\\%tracknumber%. %title%", "subdump",
        "subpattern %bad=name%", "subdump", "subcmd 1", "subdump",
        "subpattern %Track number%. %title%", "subcell 1 3", "celltype Second Song Edited", "cellkey enter",
        "subcmd 1", "subdump", "dump", "command 1074", "wait"], files)
    dumps = section(out, "subdump")
    check(len(dumps) == 6, "six dumps: %s" % out)
    if len(dumps) < 6:
        return
    check("sub|Automatically Fill Values|" in dumps[0] and "head|#|File name\n" in dumps[0] + "\n" and
          "row|1|07. Intro" in dumps[0], "no pattern: the file names alone: %s" % dumps[0])
    check("head|#|File name|Track number|Title" in dumps[1] and "row|1|07. Intro|07|Intro" in dumps[1] and
          "row|2|08. Second Song|08|Second Song" in dumps[1],
          "the preview splits '07. Intro' into 07 / Intro (blanks cleaned): %s" % dumps[1])
    check("row|1|Band\\07. Intro|Band|07|Intro" in dumps[2], "one separator takes the folder too: %s" % dumps[2])
    check("|ok off|tip yes" in dumps[3], "a pattern naming an invalid field disables OK with a balloon: %s" % dumps[3])
    check("|ok off|" in dumps[4], "OK is refused while it does: %s" % dumps[4])
    check("sub|none" in dumps[5], "OK closes the dialog")
    meta = section(out, "dump")
    check(len(meta) == 1 and "meta|Track number|\u00abmultiple values\u00bb 07; 08" in meta[0] and "apply|on" in meta[0],
          "the rows took the filled values: %s" % meta)
    first, second = FLAC(files[0]), FLAC(files[1])
    check(first["tracknumber"] == ["07"] and first["title"] == ["Intro"] and first["artist"] == ["Keep"],
          "Apply wrote the first file's fields, others kept: %r" % dict(first))
    check(second["title"] == ["Second Song Edited"], "a preview cell edited in place is what OK takes: %r" % dict(second))

    out = run_script(work, "autofill-clipboard", [
        "open", "clipboard A; B\\nLine Two", "menu 14", "subsource 1", "subpattern %artist%", "subdump",
        "subcmd 1", "command 1074", "wait",
        "open", "menu 14", "subsource 1", "subpattern %mood%", "subdump", "subcmd 1", "dump"], files)
    dumps = section(out, "subdump")
    check(len(dumps) == 2 and "head|#|Source string|Artist" in dumps[0] and "row|1|A; B|A; B" in dumps[0] and
          "row|2|Line Two|Line Two" in dumps[0], "clipboard lines are the source strings: %s" % dumps)
    check(FLAC(files[0])["artist"] == ["A", "B"] and FLAC(files[1])["artist"] == ["Line Two"],
          "a multi-value field takes 'A; B' as two values: %r" % FLAC(files[0]).get("artist"))
    check(len(dumps) == 2 and "head|#|Source string|<MOOD>" in dumps[1] and "row|1|A; B|A; B" in dumps[1],
          "the remembered pattern history and a field outside the multi-value set: %s" % dumps)


def check_split(work, wav):
    path = make_flac(os.path.join(work, "split.flac"), wav, artist="A; B", title="X / Y")
    profile = os.path.join(work, "profile")
    os.makedirs(profile)
    out = run_script(work, "split", [
        "open", "select 0 1", "menu 17", "subdump", "subshot split_values",
        "subsplit /\\n;|0", "subcmd 1", "subdump", "dump", "command 1074", "wait", "saveconfig " + windows_path(profile),
        "select 0", "menu 17", "subsplit changed|1", "subcmd 2", "saveconfig " + windows_path(profile)], [path])
    dumps = section(out, "subdump")
    check(len(dumps) == 2 and "splittext|&\\r\\nand\\r\\n,\\r\\n;" in dumps[0] and "splitcheck|1" in dumps[0],
          "a fresh profile offers the default separators and line breaks: %s" % dumps)
    check(len(dumps) == 2 and "sub|none" in dumps[1], "OK closes the split dialog")
    flac = FLAC(path)
    check(flac["artist"] == ["A", "B"] and flac["title"] == ["X", "Y"], "both selected rows split: %r" % dict(flac))

    out = run_script(work, "split-reload", [
        "loadconfig " + windows_path(profile), "open", "select 0", "menu 17", "subdump", "subcmd 2"], [path])
    dumps = section(out, "subdump")
    check(len(dumps) == 1 and "splittext|/\\r\\n;" in dumps[0] and "splitcheck|0" in dumps[0],
          "the chosen separators come back from config.dat, Cancel kept them: %s" % dumps)


def main():
    with tempfile.TemporaryDirectory() as work:
        wav = os.path.join(work, "a.wav")
        subprocess.run(["sox", "-n", "-r", "44100", "-c", "2", "-b", "16", wav, "synth", "1", "sine", "440"],
                       check=True)
        check_table_edit(work, wav)
        check_autofill(work, wav)
        check_split(work, wav)
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
