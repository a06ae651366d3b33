// Pcm2Wav INPUT OUTPUT CHANNELS RATE BITS
//
// Wraps a headerless little-endian PCM file in a canonical 44-byte WAV
// header. Exit status 0 when the WAV file was written, 1 when it could not
// be, 2 for a wrong command line; the reason goes to standard error.
#include <cstdio>
#include <string>

#include "pcm2wav.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr,
                     "usage: Pcm2Wav INPUT OUTPUT CHANNELS RATE BITS\n"
                     "  e.g. Pcm2Wav record_ch1.pcm record_ch1.wav 1 16000 16\n");
        return pcm2wav::kBadArguments;
    }
    pcm2wav::WavFormat format;
    std::string problem;
    if (!pcm2wav::parseFormat(argv[3], argv[4], argv[5], format, problem)) {
        std::fprintf(stderr, "Pcm2Wav: %s\n", problem.c_str());
        return pcm2wav::kBadArguments;
    }
    const int status = pcm2wav::convert(argv[1], argv[2], format, problem);
    if (status != pcm2wav::kConverted) {
        std::fprintf(stderr, "Pcm2Wav: %s\n", problem.c_str());
    }
    return status;
}
