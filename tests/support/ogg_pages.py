"""Ogg pages taken apart and sealed again at the byte level, for files
reshaped as other programs leave them."""
import struct


def ogg_crc(data):
    crc = 0
    for byte in data:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ 0x04C11DB7 if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


def ogg_pages(data):
    """The file's pages in order, each as a bytearray (header and body)."""
    pages, at = [], 0
    while at < len(data):
        segments = data[at + 26]
        size = 27 + segments + sum(data[at + 27:at + 27 + segments])
        pages.append(bytearray(data[at:at + size]))
        at += size
    return pages


def sealed(page, sequence):
    """The page numbered `sequence`, its checksum set."""
    page[18:22] = struct.pack("<I", sequence)
    page[22:26] = b"\0\0\0\0"
    page[22:26] = struct.pack("<I", ogg_crc(page))
    return page
