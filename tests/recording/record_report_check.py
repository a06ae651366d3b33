#!/usr/bin/env python3
"""Reads back the recording check's files with independent readers.

Runs the report driver for a stored recording, a failed conversion and an
interrupted upload, then reads record.json with Python's json module and
record.svg with xml.etree; renders the picture with rsvg-convert and looks
at its pixels (the PNG is decoded here with zlib alone).

usage: record_report_check.py WORK_FOLDER [EMULATOR...] DRIVER
"""
import json
import math
import os
import shutil
import struct
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zlib

WORK = None
COMMAND = None

SVG = "{http://www.w3.org/2000/svg}"
TOP_FIELDS = ["tool_version", "command", "started_at", "ended_at", "port", "network_name", "device_address",
              "host_address", "record_time", "record_seconds", "recording", "bytes_received", "frames",
              "trailing_bytes", "audio_seconds", "channels", "outcome", "failure_reason", "exit_status"]
CHANNEL_FIELDS = ["channel", "file", "verdict", "same_as_channel", "db_from_median", "levels"]
LEVEL_FIELDS = ["duration_seconds", "peak_dbfs", "rms_dbfs", "dc_offset_percent", "clipped_samples"]
# The driver's network name; Python's own decoder says what each ill-formed
# part of it must become.
NETWORK_NAME = (b"Caf\xC3\xA9 \"Mic\" back\\slash\ttab\nline \xF0\x9F\x8E\xA4 \xE9nd \xC0\xAF \xED\xA0\x80 "
                b"\xF4\x90\x80\x80 \xE2\x82").decode("utf-8", "replace")
# The envelope's blue; the lane's background, frame and zero line are grey,
# white or red, and the labels lie outside the lane.
INK = (0x1f, 0x5f, 0xa8)


def run_driver(scenario):
    """Runs the driver in a folder of the scenario's own; a relative path
    serves a Windows driver under Wine as well."""
    folder = os.path.join(WORK, scenario)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run(COMMAND + [scenario, "."], cwd=folder, check=True, timeout=120)
    return folder


def load_summary(folder):
    with open(os.path.join(folder, "record.json"), "rb") as document:
        # Strict UTF-8 and strict JSON: no NaN, no Infinity.
        return json.loads(document.read().decode("utf-8"),
                          parse_constant=lambda name: (_ for _ in ()).throw(ValueError(name)))


def read_png(path):
    """(width, height, rows of (r, g, b, a) tuples) of an 8-bit RGB or RGBA
    PNG (rsvg-convert leaves out the alpha of an opaque picture)."""
    with open(path, "rb") as png:
        data = png.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    position, idat = 8, b""
    while position < len(data):
        length, kind = struct.unpack(">I4s", data[position:position + 8])
        body = data[position + 8:position + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), "expected 8-bit RGB(A), got depth %d colour %d" % (depth, colour)
            channels = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        position += 12 + length
    raw = zlib.decompress(idat)
    stride = channels * width
    rows, previous = [], bytearray(stride)
    for y in range(height):
        start = y * (stride + 1)
        row = unfilter(raw[start], bytearray(raw[start + 1:start + 1 + stride]), previous, channels)
        rows.append([tuple(row[x:x + 3]) + ((row[x + 3],) if channels == 4 else (255,)) for x in range(0, stride, channels)])
        previous = row
    return width, height, rows


def paeth(left, up, up_left):
    estimate = left + up - up_left
    distances = [abs(estimate - left), abs(estimate - up), abs(estimate - up_left)]
    return (left, up, up_left)[distances.index(min(distances))]


def unfilter(kind, row, previous, pixel_bytes):
    for x in range(len(row)):
        left = row[x - pixel_bytes] if x >= pixel_bytes else 0
        up_left = previous[x - pixel_bytes] if x >= pixel_bytes else 0
        predictor = [0, left, previous[x], (left + previous[x]) // 2, paeth(left, previous[x], up_left)][kind]
        row[x] = (row[x] + predictor) & 0xFF
    return row


def is_ink(pixel):
    red, green, blue, alpha = pixel
    return alpha > 128 and blue > red + 60 and blue > green + 30


class StoredRecording(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = run_driver("stored")
        cls.summary = load_summary(cls.folder)

    def test_fields_are_the_documented_ones_in_order(self):
        self.assertEqual(list(self.summary), TOP_FIELDS)
        for channel in self.summary["channels"]:
            self.assertEqual(list(channel), CHANNEL_FIELDS)
            self.assertEqual(list(channel["levels"]), LEVEL_FIELDS)

    def test_run_facts(self):
        summary = self.summary
        self.assertEqual((summary["tool_version"], summary["command"]), ("1.0.0", "run"))
        self.assertEqual(summary["started_at"], "2024-02-29T23:59:58Z")
        self.assertEqual(summary["ended_at"], "2024-03-01T00:00:00Z")
        self.assertEqual(summary["port"], "/dev/ttyUSB0")
        self.assertEqual(summary["network_name"], NETWORK_NAME)
        self.assertEqual((summary["device_address"], summary["host_address"]), ("127.0.0.5", "127.0.0.1"))
        self.assertEqual((summary["record_time"], summary["record_seconds"]), ("2", 2))
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("stored", None, 0))

    def test_upload_facts(self):
        summary = self.summary
        self.assertEqual(summary["recording"], "record.pcm")
        self.assertEqual(summary["bytes_received"], 8 * 32000 + 3)
        self.assertEqual(summary["frames"], 32000)
        self.assertEqual(summary["trailing_bytes"], 3)
        self.assertEqual(summary["audio_seconds"], 2.0)

    def test_channel_levels_and_verdicts(self):
        tone_peak = round(20 * math.log10(8000 / 32768), 2)
        tone_rms = round(20 * math.log10(8000 / math.sqrt(2) / 32768), 2)
        # A sine driven to twice full scale sits at full scale a third of
        # the time: 2 * 440 flat tops a second, each of about 12 samples.
        clipped_tone = 32000 * 2 // 3
        expected = [
            (1, "record_ch1.wav", "ok", None, tone_peak, tone_rms, 0),
            (2, "record_ch2.wav", "silent", None, None, None, 0),
            (3, None, "clipping", None, 0, -1.07, clipped_tone),
            (4, "record_ch4.wav", "same_as_channel", 1, tone_peak, tone_rms, 0),
        ]
        for channel, (number, file, verdict, same_as, peak, rms, clipped) in zip(self.summary["channels"],
                                                                                 expected):
            with self.subTest(channel=number):
                levels = channel["levels"]
                self.assertEqual((channel["channel"], channel["file"], channel["verdict"]), (number, file, verdict))
                self.assertEqual(channel["same_as_channel"], same_as)
                self.assertIsNone(channel["db_from_median"])
                self.assertEqual(levels["duration_seconds"], 2.0)
                self.assertEqual(levels["peak_dbfs"], peak)
                if rms is None:
                    self.assertIsNone(levels["rms_dbfs"])
                else:
                    self.assertAlmostEqual(levels["rms_dbfs"], rms, delta=0.1)
                self.assertAlmostEqual(levels["clipped_samples"], clipped, delta=clipped * 0.02)
                self.assertAlmostEqual(levels["dc_offset_percent"], 0, delta=0.01)

    def test_picture_is_svg_with_four_lanes_and_marked_verdicts(self):
        root = ElementTree.parse(os.path.join(self.folder, "record.svg")).getroot()
        self.assertEqual(root.tag, SVG + "svg")
        lanes = [g for g in root.iter(SVG + "g") if g.get("class") == "lane"]
        self.assertEqual([lane.get("id") for lane in lanes], ["lane-1", "lane-2", "lane-3", "lane-4"])
        self.assertEqual([lane.get("data-verdict") for lane in lanes],
                         ["ok", "silent", "clipping", "same_as_channel"])
        frames = [lane.find(SVG + "rect").get("stroke") for lane in lanes]
        self.assertEqual(frames[0], "#b0b0b0")
        self.assertTrue(all(frame == "#c62828" for frame in frames[1:]), frames)
        labels = [text.text for text in root.iter(SVG + "text")]
        for label in ("0:00.0", "0:01.0", "0:02.0", "same as channel 1", "not converted", "-inf", "0 dBFS", "-40", "-60"):
            self.assertIn(label, labels)
        # What tells two runs apart, and where the clipping channel clipped.
        facts = next(text.text for text in root.iter(SVG + "text") if text.get("class") == "run-facts")
        for fact in ("quorvane-capture 1.0.0", "2024-02-29T23:59:58Z", "port /dev/ttyUSB0", "network Caf\u00e9"):
            self.assertIn(fact, facts)
        marked = [lane.get("id") for lane in lanes
                  if any(path.get("class") == "clipping" for path in lane.iter(SVG + "path"))]
        self.assertEqual(marked, ["lane-3"])

    def test_rendered_picture_has_ink_in_the_tone_lane_and_none_in_the_silent_lane(self):
        assert_lanes_inked(self, self.folder, (True, False, True, True))


def assert_lanes_inked(test, folder, inked):
    """Renders record.svg with rsvg-convert: the lanes marked True have the
    envelope's ink in nearly every pixel column, the others none."""
    svg = os.path.join(folder, "record.svg")
    png = os.path.join(folder, "record.png")
    subprocess.run(["rsvg-convert", "--format", "png", "--output", png, svg], check=True, timeout=60)
    width, height, rows = read_png(png)
    root = ElementTree.parse(svg).getroot()
    test.assertEqual((width, height), (int(root.get("width")), int(root.get("height"))))

    def ink_columns(lane):
        rect = root.find(".//%sg[@id='lane-%d']/%srect" % (SVG, lane, SVG))
        left, top = int(float(rect.get("x"))) + 3, int(float(rect.get("y"))) + 3
        right, bottom = left + int(float(rect.get("width"))) - 6, top + int(float(rect.get("height"))) - 6
        return sum(any(is_ink(rows[y][x]) for y in range(top, bottom)) for x in range(left, right)), right - left

    for lane, expected in enumerate(inked, start=1):
        with test.subTest(lane=lane):
            columns, all_columns = ink_columns(lane)
            if expected:
                test.assertGreater(columns, 0.95 * all_columns)
            else:
                test.assertEqual(columns, 0)


class QuietRoom(unittest.TestCase):
    def test_quiet_microphones_show_their_signal_and_the_silent_one_none(self):
        assert_lanes_inked(self, run_driver("quiet"), (True, False, True, True))


class NothingArrived(unittest.TestCase):
    def test_every_lane_says_no_audio(self):
        root = ElementTree.parse(os.path.join(run_driver("empty"), "record.svg")).getroot()
        lanes = [g for g in root.iter(SVG + "g") if g.get("class") == "lane"]
        for lane in lanes:
            self.assertEqual([text.text for text in lane.iter(SVG + "text")].count("no audio"), 2, lane.get("id"))


class FailedConversion(unittest.TestCase):
    def test_failed_channel_has_no_file_and_the_run_its_reason(self):
        summary = load_summary(run_driver("conversion-failed"))
        self.assertEqual([channel["file"] for channel in summary["channels"]],
                         ["record_ch1.wav", None, None, "record_ch4.wav"])
        self.assertEqual(summary["channels"][1]["verdict"], "silent")
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("failed", "the converter made no record_ch2.wav", 1))


class ConvertedLater(unittest.TestCase):
    """A --convert knows no port, network or record time; it names the file
    it converted, in the summary and in the picture's heading. JSON carries
    every character of the name; XML 1.0 has no C0 control but tab, LF and
    CR and no U+FFFE or U+FFFF, so the picture shows U+FFFD for each."""

    def test_run_facts_are_null_and_the_recording_is_named(self):
        folder = run_driver("converted")
        summary = load_summary(folder)
        self.assertEqual(list(summary), TOP_FIELDS)
        self.assertEqual(summary["command"], "convert")
        for field in ("port", "network_name", "device_address", "host_address", "record_time", "record_seconds"):
            self.assertIsNone(summary[field], field)
        self.assertEqual(summary["recording"], "takes/Caf\u00e9 \ufffd\x01\x1b\x7f\ufffe\uffff\t.pcm")
        self.assertEqual(summary["channels"][0]["verdict"], "ok")
        root = ElementTree.parse(os.path.join(folder, "record.svg")).getroot()
        heading = next(root.iter(SVG + "text")).text
        self.assertEqual(heading, "takes/Caf\u00e9 \ufffd\ufffd\ufffd\x7f\ufffd\ufffd\t.pcm: four channels at 16 kHz")


class InterruptedUpload(unittest.TestCase):
    def test_what_was_known_when_the_upload_was_interrupted(self):
        folder = run_driver("interrupted")
        summary = load_summary(folder)
        self.assertEqual(list(summary), TOP_FIELDS)
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("interrupted", None, 130))
        self.assertEqual((summary["bytes_received"], summary["frames"], summary["trailing_bytes"]),
                         (64005, 8000, 5))
        self.assertEqual((summary["audio_seconds"], summary["record_seconds"]), (0.5, 30))
        self.assertIsNone(summary["device_address"])
        for channel in summary["channels"]:
            self.assertEqual((channel["file"], channel["verdict"], channel["levels"]), (None, None, None))
        self.assertFalse(os.path.exists(os.path.join(folder, "record.svg")))


def main():
    global WORK, COMMAND
    WORK, COMMAND = sys.argv[1], sys.argv[2:]
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
