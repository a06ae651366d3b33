#include "protocol/command_table.h"

#include <cstdio>

const CommandSpec kCommandTable[3] = {
    {HEART_BEAT, "listen heart_beat", 10000},
    {WIFI_CONNECT, "listen wifi_connect", 10000},
    {UPLOAD_RECORD, "listen upload_record start", 10000},
};

std::string ackTagName(CommandType type) {
    switch (type) {
        case HEART_BEAT:
            return "HEART";
        case WIFI_CONNECT:
            return "WIFI_CON";
        case UPLOAD_RECORD:
            return "TCP_AUDIO";
    }
    return {};
}

namespace {

std::string formatPattern(const char* format, const std::string& name) {
    char buffer[128] = {};
    std::snprintf(buffer, sizeof buffer, format, name.c_str());
    return buffer;
}

}  // namespace

void buildAckPatterns(CommandType type, std::string& ackPattern, std::string& ackEndPattern) {
    const std::string name = ackTagName(type);
    ackPattern = formatPattern("^[\\s\\S]*?<QRVN_ACK_%s>[\\s\\S]*$", name);
    ackEndPattern = formatPattern("^[\\s\\S]*?<QRVN_ACK_%s_END>[\\s\\S]*$", name);
}

UartRequest makeRequest(CommandType type, const std::string& payload) {
    const CommandSpec& row = kCommandTable[type];
    std::string ackPattern;
    std::string ackEndPattern;
    buildAckPatterns(type, ackPattern, ackEndPattern);
    std::string line = row.text;
    if (!payload.empty()) {
        line += ' ';
        line += payload;
    }
    line += "\r\n";
    return UartRequest(type, row.timeoutMs, std::move(line), std::move(ackPattern), std::move(ackEndPattern));
}
