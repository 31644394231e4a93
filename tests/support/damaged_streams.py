"""Damaged shapes of Musepack version 8 and MP3 files, made from files the
Debian encoders wrote: shared by the black-box suites and the fuzz harness."""
import zlib


def mpc_packets(data):
    """(key, start, total size) of each packet of a version 8 stream that
    starts the file, up to the stream-end packet or the end of the file."""
    out, at = [], 4
    while at + 3 <= len(data):
        size, length = 0, 0
        while True:
            byte = data[at + 2 + length]
            length += 1
            size = (size << 7) | (byte & 0x7F)
            if not byte & 0x80:
                break
        out.append((data[at:at + 2], at, size))
        if data[at:at + 2] == b"SE" or size == 0:
            break
        at += size
    return out


def mpc_cut_in_last_audio_packet(data, keep=0.5):
    """The stream cut `keep` of the way into its last audio packet."""
    key, at, size = [p for p in mpc_packets(data) if p[0] == b"AP"][-1]
    return data[:at + int(size * keep)]


def mpc_cut_in_seek_table(data):
    """The stream cut inside the seek-table packet that follows its audio."""
    tables = [p for p in mpc_packets(data) if p[0] == b"ST"]
    if not tables:
        return None
    key, at, size = tables[-1]
    return data[:at + max(3, size // 2)]


def mpc_header_grown(data, extra=4):
    """The stream header packet with `extra` bytes more after its fields (its
    checksum made to match), the seek table's offsets from the header left as
    they were: what a tool that edits only the header leaves."""
    key, at, size = mpc_packets(data)[0]
    if key != b"SH" or size >= 0x7F - extra:
        return None
    body = data[at + 7:at + size] + bytes(extra)
    payload = zlib.crc32(body).to_bytes(4, "big") + body
    return data[:at] + b"SH" + bytes([size + extra]) + payload + data[at + size:]


def mp3_with_padding(data, padding):
    """An MP3 whose LAME tag states `padding` samples of encoder padding."""
    header = max(data.find(b"Xing"), data.find(b"Info"))
    at = data.find(b"LAME", header) if header >= 0 else -1
    if at < 0 or at - header > 200:
        return None
    out = bytearray(data)
    out[at + 22] = (out[at + 22] & 0xF0) | (padding >> 8)
    out[at + 23] = padding & 0xFF
    return bytes(out)
