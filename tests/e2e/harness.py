"""Shared helpers for the process-level tests of quorvane-capture.

Each test script takes the same options before the unittest ones:
  --tool PATH          the quorvane-capture executable under test
  --wine-prefix DIR    run it (a Windows .exe) under Wine in this prefix
  --bin-dir DIR        folder of the native helper programs (emulator, converter)
"""
import argparse
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPTS_DIR = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")

options = argparse.Namespace(tool=None, wine_prefix=None, bin_dir=None)


def main():
    parser = argparse.ArgumentParser(add_help=False)
    parser.add_argument("--tool", required=True)
    parser.add_argument("--wine-prefix")
    parser.add_argument("--bin-dir")
    parsed, rest = parser.parse_known_args()
    vars(options).update(vars(parsed))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


def under_wine():
    return options.wine_prefix is not None


def tool_command(*arguments):
    launcher = [os.path.join(SCRIPTS_DIR, "wine-run.sh"), options.wine_prefix] if under_wine() else []
    return launcher + [options.tool] + list(arguments)


def console_bytes(raw):
    """Standard output with the line ends the program wrote: the Windows
    runtime's text mode turns each \\n into \\r\\n on the way out."""
    return raw.replace(b"\r\n", b"\n") if under_wine() else raw


def run_tool(arguments, cwd, timeout=60):
    """Runs the tool to completion; returns (status, stdout bytes, stderr text)."""
    completed = subprocess.run(tool_command(*arguments), cwd=cwd, capture_output=True, timeout=timeout)
    return completed.returncode, console_bytes(completed.stdout), completed.stderr.decode(errors="replace")


class WorkFolderTest(unittest.TestCase):
    """A test with a fresh, empty working folder for the tool."""

    def setUp(self):
        self._folder = tempfile.TemporaryDirectory(prefix="quorvane-e2e-")
        self.work = self._folder.name

    def tearDown(self):
        self._folder.cleanup()

    def path(self, name):
        return os.path.join(self.work, name)
