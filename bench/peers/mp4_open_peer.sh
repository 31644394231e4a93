#!/usr/bin/env bash
# Opening a 10-hour AAC audiobook (about 1.5 million frames) and a fragmented
# copy of it: bench_inputs_mp4 under Wine, then ffprobe -show_format and
# mutagen on the same files natively.  bench/peers/mp4_open_peer.sh BUILD_DIR
# Needs ffmpeg and python3-mutagen.
set -euo pipefail
build=$(cd "${1:?usage: mp4_open_peer.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zorv-mp4bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target bench_inputs_mp4 >/dev/null

# One encoded minute repeated 600 times by stream copy: ten hours in seconds.
ffmpeg -v error -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=60" -ac 2 -c:a aac -b:a 64k "$work/minute.m4a"
ffmpeg -v error -stream_loop 599 -i "$work/minute.m4a" -c copy -f ipod "$work/book.m4b"
ffmpeg -v error -i "$work/book.m4b" -c copy -frag_duration 10000000 -movflags +frag_keyframe+empty_moov \
  -f mp4 "$work/book_fragmented.m4a"

"$here/../../tools/wine-exec" "$build" "$build/bench/bench_inputs_mp4.exe" \
  "Z:${work//\//\\}\\book.m4b" "Z:${work//\//\\}\\book_fragmented.m4a"

best_of() {  # best wall time in ms of 7 runs of a command
  local best=999999 start end ms
  for _ in 1 2 3 4 5 6 7; do
    start=$(date +%s%N); "$@" >/dev/null 2>&1; end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 )); (( ms < best )) && best=$ms
  done
  echo "$best"
}
mutagen_ms() {  # best of 7 opens inside one Python process, start-up left out
  /usr/bin/python3 - "$1" <<'PY'
import sys, time
from mutagen.mp4 import MP4
best = min((lambda t: (MP4(sys.argv[1]), time.perf_counter() - t)[1])(time.perf_counter()) for _ in range(7))
print("%.2f" % (best * 1000))
PY
}
for file in book.m4b book_fragmented.m4a; do
  echo "$file: ffprobe -show_format $(best_of ffprobe -v error -show_format "$work/$file") ms (a whole process)," \
       "mutagen $(mutagen_ms "$work/$file") ms"
done
