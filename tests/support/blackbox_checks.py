"""What the Python black-box tests share: the failures found so far, a check
that records one, the Windows form of a Linux path under Wine, running zorvtool
and the Linux tools it is checked against (the chapters ffprobe and mutagen
read), a small picture to embed in tags,
WAV files of known levels, the levels heard in a capture file, its sound with
the silence left out, the silence a busy machine put into it told from the
player's own, and screenshots of the session's display."""
import array
import os
import struct
import subprocess
import time
import zlib

from zorvtool_batch import ZorvtoolBatch

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    """The path as Wine's Z: drive shows it to the program."""
    return "Z:" + path.replace("/", "\\")


def tool(*args):
    """Runs a Linux tool (an encoder or reader); its failure raises."""
    subprocess.run(args, check=True, capture_output=True)


def mp4_chapter_titles(path):
    """(ffprobe's, mutagen's) chapter names of an MP4 file."""
    import json
    from mutagen.mp4 import MP4
    done = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "chapter_tags=title", "-of", "json", path],
                          capture_output=True, text=True, check=True)
    probed = [c.get("tags", {}).get("title") for c in json.loads(done.stdout).get("chapters", [])]
    return probed, [c.title for c in MP4(path).chapters or []]


def zorvtool_runner(wine_exec, build_dir, zorvtool):
    """run(*args, ok=True): zorvtool under Wine with its output as text,
    through one long-lived batch process a thread; a failed run raises
    unless ok is False."""
    batch = ZorvtoolBatch([wine_exec, build_dir, zorvtool])

    def run(*args, ok=True):
        done = batch.run(*args)
        if ok and done.returncode != 0:
            raise RuntimeError("zorvtool %s failed: %s%s" % (args[:1], done.stdout, done.stderr))
        return done
    return run


def wait_until_wine_lets_go(path, seconds=10):
    """Waits until no Wine server holds `path` open; False if one still does
    after `seconds`. A server closes a killed program's handles a moment
    after the process is gone (as Windows does while it tears one down),
    and until then a writer's exclusive handle keeps the file in use: a
    reading right after a kill must wait for that, as a user's would."""
    target = os.path.realpath(path)
    deadline = time.monotonic() + seconds
    while True:
        if not any(_holds(pid, target) for pid in _wine_servers()):
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(0.02)


def _wine_servers():
    for pid in os.listdir("/proc"):
        try:
            if pid.isdigit() and open("/proc/%s/comm" % pid).read().startswith("wineserver"):
                yield pid
        except OSError:
            pass


def _holds(pid, target):
    try:
        folder = "/proc/%s/fd" % pid
        for fd in os.listdir(folder):
            try:
                if os.readlink(os.path.join(folder, fd)) == target:
                    return True
            except OSError:
                pass
    except OSError:
        pass
    return False


def tiny_png():
    """A valid 4 x 1 red PNG image."""
    def png_chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", 4, 1, 8, 2, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(b"\0" + b"\xff\0\0" * 4)) + png_chunk(b"IEND", b""))


def write_stereo_wav(path, samples):
    """A 48 kHz stereo 16-bit WAV file of the interleaved samples (an
    array.array of "h"): the rate the capture receives bit-exact."""
    data = samples.tobytes()
    header = struct.pack("<4sI4s4sIHHIIHH4sI", b"RIFF", 36 + len(data), b"WAVE", b"fmt ", 16, 1, 2, 48000,
                         48000 * 4, 4, 16, b"data", len(data))
    open(path, "wb").write(header + data)


def captured_floats(capture):
    """The samples of an ALSA capture file (one WAV stream of floats per device
    opening) as Wine mixed them, in order; nothing when there is no file."""
    if not os.path.exists(capture):
        return
    data = open(capture, "rb").read()
    start = data.find(b"RIFF")
    while start >= 0:
        end = data.find(b"RIFF", start + 4)
        body = data[start:end if end >= 0 else len(data)]
        payload = body[body.index(b"data") + 8:] if b"data" in body else b""
        yield from array.array("f", payload[:len(payload) // 4 * 4])
        start = end


def captured_samples(capture):
    """The samples of an ALSA capture file as 16-bit levels, in order."""
    for value in captured_floats(capture):
        yield round(value * 32768)


def sounding(samples):
    """The stereo samples with every silent frame left out. Of sound that is
    never silent itself (noise without a zero sample) what remains is what
    the player played, in order, however much silence a late device thread
    put between it: a level or a stretch measured on it does not depend on
    how busy the machine was. (Silence the player laid itself when its
    output ran dry is left out too: where that matters, see
    without_machine_gaps.)"""
    samples = list(samples)
    return [v for i in range(0, len(samples) - 1, 2) if samples[i] or samples[i + 1] for v in samples[i:i + 2]]


def heard_levels(capture, held=1):
    """The 16-bit levels heard in a capture file, in order, each once per run
    of equal samples; with `held`, only those held for that many samples of
    sound, as a fade never holds one. Silence does not break a run: a busy
    machine puts it in where the player played on."""
    levels, level, run = [], 0, 0
    for value in captured_samples(capture):
        if not value:
            continue
        run = run + 1 if value == level else 1
        level = value
        if run == held and (not levels or levels[-1] != value):
            levels.append(value)
    return levels


# Wine's device thread hands the sink whole periods of 10 ms at 48 kHz
# stereo; when the machine makes it late it hands over silent periods, and
# the audio goes on after them with nothing lost or repeated. A player that
# ran dry can leave the same shape; its output knows when it did, and
# `zorvtool play` says so.
DEVICE_PERIOD_SAMPLES = 960


def player_underruns(output):
    """The lines in which `zorvtool play` says where the player's output ran
    dry (the device played past all the audio it had been given)."""
    return [line for line in output.splitlines() if line.startswith("ran dry: ")]


def without_machine_gaps(expected, heard, underruns, same=lambda a, b: a == b):
    """(heard with the machine's gaps taken out, [(sample, length) of each gap
    in `heard`]). A gap is silence of whole device periods in place of
    expected sound, after which the expected sound goes on exactly where it
    stopped, while the player had its sound queued: once the player ran dry
    (`underruns`, as player_underruns reads them) nothing is taken out.
    Anything else (a block of sound lost, repeated or changed, or silence of
    another length) stays in for the comparison to find."""
    if underruns:
        return list(heard), []
    kept, gaps = [], []
    i = k = matched_from = 0
    while i < len(expected) and k < len(heard):
        if same(expected[i], heard[k]):
            kept.append(heard[k])
            i, k = i + 1, k + 1
            continue
        # The silence may have begun on samples that were silent anyway.
        start = k
        while start > matched_from and heard[start - 1] == 0.0 and expected[i - (k - start) - 1] == 0.0:
            start -= 1
        end = k
        while end < len(heard) and heard[end] == 0.0:
            end += 1
        resumed = i - (k - start)
        length = next((n for n in range(DEVICE_PERIOD_SAMPLES, end - start + 1, DEVICE_PERIOD_SAMPLES)
                       if all(same(a, b) for a, b in zip(expected[resumed:resumed + 64], heard[start + n:start + n + 64]))),
                      None)
        if length is None:
            break
        gaps.append((start, length))
        del kept[len(kept) - (k - start):]
        i, k = resumed, start + length
        matched_from = k
    return kept + list(heard[k:]), gaps


def note_machine_gaps(what, gaps, underruns):
    """Says where the machine put silence into a capture, so that a run that
    met a busy machine shows it; fails where the player ran dry, which no
    busy machine excuses."""
    for at, length in gaps:
        print("NOTE: %s: the machine put %d ms of silence into the capture at %.3f s (Wine's device thread ran late);"
              " the sound goes on after it as expected" % (what, length * 1000 // 96000, at / 96000))
    check(not underruns, "%s: the player's output %s" % (what, "; ".join(underruns)))


def session_env(build_dir):
    """The environment of the test's Wine session (its display and prefix),
    for Linux tools that look at it: the session of the test's own when it
    runs in one, else the build folder's shared one."""
    env = dict(os.environ)
    session = os.path.join(build_dir, "wine-session.env")
    if os.environ.get("ZORV_WINE_SESSION_BUILD") == os.path.realpath(build_dir):
        session = os.environ["ZORV_WINE_SESSION"]
    for line in open(session).read().split("\n"):
        if line.startswith("export "):
            name, value = line[7:].split("=", 1)
            env[name] = value.strip('"')
    return env


def x_environment(build_dir):
    """The environment with the display of the test's Wine session."""
    return dict(os.environ, DISPLAY=session_env(build_dir)["DISPLAY"])


def screen_shot(build_dir, folder, name):
    """The whole screen as test-artifacts/FOLDER/NAME.png under the build
    folder: popup menus show outside the program's window too."""
    artifacts = os.path.join(build_dir, "test-artifacts", folder)
    os.makedirs(artifacts, exist_ok=True)
    png = os.path.join(artifacts, name + ".png")
    subprocess.run(["import", "-window", "root", png], check=True, env=x_environment(build_dir),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return png
