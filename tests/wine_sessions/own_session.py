#!/usr/bin/python3
"""A test's Wine session of its own (tools/wine-session own): a display and a
prefix apart from the shared session and from each other, the programs of
the build run in it, its desktop open while it sits idle (else the next
program's output pipes are held by the desktop Wine starts anew), the
command's exit status kept, and nothing left behind, also when the display
server does not end on the first signal.

usage: own_session.py REPO BUILD_DIR ZORVTOOL_EXE
"""
import os
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from blackbox_checks import check, failures, session_env  # noqa: E402

REPO, BUILD_DIR, ZORVTOOL = sys.argv[1:4]
SESSION = os.path.join(REPO, "tools", "wine-session")
WINE_EXEC = os.path.join(REPO, "tools", "wine-exec")
# What the command sees of its session, whether a program of the build runs
# there, and whether the session's desktop is still open after ten idle seconds.
REPORT = ('echo "$DISPLAY|$WINEPREFIX|$(xdpyinfo >/dev/null 2>&1 && echo up)|'
          '$("$0" "$1" "$2" version </dev/null 2>/dev/null | head -c 7)|$(sleep 10; desktop)|'
          '$(cat "$(dirname "$ZORV_WINE_SESSION")/xvfb.pid")"')
DESKTOP = ('desktop() { for p in $(pgrep -x explorer.exe); do tr "\\0" "\\n" 2>/dev/null <"/proc/$p/environ" '
           '| grep -qx "WINEPREFIX=$WINEPREFIX" && echo open; done; }; ')


def xvfb_runs(pid):
    try:
        return open("/proc/%s/comm" % pid).read().strip() == "Xvfb"
    except OSError:
        return False


def own(*command):
    return subprocess.Popen([SESSION, "own", BUILD_DIR, *command], stdout=subprocess.PIPE, text=True,
                            stdin=subprocess.DEVNULL)


def check_display_server_deaf_to_its_end():
    """Xvfb acts on a SIGTERM only when it next wakes: one that lands just
    before it goes to sleep leaves it asleep for minutes. A stopped server
    stands for it; its session must still end, the server with it."""
    run = own("bash", "-c", 'x=$(cat "$(dirname "$ZORV_WINE_SESSION")/xvfb.pid"); echo "$x"; kill -STOP "$x"')
    try:
        out, _ = run.communicate(timeout=60)
        ended = True
    except subprocess.TimeoutExpired:
        ended = False
        for pid in subprocess.run(["pgrep", "-x", "-P", str(run.pid), "Xvfb"], capture_output=True,
                                  text=True).stdout.split():
            os.kill(int(pid), signal.SIGCONT)
        out = run.communicate()[0]
    pid = out.strip()
    check(ended and run.returncode == 0, "own: a session whose display server ignores its end ends within a minute")
    check(pid.isdigit() and not xvfb_runs(pid), "own: that display server is ended: %r" % pid)


def main():
    subprocess.run([SESSION, "start", BUILD_DIR], check=True)
    shared = session_env(BUILD_DIR)
    # Two at once, as ctest starts them side by side.
    runs = [own("bash", "-c", DESKTOP + REPORT, WINE_EXEC, BUILD_DIR, ZORVTOOL) for _ in range(2)]
    seen = [run.communicate()[0].strip().split("|") for run in runs]
    check(all(run.returncode == 0 for run in runs), "own: the sessions end with their command's status")
    check(all(len(s) == 6 and s[2] == "up" for s in seen), "own: each command has a display: %r" % seen)
    check(all(s[3:4] == ["zorvtoo"] for s in seen), "own: the build's programs run in the session: %r" % seen)
    check(all(s[4:5] == ["open"] for s in seen), "own: the desktop stays open while the session idles: %r" % seen)
    displays = {s[0] for s in seen} | {shared["DISPLAY"]}
    prefixes = {s[1] for s in seen if len(s) > 1} | {shared["WINEPREFIX"]}
    check(len(displays) == 3 and len(prefixes) == 3, "own: displays and prefixes are not shared: %r" % seen)
    left = [os.path.dirname(s[1]) for s in seen if len(s) > 1 and os.path.exists(os.path.dirname(s[1]))]
    check(not left, "own: the sessions' folders are removed: %r" % left)
    # By its server's process: a test beside this one may already use the display's number again.
    alive = [s[5] for s in seen if len(s) == 6 and xvfb_runs(s[5])]
    check(not alive, "own: the sessions' display servers are stopped: %r" % alive)
    check(subprocess.run([SESSION, "own", BUILD_DIR, "false"]).returncode == 1, "own: a failing command fails")
    check_display_server_deaf_to_its_end()
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
