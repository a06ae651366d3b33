"""Faults of real networks during a run, against the device emulator: an
upload that goes dark half-way, a connection reset before the tool accepts
it (and the device's retry, or none), an upload without a byte and its
retry, a device address that cannot be the device's, a late Wi-Fi failure
while the upload is under way, and TCP port 8888 claimed by another copy of
the tool. Each run checks the exit status, the
console lines, the bytes the device sent against record.pcm and the WAV
samples."""
import errno
import os
import re
import socket
import time

import harness
from harness import (RunTest, SPECIFIED_SUCCESS_TAIL, SUCCESS_LINE, WAIT_LINE, channel_samples, load_summary,
                     under_wine, wav_contents)

AUDIO_BEGIN = SPECIFIED_SUCCESS_TAIL[0]
HALF_A_SECOND_OF_AUDIO = 65536
# The tool gives up on a silent upload 30 s after its last byte; the rest is
# room for a slow (sanitizer, Wine) split and conversion.
SILENCE_LIMIT = 30
# After a connection without a byte the device has as long to connect again.
RETRY_LIMIT = SILENCE_LIMIT
SILENT_UPLOAD_ENDS_WITHIN = 45


class GoneDark(RunTest):
    @harness.long_wait
    def test_upload_that_goes_silent_half_way_ends_after_30_s_and_keeps_every_byte(self):
        # The device sends half a second of audio, then neither data nor FIN
        # nor RST, as when it loses its power or its Wi-Fi.
        self.start_device("--hold-at", str(HALF_A_SECOND_OF_AUDIO))
        tool = self.start_capture()
        held = self.device.wait_for_announcement("holding after ", 60)
        self.assertEqual(held, "holding after %d bytes" % HALF_A_SECOND_OF_AUDIO, self.device.log())
        held_at = time.monotonic()
        status = self.end_capture(tool, SILENT_UPLOAD_ENDS_WITHIN + 15)
        ended_after = time.monotonic() - held_at
        self.assertLess(ended_after, SILENT_UPLOAD_ENDS_WITHIN, self.stderr_text)
        self.assertGreater(ended_after, SILENCE_LIMIT - 2, self.stderr_text)
        self.assert_stored_run(status, HALF_A_SECOND_OF_AUDIO)
        silence = re.findall(r"warning: the upload went silent: no data for 0:(\d\d\.\d) after 65536 bytes; taken as "
                             r"the end of the upload", self.stderr_text)
        self.assertEqual(len(silence), 1, self.stderr_text)
        self.assertGreaterEqual(float(silence[0]), SILENCE_LIMIT)
        # Away from a terminal the progress adds a line every 10 s, and says
        # how long the line has been silent instead of a frozen rate.
        self.assertRegex(self.stderr_text, r"received 65536 bytes \(0:00\.5 of audio\); no data for 0:[1-9]\d\r?\n")
        self.assertIn("the host closed the held connection", self.device.log())


def upload_connection():
    """A connection to the upload port, as the device's retry makes it."""
    return socket.create_connection(("127.0.0.1", 8888), timeout=30)


class ResetBeforeAccept(RunTest):
    def test_connection_reset_before_it_is_accepted_is_passed_over_and_the_upload_stored(self):
        # The device connects, sends 64 KB and resets while the tool still
        # waits for the Wi-Fi reply to reach it (the port is listening, but
        # nothing accepts yet); its real upload comes after the request.
        self.start_device("--reset-first", "65536")
        status = self.run_capture()
        self.assert_stored_run(status, harness.ONE_SECOND_OF_AUDIO)
        self.assertIn("reset-first: sent 65536 of 65536 bytes and reset the connection", self.device.log())
        self.assert_said_once("an upload connection failed before it could be accepted")
        self.assertNotIn("accept failed", self.stderr_text)

    @harness.long_wait
    def test_device_that_is_reset_and_never_connects_again_ends_the_run_without_audio(self):
        # Its upload, due only in ten minutes, never comes within the run.
        self.start_device("--reset-first", "65536", "--upload-wait", "600")
        tool = self.start_capture()
        self.assert_reaches_stderr(tool, "an upload connection failed before it could be accepted", 60)
        failed_at = time.monotonic()
        status = self.end_capture(tool, RETRY_LIMIT + 30)
        self.assertGreater(time.monotonic() - failed_at, RETRY_LIMIT - 2, self.stderr_text)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE])
        self.assertEqual(status, 1, self.stderr_text)
        self.assert_said_once("the device sent no audio: its upload connection ended before the first byte and it "
                              "did not connect again within 0:30; nothing was stored")
        self.assertFalse(os.path.exists(self.path("record.pcm")))
        summary = harness.load_summary(self.path("record.json"))
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["bytes_received"],
                          summary["exit_status"]), ("failed", "the device sent no audio", 0, 1))


class EmptyUpload(RunTest):
    def test_retry_after_an_upload_closed_before_its_first_byte_is_the_recording(self):
        # The device connects and closes at once; the test makes its retry.
        self.start_device("--upload-bytes", "0")
        tool = self.start_capture()
        self.assert_reaches_stderr(tool, "the upload connection ended before its first byte; waiting up to 0:30 for "
                                   "the device to connect again", 60)
        retried = bytes(range(256)) * (harness.ONE_SECOND_OF_AUDIO // 256)
        with upload_connection() as retry:
            retry.sendall(retried)
        status = self.end_capture(tool, 60)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, AUDIO_BEGIN] + SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0, self.stderr_text)
        self.assertEqual(self.device.sent(), b"")
        self.assertEqual(self.read_file("record.pcm"), retried)
        self.assertEqual(wav_contents(self.path("record_ch4.wav")), (1, 16000, 2, channel_samples(retried, 4)))
        self.assertNotIn("sent no audio", self.stderr_text)


class UploadShorterThanAFrame(RunTest):
    def test_upload_of_fewer_bytes_than_one_frame_is_no_recording_either(self):
        # Seven bytes hold no sample of channel 4: no audio; record.pcm keeps them.
        self.start_device("--upload-bytes", "7")
        status = self.run_capture()
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, AUDIO_BEGIN])
        self.assertEqual(status, 1, self.stderr_text)
        self.assertEqual((len(self.device.sent()), self.read_file("record.pcm")), (7, self.device.sent()))
        self.assertEqual(sorted(name for name in os.listdir(self.work) if name.startswith("record")),
                         ["record.json", "record.pcm"], "no channel or WAV file is made")
        reason = "no audio: record.pcm holds 7 bytes, less than one 8-byte frame"
        self.assert_said_once("error: %s; no channel or WAV files were made" % reason)
        summary = load_summary(self.path("record.json"))
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"],
                          summary["bytes_received"]), ("failed", reason, 1, 7))


class UnusableDeviceAddress(RunTest):
    def test_address_0_0_0_0_is_taken_as_none_and_the_upload_is_stored(self):
        self.start_device("--wifi-ip", "0.0.0.0")
        status = self.run_capture()
        self.assertEqual(self.stdout_lines[:3], self.expected_opening(), self.stderr_text)
        # The console line shows what the device said; this computer's
        # address then comes from its host name (the emulator uploads to
        # loopback whatever it is told).
        success = re.match(rb"^wifi connect success, ip is 0\.0\.0\.0, local ip is ([\d.]*)\n$", self.stdout_lines[3])
        self.assertIsNotNone(success, self.stdout_lines)
        self.assertEqual(self.stdout_lines[4:], [WAIT_LINE] + SPECIFIED_SUCCESS_TAIL, self.stderr_text)
        self.assertEqual(status, 0, self.stderr_text)
        self.assertIn(b"listen upload_record start -h " + success.group(1) + b" -c 5 -t 1\r\n",
                      self.device.request_lines())
        recording = self.read_file("record.pcm")
        self.assertEqual(len(recording), harness.ONE_SECOND_OF_AUDIO)
        self.assertEqual(recording, self.device.sent())
        self.assertEqual(wav_contents(self.path("record_ch1.wav")), (1, 16000, 2, channel_samples(recording, 1)))
        self.assert_said_once('the device reported the address "0.0.0.0", which is no address a device can have')
        self.assertNotIn("refused an upload connection", self.stderr_text)


class LateWifiFailure(RunTest):
    def test_failed_join_after_a_reconnection_does_not_cut_the_upload(self):
        # The device falls silent after the upload request, so the tool
        # reconnects and asks it to join again; it answers that join as failed
        # and starts its upload (four seconds long) 0.4 s after the reply,
        # while the tool still reads the reply (a burst ends after a second of
        # quiet), so the reply reaches the tool once the upload is under way.
        self.start_device("--silent-after-upload-request", "--silence-resume", "12", "--rejoin-fail",
                          "--upload-on-rejoin", "--upload-rate", "32000")
        status = self.run_capture(timeout=120)
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + self.expected_opening()[1:] +
                           SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0, self.stderr_text)
        self.assertIn("answering this later join as failed", self.device.log())
        self.assert_said_once("the device reported a failed Wi-Fi join after its upload had begun")
        recording = self.read_file("record.pcm")
        self.assertEqual(len(recording), harness.ONE_SECOND_OF_AUDIO)
        self.assertEqual(recording, self.device.sent())
        self.assertEqual(wav_contents(self.path("record_ch4.wav")), (1, 16000, 2, channel_samples(recording, 4)))


class UploadPortTaken(RunTest):
    def test_second_copy_ends_before_touching_its_device_and_the_first_stores_its_own_upload(self):
        self.start_device("--upload-wait", "4")
        first = self.start_capture()
        self.assert_reaches_stdout(first, WAIT_LINE, 60)

        second_work = self.path("second")
        os.mkdir(second_work)
        second_device = harness.Emulator(second_work)
        self.addCleanup(second_device.stop)
        status, out, err = harness.run_tool(["net", "pass", second_device.port_argument(), "1"], cwd=second_work)
        # Windows reports an address held with SO_EXCLUSIVEADDRUSE as an
        # access refusal (WSAEACCES).
        code = 10013 if under_wine() else errno.EADDRINUSE
        self.assertEqual(out, b"Failed to bind socket%d\n" % code, err)
        self.assertEqual(status, 1, err)
        self.assertEqual(err.count("TCP port 8888 is in use by another program (perhaps another copy of this "
                                   "tool"), 1, err)
        self.assertEqual(second_device.requests(), b"", "the second copy wrote to its device")

        self.assert_stored_run(self.end_capture(first, 60), harness.ONE_SECOND_OF_AUDIO)


if __name__ == "__main__":
    harness.main()
