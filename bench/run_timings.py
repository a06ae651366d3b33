#!/usr/bin/env python3
"""How long a whole run against the device emulator takes at its ends: from
the start of quorvane-capture to "wait for socket connect....", from the
device's upload connection to quorvane-capture closing the serial port (the
link's last read ended and the port let go), from the device closing its
upload to the exit of quorvane-capture, and from the success block
("SUCCESS: recv audio success") to that exit.

The emulator plays a device that stays on the line: it answers every
heart-beat, those sent while it records included, so the link is reading an
answer when the upload comes, and it keeps the serial port open after the
upload until quorvane-capture has exited. A device that left would hang the
line up, which ends any read at once and hides a wait for it.

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
DEVICE_HEARTBEAT = b"host: listen heart_beat"
DEVICE_UPLOAD_REQUEST = b"host: listen upload_record"
DEVICE_CONNECTED = b"upload: connected"
DEVICE_UPLOAD_ENDED = b"upload: ended"
DEVICE_PORT_CLOSED = b"the host closed the port"


def timestamped_lines(stream, sink):
    for line in iter(stream.readline, b""):
        sink.append((time.monotonic(), line))


def first_time(lines, wanted):
    """When the console line `wanted` came; Windows programs end their lines
    with \\r\\n."""
    return next(at for at, line in lines if line.rstrip(b"\r\n") == wanted)


def device_time(device_log, wanted, after=0.0):
    """When the device first logged `wanted` after `after`."""
    return next(at for at, line in device_log if wanted in line and at >= after)


def await_port_closed(device_log, limit=10.0):
    """The device may log the port's close only after the tool has exited
    (under Wine the port is let go as the process ends): waits for a close
    after the upload connection, at most `limit` seconds."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline:
        lines = list(device_log)
        connected = [at for at, line in lines if DEVICE_CONNECTED in line]
        if connected and any(DEVICE_PORT_CLOSED in line and at >= connected[0] for at, line in lines):
            return
        time.sleep(0.05)


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
        # Ended by one_run once the tool has exited.
        command = [self.emulator, "--time-limit", "60", "--keep-serving", "--host-gone", "0"]
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
    device_reader = threading.Thread(target=timestamped_lines, args=(emulator.stderr, device_log), daemon=True)
    device_reader.start()

    port = str(com_number) if setup.wine_prefix else device
    started = time.monotonic()
    tool = subprocess.Popen(setup.tool_command(port), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, cwd=work)
    console = []
    timestamped_lines(tool.stdout, console)
    status = tool.wait()
    exited = time.monotonic()
    await_port_closed(device_log)
    emulator.terminate()
    emulator.wait(timeout=30)
    device_reader.join(timeout=30)

    if status != 0:
        raise RuntimeError("quorvane-capture exited with status %d" % status)
    return (first_time(console, WAIT_LINE) - started, link_stop_time(device_log),
            exited - device_time(device_log, DEVICE_UPLOAD_ENDED), exited - first_time(console, SUCCESS_LINE))


def link_stop_time(device_log):
    """From the upload connection to the port's close; the tool checks the
    port before the run too, so only a close after the connection counts."""
    asked = device_time(device_log, DEVICE_UPLOAD_REQUEST)
    connected = device_time(device_log, DEVICE_CONNECTED)
    if not any(DEVICE_HEARTBEAT in line and asked <= at < connected for at, line in device_log):
        raise RuntimeError("no heart-beat reached the device while it recorded: the link was not busy")
    return device_time(device_log, DEVICE_PORT_CLOSED, connected) - connected


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

    names = ("start -> \"wait for socket connect....\"", "upload connection -> serial port closed",
             "upload closed -> process exit", "success block -> process exit")
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
