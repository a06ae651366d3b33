"""The entry point as a user meets it: the network report, the argument
checks and their exit statuses (-1, seen as 255 by a POSIX shell)."""
import os
import re

import harness
from harness import WorkFolderTest, run_tool

STATUS_MINUS_ONE = 255
TRY_HELP = "Try 'quorvane-capture --help'"


class TooFewArguments(WorkFolderTest):
    def test_three_arguments_write_the_report_then_ask_for_the_port(self):
        status, out, _ = run_tool(["net", "pass", "3"], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE)
        self.assertEqual(out, b"Please input serial number.\n")
        self.assertTrue(os.path.isfile(self.path("ipconfig.txt")))

    def test_no_arguments_gives_the_same_answer_and_a_usage_hint(self):
        status, out, err = run_tool([], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE)
        self.assertEqual(out, b"Please input serial number.\n")
        self.assertIn("usage: quorvane-capture SSID PASSPHRASE PORT RECORD_TIME [1]", err)

    def test_what_is_missing_is_named(self):
        for arguments, said in ((["net"], "PASSPHRASE, PORT and RECORD_TIME are missing"),
                                (["net", "pass", "3"], "RECORD_TIME is missing"),
                                (["--", "--net", "pass", "3"], "RECORD_TIME is missing")):
            with self.subTest(arguments=arguments):
                status, out, err = run_tool(arguments, cwd=self.work)
                self.assertEqual(status, STATUS_MINUS_ONE)
                self.assertEqual(out, b"Please input serial number.\n")
                self.assertIn("quorvane-capture: " + said, err)
                self.assertIn(TRY_HELP, err)

    def test_report_that_cannot_be_written_stops_before_counting_arguments(self):
        # A dangling link: the report can neither be written nor opened, even by root.
        os.symlink(os.path.join(self.work, "missing-folder", "ipconfig.txt"), self.path("ipconfig.txt"))
        status, out, _ = run_tool(["net", "pass"], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE)
        self.assertEqual(out, b"failed to open file!")


class InformationRequests(WorkFolderTest):
    def assert_answered_without_a_report(self, option):
        status, out, err = run_tool([option], cwd=self.work)
        self.assertEqual(status, 0, err)
        self.assertFalse(os.path.exists(self.path("ipconfig.txt")))
        return out.decode()

    def test_help_explains_arguments_files_and_exit_statuses(self):
        for option in ("--help", "-h"):
            text = self.assert_answered_without_a_report(option)
            self.assertIn("usage: quorvane-capture SSID PASSPHRASE PORT RECORD_TIME [1]", text)
            for mentioned in ("examples:", "record.pcm", "record_ch1.wav", "ipconfig.txt",
                              "8888", "130"):
                self.assertIn(mentioned, text)

    def test_version_is_one_line(self):
        text = self.assert_answered_without_a_report("--version")
        self.assertRegex(text, r"^quorvane-capture \d+\.\d+\.\d+\n$")

    def test_port_list_names_one_port_a_line(self):
        text = self.assert_answered_without_a_report("--list-ports")
        if harness.under_wine():
            # Wine links a COM port to each serial port of the system; the
            # tool lists those it enumerates (ports linked later by tests are
            # not enumerated until the prefix restarts).
            system_ports = [name for name in os.listdir(os.path.join(harness.options.wine_prefix, "dosdevices"))
                            if re.fullmatch(r"com\d+", name) and os.readlink(
                                os.path.join(harness.options.wine_prefix, "dosdevices", name)).startswith("/dev/ttyS")]
            if system_ports:
                self.assertNotEqual(text.strip(), "", "Wine has " + ", ".join(system_ports))
        for line in text.splitlines():
            if harness.under_wine():
                # The number to give the tool, then the port it opens.
                self.assertRegex(line, r"^(\d+) +(COM\d+)( +\S.*)?$")
                number, name = line.split()[:2]
                self.assertEqual("COM" + number, name)
            else:
                self.assertRegex(line, r"^/dev/\S+( +\S.*)?$")

    def test_an_option_among_other_arguments_is_no_request(self):
        status, out, err = run_tool(["--help", "pass"], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE)
        self.assertEqual(out, b"Please input serial number.\n")
        self.assertIn("--help takes no other arguments", err)

    def test_help_tells_how_to_keep_the_pass_phrase_off_the_command_line(self):
        text = self.assert_answered_without_a_report("--help")
        self.assertIn("- reads it from standard input", text)
        for status in ("129", "143"):
            self.assertIn(status, text)
        # Each build describes the ports of its own system.
        if harness.under_wine():
            self.assertNotIn("/dev/tty", text)
            self.assertIn("quorvane-capture.exe LabWiFi", text)
        else:
            self.assertIn("/dev/ttyS<n-1>", text)
            self.assertNotIn(".exe", text)


class UnknownOptions(WorkFolderTest):
    def test_unknown_option_is_named_after_the_report(self):
        status, out, err = run_tool(["--verbose", "net", "pass", "3", "30"], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE, err)
        self.assertEqual(out, b"", "four arguments are there: no request for them")
        self.assertIn("quorvane-capture: unknown option --verbose", err)
        self.assertIn(TRY_HELP, err)
        self.assertTrue(os.path.isfile(self.path("ipconfig.txt")))

    def test_unknown_option_with_too_few_arguments_also_asks_for_them(self):
        status, out, err = run_tool(["--verbose"], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE)
        self.assertEqual(out, b"Please input serial number.\n")
        self.assertIn("unknown option --verbose", err)


class RefusedArguments(WorkFolderTest):
    def assert_refused(self, arguments, expected_in_error):
        status, out, err = run_tool(arguments, cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE, err)
        self.assertEqual(out, b"")
        self.assertIn(expected_in_error, err)
        self.assertTrue(os.path.isfile(self.path("ipconfig.txt")), "the report comes first")

    def test_port_that_is_no_number_is_named_in_the_error(self):
        self.assert_refused(["net", "pass", "COMX", "30"], '"COMX" is not a serial port')
        self.assert_refused(["net", "pass", "0", "30"], '"0" is not a serial port')

    def test_record_time_that_would_add_words_to_the_upload_command_is_refused(self):
        self.assert_refused(["net", "pass", "3", "30 -h 10.9.9.9"],
                            'the record time "30 -h 10.9.9.9" contains a blank')
        self.assert_refused(["net", "pass", "3", "30\t"], 'the record time "30\\x09" contains a control character')

    def test_line_break_in_an_argument_is_refused(self):
        self.assert_refused(["net\r\nlisten heart_beat", "pass", "3", "30"], "network name")
        self.assert_refused(["net", "pass\nx", "3", "30"], "pass phrase")
        self.assert_refused(["net", "pass", "3", "30\nlisten x"], "record time")

    def test_pass_phrase_is_not_echoed(self):
        _, _, err = run_tool(["net", "hunter2\n", "3", "30"], cwd=self.work)
        self.assertNotIn("hunter2", err)


if __name__ == "__main__":
    harness.main()
