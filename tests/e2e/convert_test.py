"""quorvane-capture --convert [FILE] [1]: a recording kept from an earlier
run is split, converted and reported as a run does after its upload, into
the working folder, without the network report, the serial port or the
network."""
import json
import math
import os
import re
import struct
import subprocess
import threading

import harness
from harness import (CONVERTER_STARTED, INTERRUPTED_STATUS, INTERRUPT_LIMIT, SUMMARY_FIELDS, BackgroundTool, RunTest,
                     WorkFolderTest, channel_samples, level_table, load_summary, run_tool, skip_under_wine,
                     tool_command, under_wine, use_converter, wait_until, wav_contents)

STATUS_MINUS_ONE = 255
AGAIN_HINT = "to convert it again, run: quorvane-capture --convert "


def recording(frames, trailing=b""):
    """A tone on channel 1, silence on 2, the tone overdriven on 3 and at an
    eighth of its level (18 dB down) on 4: 1 and 4 are the channels ok on
    their own, 9 dB above and below their median."""
    samples = bytearray()
    for frame in range(frames):
        tone = round(8000 * math.sin(2 * math.pi * 440 * frame / 16000))
        samples += struct.pack("<4h", tone, 0, max(-32768, min(32767, 8 * tone)), tone // 8)
    return bytes(samples) + trailing


def wav_names(folder):
    return sorted(name for name in os.listdir(folder) if name.endswith(".wav"))


def feed(sink, content):
    """Writes `content` into a pipe or a FIFO from a thread, as `cat x > fifo`
    does; the list it returns gets True once every byte was taken."""
    written = []

    def write():
        with open(sink, "wb") as pipe:
            written.append(pipe.write(content) == len(content))
    threading.Thread(target=write, daemon=True).start()
    return written


class SameAsTheRun(RunTest):
    def test_convert_makes_the_same_files_and_report_as_the_run_that_kept_the_recording(self):
        self.start_device("--upload-signal", "test")
        self.assertEqual(self.run_capture(record_time="2", extra=["1"]), 0, self.stderr_text)
        made = {name: self.read_file(name) for name in wav_names(self.work)}
        self.assertEqual(sorted(made), ["record_ch%d.wav" % n for n in (1, 2, 3, 4)])
        run_table = level_table(self.stderr_text)
        run_summary = load_summary(self.path("record.json"))
        for name in list(made) + ["record.json", "record.svg"]:
            os.remove(self.path(name))

        # A lone 1 is the switch: record.pcm with channel 3.
        status, out, err = run_tool(["--convert", "1"], cwd=self.work)
        self.assertEqual(status, 0, err)
        self.assertEqual(out, b"", "standard output carries only a run's own lines")
        self.assertEqual({name: self.read_file(name) for name in wav_names(self.work)}, made)
        table = level_table(err)
        self.assertEqual(table[0], "audio: 0:02.0", "--convert knows no record time")
        self.assertEqual(table[1:], run_table[1:])
        summary = load_summary(self.path("record.json"))
        self.assertEqual(list(summary), SUMMARY_FIELDS)
        self.assertEqual(summary["channels"], run_summary["channels"])
        for field in ("recording", "bytes_received", "frames", "trailing_bytes", "audio_seconds", "outcome",
                      "exit_status"):
            self.assertEqual(summary[field], run_summary[field], field)
        self.assertEqual(summary["command"], "convert")
        for field in ("port", "network_name", "device_address", "host_address", "record_time", "record_seconds"):
            self.assertIsNone(summary[field], field)
        self.assertTrue(os.path.isfile(self.path("record.svg")))
        self.assertEqual(self.read_file("record.pcm"), self.device.sent())

        # Beside the run's own record.json the conversion keeps what the run
        # knew about the device, the network and the record time.
        with open(self.path("record.json"), "w", encoding="utf-8") as kept:
            json.dump(run_summary, kept)
        status, _, err = run_tool(["--convert", "record.pcm", "1"], cwd=self.work)
        self.assertEqual(status, 0, err)
        self.assertEqual(level_table(err)[0], "audio: 0:02.0 of the 0:02 asked for")
        summary = load_summary(self.path("record.json"))
        self.assertEqual(summary["command"], "convert")
        for field in ("port", "network_name", "device_address", "host_address", "record_time", "record_seconds",
                      "channels"):
            self.assertEqual(summary[field], run_summary[field], field)


class ConvertCommand(WorkFolderTest):
    def write(self, relative, content):
        path = self.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as file:
            file.write(content)

    def read(self, relative):
        with open(self.path(relative), "rb") as file:
            return file.read()

    def test_a_recording_anywhere_goes_to_wav_files_in_the_working_folder(self):
        # A relative path, which a Windows program under Wine reads as well,
        # through a folder whose name is not ASCII.
        take = recording(16000, trailing=b"\x7f\x7f\x7f")
        self.write(os.path.join("takes été 家", "take 1.pcm"), take)
        os.mkdir(self.path("out"))
        given = "../takes été 家/take 1.pcm"
        status, out, err = run_tool(["--convert", given], cwd=self.path("out"))
        self.assertEqual(status, 0, err)
        self.assertEqual(wav_names(self.path("out")), ["record_ch1.wav", "record_ch2.wav", "record_ch4.wav"])
        for channel in (1, 2, 4):
            self.assertEqual(wav_contents(self.path("out/record_ch%d.wav" % channel)),
                             (1, 16000, 2, channel_samples(take, channel)))
        self.assertEqual(sorted(os.listdir(self.path("out"))),
                         ["record.json", "record.svg", "record_ch1.wav", "record_ch2.wav", "record_ch4.wav"],
                         "no network report, no channel PCM files left")
        self.assertEqual(os.listdir(self.path("takes été 家")), ["take 1.pcm"])
        summary = load_summary(self.path("out/record.json"))
        self.assertEqual((summary["recording"], summary["bytes_received"], summary["trailing_bytes"]),
                         (given, len(take), 3))
        self.assertEqual([channel["verdict"] for channel in summary["channels"]],
                         ["loud", "silent", "clipping", "weak"])
        self.assertEqual([channel["file"] for channel in summary["channels"]],
                         ["record_ch1.wav", "record_ch2.wav", None, "record_ch4.wav"])
        self.assertIn("take 1.pcm ends with 3 bytes outside any whole 8-byte frame", err)

    def test_bad_command_lines_are_refused_before_anything_is_written(self):
        os.mkdir(self.path("folder.pcm"))
        self.write("a.pcm", recording(100))
        cases = [
            (["--convert", "a.pcm", "b"],
             '--convert "a.pcm" takes only 1 after it (to convert channel 3 as well), not "b"'),
            (["--convert", "a.pcm", "1", "x"], "--convert takes at most a FILE and the switch 1"),
            (["--convert", "--fast"], "unknown option --fast after --convert"),
            (["--convert"], "cannot read record.pcm: "),
            (["--convert", "missing.pcm", "1"], "cannot read missing.pcm: "),
            (["--convert", "folder.pcm"], "cannot convert folder.pcm: it is a folder, not a recording"),
        ]
        for arguments, said in cases:
            with self.subTest(arguments=arguments):
                status, out, err = run_tool(arguments, cwd=self.work)
                self.assertEqual(status, STATUS_MINUS_ONE, err)
                self.assertEqual(out, b"")
                self.assertIn("quorvane-capture: " + said, err)
                self.assertEqual(sorted(os.listdir(self.work)), ["a.pcm", "folder.pcm"])

    def test_convert_among_the_arguments_of_a_run_is_misplaced(self):
        status, out, err = run_tool(["net", "pass", "3", "30", "--convert"], cwd=self.work)
        self.assertEqual(status, STATUS_MINUS_ONE, err)
        self.assertIn("--convert comes first: quorvane-capture --convert [FILE] [1]", err)

    def test_help_and_usage_name_the_command(self):
        status, out, _ = run_tool(["--help"], cwd=self.work)
        self.assertEqual(status, 0)
        for said in (b"quorvane-capture --convert [FILE] [1]", b"record.json", b"record.svg"):
            self.assertIn(said, out)
        _, _, err = run_tool(["--convert", "x", "y"], cwd=self.work)
        self.assertIn("usage: quorvane-capture SSID PASSPHRASE PORT RECORD_TIME [1]\n"
                      "       quorvane-capture --station [--ch3] SSID PASSPHRASE RECORD_TIME PORT [PORT ...]\n"
                      "       quorvane-capture --convert [FILE] [1]", err.replace("\r\n", "\n"))

    def test_a_failed_conversion_keeps_the_channel_files_and_says_how_to_try_again(self):
        self.write("record.pcm", recording(800))
        use_converter(self.work, harness.options.failing_converter)
        status, out, err = run_tool(["--convert"], cwd=self.work)
        self.assertEqual(status, 1, err)
        self.assertIn(AGAIN_HINT + "record.pcm", err)
        self.assertEqual([row.split()[1:3] for row in level_table(err)[2:]], [["not", "converted"]] * 4)
        for channel in (1, 2, 4):
            self.assertTrue(os.path.isfile(self.path("record_ch%d.pcm" % channel)), channel)
        summary = load_summary(self.path("record.json"))
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("failed", "the converter failed on record_ch1.pcm", 1))
        self.assertTrue(os.path.isfile(self.path("record.svg")))

    def test_the_files_the_conversion_writes_are_refused_under_any_name(self):
        for name in ("record_ch2.pcm", "record_ch3.wav", "record.json", "elsewhere/take.pcm"):
            self.write(name, recording(100))
        os.link(self.path("record_ch2.pcm"), self.path("hard.pcm"))
        os.symlink("record_ch3.wav", self.path("link.pcm"))
        os.symlink(os.path.join("elsewhere", "take.pcm"), self.path("record_ch4.pcm"))
        cases = [("record_ch2.pcm", "record_ch2.pcm"), (self.path("record_ch2.pcm"), "record_ch2.pcm"),
                 ("hard.pcm", "record_ch2.pcm"), ("link.pcm", "record_ch3.wav"),
                 ("elsewhere/take.pcm", "record_ch4.pcm"), ("./record.json", "record.json")]
        if not under_wine():
            os.mkfifo(self.path("record_ch1.pcm"))  # equivalent() does not compare FIFOs
        cases.append(("RECORD_CH2.PCM", "record_ch2.pcm") if under_wine() else ("./record_ch1.pcm", "record_ch1.pcm"))
        names = sorted(os.listdir(self.work))
        for given, written in cases:
            with self.subTest(given=given):
                status, out, err = run_tool(["--convert", given], cwd=self.work)
                self.assertEqual((status, out), (STATUS_MINUS_ONE, b""), err)
                self.assertIn("cannot convert %s: it is the working folder's %s, which the conversion writes over; "
                              "nothing was written" % (given, written), err)
                self.assertEqual(sorted(os.listdir(self.work)), names)
                for name in ("record_ch2.pcm", "record_ch3.wav", "record.json", "record_ch4.pcm"):
                    self.assertEqual(self.read(name), recording(100), name)

    def test_a_recording_without_a_whole_frame_is_no_audio(self):
        for name, content, said in [("empty.pcm", b"", " is empty"), ("NUL" if under_wine() else "/dev/null", None,
                                    " is empty"), ("3.pcm", b"\x7f" * 3, " holds 3 bytes, less than one 8-byte frame")]:
            with self.subTest(name=name):
                if content is not None:
                    self.write(name, content)
                status, out, err = run_tool(["--convert", name], cwd=self.work)
                self.assertEqual(status, 1, err)
                self.assertIn("error: no audio: %s%s; no channel or WAV files were made" % (name, said), err)
                self.assertEqual([made for made in os.listdir(self.work) if made.startswith("record")], ["record.json"])
                summary = load_summary(self.path("record.json"))
                self.assertEqual((summary["outcome"], summary["failure_reason"], summary["bytes_received"]),
                                 ("failed", "no audio: " + name + said, len(content or b"")))

    @skip_under_wine("the wineserver opens files in its own process, where /dev/stdin and /dev/fd/N are its own, "
                     "and a FIFO reads as empty under Wine")
    def test_a_recording_from_a_pipe_is_counted_as_it_is_read(self):
        take = recording(24000, trailing=b"\x01\x02\x03")
        os.mkfifo(self.path("take fifo"))
        for kind in ("standard input", "inherited descriptor", "FIFO"):
            with self.subTest(kind=kind):
                reading, writing = os.pipe()
                if kind == "FIFO":
                    os.close(writing)
                    given, written = "take fifo", feed(self.path("take fifo"), take)
                else:
                    given = "/dev/stdin" if kind == "standard input" else "/dev/fd/%d" % reading
                    written = feed(writing, take)
                tool = subprocess.run(tool_command("--convert", given), cwd=self.work, timeout=60, stdin=reading,
                                      pass_fds=(reading,), capture_output=True)
                err = tool.stderr.decode(errors="replace")
                os.close(reading)
                self.assertEqual((tool.returncode, written), (0, [True]), err)
                self.assertEqual(level_table(err)[0], "audio: 0:01.5")
                self.assertEqual(wav_contents(self.path("record_ch1.wav")), (1, 16000, 2, channel_samples(take, 1)))
                summary = load_summary(self.path("record.json"))
                self.assertEqual((summary["bytes_received"], summary["audio_seconds"]), (len(take), 1.5))
                # The envelope spans the picture's columns though the length
                # was not known up front: more than half of its 800.
                with open(self.path("record.svg")) as picture:
                    envelope = re.search(r'id="lane-1".*?class="envelope".*? d="([^"]*)"', picture.read(), re.S)
                self.assertGreater(envelope.group(1).count("M"), 400)

    def test_ctrl_c_during_the_conversion_ends_it_as_in_a_run(self):
        if harness.options.slow_converter is None:
            self.skipTest("needs --slow-converter")
        self.write("record.pcm", recording(16000))
        use_converter(self.work, harness.options.slow_converter)
        # As from a terminal, the converter hears Ctrl-C too; under Wine the
        # process group may hold the wineserver, so there only the tool does
        # and the conversion in hand runs to its end (half a minute).
        tool = BackgroundTool(["--convert", "record.pcm", "1"], self.work, own_process_group=not under_wine())
        self.addCleanup(tool.close)
        self.assertTrue(wait_until(lambda: os.path.exists(self.path(CONVERTER_STARTED)) or not tool.running(), 60),
                        tool.stderr())
        tool.interrupt(whole_group=not under_wine())
        self.assertEqual(tool.finish(60 if under_wine() else INTERRUPT_LIMIT), INTERRUPTED_STATUS, tool.stderr())
        err = tool.stderr()
        self.assertIn("interrupted: record.pcm keeps all 128000 bytes received (0:01.0 of audio)", err)
        self.assertIn(AGAIN_HINT + "record.pcm 1", err)
        self.assertEqual(wav_names(self.work), [])
        for channel in (1, 2, 3, 4):
            self.assertTrue(os.path.isfile(self.path("record_ch%d.pcm" % channel)), channel)
        summary = load_summary(self.path("record.json"))
        self.assertEqual((summary["outcome"], summary["failure_reason"], summary["exit_status"]),
                         ("interrupted", None, INTERRUPTED_STATUS))
        self.assertEqual([channel["verdict"] for channel in summary["channels"]],
                         ["loud", "silent", "clipping", "weak"])


if __name__ == "__main__":
    harness.main()
