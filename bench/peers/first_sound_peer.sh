#!/usr/bin/env bash
# First sound against its floor: five interleaved rounds of the player's path
# (front end, engine, FLAC input, DirectSound output) and of a plain
# DirectSound program, each a fresh process under the build's Wine session,
# with the capture taken at a real device's pace. Prints the medians: from
# the request to the device's opening and to the first sample, for both, and
# the ratio of the first-sound times.
#   bench/peers/first_sound_peer.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: first_sound_peer.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zorv-firstsound.XXXXXX)
trap 'rm -rf "$work"' EXIT
cmake --build "$build" --target bench_playback_first_sound >/dev/null
sox -n -r 48000 -c 2 -b 16 "$work/noise.wav" synth 2 whitenoise vol 0.3
flac -s -f "$work/noise.wav" -o "$work/noise.flac"
program="$build/bench/bench_playback_first_sound.exe"
# The session's server runs before anything is timed.
"$here/../../tools/wine-exec" "$build" cmd /c exit </dev/null >/dev/null 2>&1

one_run() {  # KIND ROUND ARGS...
  local kind=$1 round=$2
  shift 2
  local times="$work/$kind.$round.times" fifo="$work/$kind.$round.fifo"
  local request reader
  # The reader waits on the pipe before the program starts, so its own
  # start-up is in neither figure.
  mkfifo "$fifo"
  python3 "$here/first_sound_capture.py" "$fifo" "$times" &
  reader=$!
  request=$(AUDIO_CAPTURE="$fifo" "$here/../../tools/wine-exec" "$build" "$program" "$@" 2>/dev/null |
    sed -n 's/^request_unix_us //p')
  wait "$reader"
  awk -v kind="$kind" -v request="$request" '
    /^open/ { open = $2 } /^sound/ { sound = $2 }
    END { printf "%s %.1f %.1f\n", kind, (open - request) / 1000, (sound - request) / 1000 }' "$times"
}

for round in 1 2 3 4 5; do
  one_run player "$round" player "Z:${work//\//\\}\\noise.flac"
  one_run floor "$round" floor
done >"$work/rounds"

median() {  # KIND COLUMN
  awk -v kind="$1" -v column="$2" '$1 == kind { print $column }' "$work/rounds" | sort -n | awk '
    { v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
player_open=$(median player 2)
player_sound=$(median player 3)
floor_open=$(median floor 2)
floor_sound=$(median floor 3)
echo "first_sound_player_device_open_ms $player_open"
echo "first_sound_player_ms $player_sound"
echo "first_sound_floor_device_open_ms $floor_open"
echo "first_sound_floor_ms $floor_sound"
awk -v p="$player_sound" -v f="$floor_sound" 'BEGIN { printf "first_sound_ratio_to_floor %.2f\n", p / f }'
echo "first_sound_player_after_device_open_ms $(awk -v s="$player_sound" -v o="$player_open" 'BEGIN { print s - o }')"
