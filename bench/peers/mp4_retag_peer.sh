#!/usr/bin/env bash
# Retagging a 1 GB .m4a, both layouts (movie box after the media data, and
# fast start with it in front): zorvtool mp4-tags (the player's MP4 writer
# under Wine) against AtomicParsley and mutagen on the same files. Each line
# gives the bytes the process handed to write() (from /proc/PID/io, read
# before the process is reaped) and its wall time.
#   bench/peers/mp4_retag_peer.sh BUILD_DIR
# Every tool gets its own copy of each file and retags it twice (the second
# time over its own first layout). Needs ffmpeg, AtomicParsley and
# python3-mutagen; about 2.5 GB in /tmp.
set -euo pipefail
build=$(cd "${1:?usage: mp4_retag_peer.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zorv-mp4retag.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target zorvtool >/dev/null

# One encoded minute at 320 kb/s repeated by stream copy: 1 GB in seconds.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=60" -ac 2 -c:a aac -b:a 320k "$work/minute.m4a"
ffmpeg -v error -stream_loop 429 -i "$work/minute.m4a" -c copy "$work/last.m4a"
ffmpeg -v error -i "$work/last.m4a" -c copy -movflags +faststart "$work/fast.m4a"
rm "$work/minute.m4a"

/usr/bin/python3 - "$here/../../tools/wine-exec" "$build" "$build/tools/zorvtool.exe" "$work" <<'PY'
import os, subprocess, sys, time
wine_exec, build, zorvtool, work = sys.argv[1:5]

def measured(cmd):
    """(bytes written, seconds) of one process run to its end."""
    start = time.perf_counter()
    child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.waitid(os.P_PID, child.pid, os.WEXITED | os.WNOWAIT)
    seconds = time.perf_counter() - start
    written = next(int(line.split()[1]) for line in open("/proc/%d/io" % child.pid) if line.startswith("wchar:"))
    if child.wait() != 0:
        raise SystemExit("failed: %s" % cmd)
    return written, seconds

mutagen = ("import sys\nfrom mutagen.mp4 import MP4\nf = MP4(sys.argv[1])\n"
           "f['\\xa9nam'] = [sys.argv[2]]\nf['\\xa9cmt'] = ['x' * 3000]\nf.save()\n")
for layout in ("last", "fast"):
    source = os.path.join(work, layout + ".m4a")
    print("%s (%d bytes, movie box %s the media data)" % (layout, os.path.getsize(source),
                                                           "after" if layout == "last" else "before"))
    # What Wine and the tool write without retagging anything.
    written, seconds = measured([wine_exec, build, zorvtool, "mp4-tags", "Z:" + source.replace("/", "\\")])
    print("  %-13s reading %12d bytes written %9.1f ms" % ("zorvtool", written, seconds * 1000))
    path = os.path.join(work, "copy.m4a")
    for name in ("zorvtool", "AtomicParsley", "mutagen"):
        subprocess.run(["cp", source, path], check=True)
        for round_ in (1, 2):
            title = "retag %d" % round_
            cmd = {
                "zorvtool": [wine_exec, build, zorvtool, "mp4-tags", "Z:" + path.replace("/", "\\"),
                             "title=" + title, "comment=" + "x" * 3000],
                "AtomicParsley": ["AtomicParsley", path, "--title", title, "--comment", "x" * 3000, "--overWrite"],
                "mutagen": ["/usr/bin/python3", "-c", mutagen, path, title],
            }[name]
            written, seconds = measured(cmd)
            print("  %-13s round %d %12d bytes written %9.1f ms" % (name, round_, written, seconds * 1000))
        os.remove(path)
PY
