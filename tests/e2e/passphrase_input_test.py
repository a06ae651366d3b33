"""PASSPHRASE given as "-": the pass phrase is read from standard input, so
that it stays off the command line (and out of the process list). A pipe
gives one line, its line end (LF or CR LF) and a UTF-8 byte-order mark before
it removed; a terminal gets a prompt on standard error and no echo of what is
typed. Either way the device receives the bytes typed, and the pass phrase
goes through the checks of one typed on the command line. An empty line and
UTF-16 input are refused."""
import os
import signal
import termios

import harness
from harness import RunTest, TerminalSession, skip_under_wine

PASSPHRASE = "päss wörd 家😀"
STATUS_MINUS_ONE = 255


def join_request(name, passphrase):
    return ("listen wifi_connect %s %s\r\n" % (name, passphrase)).encode()


class PassPhraseFromAPipe(RunTest):
    def test_one_line_reaches_the_device_without_its_line_end(self):
        self.start_device("--wifi-fail")
        # The last as an editor on Windows saves it: a byte-order mark first.
        pipes = ((PASSPHRASE + "\n").encode(), (PASSPHRASE + "\r\n").encode(), PASSPHRASE.encode(),
                 (PASSPHRASE + "\nsecond line\n").encode(), b"\xef\xbb\xbf" + (PASSPHRASE + "\r\n").encode())
        for runs, piped in enumerate(pipes, start=1):
            with self.subTest(piped=piped):
                status = self.run_capture(passphrase="-", stdin_bytes=piped)
                self.assertEqual(status, 1, self.stderr_text)
                # One more join request with exactly the pass phrase each run.
                self.assertEqual(self.device.request_lines().count(join_request("net", PASSPHRASE)), runs,
                                 self.device.requests())
                self.assertNotIn("pass phrase for", self.stderr_text, "no prompt without a terminal")

    def test_piped_pass_phrase_goes_through_the_same_checks(self):
        self.start_device("--wifi-fail")
        self.assertEqual(self.run_capture(passphrase="-", stdin_bytes=b"short\n"), 1, self.stderr_text)
        self.assertIn("warning: the pass phrase has 5 bytes", self.stderr_text)
        status = self.run_capture(passphrase="-", stdin_bytes=b"pass\rlisten heart_beat\n")
        self.assertEqual(status, STATUS_MINUS_ONE, self.stderr_text)
        self.assertIn("the Wi-Fi pass phrase contains a line break", self.stderr_text)
        self.assertNotIn(b"listen heart_beat", self.device.requests().replace(b"listen heart_beat\r\n", b""))

    def test_input_without_a_pass_phrase_is_refused_before_the_device_is_touched(self):
        # A network without a pass phrase takes "" on the command line.
        self.start_device("--wifi-fail")
        utf16 = 'standard input is UTF-16 (a file saved as "Unicode", or written by Windows PowerShell\'s >); ' \
                'save the pass phrase as UTF-8 instead'
        empty = "the pass phrase read from standard input is empty; give it on the first line"
        cases = ((b"", "standard input ended before a pass phrase came"),
                 (b"\n", empty),
                 (b"\xef\xbb\xbf\r\n", empty),
                 ((PASSPHRASE + "\r\n").encode("utf-16"), utf16),
                 ((PASSPHRASE + "\r\n").encode("utf-16-be"), utf16),
                 (b"\xfe\xff" + (PASSPHRASE + "\r\n").encode("utf-16-be"), utf16))
        for piped, said in cases:
            with self.subTest(piped=piped):
                status = self.run_capture(passphrase="-", stdin_bytes=piped)
                self.assertEqual(status, STATUS_MINUS_ONE, self.stderr_text)
                self.assertIn('PASSPHRASE is "-", but ' + said, self.stderr_text)
                self.assertNotIn("line break", self.stderr_text)
                self.assertEqual(self.device.requests(), b"")


class PassPhraseTypedOnATerminal(RunTest):
    def start_on_terminal(self, *emulator_options):
        self.start_device(*emulator_options)
        command = harness.tool_command("Café 家", "-", self.device.port_argument(), "1")
        session = TerminalSession(command, cwd=self.work)
        self.addCleanup(session.__exit__)
        self.assertTrue(session.wait_for('Wi-Fi pass phrase for "Café 家": ', 30), session.text())
        return session

    def test_prompt_then_nothing_of_the_pass_phrase_is_echoed(self):
        session = self.start_on_terminal("--wifi-fail")
        # A terminal ends the line with CR; it reads as LF.
        session.type(PASSPHRASE.encode() + b"\r")
        self.assertEqual(session.finish(60), 1, session.text())
        self.assertIn("wifi connect failed!", session.text())
        for part in PASSPHRASE.split():
            self.assertNotIn(part, session.text())
        self.assertIn(join_request("Café 家", PASSPHRASE), self.device.request_lines())

    @skip_under_wine("a POSIX signal ends a Windows program under Wine without a console event")
    def test_a_signal_at_the_prompt_leaves_the_terminal_echoing(self):
        session = self.start_on_terminal()
        session.process.send_signal(signal.SIGTERM)
        self.assertEqual(session.finish(30), -signal.SIGTERM)
        # On Linux the master side reads the terminal's settings.
        self.assertTrue(termios.tcgetattr(session.master)[3] & termios.ECHO, "echo is still off")
        self.assertEqual(self.device.requests(), b"")


if __name__ == "__main__":
    harness.main()
