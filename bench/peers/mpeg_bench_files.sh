#!/bin/sh
# The files of bench_playback_mpeg: a 10-minute 320 kbps MP3 and a 1-hour
# VBR MP3 without a VBR header (lame -t), from sox noise and tones.
set -eu
dir=${1:?usage: mpeg_bench_files.sh DIR}
mkdir -p "$dir"
sox -n -r 44100 -c 2 -b 16 "$dir/ten.wav" synth 600 pinknoise gain -12
lame --quiet -b320 --cbr "$dir/ten.wav" "$dir/cbr320.mp3"
sox -n -r 44100 -c 2 -b 16 -t wav - synth 3600 sine 200-2000 gain -12 | lame --quiet -V4 -t - "$dir/vbr-no-header.mp3"
rm -f "$dir/ten.wav"
