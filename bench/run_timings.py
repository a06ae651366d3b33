#!/usr/bin/env python3
"""How long a whole run against the device emulator takes at its ends: from
the start of quorvane-capture to "wait for socket connect....", from the
device closing its upload to the exit of quorvane-capture, and from the
success block ("SUCCESS: recv audio success") to that exit. The emulator
answers every heart-beat and stays on the line after the upload, as the
device does.

usage: run_timings.py BIN_DIR [RUNS] [--tool PATH] [--wine-prefix DIR]

BIN_DIR holds the native quorvane-device-emulator (and, without --tool,
quorvane-capture and Pcm2Wav). --tool runs another quorvane-capture, such as
the Windows build's .exe; with --wine-prefix it runs under Wine
(scripts/wine-run.sh) in that prefix, and the emulator's pty is linked into
the prefix as a COM port. Uses TCP port 8888: run it under
flock /tmp/quorvane-tcp8888.lock.
"""
import argparse
import os
import statistics
import subprocess
import tempfile
import threading
import time

SCRIPTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "scripts")
SUCCESS_LINE = b"SUCCESS: recv audio success"
WAIT_LINE = b"wait for socket connect...."


def timestamped_lines(stream, sink):
    for line in iter(stream.readline, b""):
        sink.append((time.monotonic(), line))


def first_time(lines, wanted):
    """When the console line `wanted` came; Windows programs end their lines
    with \\r\\n."""
    return next(at for at, line in lines if line.rstrip(b"\r\n") == wanted)


def free_com_number(wine_prefix):
    number = 500 + os.getpid() % 400
    while os.path.lexists(os.path.join(wine_prefix, "dosdevices", "com%d" % number)):
        number += 1
    return number


class Setup:
    def __init__(self, bin_dir, tool, wine_prefix):
        self.emulator = os.path.join(bin_dir, "quorvane-device-emulator")
        self.tool = os.path.abspath(tool) if tool else os.path.join(bin_dir, "quorvane-capture")
        self.wine_prefix = os.path.abspath(wine_prefix) if wine_prefix else None

    def emulator_command(self, com_number):
        # A real device stays on the line after its upload; an emulator that
        # left would hang the line up, which ends any read at once.
        command = [self.emulator, "--time-limit", "60", "--keep-serving", "--host-gone", "1"]
        if self.wine_prefix:
            command += ["--link", os.path.join(self.wine_prefix, "dosdevices", "com%d" % com_number)]
        return command

    def tool_command(self, port):
        launcher = [os.path.join(SCRIPTS_DIR, "wine-run.sh"), self.wine_prefix] if self.wine_prefix else []
        return launcher + [self.tool, "net", "pass", port, "1"]


def one_run(setup, work):
    com_number = free_com_number(setup.wine_prefix) if setup.wine_prefix else None
    emulator = subprocess.Popen(setup.emulator_command(com_number), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, cwd=work)
    device = emulator.stdout.readline().decode().strip()
    device_log = []
    threading.Thread(target=timestamped_lines, args=(emulator.stderr, device_log), daemon=True).start()

    port = str(com_number) if setup.wine_prefix else device
    started = time.monotonic()
    tool = subprocess.Popen(setup.tool_command(port), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, cwd=work)
    console = []
    timestamped_lines(tool.stdout, console)
    status = tool.wait()
    exited = time.monotonic()
    emulator.wait(timeout=30)

    if status != 0:
        raise RuntimeError("quorvane-capture exited with status %d" % status)
    upload_closed = next(at for at, line in device_log if b"upload: ended" in line)
    return (first_time(console, WAIT_LINE) - started, exited - upload_closed,
            exited - first_time(console, SUCCESS_LINE))


def main():
    parser = argparse.ArgumentParser(description="Times whole runs of quorvane-capture against the emulator.")
    parser.add_argument("bin_dir")
    parser.add_argument("runs", nargs="?", type=int, default=5)
    parser.add_argument("--tool", help="the quorvane-capture to run (default: BIN_DIR/quorvane-capture)")
    parser.add_argument("--wine-prefix", help="run --tool under Wine in this prefix")
    arguments = parser.parse_args()
    if arguments.wine_prefix and not arguments.tool:
        parser.error("--wine-prefix needs --tool (the Windows build's quorvane-capture.exe)")
    setup = Setup(os.path.abspath(arguments.bin_dir), arguments.tool, arguments.wine_prefix)

    names = ("start -> \"wait for socket connect....\"", "upload closed -> process exit",
             "success block -> process exit")
    timings = [[] for _ in names]
    for _ in range(arguments.runs):
        with tempfile.TemporaryDirectory() as work:
            for values, value in zip(timings, one_run(setup, work)):
                values.append(value)
    for name, values in zip(names, timings):
        print("%-40s median %7.3f s  min %7.3f s  max %7.3f s  (%d runs)" %
              (name, statistics.median(values), min(values), max(values), arguments.runs))


if __name__ == "__main__":
    main()
