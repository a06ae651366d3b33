#include "pcm2wav.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace pcm2wav {

namespace {

constexpr std::size_t kCopyBuffer = 64 * 1024;
constexpr std::uint32_t kHeaderBytesAfterRiffSize = 36;
constexpr std::uint16_t kPcmFormatTag = 1;

bool parseNumber(const char* text, std::uint64_t largest, std::uint64_t& value) {
    if (*text == '\0') {
        return false;
    }
    value = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(*digit - '0');
        if (value > largest) {
            return false;
        }
    }
    return true;
}

void put16(unsigned char* at, std::uint32_t value) {
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

void put32(unsigned char* at, std::uint32_t value) {
    put16(at, value & 0xFFFF);
    put16(at + 2, value >> 16);
}

std::string reasonFor(int error) {
    return error != 0 ? std::strerror(error) : "the system gave no reason";
}

class File {
public:
    File(const std::string& path, const char* mode) : handle(std::fopen(path.c_str(), mode)), openError(errno) {}
    ~File() {
        if (handle != nullptr) {
            std::fclose(handle);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Closes now, so that a write error still buffered is seen; 0 or errno.
    int close() {
        errno = 0;
        const int result = std::fclose(handle);
        handle = nullptr;
        return result == 0 ? 0 : (errno != 0 ? errno : EIO);
    }

    std::FILE* handle;
    int openError;
};

bool copySamples(File& in, File& out, std::uint64_t dataBytes, std::string& problem) {
    unsigned char buffer[kCopyBuffer];
    for (std::uint64_t left = dataBytes; left > 0;) {
        const std::size_t wanted = left < kCopyBuffer ? static_cast<std::size_t>(left) : kCopyBuffer;
        errno = 0;
        const std::size_t got = std::fread(buffer, 1, wanted, in.handle);
        const int readError = errno;
        if (got != wanted) {
            problem = std::ferror(in.handle) ? "cannot read the input: " + reasonFor(readError)
                                             : "the input became shorter while it was read";
            return false;
        }
        errno = 0;
        if (std::fwrite(buffer, 1, got, out.handle) != got) {
            problem = "cannot write the output: " + reasonFor(errno);
            return false;
        }
        left -= got;
    }
    return true;
}

bool writeWav(File& in, File& out, const WavFormat& format, std::uint32_t dataBytes, std::string& problem) {
    const auto header = wavHeader(format, dataBytes);
    errno = 0;
    if (std::fwrite(header.data(), 1, header.size(), out.handle) != header.size()) {
        problem = "cannot write the output: " + reasonFor(errno);
        return false;
    }
    if (!copySamples(in, out, dataBytes, problem)) {
        return false;
    }
    errno = 0;
    if (dataBytes % 2 != 0 && std::fputc(0, out.handle) == EOF) {
        problem = "cannot write the output: " + reasonFor(errno);
        return false;
    }
    const int closeError = out.close();
    if (closeError != 0) {
        problem = "cannot write the output: " + reasonFor(closeError);
        return false;
    }
    return true;
}

bool sameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error);
}

}  // namespace

std::uint16_t WavFormat::blockAlign() const {
    return static_cast<std::uint16_t>(channels * (bitsPerSample / 8u));
}

bool parseFormat(const char* channels, const char* rate, const char* bits, WavFormat& format, std::string& problem) {
    std::uint64_t channelCount = 0;
    std::uint64_t sampleRate = 0;
    std::uint64_t bitsPerSample = 0;
    if (!parseNumber(channels, 0xFFFF, channelCount) || channelCount == 0) {
        problem = std::string("channels must be a whole number from 1 to 65535, not \"") + channels + "\"";
        return false;
    }
    if (!parseNumber(rate, 0xFFFFFFFF, sampleRate) || sampleRate == 0) {
        problem = std::string("rate must be a whole number of samples per second above 0, not \"") + rate + "\"";
        return false;
    }
    if (!parseNumber(bits, 32, bitsPerSample) || bitsPerSample == 0 || bitsPerSample % 8 != 0) {
        problem = std::string("bits must be 8, 16, 24 or 32, not \"") + bits + "\"";
        return false;
    }
    const std::uint64_t blockAlign = channelCount * (bitsPerSample / 8);
    if (blockAlign > 0xFFFF || blockAlign * sampleRate > 0xFFFFFFFF) {
        problem = "so many channels, samples per second and bits make no WAV file";
        return false;
    }
    format.channels = static_cast<std::uint16_t>(channelCount);
    format.sampleRate = static_cast<std::uint32_t>(sampleRate);
    format.bitsPerSample = static_cast<std::uint16_t>(bitsPerSample);
    return true;
}

std::array<unsigned char, kHeaderBytes> wavHeader(const WavFormat& format, std::uint32_t dataBytes) {
    std::array<unsigned char, kHeaderBytes> header{};
    unsigned char* at = header.data();
    std::memcpy(at, "RIFF", 4);
    put32(at + 4, kHeaderBytesAfterRiffSize + dataBytes + dataBytes % 2);
    std::memcpy(at + 8, "WAVEfmt ", 8);
    put32(at + 16, 16);
    put16(at + 20, kPcmFormatTag);
    put16(at + 22, format.channels);
    put32(at + 24, format.sampleRate);
    put32(at + 28, format.sampleRate * format.blockAlign());
    put16(at + 32, format.blockAlign());
    put16(at + 34, format.bitsPerSample);
    std::memcpy(at + 36, "data", 4);
    put32(at + 40, dataBytes);
    return header;
}

std::uint64_t largestData() {
    return 0xFFFFFFFFull - kHeaderBytesAfterRiffSize - 1;
}

int convert(const std::string& input, const std::string& output, const WavFormat& format, std::string& problem) {
    File in(input, "rb");
    if (in.handle == nullptr) {
        problem = "cannot read " + input + ": " + reasonFor(in.openError);
        return kFailed;
    }
    std::error_code sizeError;
    const std::uint64_t inputBytes = std::filesystem::file_size(input, sizeError);
    if (sizeError) {
        problem = "cannot tell the size of " + input + ": " + sizeError.message();
        return kFailed;
    }
    const std::uint64_t dataBytes = inputBytes - inputBytes % format.blockAlign();
    if (dataBytes > largestData()) {
        problem = input + " holds " + std::to_string(dataBytes) + " bytes of samples; a WAV file holds at most " +
                  std::to_string(largestData());
        return kFailed;
    }
    if (sameFile(input, output)) {
        problem = "the output would overwrite the input " + input;
        return kFailed;
    }
    File out(output, "wb");
    if (out.handle == nullptr) {
        problem = "cannot write " + output + ": " + reasonFor(out.openError);
        return kFailed;
    }
    if (!writeWav(in, out, format, static_cast<std::uint32_t>(dataBytes), problem)) {
        problem = output + ": " + problem;
        std::remove(output.c_str());
        return kFailed;
    }
    return kConverted;
}

}  // namespace pcm2wav
