// Stands in for a converter that takes its time, so that a test can interrupt
// the tool while a conversion is in hand. It writes nothing but the file
// "slow-converter-started" in its working folder, which tells the test that
// it runs, and ends on its own after half a minute, also when nobody stops
// it. A test that gave up waiting for it lets it go at once with the file
// "slow-converter-release", and learns from the file
// "slow-converter-released" that it was still running then.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

int main() {
    std::ofstream("slow-converter-started") << "started\n";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < end) {
        if (std::filesystem::exists("slow-converter-release")) {
            std::ofstream("slow-converter-released") << "released\n";
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return 1;
}
