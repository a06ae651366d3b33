#!/usr/bin/env python3
"""Checks the recording server's WAV files with an independent reader.

Uploads a known recording through the pipeline driver (the recording server,
the split and the real converter), then reads record_ch1..4.wav with Python's
wave module and compares every sample with a de-interleave done here.

usage: wav_readback.py WORK_FOLDER [EMULATOR...] DRIVER
"""
import os
import random
import shutil
import subprocess
import sys
import wave

FRAMES = 40000
TRAILING = 5


def channel(upload, number):
    start = 2 * (number - 1)
    whole = len(upload) - len(upload) % 8
    return b"".join(upload[i + start:i + start + 2] for i in range(0, whole, 8))


def check_wav(path, expected):
    with wave.open(path, "rb") as wav:
        problems = []
        if (wav.getnchannels(), wav.getsampwidth(), wav.getframerate()) != (1, 2, 16000):
            problems.append("format %r" % ((wav.getnchannels(), wav.getsampwidth(), wav.getframerate()),))
        if wav.getnframes() != len(expected) // 2:
            problems.append("%d frames, expected %d" % (wav.getnframes(), len(expected) // 2))
        if wav.readframes(wav.getnframes()) != expected:
            problems.append("samples differ")
    return problems


def main():
    work, command = sys.argv[1], sys.argv[2:]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    upload = random.Random(4).randbytes(8 * FRAMES + TRAILING)
    with open(os.path.join(work, "upload.bin"), "wb") as out:
        out.write(upload)

    run = subprocess.run(command + ["upload.bin", "1"], cwd=work, timeout=300)
    if run.returncode != 0:
        print("the pipeline driver failed with status %d" % run.returncode)
        return 1

    failures = []
    with open(os.path.join(work, "record.pcm"), "rb") as record:
        if record.read() != upload:
            failures.append("record.pcm differs from the upload")
    for number in range(1, 5):
        name = "record_ch%d.wav" % number
        failures += ["%s: %s" % (name, p) for p in check_wav(os.path.join(work, name), channel(upload, number))]
        if os.path.exists(os.path.join(work, "record_ch%d.pcm" % number)):
            failures.append("record_ch%d.pcm was left behind" % number)
    for failure in failures:
        print(failure)
    print("%d WAV files checked, %d problems" % (4, len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
