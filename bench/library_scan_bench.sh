#!/usr/bin/env bash
# Makes a folder of tagged files (FLAC with a comment block and a picture,
# MP3 with an ID3v2 tag and a picture, half each, in albums of 20) under a
# temporary folder and runs bench_library_scan on it: the library scan
# against the bare open/read/close loop over the same files, same Wine.
#   bench/library_scan_bench.sh BUILD_DIR [FILES] [ROUNDS]
# FILES defaults to 10,000 (100000 for the full-size library). The files are
# hard links to a few seeds, each under its own name, so that a large set
# costs little disk; what is measured is the scanner's and the system's work
# per file, with the data in the system's cache.
# Needs python3, sox, flac, metaflac, lame and ffmpeg.
set -euo pipefail
build=$(cd "${1:?usage: library_scan_bench.sh BUILD_DIR [FILES] [ROUNDS]}" && pwd)
files=${2:-10000}
rounds=${3:-5}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zorv-scanbench.XXXXXX)
trap 'rm -rf "$work"' EXIT

cmake --build "$build" --target bench_library_scan >/dev/null

seeds="$work/seeds"
mkdir -p "$seeds"
ffmpeg -loglevel error -f lavfi -i "testsrc=size=500x500" -frames:v 1 -q:v 2 "$seeds/cover.jpg"
for n in 0 1 2 3; do
  sox -n -r 44100 -c 2 -b 16 "$seeds/tone$n.wav" synth 1 sine $((330 + 110 * n)) vol 0.3
  flac -s -f "$seeds/tone$n.wav" -o "$seeds/seed$n.flac"
  metaflac --set-tag="TITLE=Song $n" --set-tag="ARTIST=Artist $n" --set-tag="ALBUM=Album $n" \
    --set-tag="TRACKNUMBER=$n" --set-tag="DATE=2001" --set-tag="GENRE=Rock" \
    --import-picture-from="$seeds/cover.jpg" "$seeds/seed$n.flac"
  lame --quiet -b 128 --tt "Song $n" --ta "Artist $n" --tl "Album $n" --tn "$n" --ty 2001 --tg Rock \
    --ti "$seeds/cover.jpg" "$seeds/tone$n.wav" "$seeds/seed$n.mp3"
done

music="$work/music"
python3 - "$here" "$seeds" "$music" "$files" <<'PYTHON'
import sys
sys.path.insert(0, sys.argv[1])
sys.dont_write_bytecode = True
from album_links import link_albums
link_albums(sys.argv[2], sys.argv[3], int(sys.argv[4]), lambda i: "flac" if i % 2 == 0 else "mp3")
PYTHON

"$here/../tools/wine-exec" "$build" "$build/bench/bench_library_scan.exe" "Z:${music//\//\\}" "$rounds"
