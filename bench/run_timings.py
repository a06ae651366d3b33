#!/usr/bin/env python3
"""How long a whole run against the device emulator takes at its two ends:
from the start of quorvane-capture to "wait for socket connect....", and from
the device closing its upload to the exit of quorvane-capture.

usage: run_timings.py BIN_DIR [RUNS]   (BIN_DIR holds quorvane-capture,
Pcm2Wav and quorvane-device-emulator; uses TCP port 8888)
"""
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time


def timestamped_lines(stream, sink):
    for line in iter(stream.readline, b""):
        sink.append((time.monotonic(), line))


def one_run(bin_dir, work):
    emulator = subprocess.Popen([os.path.join(bin_dir, "quorvane-device-emulator"), "--time-limit", "60"],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work)
    device = emulator.stdout.readline().decode().strip()
    device_log = []
    threading.Thread(target=timestamped_lines, args=(emulator.stderr, device_log), daemon=True).start()

    started = time.monotonic()
    tool = subprocess.Popen([os.path.join(bin_dir, "quorvane-capture"), "net", "pass", device, "1"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, cwd=work)
    console = []
    timestamped_lines(tool.stdout, console)
    status = tool.wait()
    exited = time.monotonic()
    emulator.wait(timeout=30)

    waiting = next(at for at, line in console if line == b"wait for socket connect....\n")
    upload_closed = next(at for at, line in device_log if b"upload: ended" in line)
    if status != 0:
        raise RuntimeError("quorvane-capture exited with status %d" % status)
    return waiting - started, exited - upload_closed


def main():
    bin_dir = os.path.abspath(sys.argv[1])
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    to_wait, to_exit = [], []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as work:
            first, second = one_run(bin_dir, work)
        to_wait.append(first)
        to_exit.append(second)
    for name, values in (("start -> \"wait for socket connect....\"", to_wait),
                         ("upload closed -> process exit", to_exit)):
        print("%-40s median %7.3f s  min %7.3f s  max %7.3f s  (%d runs)" %
              (name, statistics.median(values), min(values), max(values), runs))


if __name__ == "__main__":
    main()
