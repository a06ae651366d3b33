#pragma once

#include <chrono>
#include <string>
#include <vector>

constexpr const char* kStationOption = "--station";

// quorvane-capture --station [--ch3] SSID PASSPHRASE RECORD_TIME PORT [PORT ...]:
// one device on each port, all asked to join the same network and to record
// for the same time.
struct StationOptions {
    std::string ssid;
    // As typed; "-" until the pass phrase has been read from standard input.
    std::string passphrase;
    std::string recordTime;
    std::vector<std::string> ports;
    bool convertCh3 = false;
    // A station runs unattended: a device whose upload has not begun this
    // long after its recording's end is failed.
    std::chrono::seconds uploadTimeout{120};
    // What keeps the arguments from being a station; empty when nothing does.
    std::string problem;
};

// True when the command line asks for a station (the option comes first).
bool isStationRequest(const std::vector<std::string>& arguments);

// Reads the arguments after --station.
StationOptions parseStationOptions(const std::vector<std::string>& afterOption);

// Checks every port before any is touched, then provisions and records every
// device at once, each in a folder of its own, showing one line a device on
// standard error, and writes station.json and station.xml. 0 when every
// device's recording was stored, 1 otherwise, kRefused for a refusal before
// any device was touched.
int runStation(StationOptions options);
