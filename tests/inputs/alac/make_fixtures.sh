#!/bin/sh
# Rebuilds the Apple Lossless fixtures of the ALAC decoder tests: short tones
# (a different pitch on every channel, so a swapped channel shows) made by
# sox, encoded by ffmpeg in packets of 1024 frames, with their source WAVs.
set -eu
cd "$(dirname "$0")/fixtures"
make() {  # name channels bits
  name=$1 channels=$2 bits=$3
  tones=""
  c=0
  while [ $c -lt "$channels" ]; do
    tones="$tones sine $((220 + 110 * c))"
    c=$((c + 1))
  done
  sox -n -r 44100 -b "$bits" -c "$channels" "$name.wav" synth 0.1 $tones vol 0.7 dither 2>/dev/null || \
    sox -n -r 44100 -b "$bits" -c "$channels" "$name.wav" synth 0.1 $tones vol 0.7
  ffmpeg -v error -y -i "$name.wav" -c:a alac -frame_size 1024 "$name.m4a"
}
make stereo16 2 16
make mono24 1 24
make surround16 6 16
make surround24 6 24
