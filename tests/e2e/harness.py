"""Shared helpers for the process-level tests of quorvane-capture.

Each test script takes the same options before the unittest ones:
  --tool PATH            the quorvane-capture executable under test
  --wine-prefix DIR      run it (a Windows .exe) under Wine in this prefix
  --bin-dir DIR          folder of the native helper programs (emulator, converter)
  --slow-converter PATH  a converter that takes its time, built for the tool's platform
  --failing-converter PATH  a converter that fails, built for the tool's platform
"""
import argparse
import fcntl
import functools
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import termios
import time
import unittest

SCRIPTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")

options = argparse.Namespace(tool=None, wine_prefix=None, bin_dir=None, slow_converter=None,
                             failing_converter=None, skip_long_waits=False)


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wine-prefix")
    parser.add_argument("--bin-dir", required=True)
    parser.add_argument("--slow-converter")
    parser.add_argument("--failing-converter")
    parser.add_argument("--skip-long-waits", action="store_true")
    parsed, rest = parser.parse_known_args()
    vars(options).update(vars(parsed))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def long_wait(test):
    """Marks a case that waits out one of the run's 30 s limits in real time."""
    @functools.wraps(test)
    def run_unless_skipped(self, *args, **kwargs):
        if options.skip_long_waits:
            self.skipTest("waits out a 30 s limit; left out of this build")
        return test(self, *args, **kwargs)
    return run_unless_skipped


def under_wine():
    return options.wine_prefix is not None


def tool_command(*arguments, tool=None):
    """The command line that runs the tool under test, or a copy of it at
    `tool`."""
    launcher = [os.path.join(SCRIPTS_DIR, "wine-run.sh"), options.wine_prefix] if under_wine() else []
    return launcher + [tool or options.tool] + list(arguments)


def console_bytes(raw):
    """Standard output with the line ends the program wrote: the Windows
    runtime's text mode turns each \\n into \\r\\n on the way out."""
    return raw.replace(b"\r\n", b"\n") if under_wine() else raw


def skip_under_wine(reason):
    """Skips a test method under Wine. Decided when the test runs, since the
    options are read only after the test classes are defined."""
    def decorate(test):
        @functools.wraps(test)
        def run_unless_under_wine(self, *arguments):
            if under_wine():
                self.skipTest(reason)
            return test(self, *arguments)
        return run_unless_under_wine
    return decorate


def wait_until(condition, timeout, interval=0.05):
    """Polls `condition` until it is true or `timeout` seconds have passed;
    returns its last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def run_tool(arguments, cwd, timeout=60, stdin_bytes=None, tool=None, env=None):
    """Runs the tool to completion, with `stdin_bytes` piped in when given;
    returns (status, stdout bytes, stderr text)."""
    completed = subprocess.run(tool_command(*arguments, tool=tool), cwd=cwd, input=stdin_bytes, capture_output=True,
                               timeout=timeout, env=env)
    return completed.returncode, console_bytes(completed.stdout), completed.stderr.decode(errors="replace")


class BackgroundTool:
    """The tool running while a test acts on it: interrupts it, watches its
    output, changes its surroundings. Its output goes to files in a folder of
    its own, so a test may even remove the tool's working folder."""

    def __init__(self, arguments, cwd, preexec_fn=None, own_process_group=False):
        self._folder = tempfile.TemporaryDirectory(prefix="quorvane-e2e-output-")
        self._out_path = os.path.join(self._folder.name, "stdout")
        self._err_path = os.path.join(self._folder.name, "stderr")
        with open(self._out_path, "wb") as out, open(self._err_path, "wb") as err:
            self.process = subprocess.Popen(tool_command(*arguments), cwd=cwd, stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=err, preexec_fn=preexec_fn,
                                            start_new_session=own_process_group)
        self.own_process_group = own_process_group
        self.started = time.monotonic()

    def stdout(self):
        with open(self._out_path, "rb") as out:
            return console_bytes(out.read())

    def stdout_lines(self):
        return self.stdout().splitlines(keepends=True)

    def stderr(self):
        with open(self._err_path, "rb") as err:
            return err.read().decode(errors="replace")

    def running(self):
        return self.process.poll() is None

    def wait_for_stdout(self, line, timeout):
        """True once `line` (bytes, with its line end) is a whole line of
        standard output; False after `timeout` or when the tool has ended."""
        return self._wait(lambda: line in self.stdout_lines(), timeout)

    def wait_for_stderr(self, text, timeout):
        return self._wait(lambda: text in self.stderr(), timeout)

    def _wait(self, condition, timeout):
        wait_until(lambda: condition() or not self.running(), timeout)
        return condition()

    def interrupt(self, whole_group=False):
        """Ctrl-C: SIGINT to the tool, or, as a terminal does, to its whole
        process group (needs own_process_group). Under Wine the signal goes to
        the Wine process of the program, which turns it into the console's
        Ctrl-C event."""
        if whole_group:
            os.killpg(self.process.pid, signal.SIGINT)
        else:
            self.process.send_signal(signal.SIGINT)

    def finish(self, timeout):
        """The exit status once the tool has ended; kills it and fails the
        test when it is still running after `timeout` seconds."""
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise AssertionError("the tool was still running %.0f s after it was started; stderr:\n%s"
                                 % (time.monotonic() - self.started, self.stderr()))

    def seconds_running(self):
        return time.monotonic() - self.started

    def kill(self):
        if self.running():
            self.process.kill()
            self.process.wait()

    def close(self):
        """Kills the tool, and with its own process group whatever it left
        running there (a converter it started)."""
        self.kill()
        if self.own_process_group:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        self._folder.cleanup()


def hold_port(device_path):
    """Opens a serial device and claims it the way the tool does (TIOCEXCL and
    an exclusive flock), as a serial terminal or another copy of the tool
    would. Close the returned descriptor to free it."""
    descriptor = os.open(device_path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
    fcntl.flock(descriptor, fcntl.LOCK_EX | fcntl.LOCK_NB)
    fcntl.ioctl(descriptor, termios.TIOCEXCL)
    return descriptor


class WorkFolderTest(unittest.TestCase):
    """A test with a fresh, empty working folder for the tool."""

    def setUp(self):
        self._folder = tempfile.TemporaryDirectory(prefix="quorvane-e2e-")
        self.work = self._folder.name

    def tearDown(self):
        self._folder.cleanup()

    def path(self, name):
        return os.path.join(self.work, name)


def converter_path():
    """The converter that the tool under test runs: the native one from the
    native build, the Windows one from beside the Windows tool."""
    if under_wine():
        return os.path.join(os.path.dirname(options.tool), "Pcm2Wav.exe")
    return os.path.join(options.bin_dir, "Pcm2Wav")


def environment_without_converter():
    """The environment of a tool that finds no converter on PATH: natively only
    the system's folders; under Wine the Windows PATH never holds the build
    folders anyway."""
    environment = dict(os.environ)
    if not under_wine():
        environment["PATH"] = "/usr/bin:/bin"
    return environment


ANSI_SEQUENCE = re.compile(rb"\x1b\[[0-9;?]*[A-Za-z]")
# Wine's console draws blanks by moving the cursor forward.
CURSOR_FORWARD = re.compile(rb"\x1b\[(\d*)C")


class TerminalSession:
    """The tool with a pseudo-terminal for its standard input, output and
    error, as in a terminal window (under Wine: as the program's console).
    The pty is not the tool's controlling terminal, so keys such as Ctrl-C are
    not turned into signals."""

    def __init__(self, command, cwd):
        import pty
        self.master, slave = pty.openpty()
        self.process = subprocess.Popen(command, cwd=cwd, stdin=slave, stdout=slave, stderr=slave,
                                        start_new_session=True)
        os.close(slave)
        self.output = b""

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        os.close(self.master)

    def read_for(self, seconds):
        """Gathers what the tool puts on the terminal for `seconds`, or until
        it has closed the terminal."""
        deadline = time.monotonic() + seconds
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.master], [], [], left)[0]:
                return
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                return
            if not chunk:
                return
            self.output += chunk

    def wait_for(self, text, timeout):
        """True once `text` (str) is on the terminal."""
        return wait_until(lambda: self.read_for(0.1) or text in self.text(), timeout, interval=0)

    def type(self, keys):
        os.write(self.master, keys)

    def finish(self, timeout):
        deadline = time.monotonic() + timeout
        while self.process.poll() is None and time.monotonic() < deadline:
            self.read_for(0.2)
        self.read_for(0.5)
        if self.process.poll() is None:
            raise AssertionError("the tool still runs after %d s; terminal:\n%s" % (timeout, self.text()))
        return self.process.returncode

    def text(self):
        """The terminal's output without the escape sequences and line breaks
        of Wine's console (which wraps long lines at the window's width, so
        its lines run together here)."""
        blanks = CURSOR_FORWARD.sub(lambda forward: b" " * int(forward.group(1) or 1), self.output)
        plain = ANSI_SEQUENCE.sub(b"", blanks)
        if under_wine():
            plain = plain.replace(b"\r\r\n", b"")
        return plain.decode(errors="replace")


INTERRUPTED_STATUS = 130
# What the slow converter leaves in its working folder once it runs: a test
# interrupts a conversion only after it, since a converter started after the
# Ctrl-C would not hear it.
CONVERTER_STARTED = "slow-converter-started"
# Ctrl-C ends the link and the server within a second or two; the bound is
# for slow sanitizer and Wine runs.
INTERRUPT_LIMIT = 20
INTERRUPTED_BEFORE_THE_UPLOAD = "interrupted before the upload began; nothing was stored"

ONE_SECOND_OF_AUDIO = 128000

SUCCESS_LINE = b"wifi connect success, ip is 127.0.0.1, local ip is 127.0.0.1\n"
WAIT_LINE = b"wait for socket connect....\n"

SPECIFIED_SUCCESS_TAIL = [
    b"socekt connected recv audio begin\n",
    b"---------------------------------------------\n",
    b"SUCCESS: recv audio success\n",
    b"---------------------------------------------\n",
    b"\n",
]


def serial_port_name(port_argument):
    """The name under which the tool opens a port argument, as its
    diagnostics say it: a device path as given; under Wine COM1 to COM8, and
    the prefixed form from COM9."""
    if not under_wine():
        return port_argument
    number = int(port_argument)
    return ("COM%d" if number < 9 else "\\\\.\\COM%d") % number


def emulator_path():
    return os.path.join(options.bin_dir, "quorvane-device-emulator")


class Emulator:
    """The device emulator on a pseudo-terminal of its own. Under Wine the pty
    is linked as a COM port of the prefix, and the tool is given its number.
    The numbers are 1000 and up: below are COM98, which the unit tests count
    on being missing, and the 100-999 that their pty bridges claim while
    these tests run beside them. A process's first number depends on its
    pid, so that e2e files run side by side start far apart."""

    _next_com = 1000 + os.getpid() % 100 * 100

    def __init__(self, work, *emulator_options, time_limit=120, linked=False):
        """`linked`: the tool is given a symbolic link that the emulator keeps
        pointing at its current pty, so the port keeps its name when the pty
        vanishes and comes back (under Wine the COM port is such a link
        anyway)."""
        self.work = work
        self.request_log = os.path.join(work, "device-requests.log")
        self.upload_copy = os.path.join(work, "device-upload.bin")
        command = [emulator_path(), "--request-log", self.request_log, "--upload-copy", self.upload_copy,
                   "--time-limit", str(time_limit)] + list(emulator_options)
        self.com_number = None
        if under_wine():
            self.com_number = self.free_com_number()
            command += ["--link", os.path.join(options.wine_prefix, "dosdevices", "com%d" % self.com_number)]
        elif linked:
            command += ["--link", os.path.join(work, "ttyDEVICE")]
        self.log_path = os.path.join(work, "device.log")
        self._log = open(self.log_path, "wb")
        # Unbuffered, so that announcements after the first line can be
        # waited for with select.
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self._log, bufsize=0)
        self.device_path = self.process.stdout.readline().decode().strip()
        if not self.device_path:
            raise RuntimeError("the emulator did not start: " + self.log())

    @classmethod
    def free_com_number(cls):
        """A COM number of the Wine prefix that no port is linked to yet."""
        while True:
            cls._next_com += 1
            candidate = os.path.join(options.wine_prefix, "dosdevices", "com%d" % cls._next_com)
            if not os.path.lexists(candidate):
                return cls._next_com

    def port_argument(self):
        return str(self.com_number) if under_wine() else self.device_path

    def wait_for_announcement(self, prefix, timeout):
        """The next line the emulator prints on standard output that starts
        with `prefix` (such as "sent 40000 bytes"), or None after `timeout`."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                return None
            line = self.process.stdout.readline().decode()
            if not line:
                return None
            if line.startswith(prefix):
                return line.strip()

    def port_label(self):
        return "COM" + self.port_argument() if under_wine() else self.device_path

    def requests(self):
        """Every byte the host sent; none before the log exists."""
        if not os.path.exists(self.request_log):
            return b""
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

    def noise_queued(self):
        """Bytes of line noise the emulator put out before its frames."""
        return sum(int(n) for n in re.findall(r"sending (\d+) bytes of noise", self.log()))

    def stop(self):
        stop_emulator(self.process, self._log)


def stop_emulator(process, log):
    """Ends an emulator (asking first) and closes its output and its log."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    process.stdout.close()
    log.close()


class Devices:
    """The emulator playing several devices, each on a pty of its own (under
    Wine linked as a COM port of the prefix), reporting and uploading from
    127.0.0.(k+1) unless told otherwise."""

    def __init__(self, work, count, *emulator_options, time_limit=120):
        self.count = count
        self._copy = os.path.join(work, "device-upload.bin")
        command = [emulator_path(), "--devices", str(count), "--upload-copy", self._copy,
                   "--time-limit", str(time_limit)] + list(emulator_options)
        self.com_numbers = []
        if under_wine():
            for device in range(1, count + 1):
                self.com_numbers.append(Emulator.free_com_number())
                link = os.path.join(options.wine_prefix, "dosdevices", "com%d" % self.com_numbers[-1])
                command += ["--device-option", "%d:link=%s" % (device, link)]
        self.log_path = os.path.join(work, "devices.log")
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=self._log, bufsize=0)
        self.paths = [self.process.stdout.readline().decode().strip() for _ in range(count)]
        if not all(self.paths):
            raise RuntimeError("the emulator did not start its devices: " + self.log())

    def port_arguments(self):
        return [str(number) for number in self.com_numbers] if under_wine() else self.paths

    def wait_for_announcements(self, text, count, timeout):
        """True once `count` lines the emulator printed after the paths hold
        `text` (such as "sent 64000 bytes"), False after `timeout`."""
        deadline = time.monotonic() + timeout
        seen = 0
        while seen < count:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.process.stdout], [], [], left)[0]:
                return False
            line = self.process.stdout.readline().decode()
            if not line:
                return False
            seen += text in line
        return True

    def sent(self, device):
        """Every byte device `device` (1-based) uploaded."""
        with open(self._copy.replace(".bin", "-%d.bin" % device), "rb") as copy:
            return copy.read()

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode(errors="replace")

    def stop(self):
        stop_emulator(self.process, self._log)


class RunTest(WorkFolderTest):
    """A whole run of the tool against the emulator."""

    status = None  # the exit status of the last run, for failure messages

    def start_device(self, *emulator_options, time_limit=120, linked=False):
        self.device = Emulator(self.work, *emulator_options, time_limit=time_limit, linked=linked)
        self.addCleanup(self.device.stop)
        return self.device

    def run_capture(self, ssid="net", passphrase="pass", record_time="1", extra=(), timeout=120, port=None,
                    stdin_bytes=None, tool=None, cwd=None, env=None):
        arguments = [ssid, passphrase, port or self.device.port_argument(), record_time] + list(extra)
        try:
            status, out, err = run_tool(arguments, cwd=cwd or self.work, timeout=timeout, stdin_bytes=stdin_bytes,
                                        tool=tool, env=env)
        except subprocess.TimeoutExpired as expired:
            self.fail("the tool did not end within %d s; stderr:\n%s\ndevice log:\n%s"
                      % (timeout, (expired.stderr or b"").decode(errors="replace"), self.device_log()))
        self.stdout_lines = out.splitlines(keepends=True)
        self.stderr_text = err
        self.status = status
        return status

    def start_capture(self, record_time="1", port=None, cwd=None, preexec_fn=None, own_process_group=False):
        """Starts the tool in the background against the emulator (or on
        `port`); the test then acts on it and ends it with end_capture."""
        arguments = ["net", "pass", port or self.device.port_argument(), record_time]
        tool = BackgroundTool(arguments, cwd or self.work, preexec_fn=preexec_fn,
                              own_process_group=own_process_group)
        self.addCleanup(tool.close)
        return tool

    def end_capture(self, tool, timeout):
        """Waits for the tool to end (at most `timeout` s), keeps its output
        for the assertions and returns its exit status."""
        self.status = tool.finish(timeout)
        self.stdout_lines = tool.stdout_lines()
        self.stderr_text = tool.stderr()
        return self.status

    def device_log(self):
        return self.device.log() if hasattr(self, "device") else "(no device)"

    def assert_reaches_stderr(self, tool, text, timeout):
        self.assertTrue(tool.wait_for_stderr(text, timeout),
                        "%r not on stderr within %d s; stderr:\n%s\ndevice log:\n%s"
                        % (text, timeout, tool.stderr(), self.device_log()))

    def assert_reaches_stdout(self, tool, line, timeout):
        self.assertTrue(tool.wait_for_stdout(line, timeout),
                        "%r not on stdout within %d s; stdout:\n%s\nstderr:\n%s\ndevice log:\n%s"
                        % (line, timeout, tool.stdout(), tool.stderr(), self.device_log()))

    def assert_said_once(self, text):
        """A diagnostic comes once when its situation begins, not on every
        retry of the link."""
        self.assertEqual(self.stderr_text.count(text), 1,
                         "%r on stderr %d times:\n%s" % (text, self.stderr_text.count(text), self.stderr_text))

    def expected_opening(self, ssid="net"):
        label = self.device.port_label().encode()
        return [b"connecting to " + label + b"\n",
                b"connect to " + label + b" success!\n",
                b"wifi connecting\n"]

    def assert_stored_run(self, status, recording_size):
        """A run that ended as specified: every console line, status 0, and
        record.pcm holding exactly what the device sent, converted."""
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0, self.stderr_text)
        recording = self.read_file("record.pcm")
        self.assertEqual(len(recording), recording_size)
        self.assertEqual(recording, self.device.sent())
        self.assertEqual(wav_contents(self.path("record_ch1.wav")), (1, 16000, 2, channel_samples(recording, 1)))

    def assert_output(self, expected):
        self.assertEqual(self.stdout_lines, expected,
                         "\nexit status: %s\nstderr of the tool:\n%s\ndevice log:\n%s"
                         % (self.status, self.stderr_text, self.device.log()))

    def read_file(self, name):
        with open(self.path(name), "rb") as stored:
            return stored.read()


def use_converter(work, converter):
    """Puts `converter` (a program built for the tool's platform) into the
    working folder as Pcm2Wav, where the tool looks for it first."""
    shutil.copy(converter, os.path.join(work, "Pcm2Wav" + (".exe" if under_wine() else "")))


SUMMARY_FIELDS = ["tool_version", "command", "started_at", "ended_at", "port", "network_name", "device_address",
                  "host_address", "record_time", "record_seconds", "recording", "bytes_received", "frames",
                  "trailing_bytes", "audio_seconds", "channels", "outcome", "failure_reason", "exit_status"]
CHANNEL_FIELDS = ["channel", "file", "verdict", "same_as_channel", "db_from_median", "levels"]
TIMESTAMP = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")


def load_summary(path):
    """record.json read by Python's json module: strict UTF-8, and no NaN or
    Infinity, which JSON does not have."""
    def refuse(name):
        raise ValueError("not JSON: " + name)
    with open(path, "rb") as document:
        return json.loads(document.read().decode("utf-8"), parse_constant=refuse)


TABLE_HEADING = re.compile(r"^channel +file +duration +peak dBFS +RMS dBFS +DC offset +clipped +verdict$")


def level_table(stderr_text):
    """The level table on standard error: the line above the heading (the
    audio's duration), the heading and the four rows; None when there is
    none. Windows programs end their lines with \r\n."""
    lines = [line.rstrip("\r") for line in stderr_text.split("\n")]
    for index, line in enumerate(lines):
        if TABLE_HEADING.match(line):
            return lines[index - 1:index + 5]
    return None


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
