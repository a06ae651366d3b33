"""Ten megabytes of random line noise, NUL bytes included, before and between
the device's frames: the link, the join and the upload still work, and the
tool neither crashes nor takes the link for lost while it reads the noise
(on a busy computer under Wine that takes longer than the loss time-out).

The tool matches every chunk it reads against every waiting request, which a
build without optimisation (the sanitizer builds) does too slowly for a
megabyte of noise before a reply with a 10-second time-out; run this with
optimised builds."""
import harness
from harness import RunTest


class LineNoise(RunTest):
    def test_ten_megabytes_of_noise_with_nul_bytes_around_the_frames_leave_the_run_intact(self):
        # One megabyte of random bytes before each of the first ten frames,
        # with a gap longer than one burst read between the noise and its
        # frame. The upload waits until the noise has been read.
        self.start_device("--noise", "1000000", "--noise-for", "all", "--noise-total", "10000000",
                          "--noise-gap", "1500", "--upload-wait", "30")
        status = self.run_capture(timeout=150)
        self.assert_stored_run(status, harness.ONE_SECOND_OF_AUDIO)
        # Whether the reader has taken in all of it by the end is its speed,
        # which a loaded machine halves and more; a real line brings 11.5 kB
        # a second, a thirtieth of what this pty does.
        self.assertEqual(self.device.noise_queued(), 10000000, self.device.log())


if __name__ == "__main__":
    harness.main()
