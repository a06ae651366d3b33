"""Shared helpers for the process-level tests of quorvane-capture.

Each test script takes the same options before the unittest ones:
  --tool PATH          the quorvane-capture executable under test
  --wine-prefix DIR    run it (a Windows .exe) under Wine in this prefix
  --bin-dir DIR        folder of the native helper programs (emulator, converter)
"""
import argparse
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")

options = argparse.Namespace(tool=None, wine_prefix=None, bin_dir=None)


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wine-prefix")
    parser.add_argument("--bin-dir", required=True)
    parsed, rest = parser.parse_known_args()
    vars(options).update(vars(parsed))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def under_wine():
    return options.wine_prefix is not None


def tool_command(*arguments):
    launcher = [os.path.join(SCRIPTS_DIR, "wine-run.sh"), options.wine_prefix] if under_wine() else []
    return launcher + [options.tool] + list(arguments)


def console_bytes(raw):
    """Standard output with the line ends the program wrote: the Windows
    runtime's text mode turns each \\n into \\r\\n on the way out."""
    return raw.replace(b"\r\n", b"\n") if under_wine() else raw


def run_tool(arguments, cwd, timeout=60):
    """Runs the tool to completion; returns (status, stdout bytes, stderr text)."""
    completed = subprocess.run(tool_command(*arguments), cwd=cwd, capture_output=True, timeout=timeout)
    return completed.returncode, console_bytes(completed.stdout), completed.stderr.decode(errors="replace")


class WorkFolderTest(unittest.TestCase):
    """A test with a fresh, empty working folder for the tool."""

    def setUp(self):
        self._folder = tempfile.TemporaryDirectory(prefix="quorvane-e2e-")
        self.work = self._folder.name

    def tearDown(self):
        self._folder.cleanup()

    def path(self, name):
        return os.path.join(self.work, name)


SPECIFIED_SUCCESS_TAIL = [
    b"socekt connected recv audio begin\n",
    b"---------------------------------------------\n",
    b"SUCCESS: recv audio success\n",
    b"---------------------------------------------\n",
    b"\n",
]


def emulator_path():
    return os.path.join(options.bin_dir, "quorvane-device-emulator")


class Emulator:
    """The device emulator on a pseudo-terminal of its own. Under Wine the pty
    is linked as a COM port of the prefix, and the tool is given its number."""

    _next_com = 40 + os.getpid() % 400

    def __init__(self, work, *emulator_options, time_limit=120):
        self.work = work
        self.request_log = os.path.join(work, "device-requests.log")
        self.upload_copy = os.path.join(work, "device-upload.bin")
        command = [emulator_path(), "--request-log", self.request_log, "--upload-copy", self.upload_copy,
                   "--time-limit", str(time_limit)] + list(emulator_options)
        self.com_number = None
        if under_wine():
            self.com_number = self._free_com_number()
            command += ["--link", os.path.join(options.wine_prefix, "dosdevices", "com%d" % self.com_number)]
        self.log_path = os.path.join(work, "device.log")
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self._log)
        self.device_path = self.process.stdout.readline().decode().strip()
        if not self.device_path:
            raise RuntimeError("the emulator did not start: " + self.log())

    @classmethod
    def _free_com_number(cls):
        while True:
            cls._next_com += 1
            candidate = os.path.join(options.wine_prefix, "dosdevices", "com%d" % cls._next_com)
            if not os.path.lexists(candidate):
                return cls._next_com

    def port_argument(self):
        return str(self.com_number) if under_wine() else self.device_path

    def port_label(self):
        return "COM" + self.port_argument() if under_wine() else self.device_path

    def requests(self):
        with open(self.request_log, "rb") as log:
            return log.read()

    def request_lines(self):
        return [line + b"\n" for line in self.requests().split(b"\n") if line]

    def sent(self):
        with open(self.upload_copy, "rb") as copy:
            return copy.read()

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self._log.close()


class RunTest(WorkFolderTest):
    """A whole run of the tool against the emulator."""

    def start_device(self, *emulator_options, time_limit=120):
        self.device = Emulator(self.work, *emulator_options, time_limit=time_limit)
        self.addCleanup(self.device.stop)
        return self.device

    def run_capture(self, ssid="net", passphrase="pass", record_time="1", extra=(), timeout=120):
        arguments = [ssid, passphrase, self.device.port_argument(), record_time] + list(extra)
        status, out, err = run_tool(arguments, cwd=self.work, timeout=timeout)
        self.stdout_lines = out.splitlines(keepends=True)
        self.stderr_text = err
        return status

    def expected_opening(self, ssid="net"):
        label = self.device.port_label().encode()
        return [b"connecting to " + label + b"\n",
                b"connect to " + label + b" success!\n",
                b"wifi connecting\n"]

    def assert_output(self, expected):
        self.assertEqual(self.stdout_lines, expected,
                         "\nstderr of the tool:\n" + self.stderr_text + "\ndevice log:\n" + self.device.log())

    def read_file(self, name):
        with open(self.path(name), "rb") as stored:
            return stored.read()


def channel_samples(recording, channel):
    """The bytes of channel 1..4 in every whole 8-byte frame of a recording."""
    whole = recording[:len(recording) // 8 * 8]
    low = whole[2 * (channel - 1)::8]
    high = whole[2 * (channel - 1) + 1::8]
    samples = bytearray(len(low) * 2)
    samples[0::2] = low
    samples[1::2] = high
    return bytes(samples)


def wav_contents(path):
    """(channels, rate, sample width, frames) of a WAV file, read by Python's
    own reader, which is independent of the converter."""
    import wave
    with wave.open(path, "rb") as reader:
        return (reader.getnchannels(), reader.getframerate(), reader.getsampwidth(),
                reader.readframes(reader.getnframes()))
