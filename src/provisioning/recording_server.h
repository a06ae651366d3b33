#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "provisioning/run_settings.h"
#include "upload/kestaro_socket.h"

namespace quorvane::provisioning {

// The IPv4 address the device is told to upload to. With the device's own
// address (from its Wi-Fi reply) it is the address of the interface that
// routes to the device; otherwise, or when that fails, the first address of
// this host's name, skipping loopback addresses when another exists. Empty
// when nothing resolves.
std::string _getLocalIp(const std::string& deviceIp = "");

// Where _getLocalIp looks the addresses up: addressRoutingTo and
// hostNameAddresses, or a test's own.
struct AddressLookups {
    std::function<std::string(const std::string&)> routeTo;
    std::function<std::vector<std::string>()> hostName;
};

// _getLocalIp with the given lookups.
std::string localIpWith(const std::string& deviceIp, const AddressLookups& lookups);

// The recording server of one run: the upload port, claimed before the run
// touches the device, the thread that asks the device to upload and serves
// the port until the device has connected, and the upload server whose audio
// thread receives the upload. Owned by the run, which stops it (or its
// destructor does) before the run ends.
class RecordingServer {
public:
    // `upload`: what each upload connection is handed (stopping the serial
    // link, channel 3, the run's summary, the end of the run).
    // `router`: a station's one listener, which hands this run the
    // connections of its device; none: the run has the port to itself.
    explicit RecordingServer(upload::UploadWiring upload, std::shared_ptr<upload::UploadRouter> router = nullptr);
    ~RecordingServer();

    RecordingServer(const RecordingServer&) = delete;
    RecordingServer& operator=(const RecordingServer&) = delete;

    // Binds and listens on TCP port 8888, so that no other program (another
    // copy of this tool) can take the port until the upload. False when that
    // fails, after printing the bind failure on standard output and saying
    // why on standard error.
    bool claimUploadPort();

    // Starts the recording-server thread: it sends the upload request with
    // this PC's address and the record time, then serves TCP port 8888 (the
    // claimed socket, if claimUploadPort claimed it) until the device has
    // connected. When `deviceIp` is a device's address on a network this
    // computer is attached to, only that address may upload; behind a router
    // the device's connections come from another address, so the first one
    // is taken. Does nothing once stop has begun.
    void _startRecord(const RunSettings& settings, const std::string& deviceIp);

    // Ends a server still waiting for the device and waits for its thread,
    // then for the audio thread of an upload in hand (for as long as the
    // upload runs: after an interruption its receive ends by itself, and a
    // converter the run has given up is no longer waited for); afterwards no
    // new one starts, and the upload port is released.
    void stop();

private:
    void serve(const RunSettings& settings, const std::string& deviceIp);

    const upload::UploadWiring upload_;
    const std::shared_ptr<upload::UploadRouter> router_;
    std::mutex mutex_;
    std::thread thread_;
    // Set by stop under the lock: no thread starts after it.
    bool closing_ = false;
    // Set by the thread when Listen has returned or thrown.
    std::atomic<bool> done_{false};
    // The upload server: set up by claimUploadPort (or by the thread when
    // nothing claimed the port), served by the thread, whose Listen closes
    // the port when the device has connected, and destroyed by stop, which
    // joins its audio thread.
    std::unique_ptr<test> server_;
};

// How long after the upload request the firewall hint waits: the record time
// (whole seconds, as the device reads it) plus a minute.
std::chrono::milliseconds noConnectionHintDelay(const std::string& recordTime);

// The hint itself, naming the address the device was told to upload to.
std::string noConnectionHint(const std::string& localAddress);

}  // namespace quorvane::provisioning
