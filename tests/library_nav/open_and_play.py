#!/usr/bin/python3
"""zorv.exe given a file plays it: on its own command line, and handed over by
a second start to the running instance. Heard in the ALSA capture file.

usage: open_and_play.py WINE_EXEC BUILD_DIR ZORV_EXE
"""
import array
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

WINE_EXEC, BUILD_DIR, ZORV = sys.argv[1:4]
RATE = 48000
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def captured_samples(capture):
    """The float samples of every device stream in the capture, joined."""
    if not os.path.exists(capture):
        return array.array("f")
    data = open(capture, "rb").read()
    samples, start = array.array("f"), data.find(b"RIFF")
    while start >= 0:
        end = data.find(b"RIFF", start + 4)
        body = data[start:end if end >= 0 else len(data)]
        if b"data" in body:
            payload = body[body.index(b"data") + 8:]
            samples.extend(array.array("f", payload[:len(payload) // 4 * 4]))
        start = end
    return samples


def run_and_listen(exe, capture, first_args, second_args, expected):
    env = dict(os.environ, AUDIO_CAPTURE="|cat >> " + capture)
    first = subprocess.Popen([WINE_EXEC, BUILD_DIR, exe, *first_args], env=env,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(3)
    if second_args:
        subprocess.run([WINE_EXEC, BUILD_DIR, exe, *second_args], env=env, timeout=60,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    deadline = time.time() + 60
    head = [s / 32768.0 for s in expected[:4800]]
    heard = False
    while time.time() < deadline and not heard:
        time.sleep(1)
        samples = captured_samples(capture)
        first_sound = next((i for i, v in enumerate(samples) if v != 0.0), None)
        heard = first_sound is not None and list(samples[first_sound - first_sound % 2:][:len(head)]) == head
    subprocess.run([WINE_EXEC, BUILD_DIR, exe, "/exit"], env=env, timeout=60,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        first.wait(timeout=60)
    except subprocess.TimeoutExpired:
        first.kill()
        check(False, "the instance ends on /exit")
    return heard


def main():
    rng = random.Random(11)
    with tempfile.TemporaryDirectory() as root:
        noise = [rng.randint(-12000, 12000) or 1 for _ in range(RATE * 2)]
        music = os.path.join(root, "music")
        os.makedirs(music)
        raw = os.path.join(root, "noise.raw")
        array.array("h", noise).tofile(open(raw, "wb"))
        song = os.path.join(music, "noise.flac")
        subprocess.run(["flac", "-s", "-f", "--force-raw-format", "--endian=little", "--sign=signed",
                        "--channels=2", "--bps=16", "--sample-rate=%d" % RATE, "-o", song, raw], check=True)
        open(os.path.join(music, "other.txt"), "w").write("not audio")
        for case, first_args, second_args in (("own command line", [windows_path(song)], None),
                                              ("second start", [], [windows_path(song)])):
            program = os.path.join(root, case.replace(" ", "_"))
            os.makedirs(program)
            exe = os.path.join(program, "zorv.exe")
            shutil.copy(ZORV, exe)
            open(exe + ".localconfig.opt", "w").close()
            capture = os.path.join(root, case.replace(" ", "_") + ".wav")
            check(run_and_listen(exe, capture, first_args, second_args, noise), case + ": the file is heard")
    if failures:
        print("%d failure(s)" % len(failures))
        sys.exit(1)
    print("all checks passed")


main()
