"""Only the provisioned device may upload: a stranger on the network (here
127.0.0.2) that connects to the upload port first is refused when the device
reported its address in its Wi-Fi reply. Without that address the first
connection is served, whoever made it; so it is when the reported address is
on no network of this computer, where the device's connections come through
a router from another address."""
import re
import socket
import struct

import harness
from harness import RunTest, SPECIFIED_SUCCESS_TAIL, SUCCESS_LINE, WAIT_LINE

STRANGER_BYTES = 4096
BEHIND_A_ROUTER = "203.0.113.10"


def on_attached_network(address):
    """Whether one of this computer's networks (a route without a gateway in
    Linux's routing table, which Wine shares) holds `address`."""
    wanted = struct.unpack("<I", socket.inet_aton(address))[0]
    with open("/proc/net/route") as table:
        for row in list(table)[1:]:
            fields = row.split()
            destination, gateway, mask = (int(fields[index], 16) for index in (1, 2, 7))
            if mask and not gateway and wanted & mask == destination:
                return True
    return False


def stranger_upload(size):
    """What the emulator's stranger sends."""
    return (b"not the device! " * (size // 16 + 1))[:size]


class StrangerOnTheNetwork(RunTest):
    def test_stranger_is_refused_and_the_device_upload_is_stored(self):
        self.start_device("--stranger-from", "127.0.0.2", "--stranger-bytes", str(STRANGER_BYTES))
        status = self.run_capture()
        self.assert_output(self.expected_opening() + [SUCCESS_LINE, WAIT_LINE] + SPECIFIED_SUCCESS_TAIL)
        self.assertEqual(status, 0, self.stderr_text)
        self.assertIn("stranger: connected from 127.0.0.2", self.device.log())
        self.assert_said_once("refused an upload connection from 127.0.0.2: only the device at 127.0.0.1 may upload")
        self.assertEqual(len(self.device.sent()), 128000)
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())

    def test_without_the_device_address_the_first_connection_is_served(self):
        # The reply reports a join but no address, so nothing tells the
        # stranger from the device: the stranger's bytes are stored and the
        # device, which comes second, finds the upload port closed.
        self.start_device("--wifi-reply", '{"result":1}', "--stranger-from", "127.0.0.2",
                          "--stranger-bytes", str(STRANGER_BYTES), "--connect-retry", "2")
        status = self.run_capture()
        self.assertEqual(status, 0, self.stderr_text)
        self.assertEqual(self.stdout_lines[:3], self.expected_opening())
        # This computer's address then comes from its host name, which may
        # resolve to none (the emulator uploads to 127.0.0.1 all the same).
        local = re.match(r"^wifi connect success, ip is , local ip is ([\d.]*)\n$", self.stdout_lines[3].decode())
        self.assertIsNotNone(local, self.stdout_lines[3])
        if not local.group(1):
            self.assert_said_once("this computer's IPv4 address is unknown")
        self.assertEqual(self.stdout_lines[4:], [WAIT_LINE] + SPECIFIED_SUCCESS_TAIL)
        self.assertNotIn("refused an upload connection", self.stderr_text)
        self.assertEqual(self.read_file("record.pcm"), stranger_upload(STRANGER_BYTES))
        self.assertIn("upload: nothing listens on 127.0.0.1:8888", self.device.log())

    def test_behind_a_router_the_upload_from_another_address_is_taken_and_said(self):
        # An address kept for documentation, on no network of this computer;
        # the device's upload arrives from 127.0.0.1, as through a router's
        # address translation.
        if on_attached_network(BEHIND_A_ROUTER):
            self.skipTest("this computer is attached to the network of " + BEHIND_A_ROUTER)
        self.start_device("--wifi-ip", BEHIND_A_ROUTER)
        status = self.run_capture()
        self.assertEqual(status, 0, self.stderr_text)
        self.assertEqual(self.stdout_lines[:3], self.expected_opening())
        self.assertRegex(self.stdout_lines[3].decode(),
                         r"^wifi connect success, ip is %s, local ip is [\d.]*\n$" % re.escape(BEHIND_A_ROUTER))
        self.assertEqual(self.stdout_lines[4:], [WAIT_LINE] + SPECIFIED_SUCCESS_TAIL, self.stderr_text)
        self.assert_said_once("the upload connection came from 127.0.0.1, not from the device's address %s; it is "
                              "taken as the device's" % BEHIND_A_ROUTER)
        self.assertNotIn("refused an upload connection", self.stderr_text)
        self.assertEqual(len(self.device.sent()), 128000)
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())


if __name__ == "__main__":
    harness.main()
