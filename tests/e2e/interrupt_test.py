"""Ctrl-C once the recording is on its way: during the upload every byte
received so far stays in record.pcm, during the conversion the run ends
(waiting a bounded time for a converter that did not hear the Ctrl-C), and a
second Ctrl-C ends the program at once. Ctrl-C before the upload is tried in diagnostics_test.py and
faults_test.py, at the stages where those runs wait."""
import os
import re
import shutil

import harness
from harness import (CONVERTER_STARTED, INTERRUPTED_STATUS, INTERRUPT_LIMIT, RunTest, SPECIFIED_SUCCESS_TAIL,
                     SUCCESS_LINE, WAIT_LINE, skip_under_wine, under_wine, wait_until)

AUDIO_BEGIN = SPECIFIED_SUCCESS_TAIL[0]
CONVERTER = "Pcm2Wav"


class InterruptedUpload(RunTest):
    def test_ctrl_c_during_the_upload_keeps_every_byte_received_so_far(self):
        self.start_device("--upload-rate", "256000", "--pause-at", "40000", "--pause-for", "60")
        tool = self.start_capture()
        announced = self.device.wait_for_announcement("sent ", 60)
        self.assertEqual(announced, "sent 40000 bytes", self.device.log())
        tool.interrupt()
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), INTERRUPTED_STATUS, self.stderr_text)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, AUDIO_BEGIN])
        self.assertEqual(len(self.device.sent()), 40000)
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())
        self.assertIn("interrupted: record.pcm keeps the 40000 bytes received (0:00.3 of audio)",
                      self.stderr_text)
        self.assertEqual([name for name in os.listdir(self.work) if name.startswith("record_ch")], [],
                         "the split and the conversion are skipped")


class InterruptedConversion(RunTest):
    """A converter that takes half a minute stands in for a slow one, so that
    the interruption surely falls into the conversion."""

    def start_slow_conversion(self, own_process_group=False):
        if harness.options.slow_converter is None:
            self.skipTest("needs --slow-converter")
        # The tool looks for the converter in its working folder first.
        shutil.copy(harness.options.slow_converter, self.path(CONVERTER + (".exe" if under_wine() else "")))
        self.start_device()
        tool = self.start_capture(own_process_group=own_process_group)
        self.assertTrue(wait_until(lambda: os.path.exists(self.path(CONVERTER_STARTED)) or not tool.running(), 60),
                        tool.stderr())
        self.assertTrue(os.path.exists(self.path(CONVERTER_STARTED)), tool.stderr())
        self.assertIn("split 16000 frames", tool.stderr())
        return tool

    def assert_recording_kept(self):
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())
        self.assertEqual(len(self.device.sent()), harness.ONE_SECOND_OF_AUDIO)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, AUDIO_BEGIN])

    @skip_under_wine("a Ctrl-C from a terminal reaches the whole process group, which under Wine may hold "
                     "the prefix's wineserver, and that ends on SIGINT")
    def test_ctrl_c_during_the_conversion_ends_the_run_and_keeps_the_recording(self):
        tool = self.start_slow_conversion(own_process_group=True)
        # As from a terminal: the converter is interrupted too.
        tool.interrupt(whole_group=True)
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), INTERRUPTED_STATUS, self.stderr_text)
        self.assert_recording_kept()
        self.assertIn("interrupted: record.pcm keeps all 128000 bytes received", self.stderr_text)
        self.assertIn("the channel files not converted yet are kept", self.stderr_text)

    def test_second_ctrl_c_ends_the_program_at_once(self):
        # A group of its own lets the clean-up end the converter the tool
        # leaves behind; under Wine that group might hold the wineserver, and
        # the converter ends by itself.
        tool = self.start_slow_conversion(own_process_group=not under_wine())
        # Only the tool hears this one: it waits for the conversion in hand.
        tool.interrupt()
        self.assert_reaches_stderr(tool, "Ctrl-C: ending the run", INTERRUPT_LIMIT)
        self.assertTrue(tool.running(), "the first Ctrl-C ended the run at once")
        tool.interrupt()
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), INTERRUPTED_STATUS, self.stderr_text)
        # Only the end the first Ctrl-C began, after its wait for the
        # converter, says how it ended and writes record.json.
        self.assertNotIn("the converter still running was not waited for", self.stderr_text)
        self.assertFalse(os.path.exists(self.path("record.json")), self.stderr_text)
        self.assert_recording_kept()
        self.assertIsNone(re.search(r"converted record_ch\d\.pcm", self.stderr_text), self.stderr_text)

    def test_ctrl_c_that_the_converter_does_not_hear_ends_the_run_after_a_bounded_wait(self):
        # As from kill or a service manager: only the tool hears it. The
        # recording is whole by then, and the run says so.
        tool = self.start_slow_conversion(own_process_group=not under_wine())
        tool.interrupt()
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT + 10), INTERRUPTED_STATUS, self.stderr_text)
        self.assert_recording_kept()
        self.assert_said_once("interrupted: record.pcm keeps all 128000 bytes received (0:01.0 of audio); the "
                              "converter still running was not waited for")
        self.assertNotIn("may be incomplete", self.stderr_text)
        summary = harness.load_summary(self.path("record.json"))
        self.assertEqual((summary["outcome"], summary["bytes_received"], summary["exit_status"]),
                         ("interrupted", 128000, INTERRUPTED_STATUS))


if __name__ == "__main__":
    harness.main()
