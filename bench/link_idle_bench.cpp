// The serial link's idle cost: the CPU time the observer's threads use while
// a device answers every heart-beat and nothing else happens, as a share of
// one core. The device runs in a child process so that only the link's own
// work is counted.
//
// usage: link_idle_bench [SECONDS]   (30 by default)

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "pty.h"
#include "serial/uart_observer.h"

namespace {

[[noreturn]] void answerHeartbeats(int master) {
    const std::string ack = "<QRVN_ACK_HEART>ok<QRVN_ACK_HEART_END>\r\n";
    std::string received;
    for (;;) {
        pollfd readable{master, POLLIN, 0};
        poll(&readable, 1, -1);
        char buffer[256];
        const ssize_t count = read(master, buffer, sizeof buffer);
        if (count > 0) {
            received.append(buffer, static_cast<std::size_t>(count));
        }
        for (auto end = received.find('\n'); end != std::string::npos; end = received.find('\n')) {
            if (received.compare(0, end, "listen heart_beat\r") == 0 && write(master, ack.data(), ack.size()) < 0) {
                _exit(1);
            }
            received.erase(0, end + 1);
        }
    }
}

class ConnectionCounter : public quorvane::IUartObserverListener {
public:
    explicit ConnectionCounter(std::atomic<int>& connections) : connections_(connections) {}
    void onConnected() override { ++connections_; }
    void onResponse(int, bool, const std::string&) override {}
    void onDisconnected() override { --connections_; }

private:
    std::atomic<int>& connections_;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    quorvane::testing::Pty pty;
    const pid_t device = fork();
    if (device == 0) {
        answerHeartbeats(pty.master());
    }
    std::atomic<int> connections{0};
    quorvane::UartObserver observer(pty.slavePath(), 115200);
    observer.setListener(new ConnectionCounter(connections));
    observer.start();
    while (connections.load() == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = cpuSeconds() - cpuBefore;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    std::printf("link idle cost: %.1f ms CPU in %.1f s connected = %.3f%% of one core (%s)\n", cpu * 1000.0, wall,
                100.0 * cpu / wall, connections.load() == 1 ? "stayed connected" : "LINK DROPPED");
    kill(device, SIGTERM);
    waitpid(device, nullptr, 0);
    return connections.load() == 1 ? 0 : 1;
}
