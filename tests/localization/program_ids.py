#!/usr/bin/python3
"""Every text id the program asks the localisation for is in every one of the
twelve language tables: an id missing from a table shows in English (or
empty) in that language. The ids are read from the sources as the code names
them: the first argument of the localisation calls and the I/O exception
classes, whose id is the class name.

usage: program_ids.py SOURCE_DIR
"""
import os
import re
import sys

SOURCE_DIR = sys.argv[1]
LAYERS = ("foundation", "core", "io", "metadata", "playback", "library", "inputs", "ui", "properties")
# The calls whose first argument is a text id, and the macro that makes an
# exception class whose message id is its own name.
CALLS = ("io_message", "localized_text_get", "localized_text::get", "localized_text::get_or",
         "localized_text::to_wide", "localized_text_format", "text_of", "view_text", "matroska_text_error",
         "menu_text_with_shortcut")
ID = r'"([a-z][a-z0-9]*(?:_[a-z0-9]+)+)"'
# A message made as a named variable ("io_message message(id, ...)") counts too.
CALL = re.compile(r'(?<![\w:])(?:vantrel_io::)?(?:io_message\s+\w+|%s)\(\s*%s' %
                  ("|".join(re.escape(c) for c in CALLS), ID))
EXCEPTION_CLASS = re.compile(r'^VANTREL_IO_EXCEPTION_CLASS\(\s*(\w+)\s*,', re.MULTILINE)
# A window's caption or a dialog item's text: the id is the first text argument.
WINDOW_TEXT = re.compile(r'set_localized_(?:window|item)_text\([^;"]*' + ID)
# A reason named by its id beside its English text, shown inside a message.
REASON = re.compile(r'refusal_reason\s+\w+\s*=\s*\{\s*' + ID)
# Looked up only to let a translation point elsewhere: without an entry the
# program uses its own built-in address.
OPTIONAL = {"link_replaygain"}
ENTRY = re.compile(r'<entry id="([^"]+)"')


def program_ids():
    ids = {}
    for layer in LAYERS:
        for folder, _, files in os.walk(os.path.join(SOURCE_DIR, layer)):
            for name in files:
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(folder, name)
                text = open(path, encoding="utf-8", errors="replace").read()
                for found in (CALL.findall(text) + WINDOW_TEXT.findall(text) + EXCEPTION_CLASS.findall(text) +
                              REASON.findall(text)):
                    ids.setdefault(found, os.path.relpath(path, SOURCE_DIR))
    return ids


def main():
    ids = program_ids()
    # A walk that finds nothing checks nothing: the calls were renamed.
    if len(ids) < 100 or "exception_io_data" not in ids:
        print("FAIL: only %d ids found in the sources" % len(ids))
        sys.exit(1)
    folder = os.path.join(SOURCE_DIR, "resources", "lang")
    tables = sorted(name for name in os.listdir(folder) if name.endswith(".xml"))
    failures = 0
    if len(tables) != 12:
        failures += 1
        print("FAIL: %d language tables, not twelve: %s" % (len(tables), tables))
    for table in tables:
        present = set(ENTRY.findall(open(os.path.join(folder, table), encoding="utf-8").read()))
        for missing in sorted(set(ids) - present - OPTIONAL):
            failures += 1
            print("FAIL: %s lacks %s (used in %s)" % (table, missing, ids[missing]))
    if failures:
        sys.exit(1)
    print("all %d ids are in all %d tables" % (len(ids), len(tables)))


main()
