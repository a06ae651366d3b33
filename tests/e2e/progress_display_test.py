"""What the run shows on standard error while it waits for the upload and
while it receives it: the countdown of the recording and the upload's
progress, line by line in a log, and in place on a terminal, where no line may
be wider than the terminal (a wider one wraps, and every redraw leaves a stale
row behind)."""
import fcntl
import os
import pty
import re
import struct
import subprocess
import termios

import harness
from harness import ANSI_SEQUENCE, CURSOR_FORWARD, RunTest, TerminalSession

# 3 s of audio, sent at the speed it was recorded.
THREE_SECONDS = 3 * harness.ONE_SECOND_OF_AUDIO
# What the countdown and the progress show, however narrowed.
PROGRESS_TEXT = re.compile(r"recording|waiting|received|upload ended|bytes|\d:\d\d of \d|\d%|left")
# A text of the upload's progress; narrowed, it may keep only the share and
# the time left.
UPLOAD_TEXT = re.compile(r"bytes|\d%|left")


class SizedTerminalSession(TerminalSession):
    """A TerminalSession whose terminal is `columns` wide before the tool
    starts, so that not even its first line meets another width."""

    def __init__(self, command, cwd, columns):
        self.master, slave = pty.openpty()
        fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        self.process = subprocess.Popen(command, cwd=cwd, stdin=slave, stdout=slave, stderr=slave,
                                        start_new_session=True)
        os.close(slave)
        self.output = b""


def screen_rows(output, columns):
    """The rows a terminal `columns` wide holds after `output`, as xterm
    wraps: a character that finds the cursor past the last column goes to the
    start of the next row. Trailing blanks are dropped."""
    rows = [[]]
    row = column = 0
    for character in output:
        if character == "\r":
            column = 0
        elif character == "\n":
            row, column = row + 1, 0
        else:
            if column == columns:
                row, column = row + 1, 0
            rows += [[] for _ in range(row + 1 - len(rows))]
            line = rows[row]
            line += [" "] * (column + 1 - len(line))
            line[column] = character
            column += 1
    return ["".join(line).rstrip() for line in rows]


def plain_text(output):
    """The output without escape sequences; Wine's console moves the cursor
    forward over blanks, which become blanks again."""
    blanks = CURSOR_FORWARD.sub(lambda forward: b" " * int(forward.group(1) or 1), output)
    return ANSI_SEQUENCE.sub(b"", blanks).decode(errors="replace")


def progress_texts(output):
    """Every text of the countdown or of the upload's progress, in the order
    shown: each begins a row or follows a carriage return. The blanks that
    wipe the rest of a longer text before it are left off."""
    texts = []
    for line in plain_text(output).split("\n"):
        texts += [text.rstrip(" ") for text in line.split("\r") if PROGRESS_TEXT.search(text)]
    return texts


class ProgressInALog(RunTest):
    def test_the_countdown_adds_a_line_every_10_seconds_until_the_upload_comes(self):
        self.start_device("--upload-wait", "11")
        status = self.run_capture(record_time="13")
        self.assertEqual(status, 0, self.stderr_text)
        self.assertRegex(self.stderr_text, r"(^|\n)recording: 0:10 of 0:13\r?\n")
        self.assertNotIn("recording: 0:00", self.stderr_text)
        self.assertNotIn("recording ended", self.stderr_text)
        self.assertIn("upload ended: received 1664000 bytes (0:13.0 of audio) at ", self.stderr_text)
        self.assertNotIn("\r", self.stderr_text.replace("\r\n", "\n"))

    def test_after_the_record_time_it_says_that_it_waits_for_the_upload(self):
        self.start_device("--upload-wait", "3", "--upload-bytes", str(harness.ONE_SECOND_OF_AUDIO))
        status = self.run_capture(record_time="1")
        self.assertEqual(status, 0, self.stderr_text)
        self.assertRegex(self.stderr_text, r"(^|\n)recording ended; waiting for the upload\r?\n")

    def test_a_record_time_that_is_no_number_has_no_countdown(self):
        self.start_device("--upload-wait", "1", "--upload-bytes", str(harness.ONE_SECOND_OF_AUDIO))
        status = self.run_capture(record_time="1s")
        self.assertEqual(status, 0, self.stderr_text)
        self.assertNotIn("recording", self.stderr_text)


class ProgressOnATerminal(RunTest):
    """Under Wine the tool writes to Wine's console, which is as wide as the
    pty and draws on it what its screen shows: the texts the tool fitted can
    be read there, but the rows it leaves are Wine's."""

    def run_on_terminal(self, columns):
        """The record time of 3 s counted down, then 3 s of upload; what the
        terminal got, and the countdown's and the progress's texts."""
        self.start_device("--upload-wait", "2.5", "--upload-bytes", str(THREE_SECONDS),
                          "--upload-rate", str(harness.ONE_SECOND_OF_AUDIO))
        command = harness.tool_command("net", "passphrase", self.device.port_argument(), "3")
        session = SizedTerminalSession(command, self.work, columns)
        self.addCleanup(session.__exit__)
        self.assertEqual(session.finish(60), 0, session.text())
        texts = progress_texts(session.output)
        self.assertGreaterEqual(len([text for text in texts if "of 0:03" in text]), 2, texts)
        self.assertGreaterEqual(len([text for text in texts if UPLOAD_TEXT.search(text)]), 8, texts)
        self.assertEqual([text for text in texts if len(text) >= columns], [], texts)
        return session.output, texts

    def test_at_50_columns_a_3_second_upload_leaves_only_its_final_line(self):
        output, texts = self.run_on_terminal(50)
        self.assertRegex(texts[-1], r"^upload ended: received 384000 bytes in \d+:\d\d\.\d$")
        if harness.under_wine():
            return  # the rows are Wine's (see the class)
        rows = screen_rows(output.decode(errors="replace"), 50)
        progress = [row for row in rows if PROGRESS_TEXT.search(row)]
        self.assertEqual(progress, [texts[-1]], "\n".join(rows))

    def test_at_20_columns_no_progress_text_wraps(self):
        output, texts = self.run_on_terminal(20)
        self.assertEqual(texts[-1], "384000 bytes")
        if harness.under_wine():
            return  # the rows are Wine's (see the class)
        rows = screen_rows(output.decode(errors="replace"), 20)
        progress = [row for row in rows if PROGRESS_TEXT.search(row)]
        self.assertEqual(progress, ["384000 bytes"], "\n".join(rows))

    def test_a_held_terminal_holds_neither_the_wait_nor_the_upload(self):
        # Ctrl-S stops a terminal's output (a selection does so in a Windows
        # console with QuickEdit on): whatever the tool writes then waits.
        # The upload is larger than what the system's socket buffers hold, so
        # the device finishes only when the tool keeps reading it meanwhile.
        size = 24 * 1024 * 1024
        self.start_device("--upload-wait", "2", "--upload-bytes", str(size))
        command = harness.tool_command("net", "passphrase", self.device.port_argument(), "2")
        session = SizedTerminalSession(command, self.work, 80)
        self.addCleanup(session.__exit__)
        self.assertTrue(session.wait_for("wait for socket connect....", 60), session.text())
        session.type(b"\x13")
        self.assertTrue(harness.wait_until(lambda: "upload: ended" in self.device.log(), 60),
                        "the upload stalled while the terminal was held; device log:\n" + self.device.log())
        session.type(b"\x11")
        self.assertEqual(session.finish(120), 0, session.text())
        self.assertEqual(os.path.getsize(self.path("record.pcm")), size)
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())
        self.assertIn("SUCCESS: recv audio success", session.text())


if __name__ == "__main__":
    harness.main()
