"""The gapless record iTunes stores in an AAC file (the freeform item
----:com.apple.iTunes:iTunSMPB), made for ffmpeg's AAC encode: its 1,024
samples of priming, the source's samples, and the padding that fills the
last frame. Players trim the file to the source's samples by it."""
import json
import subprocess


def ffmpeg_aac_record(m4a, valid):
    """The record's text for an ffmpeg AAC file of `valid` samples per channel."""
    probed = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "stream=nb_frames",
                             "-of", "json", m4a], capture_output=True, text=True, check=True)
    frames = int(json.loads(probed.stdout)["streams"][0]["nb_frames"])
    return " 00000000 00000400 %08X %016X" % (frames * 1024 - 1024 - valid, valid) + " 00000000" * 8


def add_record(m4a, valid, **items):
    """The record stored by mutagen, with the items given (mutagen's keys)."""
    from mutagen.mp4 import MP4, MP4FreeForm
    tagged = MP4(m4a)
    tagged.update(items)
    tagged["----:com.apple.iTunes:iTunSMPB"] = [MP4FreeForm(ffmpeg_aac_record(m4a, valid).encode())]
    tagged.save()
