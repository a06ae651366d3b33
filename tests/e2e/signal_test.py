"""SIGTERM and SIGHUP end a run as Ctrl-C does: what has arrived is kept and
said so, and the exit status is 128 plus the signal (143, 129), as shells
report a program that the signal ended. A signal the tool was started with
ignored (nohup) stays ignored. Under Wine a POSIX signal ends the Windows
program without telling it, so these run natively; Ctrl-C, which Wine turns
into the console's event, is tried in interrupt_test.py."""
import signal

import harness
from harness import INTERRUPTED_BEFORE_THE_UPLOAD, INTERRUPT_LIMIT, RunTest, SPECIFIED_SUCCESS_TAIL, SUCCESS_LINE, \
    WAIT_LINE, skip_under_wine, wait_until

STATUSES = {signal.SIGTERM: 143, signal.SIGHUP: 129}
SAID = {signal.SIGTERM: "SIGTERM", signal.SIGHUP: "SIGHUP (hang-up)"}
WINE_REASON = "Wine ends a Windows program on a POSIX signal without a console event"


class SignalWhileWaitingForThePort(RunTest):
    @skip_under_wine(WINE_REASON)
    def test_sigterm_and_sighup_end_the_wait_with_their_status(self):
        for signal_number, status in STATUSES.items():
            with self.subTest(signal=signal_number.name):
                tool = self.start_capture(port=self.path("ttyMISSING"))
                self.assert_reaches_stderr(tool, "not found", 30)
                tool.process.send_signal(signal_number)
                self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), status, self.stderr_text)
                self.assertIn("%s: ending the run\n" % SAID[signal_number], self.stderr_text)
                self.assertIn(INTERRUPTED_BEFORE_THE_UPLOAD, self.stderr_text)

    @skip_under_wine(WINE_REASON)
    def test_hang_up_ignored_at_the_start_stays_ignored(self):
        tool = self.start_capture(port=self.path("ttyMISSING"),
                                  preexec_fn=lambda: signal.signal(signal.SIGHUP, signal.SIG_IGN))
        self.assert_reaches_stderr(tool, "not found", 30)
        tool.process.send_signal(signal.SIGHUP)
        self.assertFalse(wait_until(lambda: not tool.running(), 2), "SIGHUP ended a tool started under nohup")
        tool.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), 143, self.stderr_text)


class SignalDuringTheUpload(RunTest):
    @skip_under_wine(WINE_REASON)
    def test_sigterm_keeps_every_byte_received_so_far(self):
        self.start_device("--upload-rate", "256000", "--pause-at", "40000", "--pause-for", "60")
        tool = self.start_capture()
        self.assertEqual(self.device.wait_for_announcement("sent ", 60), "sent 40000 bytes", self.device.log())
        tool.process.send_signal(signal.SIGTERM)
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), 143, self.stderr_text)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, SPECIFIED_SUCCESS_TAIL[0]])
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())
        self.assertEqual(len(self.device.sent()), 40000)
        self.assertIn("SIGTERM: ending the run, keeping what has arrived\n", self.stderr_text)
        self.assertIn("record.pcm keeps the 40000 bytes received", self.stderr_text)


if __name__ == "__main__":
    harness.main()
