#!/usr/bin/python3
"""The sound system's end of the first-sound benchmark: started before the
program, it waits on a named pipe that ALSA's file sink opens as its file
(AUDIO_CAPTURE=FIFO), takes the mix at the pace of a real device (48 kHz
stereo float) through a pipe kept small, and writes to OUT the wall-clock
moments, in microseconds since 1970, at which the device opened and the
first non-zero sample arrived.
  first_sound_capture.py FIFO OUT
"""
import fcntl
import os
import sys
import time

BYTES_PER_SECOND = 48000 * 2 * 4
CHUNK = BYTES_PER_SECOND // 100
F_SETPIPE_SZ = 1031


def main():
    fifo, out_path = sys.argv[1:3]
    source = open(fifo, "rb", buffering=0)
    try:
        # The smallest pipe: what waits in it would delay every sound alike.
        fcntl.fcntl(source.fileno(), F_SETPIPE_SZ, 4096)
    except OSError:
        pass
    opened = sound = None
    header = b""
    data_at = None
    taken = 0
    while True:
        chunk = os.read(source.fileno(), CHUNK)
        if not chunk:
            break
        now = time.time()
        if opened is None:
            opened, begun = now, now
        if data_at is None:
            header += chunk
            at = header.find(b"data")
            if at < 0 or len(header) < at + 8:
                continue
            data_at = at + 8
            chunk = header[data_at:]
        if sound is None:
            usable = len(chunk) - len(chunk) % 4
            if any(chunk[i:i + 4] != b"\0\0\0\0" for i in range(0, usable, 4)):
                sound = now
        taken += len(chunk)
        ahead = begun + taken / BYTES_PER_SECOND - time.time()
        if ahead > 0:
            time.sleep(ahead)
    with open(out_path, "w") as out:
        out.write("open %d\nsound %d\n" % (int(opened * 1e6) if opened else -1, int(sound * 1e6) if sound else -1))


main()
