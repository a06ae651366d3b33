"""The checks made before the serial port is opened, against a device that
is there: a missing converter, a working folder that cannot be written and a
port path that is no terminal end the run with status -1 (255 in a POSIX
shell) and a message that says why, and the device never hears a byte. Also
what passes these checks: a port named as the device manager shows it, and
arguments the device may misread, which only get a warning."""
import os
import shutil
import subprocess
import tempfile
import time

import harness
from harness import RunTest, skip_under_wine, under_wine

STATUS_MINUS_ONE = 255


class RefusedBeforeTheDevice(RunTest):
    def setUp(self):
        super().setUp()
        self.start_device()

    def assert_device_untouched(self):
        self.assertEqual(self.device.requests(), b"")

    def test_missing_converter_names_the_places_searched(self):
        lone = self.path("lone")
        os.mkdir(lone)
        tool = shutil.copy(harness.options.tool, lone)
        status = self.run_capture(tool=tool, env=harness.environment_without_converter())
        self.assertEqual(status, STATUS_MINUS_ONE, self.stderr_text)
        self.assertEqual(self.stdout_lines, [])
        converter = os.path.basename(harness.converter_path())
        self.assertIn("cannot find the converter %s: it is neither in the working folder (" % converter,
                      self.stderr_text)
        self.assertIn(os.path.basename(self.work) + ")", self.stderr_text)
        self.assertIn("nor beside quorvane-capture (", self.stderr_text)
        self.assertIn("lone) nor in a folder on PATH", self.stderr_text)
        self.assert_device_untouched()

    def test_report_that_cannot_be_written_is_explained_without_the_shell_text(self):
        # Standard error holds this one line: neither the shell's nor cmd.exe's
        # own complaint comes through.
        os.symlink(os.path.join(self.work, "missing-folder", "ipconfig.txt"), self.path("ipconfig.txt"))
        status = self.run_capture()
        self.assertEqual(status, STATUS_MINUS_ONE, self.stderr_text)
        self.assertEqual(self.stdout_lines, [b"failed to open file!"])
        self.assertRegex(self.stderr_text, r"^quorvane-capture: cannot write the network report ipconfig\.txt in the "
                                           r"working folder \S*%s: No such file or directory\r?\n$"
                         % os.path.basename(self.work))
        self.assert_device_untouched()

    def test_record_time_the_device_would_misread_never_reaches_it(self):
        # "-5" would reach the device as "-t -5", an option of its own.
        cases = (("30 -h 10.9.9.9", 'the record time "30 -h 10.9.9.9" contains a blank'),
                 ("-5", 'the record time "-5" begins with "-": the device would read it as an option of its own'),
                 ("0", 'the record time "0" is zero: the device would record nothing; give the number of seconds'),
                 ("00", 'the record time "00" is zero'))
        for record_time, said in cases:
            with self.subTest(record_time=record_time):
                status = self.run_capture(record_time=record_time)
                self.assertEqual(status, STATUS_MINUS_ONE, self.stderr_text)
                self.assertIn(said, self.stderr_text)
                self.assert_device_untouched()


class FolderThatCannotBeWritten(harness.WorkFolderTest):
    @skip_under_wine("the Wine prefix belongs to root, and Wine runs no program for another user")
    def test_read_only_folder_gives_the_systems_reason(self):
        if os.getuid() != 0:
            self.skipTest("needs root, to run the tool as another user in a folder that user may not write")
        # The build may lie in a folder that user cannot enter (/root): the
        # tool and its converter run from a copy in a folder open to all.
        shared = tempfile.mkdtemp(prefix="quorvane-startup-")
        self.addCleanup(shutil.rmtree, shared, True)
        os.chmod(shared, 0o755)
        for program in (harness.options.tool, harness.converter_path()):
            shutil.copy2(program, shared)
        read_only = os.path.join(shared, "read-only")
        os.mkdir(read_only, 0o555)
        nobody = 65534
        status, out, err = self.run_as(nobody, read_only,
                                       os.path.join(shared, os.path.basename(harness.options.tool)))
        self.assertEqual(status, STATUS_MINUS_ONE, err)
        self.assertEqual(out, b"failed to open file!")
        self.assertEqual(err, "quorvane-capture: cannot write the network report ipconfig.txt in the working folder "
                              "%s: Permission denied\n" % read_only)

    def run_as(self, user, folder, tool):
        completed = subprocess.run(harness.tool_command("net", "pass", "3", "30", tool=tool), cwd=folder,
                                   capture_output=True,
                                   timeout=60, preexec_fn=lambda: os.setuid(user))
        return completed.returncode, completed.stdout, completed.stderr.decode(errors="replace")


class PortPathThatIsNoTerminal(harness.WorkFolderTest):
    """POSIX only: Windows names serial ports by number."""

    def assert_refused_at_once(self, port, said):
        began = time.monotonic()
        status, out, err = harness.run_tool(["net", "pass", port, "30"], cwd=self.work, timeout=30)
        self.assertEqual(status, STATUS_MINUS_ONE, err)
        self.assertEqual(out, b"")
        self.assertIn("the port %s %s, not a serial port" % (port, said), err)
        self.assertIn("--list-ports", err)
        self.assertLess(time.monotonic() - began, 10, "refused at once, not retried")

    @skip_under_wine("ports are COM numbers on Windows")
    def test_folder_file_pipe_and_null_device_are_refused(self):
        regular = self.path("regular")
        open(regular, "w").close()
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        for port, said in ((self.work, "is a folder"), (regular, "is a file"),
                           ("/dev/null", "is a device but not a terminal"),
                           (fifo, "is a pipe, a socket or a block device")):
            with self.subTest(port=port):
                self.assert_refused_at_once(port, said)

    @skip_under_wine("ports are COM numbers on Windows")
    def test_path_that_does_not_exist_yet_is_waited_for(self):
        port = self.path("ttyLATER")
        tool = harness.BackgroundTool(["net", "pass", port, "30"], self.work)
        self.addCleanup(tool.close)
        self.assertTrue(tool.wait_for_stderr("serial port %s not found" % port, 30), tool.stderr())
        self.assertTrue(tool.running())


class PortNamedAsTheDeviceManagerShowsIt(RunTest):
    def test_com_name_in_any_case_is_the_port_number(self):
        if not under_wine():
            self.skipTest("natively COM3 is /dev/ttyS2, which no test device serves; see the case below")
        self.start_device("--wifi-fail")
        number = self.device.port_argument()
        for typed in ("COM" + number, "com" + number):
            with self.subTest(port=typed):
                self.assertEqual(self.run_capture(port=typed), 1, self.stderr_text)
                self.assertEqual(self.stdout_lines[:2], [b"connecting to COM%s\n" % number.encode(),
                                                         b"connect to COM%s success!\n" % number.encode()])

    @skip_under_wine("under Wine the case above runs a whole join on such a port")
    def test_com_name_is_the_matching_tty_on_posix(self):
        tool = harness.BackgroundTool(["net", "pass", "com3", "30"], self.work)
        self.addCleanup(tool.close)
        self.assertTrue(tool.wait_for_stderr("/dev/ttyS2", 30), tool.stderr())
        # The link may say so before the console line is written.
        self.assertTrue(tool.wait_for_stdout(b"connecting to COM3\n", 30), tool.stdout())
        self.assertEqual(tool.stdout(), b"connecting to COM3\n")


class MisleadingArguments(RunTest):
    def test_warnings_name_what_the_device_may_misread_and_the_run_goes_on(self):
        self.start_device("--wifi-fail")
        status = self.run_capture(ssid="Lab WiFi", passphrase="short", record_time="ten", extra=["yes"])
        self.assertEqual(status, 1, self.stderr_text)
        for said in ('warning: the network name "Lab WiFi" contains a blank',
                     "warning: the pass phrase has 5 bytes; a WPA pass phrase has 8 to 63 characters",
                     'warning: the record time "ten" is not a number of seconds; the device is sent it as typed',
                     "warning: the fifth argument is ignored: channel 3 is converted as well only with 1 there"):
            self.assertIn(said, self.stderr_text)
        self.assertNotIn("short", self.stderr_text)
        self.assertIn(b"listen wifi_connect Lab WiFi short\r\n", self.device.request_lines())

    def test_long_name_is_warned_about(self):
        self.start_device("--wifi-fail")
        name = "N" * 33
        self.assertEqual(self.run_capture(ssid=name, passphrase="12345678"), 1, self.stderr_text)
        self.assertIn("has 33 bytes; a Wi-Fi network name (SSID) has at most 32 bytes", self.stderr_text)
        self.assertNotIn("pass phrase has", self.stderr_text)


if __name__ == "__main__":
    harness.main()
