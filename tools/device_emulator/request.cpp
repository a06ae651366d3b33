#include "device_emulator/request.h"

namespace quorvane::emulator {

namespace {

std::string withoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.pop_back();
    }
    return line;
}

// Splits at every single blank, so that an empty value ("-h  -c") stays an
// empty word instead of taking the next word's place.
std::vector<std::string> wordsOf(const std::string& text) {
    std::vector<std::string> words;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t blank = text.find(' ', begin);
        words.push_back(text.substr(begin, blank - begin));
        if (blank == std::string::npos) {
            return words;
        }
        begin = blank + 1;
    }
}

std::string valueAfter(const std::vector<std::string>& words, const std::string& flag) {
    for (std::size_t i = 3; i + 1 < words.size(); ++i) {
        if (words[i] == flag) {
            return words[i + 1];
        }
    }
    return {};
}

Request wifiConnectRequest(const std::string& text) {
    const std::string prefix = "listen wifi_connect ";
    Request request;
    request.kind = CommandKind::WifiConnect;
    if (text.size() <= prefix.size()) {
        return request;
    }
    const std::string arguments = text.substr(prefix.size());
    const std::size_t blank = arguments.find(' ');
    request.ssid = arguments.substr(0, blank);
    if (blank != std::string::npos) {
        request.passphrase = arguments.substr(blank + 1);
    }
    return request;
}

Request uploadRecordRequest(const std::vector<std::string>& words) {
    Request request;
    request.kind = CommandKind::UploadRecord;
    request.uploadAddress = valueAfter(words, "-h");
    request.recordTime = valueAfter(words, "-t");
    return request;
}

}  // namespace

Request parseRequest(const std::string& line) {
    const std::string text = withoutLineEnd(line);
    const std::vector<std::string> words = wordsOf(text);
    if (words.size() < 2 || words[0] != "listen") {
        return {};
    }
    if (words[1] == "heart_beat") {
        Request request;
        request.kind = CommandKind::HeartBeat;
        return request;
    }
    if (words[1] == "wifi_connect") {
        return wifiConnectRequest(text);
    }
    if (words[1] == "upload_record" && words.size() >= 3 && words[2] == "start") {
        return uploadRecordRequest(words);
    }
    return {};
}

const char* commandName(CommandKind kind) {
    switch (kind) {
        case CommandKind::HeartBeat:
            return "heart_beat";
        case CommandKind::WifiConnect:
            return "wifi_connect";
        case CommandKind::UploadRecord:
            return "upload_record";
        case CommandKind::Unknown:
            break;
    }
    return "unknown";
}

std::vector<std::string> LineSplitter::feed(const char* data, std::size_t size) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < size; ++i) {
        partial_.push_back(data[i]);
        if (data[i] == '\n' || partial_.size() >= kMaxLineBytes) {
            lines.push_back(std::move(partial_));
            partial_.clear();
        }
    }
    return lines;
}

void LineSplitter::reset() {
    partial_.clear();
}

}  // namespace quorvane::emulator
