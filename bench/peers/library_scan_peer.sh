#!/usr/bin/env bash
# Library scan against TagLib: makes 10,000 tagged FLAC files in nested
# folders with Debian's sox, flac and metaflac, runs bench_library under Wine
# on them (the library's folder worker, through whichever inputs the build
# has), then reads the same files with a native TagLib harness.
#   bench/peers/library_scan_peer.sh BUILD_DIR
# Needs libtag1-dev (tools/setup installs it).
set -euo pipefail
build=$(cd "${1:?usage: library_scan_peer.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zorv-scanbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target bench_library >/dev/null
sox -n -r 44100 -c 2 -b 16 "$work/seed.wav" synth 1 sine 440
flac -s -f "$work/seed.wav" -o "$work/seed.flac"
for album in $(seq -w 0 99); do
  mkdir -p "$work/files/Album $album"
  for track in $(seq -w 0 99); do
    file="$work/files/Album $album/$track Song.flac"
    cp "$work/seed.flac" "$file"
    metaflac --set-tag="TITLE=Song $track" --set-tag="ARTIST=Artist $album" --set-tag="ALBUM=Album $album" \
      --set-tag="TRACKNUMBER=$track" --set-tag="DATE=2001" --set-tag="GENRE=Rock" "$file"
  done
done
"$here/../../tools/wine-exec" "$build" "$build/bench/bench_library.exe" "Z:${work//\//\\}\\files"
g++ -O2 -std=c++17 "$here/library_scan_peer.cpp" -o "$work/library_scan_peer" $(pkg-config --cflags --libs taglib)
"$work/library_scan_peer" "$work/files"
