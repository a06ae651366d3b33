#pragma once

#include <cstdint>
#include <string>

#include "protocol/uart_request.h"

// The device's commands; the value is the row of kCommandTable.
enum CommandType : std::int32_t {
    HEART_BEAT = 0,
    WIFI_CONNECT = 1,
    UPLOAD_RECORD = 2,
};

struct CommandSpec {
    std::int32_t type;
    const char* text;
    std::int32_t timeoutMs;
};

extern const CommandSpec kCommandTable[3];

// "HEART", "WIFI_CON", "TCP_AUDIO"; empty for any other value.
std::string ackTagName(CommandType type);

// The two whole-string patterns of a command's acknowledgement: one matches a
// text holding the opening tag, the other a text holding the closing tag.
void buildAckPatterns(CommandType type, std::string& ackPattern, std::string& ackEndPattern);

// The request for one of the three commands: its line is the command text,
// then (for a non-empty payload) one blank and the payload verbatim, then CR LF.
UartRequest makeRequest(CommandType type, const std::string& payload);
