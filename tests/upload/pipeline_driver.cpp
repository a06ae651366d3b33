// Runs one whole upload in the working folder, as the run does: the
// recording server on an ephemeral loopback port, the converter found in the
// working folder first, then in the build's program folder. Uploads the file
// named on the command line; a "1" after it converts channel 3 as well.
// Exit status 0 when the run ended as a success.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "loopback_client.h"
#include "platform/shell.h"
#include "upload/audio_capture.h"
#include "upload/kestaro_socket.h"
#include "upload/upload_control.h"
#include "upload_fixture.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: upload_pipeline_driver UPLOAD_FILE [1]\n");
        return 2;
    }
    const std::filesystem::path programs =
        std::filesystem::path(quorvane::platform::executableDirectory()) / QUORVANE_CONVERTER_FOLDER;
    quorvane::platform::prependToSearchPath(quorvane::platform::currentDirectory(),
                                            programs.lexically_normal().string());
    test server(testWiring(nullptr, argc > 2 && std::string(argv[2]) == "1"));
    ListeningServer listening(server);
    LoopbackClient device(listening.port());
    if (!device.connected() || !device.send(readFile(argv[1]))) {
        return 1;
    }
    device.finish();
    listening.join();
    UploadTest::runEnded();
    return testRunEnd()->failed ? 1 : 0;
}
