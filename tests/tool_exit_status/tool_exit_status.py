#!/usr/bin/python3
"""zorvtool's exit status is its command's result even when the host's
teardown after the process ends is slow: Wine's server kills a process that
has not vanished half a second after it counts it as ended, and a finished
decode must not be reported as killed. A preloaded host library whose
finaliser sleeps stands in for the finalisers of the libraries the system's
AAC decoder brings in, which take that long on a busy machine.

usage: tool_exit_status.py WINE_EXEC BUILD_DIR ZORVTOOL_EXE
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "mp4_input"))
from blackbox_checks import check, failures, tool, windows_path  # noqa: E402
from decoded_audio import wav  # noqa: E402

WINE_EXEC, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "slow_teardown.c")


def slow_teardown_preload(work):
    """LD_PRELOAD naming the slow library for 32-bit programs (Wine) and an
    empty one for the 64-bit shell and tools that start it."""
    for arch, flags in (("i386-linux-gnu", ["-m32"]), ("x86_64-linux-gnu", [])):
        folder = os.path.join(work, "lib", arch)
        os.makedirs(folder)
        tool("gcc", *flags, "-shared", "-fPIC", "-nostdlib", "-O2", "-o", os.path.join(folder, "slow.so"), SOURCE)
    return os.path.join(work, "$LIB", "slow.so")


def run_slow(preload, *args):
    return subprocess.run([WINE_EXEC, BUILD_DIR, ZORVTOOL, *args], capture_output=True, text=True,
                          encoding="utf-8", errors="replace", env=dict(os.environ, LD_PRELOAD=preload))


def main():
    with tempfile.TemporaryDirectory() as work:
        preload = slow_teardown_preload(work)
        source = os.path.join(work, "tone.wav")
        tool("sox", "-n", "-r", "44100", "-c", "2", source, "synth", "1", "sine", "440", "sine", "660", "vol", "0.5")
        m4a = os.path.join(work, "tone.m4a")
        tool("ffmpeg", "-loglevel", "error", "-y", "-i", source, "-c:a", "aac", m4a)
        out = os.path.join(work, "tone.out.wav")

        done = run_slow(preload, "decode", windows_path(m4a), windows_path(out))
        check(done.returncode == 0 and done.stdout == "44100 frames, 44100 Hz, 2 channels\n",
              "an AAC decode that finished exits with 0 despite a slow teardown: %d, %r %r" %
              (done.returncode, done.stdout, done.stderr))
        check(os.path.exists(out) and len(wav(out)[2]) == 2 * 44100, "the decode wrote all its frames")

        done = run_slow(preload, "decode", windows_path(os.path.join(work, "missing.m4a")), windows_path(out + "2"))
        check(done.returncode == 1 and done.stderr.startswith("zorvtool: "),
              "a failed command still exits with 1 and says why: %d, %r" % (done.returncode, done.stderr))
        done = run_slow(preload, "no-such-command")
        check(done.returncode == 2, "an unknown command still exits with 2: %d" % done.returncode)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
