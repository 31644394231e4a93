#!/usr/bin/env bash
# Tag reading against TagLib: runs bench_metadata_tags under Wine, which
# makes 2,000 tagged files in a scratch folder and reads them through the
# tag services, then builds a small native TagLib harness with g++ and reads
# the same files.  bench/peers/taglib_tags_peer.sh BUILD_DIR
# Needs libtag1-dev (tools/setup installs it).
set -euo pipefail
build=$(cd "${1:?usage: taglib_tags_peer.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zorv-tagbench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target bench_metadata_tags >/dev/null
"$here/../../tools/wine-exec" "$build" "$build/bench/bench_metadata_tags.exe" "Z:${work//\//\\}\\files"
g++ -O2 -std=c++17 "$here/taglib_tags_peer.cpp" -o "$work/taglib_tags_peer" $(pkg-config --cflags --libs taglib)
"$work/taglib_tags_peer" "$work/files"
