"""The recording check as a user meets it after a run: the level table on
standard error, record.json beside the recording whenever the device was
asked to upload (however the run ended), and record.svg whenever the split
ran. The emulator's test signal has a channel of each kind the check flags:
a tone, silence, a tone clipped at full scale and a copy of channel 1."""
import array
import math
import os
import re
import xml.etree.ElementTree as ElementTree

import harness
from harness import (CHANNEL_FIELDS, INTERRUPTED_STATUS, INTERRUPT_LIMIT, SPECIFIED_SUCCESS_TAIL, SUCCESS_LINE,
                     SUMMARY_FIELDS, TIMESTAMP, WAIT_LINE, RunTest, channel_samples, level_table, load_summary,
                     use_converter)

AUDIO_BEGIN = SPECIFIED_SUCCESS_TAIL[0]
PASSPHRASE = "hunter2-secret"
SVG = "{http://www.w3.org/2000/svg}"
TEST_SIGNAL_VERDICTS = ["ok", "silent", "clipping", "same_as_channel"]
TEST_SIGNAL_SHOWN = ["ok", "silent", "clipping", "same as channel 1"]
CONVERT_HINT = "to convert what was received, run: quorvane-capture --convert record.pcm"


def measured(recording, channel):
    """Peak and RMS in dBFS (None for silence) and the clipped samples of a
    channel, worked out here from the recording's bytes."""
    samples = array.array("h")
    samples.frombytes(channel_samples(recording, channel))
    peak = max(abs(sample) for sample in samples)
    rms = math.sqrt(sum(sample * sample for sample in samples) / len(samples))
    dbfs = (lambda level: 20 * math.log10(level / 32768) if level > 0 else None)
    clipped = sum(1 for sample in samples if sample in (-32768, 32767))
    return dbfs(peak), dbfs(rms), clipped


def table_cells(row):
    """channel, file, verdict of a row of the level table."""
    match = re.match(r"^(\d) +(record_ch\d\.wav|not converted) +.*  (\S.*)$", row)
    return match.groups() if match else (None, None, row)


class ReportTest(RunTest):
    def summary(self):
        return load_summary(self.path("record.json"))

    def assert_summary_shape(self, summary):
        self.assertEqual(list(summary), SUMMARY_FIELDS)
        for channel in summary["channels"]:
            self.assertEqual(list(channel), CHANNEL_FIELDS)
        self.assertRegex(summary["started_at"], TIMESTAMP)
        self.assertRegex(summary["ended_at"], TIMESTAMP)
        self.assertLessEqual(summary["started_at"], summary["ended_at"])
        self.assertNotIn(PASSPHRASE.encode(), self.read_file("record.json"))

    def assert_run_facts(self, summary, record_time):
        self.assertRegex(summary["tool_version"], r"^\d+\.\d+\.\d+$")
        self.assertEqual((summary["command"], summary["port"], summary["network_name"]),
                         ("run", self.device.port_label(), "net"))
        self.assertEqual((summary["device_address"], summary["host_address"]), ("127.0.0.1", "127.0.0.1"))
        self.assertEqual((summary["record_time"], summary["record_seconds"]), (record_time, float(record_time)))
        self.assertEqual(summary["recording"], "record.pcm")

    def assert_upload_facts(self, summary, sent):
        self.assertEqual(summary["bytes_received"], len(sent))
        self.assertEqual((summary["frames"], summary["trailing_bytes"]), (len(sent) // 8, len(sent) % 8))
        self.assertEqual(summary["audio_seconds"], len(sent) // 8 / 16000)

    def assert_levels_of_the_recording(self, summary):
        recording = self.read_file("record.pcm")
        for channel in summary["channels"]:
            with self.subTest(channel=channel["channel"]):
                levels = channel["levels"]
                peak, rms, clipped = measured(recording, channel["channel"])
                for reported, expected in ((levels["peak_dbfs"], peak), (levels["rms_dbfs"], rms)):
                    if expected is None:
                        self.assertIsNone(reported)
                    else:
                        self.assertAlmostEqual(reported, expected, delta=0.006)
                self.assertEqual(levels["clipped_samples"], clipped)
                self.assertEqual(levels["duration_seconds"], len(recording) // 8 / 16000)

    def assert_picture(self, verdicts):
        root = ElementTree.parse(self.path("record.svg")).getroot()
        self.assertEqual(root.tag, SVG + "svg")
        lanes = [g for g in root.iter(SVG + "g") if g.get("class") == "lane"]
        self.assertEqual([lane.get("id") for lane in lanes], ["lane-1", "lane-2", "lane-3", "lane-4"])
        self.assertEqual([lane.get("data-verdict") for lane in lanes], verdicts)

    def run_interrupted(self, *emulator_options, at_stderr=None, at_announcement=None):
        self.start_device(*emulator_options)
        tool = self.start_capture()
        if at_announcement:
            self.assertEqual(self.device.wait_for_announcement("sent ", 60), at_announcement, self.device.log())
        else:
            self.assert_reaches_stderr(tool, at_stderr, 60)
        tool.interrupt()
        status = self.end_capture(tool, INTERRUPT_LIMIT)
        self.assertEqual(status, INTERRUPTED_STATUS, self.stderr_text)
        return self.summary()


class StoredRun(ReportTest):
    def test_the_report_flags_each_faulty_channel_and_the_files_hold_it_too(self):
        self.start_device("--upload-signal", "test")
        status = self.run_capture(passphrase=PASSPHRASE, record_time="2", extra=["1"])
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0, "a verdict other than ok is only a warning")

        table = level_table(self.stderr_text)
        self.assertIsNotNone(table, self.stderr_text)
        self.assertEqual(table[0], "audio: 0:02.0 of the 0:02 asked for")
        self.assertEqual([table_cells(row) for row in table[2:]],
                         [(str(n), "record_ch%d.wav" % n, shown) for n, shown in zip((1, 2, 3, 4), TEST_SIGNAL_SHOWN)])
        self.assertIn("warning: 3 of 4 channels are not ok", self.stderr_text)
        self.assertNotIn("--convert", self.stderr_text)

        summary = self.summary()
        self.assert_summary_shape(summary)
        self.assert_run_facts(summary, "2")
        self.assert_upload_facts(summary, self.device.sent())
        self.assertEqual(len(self.device.sent()), 2 * harness.ONE_SECOND_OF_AUDIO)
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]), ("stored", None, 0))
        channels = summary["channels"]
        self.assertEqual([c["file"] for c in channels], ["record_ch%d.wav" % n for n in (1, 2, 3, 4)])
        self.assertEqual([c["verdict"] for c in channels], TEST_SIGNAL_VERDICTS)
        self.assertEqual([c["same_as_channel"] for c in channels], [None, None, None, 1])
        self.assert_levels_of_the_recording(summary)
        self.assert_picture(TEST_SIGNAL_VERDICTS)

    def test_a_recording_cut_short_is_flagged_and_its_partial_frame_left_out(self):
        # One second and five bytes of the three asked for.
        self.start_device("--upload-signal", "test", "--upload-bytes", str(harness.ONE_SECOND_OF_AUDIO + 5))
        status = self.run_capture(record_time="3")
        self.assertEqual(status, 0, self.stderr_text)
        table = level_table(self.stderr_text)
        self.assertIsNotNone(table, self.stderr_text)
        self.assertTrue(table[0].startswith("audio: 0:01.0 of the 0:03 asked for, 0:02.0 short"), table[0])
        summary = self.summary()
        self.assert_upload_facts(summary, self.device.sent())
        self.assertEqual((summary["frames"], summary["trailing_bytes"], summary["record_seconds"]), (16000, 5, 3))
        # The five bytes would be a sample of channels 1 and 2 and half of 3.
        self.assert_levels_of_the_recording(summary)


class FailedConversion(ReportTest):
    def test_a_failing_converter_leaves_the_table_the_summary_and_the_picture(self):
        use_converter(self.work, harness.options.failing_converter)
        self.start_device("--upload-signal", "test")
        status = self.run_capture(record_time="1")
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE, AUDIO_BEGIN])
        self.assertEqual(status, 1, self.stderr_text)

        table = level_table(self.stderr_text)
        self.assertIsNotNone(table, self.stderr_text)
        self.assertEqual([table_cells(row) for row in table[2:]],
                         [(str(n), "not converted", shown) for n, shown in zip((1, 2, 3, 4), TEST_SIGNAL_SHOWN)])
        self.assertIn(CONVERT_HINT + "\n", self.stderr_text.replace("\r\n", "\n"))

        summary = self.summary()
        self.assert_summary_shape(summary)
        self.assert_run_facts(summary, "1")
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("failed", "the converter failed on record_ch1.pcm", 1))
        self.assertEqual([c["file"] for c in summary["channels"]], [None] * 4)
        self.assertEqual([c["verdict"] for c in summary["channels"]], TEST_SIGNAL_VERDICTS)
        self.assert_levels_of_the_recording(summary)
        self.assert_picture(TEST_SIGNAL_VERDICTS)


class InterruptedRun(ReportTest):
    def test_ctrl_c_during_the_upload_keeps_what_was_known(self):
        summary = self.run_interrupted("--upload-signal", "test", "--upload-rate", "256000", "--pause-at", "40000",
                                       "--pause-for", "60", at_announcement="sent 40000 bytes")
        self.assert_summary_shape(summary)
        self.assert_run_facts(summary, "1")
        self.assert_upload_facts(summary, self.device.sent())
        self.assertEqual(summary["bytes_received"], 40000)
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("interrupted", None, INTERRUPTED_STATUS))
        for channel in summary["channels"]:
            self.assertEqual((channel["file"], channel["verdict"], channel["levels"]), (None, None, None))
        self.assertIsNone(level_table(self.stderr_text), "the split was skipped: nothing was measured")
        self.assertFalse(os.path.exists(self.path("record.svg")))
        self.assertIn(CONVERT_HINT, self.stderr_text)

    def test_ctrl_c_while_the_device_records_leaves_a_summary_without_audio(self):
        summary = self.run_interrupted("--upload-wait", "60", at_stderr="the device was told to upload to")
        self.assert_summary_shape(summary)
        self.assert_run_facts(summary, "1")
        self.assertEqual((summary["bytes_received"], summary["frames"], summary["audio_seconds"]), (0, 0, 0))
        self.assertEqual((summary["outcome"], summary["exit_status"]), ("interrupted", INTERRUPTED_STATUS))
        self.assertNotIn("--convert", self.stderr_text, "there is nothing to convert")

    def test_a_run_that_never_asked_for_the_upload_leaves_no_summary(self):
        self.start_device("--wifi-fail")
        self.assertEqual(self.run_capture(), 1)
        self.assertFalse(os.path.exists(self.path("record.json")))
        self.assertFalse(os.path.exists(self.path("record.svg")))


if __name__ == "__main__":
    harness.main()
