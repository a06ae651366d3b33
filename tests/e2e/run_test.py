"""Whole runs against the device emulator: the console lines, the exit
status, the serial lines the device received, record.pcm and the WAV files."""
import os
import re
import socket

import harness
from harness import RunTest, SPECIFIED_SUCCESS_TAIL, channel_samples, wav_contents

SUCCESS_LINE = b"wifi connect success, ip is 127.0.0.1, local ip is 127.0.0.1\n"
WAIT_LINE = b"wait for socket connect....\n"


class SuccessfulRuns(RunTest):
    def assert_recording_stored(self, converted_channels):
        recording = self.read_file("record.pcm")
        self.assertEqual(recording, self.device.sent())
        for channel in (1, 2, 3, 4):
            self.assertFalse(os.path.exists(self.path("record_ch%d.pcm" % channel)))
            wav = self.path("record_ch%d.wav" % channel)
            if channel not in converted_channels:
                self.assertFalse(os.path.exists(wav), wav)
                continue
            self.assertEqual(wav_contents(wav), (1, 16000, 2, channel_samples(recording, channel)))

    def assert_only_requests(self, expected_once):
        lines = self.device.request_lines()
        for line in lines:
            self.assertIn(line, [b"listen heart_beat\r\n"] + expected_once)
        for line in expected_once:
            self.assertEqual(lines.count(line), 1, line)
        self.assertEqual(lines[0], b"listen heart_beat\r\n")

    def test_recording_is_stored_and_channels_1_2_4_converted(self):
        self.start_device()
        status = self.run_capture(record_time="1")
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0)
        self.assert_only_requests([b"listen wifi_connect net pass\r\n",
                                   b"listen upload_record start -h 127.0.0.1 -c 5 -t 1\r\n"])
        self.assertEqual(len(self.device.sent()), 128000)
        self.assert_recording_stored(converted_channels=(1, 2, 4))

    def test_switch_1_converts_channel_3_too(self):
        self.start_device()
        status = self.run_capture(record_time="1", extra=["1"])
        self.assertEqual(status, 0, self.stderr_text)
        self.assert_recording_stored(converted_channels=(1, 2, 3, 4))

    def test_blanks_in_name_and_pass_phrase_are_sent_verbatim(self):
        self.start_device()
        status = self.run_capture(ssid="My Home Net", passphrase=" pass  with blanks ", record_time="1")
        self.assertEqual(status, 0, self.stderr_text)
        self.assert_only_requests([b"listen wifi_connect My Home Net  pass  with blanks \r\n",
                                   b"listen upload_record start -h 127.0.0.1 -c 5 -t 1\r\n"])

    def test_split_frames_amid_console_text_and_noise_are_recognised(self):
        # No gap: the noise's NUL bytes come in the same reads as the frame.
        self.start_device("--split", "26", "--split-pause", "300", "--console-text",
                          "--noise", "3000", "--noise-for", "wifi_connect", "--noise-gap", "0")
        status = self.run_capture(record_time="1")
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0)
        self.assert_recording_stored(converted_channels=(1, 2, 4))

    def test_a_second_join_after_reconnection_starts_no_second_server(self):
        # The device falls silent right after the upload request, the link is
        # lost and comes back, and the join is repeated before the upload.
        self.start_device("--silent-after-upload-request", "--silence-resume", "13", "--upload-wait", "22")
        status = self.run_capture(record_time="1", timeout=150)
        reconnection = self.expected_opening()[1:] + [SUCCESS_LINE]
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + reconnection +
                           SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0)
        upload_requests = [line for line in self.device.request_lines() if b"upload_record" in line]
        self.assertEqual(len(upload_requests), 1)
        self.assert_recording_stored(converted_channels=(1, 2, 4))


class FailedJoins(RunTest):
    def assert_failed_join(self, failure_line):
        self.assert_output(self.expected_opening() + [failure_line])
        self.assertFalse(os.path.exists(self.path("record.pcm")))
        self.assertNotIn(b"upload_record", self.device.requests())

    def test_failure_reply_ends_the_run_with_status_1(self):
        self.start_device("--wifi-fail")
        status = self.run_capture()
        self.assert_failed_join(b"wifi connect failed!\n")
        self.assertEqual(status, 1)
        self.assertIn('{"result":0}', self.stderr_text)

    def test_reply_that_is_not_json_is_a_failure(self):
        self.start_device("--wifi-reply", "OK joined")
        self.assertEqual(self.run_capture(), 1)
        self.assert_failed_join(b"wifi connect failed!\n")

    def test_failure_reply_never_shows_the_pass_phrase(self):
        self.start_device("--wifi-reply", '{"result":0,"echo":"net hunter2"}')
        self.assertEqual(self.run_capture(passphrase="hunter2"), 1)
        self.assertNotIn("hunter2", self.stderr_text)

    def test_no_reply_times_out_with_status_1(self):
        self.start_device("--wifi-no-reply")
        status = self.run_capture()
        self.assert_failed_join(b"wifi connect failed, timeout!\n")
        self.assertEqual(status, 1)


class ServerThatCannotStart(RunTest):
    def test_port_8888_in_use_prints_the_bind_error_and_ends_with_status_1(self):
        blocker = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.addCleanup(blocker.close)
        # Reusable, so the last test's connection in TIME_WAIT does not stop it.
        blocker.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        blocker.bind(("0.0.0.0", 8888))
        blocker.listen(1)
        self.start_device("--connect-retry", "1")
        status = self.run_capture()
        # The port is claimed before the serial port is opened: the device is
        # never asked to join, let alone to record.
        self.assertEqual(len(self.stdout_lines), 1, self.stdout_lines)
        self.assertRegex(self.stdout_lines[0], re.compile(rb"^Failed to bind socket\d+\n$"))
        self.assertEqual(status, 1)
        self.assertEqual(self.device.requests(), b"")


if __name__ == "__main__":
    harness.main()
