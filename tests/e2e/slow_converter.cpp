// Stands in for a converter that takes its time, so that a test can interrupt
// the tool while a conversion is in hand. It writes nothing but the file
// "slow-converter-started" in its working folder, which tells the test that
// it runs, and ends on its own after half a minute, also when nobody stops
// it.
#include <chrono>
#include <fstream>
#include <thread>

int main() {
    std::ofstream("slow-converter-started") << "started\n";
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return 1;
}
