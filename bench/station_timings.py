#!/usr/bin/env python3
"""A station of eight devices against the device emulator, measured side by
side with single runs: wall time from start to exit and peak memory (maximum
resident set) of quorvane-capture (its own, read from /proc while it runs).

  1. one device, a single run;
  2. a station of eight devices with addresses of their own (127.0.0.2 ...),
     which record at once: its wall time should be within 2 s of (1);
  3. a station of eight devices that report one address, which take turns;
  4. eight single runs one after the other: (3) should be no slower.

Every device's stored record.pcm is compared with what that device sent.

usage: station_timings.py BIN_DIR [RECORD_SECONDS] [DEVICES]

BIN_DIR holds quorvane-capture, Pcm2Wav and quorvane-device-emulator. Uses TCP
port 8888: run it in a network namespace of its own or under
flock /tmp/quorvane-tcp8888.lock.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time


def start_devices(bin_dir, work, count, *options):
    copy = os.path.join(work, "sent.pcm")
    emulator = subprocess.Popen([os.path.join(bin_dir, "quorvane-device-emulator"), "--devices", str(count),
                                 "--upload-copy", copy] + list(options),
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    paths = [emulator.stdout.readline().decode().strip() for _ in range(count)]
    return emulator, paths


def high_water_mark(pid):
    """The process's own peak resident memory so far (kB), from /proc: the
    rusage of wait4 would take the converters' and the shell's peaks too."""
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def timed(command, cwd):
    """Wall seconds and peak resident memory (kB) of `command`, and its status."""
    began = time.monotonic()
    process = subprocess.Popen(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    while process.poll() is None:
        peak = max(peak, high_water_mark(process.pid))
        time.sleep(0.02)
    return time.monotonic() - began, peak, process.returncode


def stored_exactly(work, count, folders):
    sent = [os.path.join(work, "sent.pcm")] if count == 1 else \
        [os.path.join(work, "sent-%d.pcm" % device) for device in range(1, count + 1)]
    for copy, folder in zip(sent, folders):
        with open(copy, "rb") as expected, open(os.path.join(work, folder, "record.pcm"), "rb") as stored:
            if expected.read() != stored.read():
                return False
    return True


def single_run(bin_dir, seconds):
    with tempfile.TemporaryDirectory(prefix="station-bench-") as work:
        shutil.copy(os.path.join(bin_dir, "Pcm2Wav"), work)
        emulator, paths = start_devices(bin_dir, work, 1)
        try:
            wall, memory, status = timed([os.path.join(bin_dir, "quorvane-capture"), "BenchNet", "bench pass",
                                          paths[0], str(seconds)], work)
            exact = status == 0 and stored_exactly(work, 1, ["."])
        finally:
            emulator.terminate()
            emulator.wait()
    return wall, memory, exact


def station(bin_dir, seconds, count, *emulator_options):
    with tempfile.TemporaryDirectory(prefix="station-bench-") as work:
        shutil.copy(os.path.join(bin_dir, "Pcm2Wav"), work)
        emulator, paths = start_devices(bin_dir, work, count, *emulator_options)
        try:
            wall, memory, status = timed([os.path.join(bin_dir, "quorvane-capture"), "--station", "BenchNet",
                                          "bench pass", str(seconds)] + paths, work)
            with open(os.path.join(work, "station.json"), encoding="utf-8") as report:
                folders = [device["folder"] for device in json.load(report)["devices"]]
            exact = status == 0 and stored_exactly(work, count, folders)
        finally:
            emulator.terminate()
            emulator.wait()
    return wall, memory, exact


def show(name, wall, memory, exact):
    print("%-46s %8.2f s  %6.1f MB peak  %s" % (name, wall, memory / 1024, "bytes exact" if exact else "MISMATCH"))


def main():
    bin_dir = sys.argv[1]
    seconds = int(sys.argv[2]) if len(sys.argv) > 2 else 30
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    single = single_run(bin_dir, seconds)
    show("one device, single run", *single)
    own = station(bin_dir, seconds, count)
    show("station, %d devices with addresses of their own" % count, *own)
    shared = station(bin_dir, seconds, count, "--wifi-ip", "127.0.0.1")
    show("station, %d devices sharing one address" % count, *shared)
    runs = [single_run(bin_dir, seconds) for _ in range(count)]
    show("%d single runs one after the other" % count, sum(run[0] for run in runs), max(run[1] for run in runs),
         all(run[2] for run in runs))
    print("station with own addresses vs one single run: %+.2f s" % (own[0] - single[0]))
    print("shared-address station vs %d single runs: %+.2f s" % (count, shared[0] - sum(run[0] for run in runs)))
    print("peak memory limit for %d devices: %d MB" % (count, 8 + count))


if __name__ == "__main__":
    main()
