#!/usr/bin/python3
"""Appends what ALSA's file sink writes to the file named, at the pace of
48000 Hz stereo float (384000 bytes a second), so that the player plays in
real time and commands land where a listener would hear them.

usage (as AUDIO_CAPTURE): |python3 paced_sink.py CAPTURE_FILE
"""
import sys
import time

RATE = 384000
CHUNK = 3840  # 10 ms

with open(sys.argv[1], "ab", buffering=0) as out:
    begun, taken = time.monotonic(), 0
    while True:
        data = sys.stdin.buffer.read(CHUNK)
        if not data:
            break
        out.write(data)
        taken += len(data)
        ahead = taken / RATE - (time.monotonic() - begun)
        if ahead > 0:
            time.sleep(ahead)
