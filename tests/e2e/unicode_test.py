"""Text outside ASCII, as users type it and name their folders: a network
name and pass phrase with accents, Chinese characters and an emoji reach the
device as the UTF-8 bytes typed; the diagnostics that repeat the name show it
as typed, in a file (UTF-8) and on a terminal or console; and a whole run
works with the tool and its converter in a folder named "régie 家" and the
working folder named "été 家"."""
import os
import shutil
import unittest

import harness
from harness import RunTest, TerminalSession, under_wine

NAME = "Café 家里 😀"
PASSPHRASE = "päss wörd 家😀"
JOIN_REQUEST = ("listen wifi_connect %s %s\r\n" % (NAME, PASSPHRASE)).encode()


class TextOutsideAscii(RunTest):
    def test_name_and_pass_phrase_reach_the_device_as_typed(self):
        self.start_device("--wifi-fail")
        status = self.run_capture(ssid=NAME, passphrase=PASSPHRASE)
        self.assertEqual(status, 1, self.stderr_text)
        self.assertIn(JOIN_REQUEST, self.device.request_lines())
        # Standard error is a file here: the name comes as UTF-8.
        self.assertIn('warning: the network name "%s" contains a blank' % NAME, self.stderr_text)
        self.assertIn('the device did not join "%s"' % NAME, self.stderr_text)

    def test_name_repeated_on_a_terminal_shows_as_typed(self):
        # Under Wine the terminal is the program's console: what the program
        # writes as characters reaches the terminal as UTF-8, while bytes
        # would be read in the console's code page. Wine's console shows a
        # character beyond 16 bits (the emoji) as two unknown ones, so the
        # name here keeps to the others.
        name = "Café 家里"
        self.start_device("--wifi-fail")
        arguments = [name, PASSPHRASE, self.device.port_argument(), "1"]
        with TerminalSession(harness.tool_command(*arguments), cwd=self.work) as session:
            status = session.finish(60)
            shown = session.text()
        self.assertEqual(status, 1, shown)
        self.assertIn('the device did not join "%s"' % name, shown)
        self.assertIn(("listen wifi_connect %s %s\r\n" % (name, PASSPHRASE)).encode(), self.device.request_lines())


class FoldersOutsideAscii(RunTest):
    def test_whole_run_with_the_tool_and_the_work_in_such_folders(self):
        program_folder = self.path("régie 家")
        os.mkdir(program_folder)
        tool = shutil.copy(harness.options.tool, program_folder)
        shutil.copy(harness.converter_path(), program_folder)
        self.start_device()
        # From here on the run's files are looked for in the working folder.
        self.work = self.path("été 家")
        os.mkdir(self.work)
        status = self.run_capture(ssid=NAME, passphrase=PASSPHRASE, tool=tool, env=harness.environment_without_converter())
        self.assert_stored_run(status, harness.ONE_SECOND_OF_AUDIO)
        self.assertIn(JOIN_REQUEST, self.device.request_lines())
        self.assertIn("converted record_ch4.pcm to record_ch4.wav", self.stderr_text)


if __name__ == "__main__":
    harness.main()
