"""Faults injected around a whole run: a port that vanishes, a device that
resets after the join, a connection reset, a file-size limit and a working
folder that is removed (line noise has a script of its own).
Each run ends on its own within its time-outs, with the specified console
lines or a clear message and the right exit status, and every byte that
reached the tool is either in record.pcm or reported as not stored."""
import os
import re
import resource
import shutil
import signal

import harness
from harness import (INTERRUPTED_BEFORE_THE_UPLOAD, INTERRUPTED_STATUS, INTERRUPT_LIMIT, RunTest,
                     SPECIFIED_SUCCESS_TAIL, SUCCESS_LINE, WAIT_LINE, under_wine, wait_until)

AUDIO_BEGIN = SPECIFIED_SUCCESS_TAIL[0]


def limited_file_size(limit):
    """For preexec_fn: files the tool writes stop growing at `limit` bytes,
    and a write beyond fails (EFBIG) instead of killing the tool."""
    def apply():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


class FaultTest(RunTest):
    def assert_failed_during_the_upload(self, status):
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, AUDIO_BEGIN])
        self.assertEqual(status, 1, self.stderr_text)


class SerialFaults(FaultTest):
    def test_port_that_vanishes_mid_probe_and_comes_back_is_reopened(self):
        # The first heart-beat makes the pty vanish; it comes back after the
        # tool has given up on the probe and has found the port missing.
        self.start_device("--vanish-after-heartbeats", "0", "--vanish-for", "8", linked=True)
        status = self.run_capture(timeout=90)
        self.assert_stored_run(status, harness.ONE_SECOND_OF_AUDIO)
        self.assert_said_once("serial port %s not found" % harness.serial_port_name(self.device.port_argument()))
        self.assertEqual(self.device.log().count("vanishing"), 1, self.device.log())

    def test_device_reset_after_the_join_is_said_once_then_the_link_and_the_join_come_back(self):
        # The device answers the join, then nothing: it resets, forgetting the
        # upload request that follows, and answers again 12 s later.
        self.start_device("--silent-after-wifi", "--silence-resume", "12")
        tool = self.start_capture()
        self.assertTrue(wait_until(lambda: tool.stdout_lines().count(SUCCESS_LINE) == 2 or not tool.running(), 60),
                        "no second join; stderr:\n%s\ndevice log:\n%s" % (tool.stderr(), self.device.log()))
        # Nothing asks the device for the upload again, so the run would wait
        # for it for ever.
        tool.interrupt()
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), INTERRUPTED_STATUS, self.stderr_text)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + self.expected_opening()[1:] +
                           [SUCCESS_LINE])
        port = harness.serial_port_name(self.device.port_argument())
        self.assert_said_once("the device on serial port %s stopped answering; reopening the port" % port)
        self.assert_said_once("the device was told to upload to 127.0.0.1, TCP port 8888")
        self.assertEqual(self.device.requests().count(b"listen upload_record start"), 1)
        self.assertIn(INTERRUPTED_BEFORE_THE_UPLOAD, self.stderr_text)
        self.assertFalse(os.path.exists(self.path("record.pcm")))


class UploadFaults(FaultTest):
    def test_connection_reset_mid_upload_ends_the_upload_and_keeps_what_arrived(self):
        self.start_device("--reset-at", "50000")
        status = self.run_capture()
        # A device stack may reset instead of closing: the upload ends there.
        self.assert_stored_run(status, 50000)
        if not under_wine():
            # Wine's sockets give the reset that follows the data as an
            # orderly close, so only the bytes can be checked there.
            self.assert_said_once("the upload connection failed after 50000 bytes")

    def test_file_size_limit_keeps_what_could_be_written_and_says_what_was_lost(self):
        self.start_device()
        tool = self.start_capture(preexec_fn=limited_file_size(50000))
        status = self.end_capture(tool, 120)
        self.assert_failed_during_the_upload(status)
        stored = self.read_file("record.pcm")
        self.assertEqual(stored, self.device.sent()[:50000])
        counts = re.search(r"cannot write record\.pcm: .*; it keeps (\d+) of the (\d+) bytes received",
                           self.stderr_text)
        self.assertIsNotNone(counts, self.stderr_text)
        kept, received = int(counts.group(1)), int(counts.group(2))
        self.assertEqual(kept, len(stored))
        self.assertGreaterEqual(received, kept)
        self.assertLessEqual(received, len(self.device.sent()))


class RemovedWorkingFolder(FaultTest):
    """The tool works in a folder of its own inside the test's folder, which
    keeps the emulator's files."""

    def start_in_removable_folder(self, *emulator_options):
        self.start_device(*emulator_options)
        self.folder = self.path("run")
        os.mkdir(self.folder)
        return self.start_capture(cwd=self.folder)

    def test_folder_removed_before_the_upload_refuses_it_and_fails(self):
        tool = self.start_in_removable_folder("--upload-wait", "4")
        self.assert_reaches_stderr(tool, "the device was told to upload to", 60)
        shutil.rmtree(self.folder)
        status = self.end_capture(tool, 60)
        self.assert_failed_during_the_upload(status)
        self.assertIn("cannot create record.pcm", self.stderr_text)
        self.assertIn("the upload was refused and nothing is stored", self.stderr_text)

    def test_folder_removed_during_the_upload_says_the_recording_is_lost(self):
        tool = self.start_in_removable_folder("--pause-at", "40000", "--pause-for", "2")
        self.assertEqual(self.device.wait_for_announcement("sent ", 60), "sent 40000 bytes", self.device.log())
        shutil.rmtree(self.folder)
        status = self.end_capture(tool, 60)
        self.assert_failed_during_the_upload(status)
        self.assertIn("upload ended: received 128000 bytes", self.stderr_text)
        self.assertIn("record.pcm is gone", self.stderr_text)
        self.assertNotIn("record.pcm keeps", self.stderr_text)


if __name__ == "__main__":
    harness.main()
