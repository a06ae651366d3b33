"""What the tool says on standard error when the serial link cannot come up,
as a user meets it: the port is missing, busy, or open with a silent device.
Each diagnostic comes once when its situation begins, not on every retry, and
standard output keeps exactly the run's own console lines. These runs would
wait for ever; Ctrl-C ends them, which tries it at those stages too. (The lost
link is tried with a device that resets, in faults_test.py.)"""
import os

import harness
from harness import (INTERRUPTED_BEFORE_THE_UPLOAD, INTERRUPTED_STATUS, INTERRUPT_LIMIT, RunTest, hold_port,
                     skip_under_wine, under_wine, wait_until)



class PortThatCannotBeOpened(RunTest):
    def assert_interrupted_before_the_upload(self, tool, stdout):
        tool.interrupt()
        self.assertEqual(self.end_capture(tool, INTERRUPT_LIMIT), INTERRUPTED_STATUS, self.stderr_text)
        self.assertEqual(self.stdout_lines, stdout, self.stderr_text)
        self.assertIn(INTERRUPTED_BEFORE_THE_UPLOAD, self.stderr_text)
        self.assertFalse(os.path.exists(self.path("record.pcm")))

    def test_missing_port_is_named_once_and_ctrl_c_ends_the_wait(self):
        if under_wine():
            port = str(harness.Emulator.free_com_number())
            label = "COM" + port
        else:
            port = label = self.path("ttyMISSING")
        tool = self.start_capture(port=port)
        said = "serial port %s not found" % harness.serial_port_name(port)
        self.assert_reaches_stderr(tool, said, 30)
        # Ten more opening attempts at least, every one of them failing.
        wait_until(lambda: not tool.running(), 2.5)
        self.assert_interrupted_before_the_upload(tool, [b"connecting to " + label.encode() + b"\n"])
        self.assert_said_once(said)
        self.assertIn("still trying", self.stderr_text)

    @skip_under_wine("Wine opens a COM port however often it is asked: another program holding the pty "
                     "(or another copy of the tool) does not make it busy for a Windows program there")
    def test_busy_port_is_said_once_and_the_port_is_used_once_it_is_free(self):
        # The device never answers the Wi-Fi request: the run stops there, so
        # this test needs no upload port.
        self.start_device("--wifi-no-reply")
        held = hold_port(self.device.device_path)
        tool = self.start_capture()
        said = "serial port %s is in use by another program" % self.device.device_path
        self.assert_reaches_stderr(tool, said, 30)
        wait_until(lambda: not tool.running(), 2.5)
        os.close(held)
        self.assert_reaches_stdout(tool, b"wifi connecting\n", 30)
        self.assert_interrupted_before_the_upload(tool, self.expected_opening())
        self.assert_said_once(said)

    def test_silent_device_is_said_once_and_ctrl_c_ends_the_probing(self):
        self.start_device("--silent-after-heartbeats", "0")
        tool = self.start_capture()
        said = "serial port %s is open but the device does not answer" % harness.serial_port_name(
            self.device.port_argument())
        self.assert_reaches_stderr(tool, said, 30)
        # The third probe comes after the second has gone unanswered as well.
        self.assertTrue(wait_until(lambda: self.device.requests().count(b"listen heart_beat\r\n") >= 3, 40),
                        self.device.log())
        self.assert_interrupted_before_the_upload(tool, [self.expected_opening()[0]])
        self.assert_said_once(said)


if __name__ == "__main__":
    harness.main()
