"""The window tests' player (tests/main_window) set up for a benchmark of the
real zorv.exe of a build: their modules become importable and run that
build's zorv.exe and probe under its Wine session. Call before importing
them."""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def use_build(build, zorv):
    os.environ["ZORV_WINDOW_PROBE"] = os.path.join(build, "tests", "main_window", "zorv_window_probe.exe")
    sys.argv = [sys.argv[0], os.path.join(HERE, "..", "tools", "wine-exec"), build, zorv]
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "main_window"))
    sys.path.insert(0, os.path.join(HERE, "..", "tests", "support"))
    sys.dont_write_bytecode = True
