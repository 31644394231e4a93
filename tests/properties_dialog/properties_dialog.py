#!/usr/bin/python3
"""The properties dialog on real files, through the real item command, load,
update and tag removal; files read back with mutagen.

usage: properties_dialog.py WINE_EXEC BUILD_DIR PROBE_EXE
"""
import os
import subprocess
import sys
import tempfile

from mutagen.flac import FLAC
from mutagen.mp3 import MP3
from mutagen.oggvorbis import OggVorbis

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, windows_path  # noqa: E402

WINE_EXEC, BUILD_DIR, PROBE = sys.argv[1:4]


def sox(path, rate, channels, seconds, bits=16):
    subprocess.run(["sox", "-n", "-r", str(rate), "-c", str(channels), "-b", str(bits), path,
                    "synth", str(seconds), "sine", "440"], check=True)


def make_files(work):
    files = {}
    wav = os.path.join(work, "a.wav")
    sox(wav, 44100, 2, 2)
    for name, artist, title in (("one.flac", "Old", "First"), ("two.flac", "Old", "Second"),
                                ("three.flac", "Other", "Third")):
        path = files[name] = os.path.join(work, name)
        subprocess.run(["flac", "-s", "-f", "-o", path, wav], check=True)
        tags = FLAC(path)
        tags["artist"] = artist
        tags["title"] = title
        tags["mood"] = "calm"
        tags.save()
    mono = os.path.join(work, "mono.wav")
    sox(mono, 48000, 1, 1)
    files["mono.mp3"] = os.path.join(work, "mono.mp3")
    subprocess.run(["lame", "--quiet", "-b", "128", mono, files["mono.mp3"]], check=True)
    files["song.ogg"] = os.path.join(work, "song.ogg")
    subprocess.run(["oggenc", "-Q", "-o", files["song.ogg"], wav], check=True)
    files["song.opus"] = os.path.join(work, "song.opus")
    subprocess.run(["opusenc", "--quiet", wav, files["song.opus"]], check=True)
    files["song.wv"] = os.path.join(work, "song.wv")
    subprocess.run(["wavpack", "-q", "-y", wav, "-o", files["song.wv"]], check=True)
    return files


def run_probe(*args):
    # Screenshots go under the probe's folder in the build tree.
    run = subprocess.run([WINE_EXEC, BUILD_DIR, PROBE, *args], capture_output=True, text=True, timeout=240,
                         cwd=os.path.dirname(PROBE))
    return run.returncode, run.stdout.replace("\r\n", "\n")


def rows_of(files, *names):
    code, out = run_probe("rows", *[windows_path(files[n]) for n in names])
    check(code == 0, "the rows probe ends well: %d %s" % (code, out))
    rows = {}
    for line in out.splitlines():
        group, name, value = line.split("|", 2)
        rows[(group, name)] = value
    return rows


def check_rows(files):
    one = rows_of(files, "one.flac")
    size = os.path.getsize(files["one.flac"])
    spaced = "{:,}".format(size).replace(",", " ")
    check(one.get(("Location", "File size"), "").endswith("(%s bytes)" % spaced) and " KB " in
          one.get(("Location", "File size"), ""), "one FLAC: size in KB with the exact count grouped: %r" % one)
    check(one.get(("General", "Duration")) == "0:02.000 (88200 samples)", "one FLAC: duration with samples: %r" % one)
    check(one.get(("General", "Format"), "").startswith("FLAC") and "stereo" in one[("General", "Format")] and
          "44100 Hz" in one[("General", "Format")] and "16-bit" in one[("General", "Format")],
          "one FLAC: the format line: %r" % one.get(("General", "Format")))
    check(one.get(("Location", "File name")) == "one.flac" and ("Location", "File path") in one,
          "one FLAC: file name and path rows: %r" % one)
    check(("Location", "Subsong index") not in one, "subsong 0 alone shows no subsong row")

    mixed = rows_of(files, "one.flac", "two.flac", "mono.mp3")
    fmt = mixed.get(("General", "Format"), "")
    # Weighted by length: two FLAC files of 2 s and one MP3 of about 1 s.
    check(fmt.startswith("FLAC (80.0%); MP3") and "lossless (80.0%); lossy (20.0%)" in fmt,
          "mixed formats list each codec with its share, the larger first: %r" % fmt)
    check(("Location", "File names") in mixed and ("Location", "Total size") in mixed and
          ("Location", "File path") not in mixed, "three files: names, total size, no single path: %r" % mixed)
    check(mixed.get(("Location", "Folder name")) is not None, "one folder: the singular folder row")
    check(" ch" in fmt or "mono" in fmt, "mixed channel counts are tallied: %r" % fmt)

    many = rows_of(files, "song.ogg", "song.opus", "song.wv")
    fmt = many.get(("General", "Format"), "")
    check("Vorbis" in fmt and "Opus" in fmt and "WavPack" in fmt, "Vorbis, Opus and WavPack in one line: %r" % fmt)


SCRIPT_EDIT = """open
dump
inplace 0 New Artist
dump
command 1074
wait
dump
boxes
"""


def check_edit_apply(files, work):
    names = ["one.flac", "two.flac", "three.flac"]
    before = {n: FLAC(files[n]) for n in names}
    script = os.path.join(work, "edit.txt")
    with open(script, "w") as out:
        out.write(SCRIPT_EDIT + "screenshot properties_three_tracks_metadata\nkey ctrl+tab\ndump\n"
                  "screenshot properties_three_tracks_properties\nresize 640 420\n"
                  "screenshot properties_three_tracks_resized\n"
                  "command 2\npump 300\ncount\n")
    code, out = run_probe("script", windows_path(script), *[windows_path(files[n]) for n in names])
    check(code == 0 and "opened" in out, "the dialog opens on three tracks: %s" % out)
    dumps = out.split("> dump\n")
    check(len(dumps) >= 4, "four dumps: %s" % out)
    if len(dumps) < 4:
        return
    first, edited, applied, switched = dumps[1], dumps[2], dumps[3], dumps[4] if len(dumps) > 4 else ""
    check("caption|Properties (3 items) - \"First\", \"Second\", \"Third\"" in first,
          "the caption lists the three titles: %s" % first)
    check("meta|Artist|\u00abmultiple values\u00bb Old; Other" in first and "apply|off" in first,
          "the differing artists show as multiple values, Apply off: %s" % first)
    check("meta|<MOOD>|calm" in first, "other fields are listed by name: %s" % first)
    check("meta|Artist|New Artist" in edited and "apply|on" in edited,
          "editing the artist cell in place sets it for all tracks and enables Apply: %s" % edited)
    check("inplace|open" in out, "a click on the value cell opens the in-place box")
    check("meta|Artist|New Artist" in applied and "apply|off" in applied,
          "after Apply the rows come from the files and Apply is off: %s" % applied)
    check("tab|1" in switched, "Ctrl+Tab switches to the properties tab: %s" % switched)
    check("screenshot|" in out, "a screenshot was taken")
    for n in names:
        after = FLAC(files[n])
        check(after["artist"] == ["New Artist"] and after["title"] == before[n]["title"] and
              after["mood"] == ["calm"], "%s: the new artist, every other field kept: %r" % (n, dict(after)))
    check("dialogs|0" in out, "Cancel without edits closes without asking: %s" % out)


def check_close_prompt(files, work):
    names = ["one.flac", "two.flac"]
    script = os.path.join(work, "prompt.txt")
    with open(script, "w") as out:
        out.write("open\nselect 0\nclipboard Kept Edit\nlistkey ctrl+v\n"
                  "answer cancel\ncommand 2\npump 300\ncount\nboxes\n"
                  "answer no\ncommand 2\npump 300\ncount\nboxes\n")
    code, out = run_probe("script", windows_path(script), *[windows_path(files[n]) for n in names])
    parts = out.split("> count\n")
    check(len(parts) == 3 and "dialogs|1" in parts[1] and "box|" in parts[1],
          "Cancel at the save prompt keeps the dialog: %s" % out)
    check(len(parts) == 3 and "dialogs|0" in parts[2], "No at the save prompt closes it: %s" % out)
    check(FLAC(files["one.flac"])["artist"] == ["New Artist"], "No writes nothing")

    with open(script, "w") as out:
        out.write("open\nselect 0\nclipboard Yes Artist\nlistkey ctrl+v\nanswer yes\ncommand 2\nwait\npump 500\n"
                  "count\n")
    code, out = run_probe("script", windows_path(script), *[windows_path(files[n]) for n in names])
    check("dialogs|0" in out, "Yes at the save prompt writes and closes: %s" % out)
    check(FLAC(files["two.flac"])["artist"] == ["Yes Artist"], "Yes wrote the edit")


def check_two_dialogs_and_fields(files, work):
    script = os.path.join(work, "two.txt")
    with open(script, "w") as out:
        out.write("open\nopen\ncount\nuse 0\nselect 1\nlistkey ctrl+c\ngetclipboard\n"
                  "use 1\nselect 2\nlistkey ctrl+v\ndump\nuse 0\ndump\n"
                  "use 1\nlistkey ctrl+n\neditor\neditorname BAD=NAME\neditor\neditorshot field_editor_invalid_name\n"
                  "editorname MOOD\neditor\n"
                  "editorvalue Happy\nanswer yes\neditorok\nboxes\ndump\n")
    code, out = run_probe("script", windows_path(script), windows_path(files["one.flac"]),
                          windows_path(files["three.flac"]))
    check("dialogs|2" in out, "two Properties commands open two dialogs: %s" % out)
    check("clipboard|Title : \u00abmultiple values\u00bb First; Third" in out,
          "copy puts '<name> : <value>' text on the clipboard: %s" % out)
    dumps = out.split("> dump\n")
    check(len(dumps) >= 4, "dumps: %s" % out)
    if len(dumps) >= 4:
        check("meta|Album|\u00abmultiple values\u00bb First; Third" in dumps[1] and "apply|on" in dumps[1],
              "the private format pastes the copied field's values into the other dialog's row: %s" % dumps[1])
        check("apply|off" in dumps[2], "the first dialog stays as it was: %s" % dumps[2])
        check("meta|<MOOD>|Happy" in dumps[3], "the field editor's new value for all tracks: %s" % dumps[3])
    check("editor|Add New Field|ok off|tabbed yes" in out, "two tracks: the tabbed editor, OK off for no name")
    ok_states = [line for line in out.splitlines() if line.startswith("editor|")]
    check(len(ok_states) >= 3 and "ok off|tabbed yes|tip yes" in ok_states[1] and
          "ok on|tabbed yes|tip no" in ok_states[2],
          "an '=' in the name disables OK with the balloon, a valid name enables it and removes it: %r" % ok_states)
    check("box|A field with this name already exists" in out, "an existing name asks before it is overwritten")


def check_column_widths(files, work):
    script = os.path.join(work, "widths.txt")
    with open(script, "w") as out:
        out.write("open\nwidths\nsetwidth 123\ncommand 2\npump 300\nopen\nwidths\n")
    code, out = run_probe("script", windows_path(script), windows_path(files["one.flac"]))
    widths = [line for line in out.splitlines() if line.startswith("widths|")]
    check(len(widths) == 2 and widths[0] != "widths|123" and widths[1] == "widths|123",
          "a column width survives closing and reopening the dialog: %r" % widths)


def check_context_help_key(files, work):
    script = os.path.join(work, "help.txt")
    with open(script, "w") as out:
        out.write("open\nkey f1\nhelpcount\nlistkey ctrl+n\neditorkey f1\nhelpcount\neditorcancel\n")
    code, out = run_probe("script", windows_path(script), windows_path(files["one.flac"]))
    counts = [line for line in out.splitlines() if line.startswith("help|")]
    check(counts == ["help|1", "help|2"],
          "F1 asks for context help once in the dialog and once in its field editor: %r" % counts)


def check_single_track_editor(files, work):
    script = os.path.join(work, "single.txt")
    with open(script, "w") as out:
        out.write("open\nlistkey ctrl+n\neditor\neditorname lyrics\neditorvalue la la\neditorok\n"
                  "command 1074\nwait\ndump\n")
    code, out = run_probe("script", windows_path(script), windows_path(files["two.flac"]))
    check("editor|Add New Field|ok off|tabbed no" in out, "one track: the simple editor: %s" % out)
    check("meta|<LYRICS>|la la" in out, "the new field is listed: %s" % out)
    check(FLAC(files["two.flac"]).get("lyrics") == ["la la"], "Apply writes the new field")


def check_remote_read_only(work):
    script = os.path.join(work, "remote.txt")
    with open(script, "w") as out:
        out.write("openremote\nselect 0\nclipboard Edited\nlistkey ctrl+v\ndump\nanswer yes\n"
                  "command 2\npump 300\nboxes\ncount\n")
    code, out = run_probe("script", windows_path(script), "C:\\unused.flac")
    check("meta|Artist|Edited" in out and "apply|off" in out,
          "a remote track's rows can be edited but Apply stays off: %s" % out)
    check("box|" not in out and "dialogs|0" in out, "closing a remote track's dialog asks nothing: %s" % out)


def check_reload_and_remove(files, work):
    script = os.path.join(work, "remove.txt")
    path = files["three.flac"]
    with open(script, "w") as out:
        out.write("open\nselect 0\nclipboard Dropped\nlistkey ctrl+v\nanswer no\n"
                  "tools 1\nwait\ndump\nboxes\n"
                  "answer yes\ntools 2\nwait\ndump\nboxes\n")
    # No at the reload prompt drops the edit; the reload shows the file.
    code, out = run_probe("script", windows_path(script), windows_path(path))
    dumps = out.split("> dump\n")
    check(code == 0 and len(dumps) == 3, "reload and removal ran: %s" % out)
    if len(dumps) == 3:
        check("menu|Reload info" in out and "menu|Remove tags" in out, "the Tools menu ends with its two entries")
        check("meta|Artist|New Artist" in dumps[1] and "Dropped" not in dumps[1] and "apply|off" in dumps[1],
              "No at the reload prompt drops the edit and shows the file's fields: %s" % dumps[1])
        check("meta|Artist|\n" in dumps[2].replace("meta|Artist|", "meta|Artist|\n", 1) and
              "<MOOD>" not in dumps[2], "after Remove tags the dialog shows no fields: %s" % dumps[2])
    check("box|This will remove all tags" in out, "Remove tags asks first")
    tags = FLAC(path).tags
    check(tags is None or len(tags) == 0, "the file has no tags left: %r" % (tags and dict(tags)))


def main():
    with tempfile.TemporaryDirectory() as work:
        files = make_files(work)
        check_rows(files)
        check_edit_apply(files, work)
        check_close_prompt(files, work)
        check_two_dialogs_and_fields(files, work)
        check_column_widths(files, work)
        check_remote_read_only(work)
        check_single_track_editor(files, work)
        check_context_help_key(files, work)
        check_reload_and_remove(files, work)
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
