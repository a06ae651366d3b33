#include "device_emulator/frames.h"

namespace quorvane::emulator {

namespace {

const char* ackTagName(CommandKind kind) {
    switch (kind) {
        case CommandKind::HeartBeat:
            return "HEART";
        case CommandKind::WifiConnect:
            return "WIFI_CON";
        case CommandKind::UploadRecord:
            return "TCP_AUDIO";
        case CommandKind::Unknown:
            break;
    }
    return nullptr;
}

std::string uptimePrefix(std::int64_t uptimeMs) {
    return "I (" + std::to_string(uptimeMs) + ") ";
}

}  // namespace

std::string ackFrame(CommandKind kind, const std::string& payload) {
    const char* name = ackTagName(kind);
    if (name == nullptr) {
        return {};
    }
    const std::string tag = std::string("<QRVN_ACK_") + name;
    return "\r\n" + tag + ">" + payload + tag + "_END>\r\n";
}

std::vector<std::string> splitIntoPieces(const std::string& text, std::size_t pieceBytes) {
    if (pieceBytes == 0 || text.size() <= pieceBytes) {
        return {text};
    }
    std::vector<std::string> pieces;
    for (std::size_t offset = 0; offset < text.size(); offset += pieceBytes) {
        pieces.push_back(text.substr(offset, pieceBytes));
    }
    return pieces;
}

std::string consoleLineBefore(CommandKind kind, std::int64_t uptimeMs) {
    return uptimePrefix(uptimeMs) + "qrvn_cmd: listen " + commandName(kind) + "\r\n";
}

std::string consoleLineAfter(CommandKind kind, std::int64_t uptimeMs) {
    return uptimePrefix(uptimeMs) + "qrvn_cmd: " + commandName(kind) + " handled\r\nqrvn> ";
}

std::string chatterLine(std::int64_t uptimeMs) {
    return uptimePrefix(uptimeMs) + "qrvn_audio: 4 mics ok, gain 24 dB, dma 16000 Hz\r\n";
}

NoiseSource::NoiseSource(std::uint32_t seed) : generator_(seed) {}

std::string NoiseSource::next(std::size_t size) {
    std::uniform_int_distribution<int> byte(0, 255);
    std::string noise(size, '\0');
    for (char& c : noise) {
        c = static_cast<char>(byte(generator_));
    }
    return noise;
}

}  // namespace quorvane::emulator
