// Arbitrary device output, cut into chunks the way the serial reader cuts it,
// offered to a request of each command. Every answer of feed and ackPayload
// is compared with a plain reading of the tags in the text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "property.h"
#include "protocol/command_table.h"

namespace {

using fuzzing::require;

constexpr std::size_t kReadCapacity = 1024;
constexpr std::size_t kChunkWindow = 3;

struct Tags {
    CommandType command;
    std::string opening;
    std::string closing;
};

// Written out here rather than built from ackTagName, so that a wrong tag
// name there shows up as well.
const Tags kTags[] = {
    {HEART_BEAT, "<QRVN_ACK_HEART>", "<QRVN_ACK_HEART_END>"},
    {WIFI_CONNECT, "<QRVN_ACK_WIFI_CON>", "<QRVN_ACK_WIFI_CON_END>"},
    {UPLOAD_RECORD, "<QRVN_ACK_TCP_AUDIO>", "<QRVN_ACK_TCP_AUDIO_END>"},
};

// A read hands over at most 1024 bytes as one chunk. Here each NUL of the
// input ends a chunk and longer runs are cut at 1024 bytes, so every chunk
// sequence the reader can produce without a NUL inside a chunk, empty chunks
// included, has an input; chunks holding NULs are the observer tests' cases.
std::vector<std::string> chunksOf(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> chunks(1);
    for (std::size_t at = 0; at < size; ++at) {
        if (data[at] == 0 || chunks.back().size() == kReadCapacity) {
            chunks.emplace_back();
        }
        if (data[at] != 0) {
            chunks.back() += static_cast<char>(data[at]);
        }
    }
    return chunks;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

bool isSeparator(char byte) {
    return byte == ' ' || byte == '\r' || byte == '\n' || byte == '\t';
}

std::string trimmedBySeparators(const std::string& text) {
    std::size_t first = 0;
    while (first < text.size() && isSeparator(text[first])) {
        ++first;
    }
    if (first == text.size()) {
        return text;
    }
    std::size_t end = text.size();
    while (isSeparator(text[end - 1])) {
        --end;
    }
    return text.substr(first, end - first);
}

// The trimmed text after the first opening tag, up to the first closing tag
// after it. When the first opening tag has no closing tag after it, no later
// one has either.
std::string expectedPayload(const std::string& response, const Tags& tags) {
    const auto opening = response.find(tags.opening);
    if (opening == std::string::npos) {
        return {};
    }
    const auto textAt = opening + tags.opening.size();
    const auto closing = response.find(tags.closing, textAt);
    if (closing == std::string::npos) {
        return {};
    }
    return trimmedBySeparators(response.substr(textAt, closing - textAt));
}

// A device that restarts its reply sends the opening tag again before the
// closing one; the payload then runs from the first opening tag and holds
// the second.
bool openingRepeatedBeforeClosing(const std::string& response, const Tags& tags) {
    const auto first = response.find(tags.opening);
    if (first == std::string::npos) {
        return false;
    }
    const auto second = response.find(tags.opening, first + tags.opening.size());
    const auto closing = response.find(tags.closing, first + tags.opening.size());
    return second != std::string::npos && closing != std::string::npos && second < closing;
}

void checkPayload(const UartRequest& request, const Tags& tags) {
    const std::string payload = request.ackPayload();
    require(payload == expectedPayload(request.response, tags),
            "ackPayload is the trimmed text between the first opening tag and the closing tag "
            "after it");
    require(!contains(payload, tags.closing), "a payload never holds its own command's closing tag");
    require(!contains(payload, tags.opening) || openingRepeatedBeforeClosing(request.response, tags),
            "a payload holds its own command's opening tag only when the device repeated it");
}

std::string joined(const std::vector<std::string>& window) {
    std::string text;
    for (const std::string& chunk : window) {
        text += chunk;
    }
    return text;
}

// The reader drops a completed request, so a fresh one of the same command
// takes its place for the chunks that follow.
void followCommand(const Tags& tags, const std::vector<std::string>& chunks) {
    UartRequest request = makeRequest(tags.command, "");
    std::vector<std::string> window;
    for (const std::string& chunk : chunks) {
        window.push_back(chunk);
        if (window.size() > kChunkWindow) {
            window.erase(window.begin());
        }
        const std::string recent = joined(window);
        const bool framed = contains(recent, tags.opening) && contains(recent, tags.closing);
        require(request.feed(chunk) == framed,
                "feed completes exactly when both tags of its own command (never another's) lie "
                "within the last three chunks");
        if (framed) {
            require(request.response == recent && request.recentChunks.empty(),
                    "a completed request holds the last three chunks as its response");
            checkPayload(request, tags);
            request = makeRequest(tags.command, "");
            window.clear();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> chunks = chunksOf(data, size);
    for (const Tags& tags : kTags) {
        followCommand(tags, chunks);
    }
    return 0;
}
