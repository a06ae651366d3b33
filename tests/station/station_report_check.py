#!/usr/bin/env python3
"""Reads back the station's reports with independent readers.

Runs the report driver, then reads station.json with Python's json module
and station.xml with xml.etree, both strictly.

usage: station_report_check.py WORK_FOLDER [EMULATOR...] DRIVER
"""
import json
import os
import shutil
import subprocess
import sys
import unittest
import xml.etree.ElementTree as ElementTree

WORK = None
COMMAND = None

# The driver's failure reason and network name; Python's own decoder says
# what each ill-formed part must become. XML has no place for U+0001 or
# U+FFFF, which become U+FFFD there.
REASON = b"no <answer> & \"nothing\" 'said'\x01 \xE9t\xC3\xA9 \xEF\xBF\xBF\nend".decode("utf-8", "replace")
XML_REASON = REASON.replace("\x01", "\ufffd").replace("\uffff", "\ufffd")
NETWORK_NAME = b"Caf\xC3\xA9 <lab> & \xE9".decode("utf-8", "replace")
PORTS = ["/dev/ttyUSB0", "COM3", "\\\\.\\COM10"]


def run_driver():
    """Runs the driver in the work folder; a relative path serves a Windows
    driver under Wine as well."""
    shutil.rmtree(WORK, ignore_errors=True)
    os.makedirs(WORK)
    subprocess.run(COMMAND + ["."], cwd=WORK, check=True, timeout=120)
    return sorted(os.listdir(WORK))


def read_bytes(name):
    with open(os.path.join(WORK, name), "rb") as document:
        return document.read()


class StationReport(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = run_driver()

    def test_only_the_two_documents_are_left(self):
        self.assertEqual(self.files, ["station.json", "station.xml"])

    def test_json_holds_the_station_and_each_device(self):
        # Strict UTF-8 and strict JSON: no NaN, no Infinity.
        station = json.loads(read_bytes("station.json").decode("utf-8"),
                             parse_constant=lambda name: (_ for _ in ()).throw(ValueError(name)))
        self.assertEqual(station["tool_version"], "1.0.0")
        self.assertEqual(station["started_at"], "2024-02-29T23:59:58Z")
        self.assertEqual(station["network_name"], NETWORK_NAME)
        self.assertEqual((station["record_time"], station["record_seconds"]), ("30", 30))
        self.assertEqual((station["exit_status"], station["interrupted"]), (1, False))
        self.assertEqual((station["devices_stored"], station["devices_not_ok"]), (2, 2))
        devices = station["devices"]
        self.assertEqual([device["port"] for device in devices], PORTS)
        self.assertEqual([device["folder"] for device in devices], ["ttyUSB0", "COM3_", "COM10"])
        self.assertEqual([device["device_address"] for device in devices], ["192.168.1.23", "192.168.1.24", None])
        self.assertEqual([device["stored"] for device in devices], [True, True, False])
        self.assertEqual([device["failure_reason"] for device in devices], [None, None, REASON])
        self.assertEqual([device["channels_not_ok"] for device in devices],
                         [None, "ch2 silent, ch3 clipping", None])
        self.assertEqual(devices[1]["verdicts"], ["ok", "silent", "clipping", "ok"])
        self.assertIsNone(devices[2]["verdicts"])
        self.assertEqual([device["bytes_received"] for device in devices], [1280000, 1280000, 0])
        self.assertEqual([device["joined_seconds"] for device in devices], [4.25, 4.25, None])
        self.assertEqual([device["upload_began_seconds"] for device in devices], [35, 35, None])
        self.assertEqual([device["ended_seconds"] for device in devices], [41.5, 42, 20.125])

    def test_junit_has_a_test_case_a_device(self):
        suite = ElementTree.fromstring(read_bytes("station.xml"))
        self.assertEqual(suite.tag, "testsuite")
        self.assertEqual(suite.get("name"), "quorvane-capture station")
        self.assertEqual((suite.get("tests"), suite.get("failures"), suite.get("errors")), ("3", "2", "0"))
        self.assertEqual(suite.get("time"), "42.000")
        self.assertEqual(suite.get("timestamp"), "2024-02-29T23:59:58")
        properties = {item.get("name"): item.get("value") for item in suite.find("properties")}
        self.assertEqual(properties["network_name"], NETWORK_NAME)
        self.assertEqual(properties["started_at"], "2024-02-29T23:59:58Z")
        self.assertEqual(properties["record_time"], "30")
        cases = suite.findall("testcase")
        self.assertEqual([case.get("classname") for case in cases], ["station"] * 3)
        self.assertEqual([case.get("name") for case in cases], PORTS)
        self.assertEqual([case.get("time") for case in cases], ["41.500", "42.000", "20.125"])
        self.assertEqual([case.findtext("system-out") for case in cases],
                         ["folder: ttyUSB0\naddress: 192.168.1.23\n", "folder: COM3_\naddress: 192.168.1.24\n",
                          "folder: COM10\naddress: -\n"])
        failures = [case.find("failure") for case in cases]
        self.assertIsNone(failures[0])
        self.assertEqual((failures[1].get("type"), failures[1].get("message")),
                         ("channels not ok", "ch2 silent, ch3 clipping"))
        self.assertEqual((failures[2].get("type"), failures[2].get("message")),
                         ("not stored", "failed: " + XML_REASON))


def main():
    global WORK, COMMAND
    WORK, COMMAND = sys.argv[1], sys.argv[2:]
    program = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
    return 0 if program.result.wasSuccessful() else 1


if __name__ == "__main__":
    sys.exit(main())
