#include "device_emulator/device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include <poll.h>

#include "device_emulator/log.h"

namespace quorvane::emulator {

namespace {

constexpr Milliseconds kLongestPoll{50};
constexpr std::size_t kReadBytes = 4096;
constexpr std::size_t kLoggedLineBytes = 160;
constexpr int kTimeLimitStatus = 124;
// The host reads a burst from the line until the line has been quiet for a
// second; a held upload that starts this long after the reply to a later join
// connects while the host still reads that reply.
constexpr Milliseconds kHeldUploadDelay{400};

// The line as it came, with CR, LF and other control bytes made visible.
std::string printable(const std::string& line) {
    std::string text;
    for (std::size_t i = 0; i < line.size() && i < kLoggedLineBytes; ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte == '\r') {
            text += "\\r";
        } else if (byte == '\n') {
            text += "\\n";
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            text += escaped;
        } else {
            text += static_cast<char>(byte);
        }
    }
    return line.size() > kLoggedLineBytes ? text + "... (" + std::to_string(line.size()) + " bytes)" : text;
}

std::uint32_t noiseSeed(const ChatterOptions& options) {
    return options.seed ? *options.seed : std::random_device{}();
}

}  // namespace

Device::Device(const Options& options, const std::atomic<bool>& stopRequested)
    : options_(options),
      logName_(options.run.devices > 1 ? "device " + std::to_string(options.upload.device) : ""),
      stopRequested_(stopRequested),
      started_(Clock::now()),
      noise_(noiseSeed(options.chatter)),
      uploader_(options.upload, stop_),
      heartbeatSilenceArmed_(options.silence.afterHeartbeats.has_value()),
      nextChatter_(started_) {
    const LogNameScope named(logName_);
    if (!options.serial.requestLogPath.empty()) {
        requestLog_.open(options.serial.requestLogPath, std::ios::binary | std::ios::trunc);
        if (!requestLog_) {
            throw std::runtime_error("cannot write the request log " + options.serial.requestLogPath);
        }
    }
    if (!options.serial.linkPath.empty()) {
        link_ = std::make_unique<PortLink>(options.serial.linkPath);
    }
    if (options.silence.afterHeartbeats == std::uint64_t{0}) {
        fallSilent("from the start", started_);
    }
}

std::optional<std::string> Device::open() {
    const LogNameScope named(logName_);
    openPort();
    if (!options_.serial.ttyPath.empty()) {
        return std::nullopt;
    }
    return link_ ? link_->path() : port_->devicePath();
}

// A port that cannot be set up again after vanishing ends this device only.
int Device::serve() {
    const LogNameScope named(logName_);
    try {
        return serveUntilDone();
    } catch (const std::runtime_error& error) {
        log(error.what());
        stop_ = true;
        return 1;
    }
}

int Device::serveUntilDone() {
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (const std::optional<int> status = exitStatus(now)) {
            stop_ = true;
            return *status;
        }
        updateVanish(now);
        updateSilence(now);
        chatter(now);
        serveOnce(now);
        releaseHeldUpload(Clock::now());
    }
}

std::optional<int> Device::exitStatus(Clock::time_point now) {
    if (stopRequested_) {
        log("stopping on request");
        return 0;
    }
    if (options_.run.timeLimit.count() > 0 && now - started_ >= options_.run.timeLimit) {
        log("time limit of ", options_.run.timeLimit.count() / 1000.0, " s reached");
        return kTimeLimitStatus;
    }
    const std::optional<UploadOutcome> outcome = uploader_.finishedOutcome();
    if (outcome && !options_.run.keepServing) {
        const bool asked = *outcome == UploadOutcome::Sent || *outcome == UploadOutcome::ResetAsAsked ||
                           *outcome == UploadOutcome::HeldAsAsked;
        log("upload over; exiting");
        return asked ? 0 : 1;
    }
    const Milliseconds hostGone = options_.run.hostGone;
    if (hostGone.count() > 0 && heardFromHost_ && hungUpSince_ && now - *hungUpSince_ >= hostGone &&
        !uploader_.busy()) {
        log("the host has kept the port closed for ", hostGone.count() / 1000.0, " s; exiting");
        return 0;
    }
    return std::nullopt;
}

void Device::openPort() {
    port_ = options_.serial.ttyPath.empty() ? SerialPort::openPseudoTerminal()
                                            : SerialPort::openTty(options_.serial.ttyPath);
    if (link_) {
        link_->pointAt(port_->devicePath());
        log("serving ", port_->devicePath(), " through the link ", link_->path());
    } else {
        log("serving ", port_->devicePath());
    }
}

void Device::serveOnce(Clock::time_point now) {
    if (!port_) {
        std::this_thread::sleep_for(pollTimeout(now));
        return;
    }
    if (hungUpSince_) {
        waitForHostToReturn(now);
        return;
    }
    const bool wantWrite = !output_.empty() && now >= output_.nextDue();
    pollfd entry{port_->fd(), static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0};
    if (poll(&entry, 1, static_cast<int>(pollTimeout(now).count())) <= 0) {
        return;
    }
    if ((entry.revents & POLLIN) != 0) {
        readFromHost(Clock::now());
    } else if ((entry.revents & POLLHUP) != 0) {
        hostClosed(Clock::now());
    }
    if (port_ && !hungUpSince_) {
        lineFailedIf(output_.writeDue(*port_, Clock::now()), "write");
    }
}

void Device::lineFailedIf(const IoResult& result, const char* operation) {
    if (result.status == IoStatus::Failed) {
        log("cannot ", operation, " the port: ", std::strerror(result.error), "; treating it as closed");
    }
    if (result.status == IoStatus::Failed || result.status == IoStatus::HungUp) {
        hostClosed(Clock::now());
    }
}

// A closed slave keeps the master readable-with-error, so instead of
// polling it the loop looks at it again after a short sleep.
void Device::waitForHostToReturn(Clock::time_point now) {
    std::this_thread::sleep_for(pollTimeout(now));
    if (!port_->hostHasClosed()) {
        log("the host opened the port again");
        hungUpSince_.reset();
    }
}

void Device::readFromHost(Clock::time_point now) {
    char buffer[kReadBytes];
    for (;;) {
        const IoResult result = port_->read(buffer, sizeof buffer);
        if (result.bytes == 0) {
            lineFailedIf(result, "read");
            return;
        }
        heardFromHost_ = true;
        if (requestLog_.is_open()) {
            requestLog_.write(buffer, static_cast<std::streamsize>(result.bytes));
            requestLog_.flush();
        }
        for (const std::string& line : lines_.feed(buffer, result.bytes)) {
            handleLine(line, now);
            if (!port_) {
                return;
            }
        }
    }
}

void Device::hostClosed(Clock::time_point now) {
    if (hungUpSince_) {
        return;
    }
    if (output_.empty()) {
        log("the host closed the port");
    } else {
        log("the host closed the port; dropping the ", output_.pendingBytes(), " bytes of output it did not read");
    }
    hungUpSince_ = now;
    output_.clear();
    lines_.reset();
}

Milliseconds Device::pollTimeout(Clock::time_point now) const {
    Clock::time_point next = output_.nextDue();
    if (backAt_) {
        next = std::min(next, *backAt_);
    }
    return std::min(timeUntil(next, now), kLongestPoll);
}

void Device::handleLine(const std::string& line, Clock::time_point now) {
    const Request request = parseRequest(line);
    if (request.kind == CommandKind::WifiConnect) {
        log("host: listen wifi_connect for \"", request.ssid, "\" with a pass phrase of ", request.passphrase.size(),
            " bytes");
    } else {
        log("host: ", printable(line));
    }
    switch (request.kind) {
        case CommandKind::HeartBeat:
            onHeartBeat(now);
            break;
        case CommandKind::WifiConnect:
            onWifiConnect(now);
            break;
        case CommandKind::UploadRecord:
            onUploadRecord(request, now);
            break;
        case CommandKind::Unknown:
            log("not a command this device knows; ignored");
            break;
    }
}

void Device::onHeartBeat(Clock::time_point now) {
    ++heartbeatsReceived_;
    const std::optional<std::uint64_t> vanishAfter = options_.vanish.afterHeartbeats;
    if (vanishAfter && !vanished_ && heartbeatsReceived_ > *vanishAfter) {
        vanish(now);
        return;
    }
    if (silent_) {
        return;
    }
    if ((heartbeatsReceived_ - 1) % options_.serial.answerEvery == 0) {
        answer(CommandKind::HeartBeat, "", now);
    }
    ++heartbeatsThisCycle_;
    if (heartbeatSilenceArmed_ && heartbeatsThisCycle_ >= *options_.silence.afterHeartbeats) {
        fallSilent("after " + std::to_string(heartbeatsThisCycle_) + " heart-beats", now);
    }
}

void Device::onWifiConnect(Clock::time_point now) {
    if (silent_) {
        return;
    }
    ++wifiJoins_;
    const bool rejoin = wifiJoins_ > 1;
    if (rejoin && options_.serial.rejoinFail) {
        log("answering this later join as failed, as asked");
        answer(CommandKind::WifiConnect, "{\"result\":0}", now);
    } else if (options_.serial.wifiReplyMode == WifiReplyMode::None) {
        log("not answering wifi_connect, as asked");
    } else {
        answer(CommandKind::WifiConnect, wifiReply(), now);
    }
    if (!rejoin && options_.upload.resetFirstBytes) {
        uploader_.startEarlyReset();
    }
    if (rejoin && heldUpload_) {
        releaseHeldUploadOnceAnswered_ = true;
    }
    if (options_.silence.afterWifi && !wifiSilenceUsed_) {
        wifiSilenceUsed_ = true;
        fallSilent("after the Wi-Fi join", now);
    }
}

void Device::onUploadRecord(const Request& request, Clock::time_point now) {
    if (silent_) {
        log("silent: not starting an upload");
        return;
    }
    answer(CommandKind::UploadRecord, "{\"result\":1}", now);
    if (uploader_.busy()) {
        log("an upload is already under way; not starting another");
    } else {
        const UploadPlan plan = planUpload(options_.upload, request.uploadAddress, request.recordTime);
        if (plan.addressReplaced) {
            log("the host asked for an upload to \"", request.uploadAddress,
                "\", which is not a loopback address; connecting to ", plan.address, " instead");
        }
        if (!plan.recordTimeUnderstood) {
            log("record time \"", request.recordTime, "\" is not a number of seconds; taking 0");
        }
        if (options_.upload.uploadOnRejoin) {
            log("holding the upload until the host asks to join Wi-Fi again");
            heldUpload_ = plan;
            heldUpload_->wait = Milliseconds(0);
        } else {
            uploader_.start(plan);
        }
    }
    if (options_.silence.afterUploadRequest && !uploadSilenceUsed_) {
        uploadSilenceUsed_ = true;
        fallSilent("after the upload request", now);
    }
}

// The held upload starts shortly after the reply to the later join is out on
// the line: the host has all of the reply, and is still reading it, when the
// upload connection comes in.
void Device::releaseHeldUpload(Clock::time_point now) {
    if (!releaseHeldUploadOnceAnswered_ || !output_.empty()) {
        return;
    }
    if (!heldUploadDue_) {
        heldUploadDue_ = now + kHeldUploadDelay;
    }
    if (now < *heldUploadDue_) {
        return;
    }
    releaseHeldUploadOnceAnswered_ = false;
    heldUploadDue_.reset();
    log("the later join is answered; starting the held upload");
    uploader_.start(*heldUpload_);
    heldUpload_.reset();
}

std::string Device::wifiReply() const {
    switch (options_.serial.wifiReplyMode) {
        case WifiReplyMode::Success:
            return "{\"result\":1,\"ip\":\"" + options_.serial.wifiIp + "\"}";
        case WifiReplyMode::Failure:
            return "{\"result\":0}";
        case WifiReplyMode::Custom:
            return options_.serial.wifiCustomReply;
        case WifiReplyMode::None:
            break;
    }
    return {};
}

void Device::answer(CommandKind kind, const std::string& payload, Clock::time_point now) {
    const ChatterOptions& chatter = options_.chatter;
    std::vector<OutgoingPiece> pieces;
    if (chatter.consoleText) {
        pieces.push_back({consoleLineBefore(kind, uptimeMs(now)), Milliseconds(0)});
    }
    const std::size_t splitBytes = chatter.splitFor.contains(kind) ? chatter.splitBytes : 0;
    const std::vector<std::string> frame = splitIntoPieces(ackFrame(kind, payload), splitBytes);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        pieces.push_back({frame[i], i == 0 ? Milliseconds(0) : chatter.splitPause});
    }
    if (chatter.consoleText) {
        pieces.push_back({consoleLineAfter(kind, uptimeMs(now)), Milliseconds(0)});
    }
    if (queueNoise(kind, now)) {
        pieces.front().pauseBefore = chatter.noiseGap;
    }
    for (OutgoingPiece& piece : pieces) {
        output_.push(std::move(piece), now);
    }
}

bool Device::queueNoise(CommandKind kind, Clock::time_point now) {
    const ChatterOptions& chatter = options_.chatter;
    if (chatter.noiseBytes == 0 || !chatter.noiseFor.contains(kind)) {
        return false;
    }
    std::uint64_t size = chatter.noiseBytes;
    if (chatter.noiseTotal) {
        size = std::min(size, *chatter.noiseTotal - std::min(noiseSent_, *chatter.noiseTotal));
    }
    if (size == 0) {
        return false;
    }
    noiseSent_ += size;
    log("sending ", size, " bytes of noise before the ", commandName(kind), " reply");
    output_.push({noise_.next(static_cast<std::size_t>(size)), Milliseconds(0)}, now);
    return true;
}

void Device::fallSilent(const std::string& why, Clock::time_point now) {
    silent_ = true;
    heartbeatSilenceArmed_ = false;
    const std::optional<Milliseconds> resume = options_.silence.resumeAfter;
    if (resume) {
        resumeAt_ = now + *resume;
        log("falling silent ", why, " for ", resume->count() / 1000.0, " s");
    } else {
        log("falling silent ", why);
    }
}

void Device::updateSilence(Clock::time_point now) {
    if (!silent_ || !resumeAt_ || now < *resumeAt_) {
        return;
    }
    silent_ = false;
    resumeAt_.reset();
    heartbeatsThisCycle_ = 0;
    heartbeatSilenceArmed_ = options_.silence.repeat;
    log("answering again");
}

void Device::vanish(Clock::time_point now) {
    vanished_ = true;
    log("vanishing: closing ", port_->devicePath(), " for ", options_.vanish.gone.count() / 1000.0, " s");
    port_.reset();
    if (link_) {
        link_->remove();
    }
    output_.clear();
    lines_.reset();
    heardFromHost_ = false;
    hungUpSince_.reset();
    backAt_ = now + options_.vanish.gone;
}

void Device::updateVanish(Clock::time_point now) {
    const std::optional<Milliseconds> afterStart = options_.vanish.afterStart;
    if (!vanished_ && afterStart && now - started_ >= *afterStart) {
        vanish(now);
    }
    if (!port_ && backAt_ && now >= *backAt_) {
        backAt_.reset();
        openPort();
    }
}

void Device::chatter(Clock::time_point now) {
    const Milliseconds every = options_.chatter.logEvery;
    if (every.count() == 0 || now < nextChatter_) {
        return;
    }
    nextChatter_ = now + every;
    if (!silent_ && port_ && !hungUpSince_ && output_.empty()) {
        output_.push({chatterLine(uptimeMs(now)), Milliseconds(0)}, now);
    }
}

std::int64_t Device::uptimeMs(Clock::time_point now) const {
    return std::chrono::duration_cast<Milliseconds>(now - started_).count();
}

}  // namespace quorvane::emulator
