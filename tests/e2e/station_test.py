"""A station: several devices provisioned and recorded at once by one
process, each device's files in a folder of its own, and station.json and
station.xml for scripts. Every byte each device stored is checked against what
that device sent."""
import json
import os
import subprocess
import xml.etree.ElementTree as ElementTree

import harness
from harness import INTERRUPTED_STATUS, INTERRUPT_LIMIT, BackgroundTool, Devices, WorkFolderTest, run_tool

PASSPHRASE = "station-secret-phrase"
TWO_SECONDS_OF_AUDIO = 2 * 128000


class StationTest(WorkFolderTest):
    def start_devices(self, count, *emulator_options):
        self.devices = Devices(self.work, count, *emulator_options)
        self.addCleanup(self.devices.stop)
        return self.devices

    def station_arguments(self, *options, record_time="2", missing_port=None, ssid="DemoNet"):
        ports = self.devices.port_arguments() + ([missing_port] if missing_port else [])
        return ["--station"] + list(options) + [ssid, PASSPHRASE, record_time] + ports

    def run_station(self, *options, missing_port=None, ssid="DemoNet", timeout=180):
        try:
            status, out, err = run_tool(self.station_arguments(*options, missing_port=missing_port, ssid=ssid),
                                        cwd=self.work, timeout=timeout)
        except subprocess.TimeoutExpired as expired:
            self.fail("the station did not end within %d s; stderr:\n%s\ndevices:\n%s"
                      % (timeout, (expired.stderr or b"").decode(errors="replace"), self.devices.log()))
        self.stdout, self.stderr_text = out, err
        return status

    def run_logs(self):
        """Every device's run.log, for a failure's message."""
        logs = ""
        for folder in sorted(os.listdir(self.work)):
            path = os.path.join(self.work, folder, "run.log")
            if os.path.isfile(path):
                with open(path, encoding="utf-8", errors="replace") as log:
                    logs += "--- %s/run.log\n%s" % (folder, log.read())
        return logs

    def station(self):
        with open(self.path("station.json"), encoding="utf-8") as report:
            return json.load(report)

    def assert_stored(self, device, entry):
        """Device `device` (1-based) stored exactly what it sent, in its own
        folder, with its log of the run."""
        self.assertTrue(entry["stored"], entry)
        with open(self.path(os.path.join(entry["folder"], "record.pcm")), "rb") as stored:
            self.assertEqual(stored.read(), self.devices.sent(device))
        self.assertEqual(len(self.devices.sent(device)), TWO_SECONDS_OF_AUDIO)
        with open(self.path(os.path.join(entry["folder"], "run.log")), encoding="utf-8") as log:
            self.assertIn("SUCCESS: recv audio success", log.read())

    def assert_no_passphrase_anywhere(self):
        self.assertNotIn(PASSPHRASE, self.stderr_text)
        for folder, _, files in os.walk(self.work):
            for name in files:
                if name.endswith((".json", ".xml", ".log", ".svg")):
                    with open(os.path.join(folder, name), encoding="utf-8", errors="replace") as text:
                        self.assertNotIn(PASSPHRASE, text.read(), name)

    def test_four_devices_with_addresses_of_their_own_record_at_once(self):
        self.start_devices(4)
        self.assertEqual(self.run_station(), 0, self.stderr_text + self.devices.log())
        report = self.station()
        self.assertEqual([entry["device_address"] for entry in report["devices"]],
                         ["127.0.0.%d" % (device + 1) for device in range(1, 5)])
        for device, entry in enumerate(report["devices"], start=1):
            with self.subTest(device=device):
                self.assert_stored(device, entry)
        # At once: each upload begins one recording (2 s) after its device
        # joined. Taking turns would hold a device's recording until the
        # device before it had uploaded, more than 4 s after it joined. Counted
        # from each device's own join, since a device whose first heart-beat
        # goes unanswered joins one probe later than the others.
        for entry in report["devices"]:
            self.assertLess(entry["upload_began_seconds"] - entry["joined_seconds"], 4, report)
        suite = ElementTree.parse(self.path("station.xml")).getroot()
        self.assertEqual(len(suite.findall("testcase")), 4)
        self.assertEqual(self.stdout, b"", "a station prints nothing on standard output")
        self.assertIn("station: 4 of 4 recordings stored", self.stderr_text)
        self.assert_no_passphrase_anywhere()

    def test_devices_that_share_one_address_take_turns_and_keep_their_own_uploads(self):
        self.start_devices(4, "--wifi-ip", "127.0.0.1")
        self.assertEqual(self.run_station(), 0, self.stderr_text + self.devices.log())
        report = self.station()
        for device, entry in enumerate(report["devices"], start=1):
            with self.subTest(device=device):
                self.assert_stored(device, entry)
        spans = sorted((entry["upload_began_seconds"], entry["ended_seconds"]) for entry in report["devices"])
        for earlier, later in zip(spans, spans[1:]):
            self.assertLessEqual(earlier[1], later[0], "one upload at a time: %s" % spans)

    def test_a_failed_join_ends_that_device_only(self):
        self.start_devices(3, "--device-option", "2:wifi-fail")
        self.assertEqual(self.run_station(ssid="Demo Net"), 1, self.stderr_text)
        self.assertEqual(self.stderr_text.count("contains a blank"), 1, "what the devices may misread, said once")
        report = self.station()
        failed = report["devices"][1]
        self.assertFalse(failed["stored"])
        self.assertIn("did not join", failed["failure_reason"])
        for device in (1, 3):
            self.assert_stored(device, report["devices"][device - 1])
        failures = ElementTree.parse(self.path("station.xml")).getroot().findall("testcase/failure")
        self.assertEqual(len(failures), 1, "only the failed device fails its case")

    def test_a_device_whose_upload_never_begins_or_that_never_joins_fails_after_the_upload_timeout(self):
        self.start_devices(3, "--device-option", "3:silent-after-wifi")
        missing = str(harness.Emulator.free_com_number()) if harness.under_wine() else self.path("ttyMISSING")
        self.assertEqual(self.run_station("--upload-timeout=3", missing_port=missing), 1, self.stderr_text)
        report = self.station()
        self.assertEqual(report["devices"][2]["failure_reason"],
                         "no upload began within 0:03 after the recording's end")
        self.assertTrue(report["devices"][3]["failure_reason"].startswith(
            "the device did not join the network within 0:05"), report["devices"][3])
        for device in (1, 2):
            self.assert_stored(device, report["devices"][device - 1])

    def test_ctrl_c_during_the_uploads_keeps_what_each_device_sent(self):
        self.start_devices(3, "--upload-rate", "64000", "--pause-at", "64000", "--pause-for", "60")
        tool = BackgroundTool(self.station_arguments(), self.work)
        self.addCleanup(tool.close)
        self.assertTrue(self.devices.wait_for_announcements("sent 64000 bytes", 3, 60),
                        tool.stderr() + self.devices.log() + self.run_logs())
        tool.interrupt()
        self.assertEqual(tool.finish(INTERRUPT_LIMIT), INTERRUPTED_STATUS, tool.stderr())
        report = self.station()
        self.assertTrue(report["interrupted"])
        for device, entry in enumerate(report["devices"], start=1):
            with open(self.path(os.path.join(entry["folder"], "record.pcm")), "rb") as stored:
                self.assertEqual(stored.read(), self.devices.sent(device))
        self.assertTrue(os.path.exists(self.path("station.xml")))


if __name__ == "__main__":
    harness.main()
