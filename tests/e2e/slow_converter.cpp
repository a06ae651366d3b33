// Stands in for a converter that takes its time, so that a test can interrupt
// the tool while a conversion is in hand. It writes nothing and ends on its
// own after half a minute, also when nobody stops it.
#include <chrono>
#include <thread>

int main() {
    std::this_thread::sleep_for(std::chrono::seconds(30));
    return 1;
}
