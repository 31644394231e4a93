"""Reading what zorvtool and ffmpeg decode: the samples of a WAV file and how
close two decodes are."""
import math
import struct


def wav(path):
    """(channels, channel mask or None, samples) of a PCM or float WAV."""
    with open(path, "rb") as f:
        data = f.read()
    fmt = data.index(b"fmt ") + 8
    tag, channels = struct.unpack_from("<HH", data, fmt)
    bits, = struct.unpack_from("<H", data, fmt + 14)
    mask = struct.unpack_from("<I", data, fmt + 20)[0] if tag == 0xFFFE else None
    start = data.index(b"data") + 8
    body = data[start:start + min(struct.unpack_from("<I", data, start - 4)[0], len(data) - start)]
    if bits == 16:
        samples = struct.unpack("<%dh" % (len(body) // 2), body[:len(body) - len(body) % 2])
    elif bits == 24:
        samples = [int.from_bytes(body[i:i + 3], "little", signed=True) for i in range(0, len(body) - 2, 3)]
    else:
        samples = struct.unpack("<%df" % (len(body) // 4), body[:len(body) - len(body) % 4])
    return channels, mask, samples


def snr_db(reference, ours):
    n = min(len(reference), len(ours))
    signal = sum(x * x for x in reference[:n])
    noise = sum((x - y) ** 2 for x, y in zip(reference[:n], ours[:n]))
    return 200.0 if noise == 0 else 10 * math.log10(signal / noise)


def wav_rate(path):
    """The sample rate a WAV file's format chunk declares."""
    with open(path, "rb") as f:
        data = f.read(4096)
    return struct.unpack_from("<I", data, data.index(b"fmt ") + 12)[0]
