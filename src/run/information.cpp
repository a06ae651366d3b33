#include "run/information.h"

#include <cstdio>

#include "platform/diagnostics.h"
#include "run/port_list_printer.h"

namespace {

const char* const kUsage =
    "usage: quorvane-capture SSID PASSPHRASE PORT RECORD_TIME [1]\n"
    "       quorvane-capture --list-ports | --help | --version\n";

const char* const kHelpIntroduction =
    "Provisions a four-channel audio device on a serial port, then receives its\n"
    "recording over TCP and stores it as WAV files.\n"
    "\n";

const char* const kHelp =
    "\n"
    "  SSID         Wi-Fi network the device joins (quote it when it has blanks)\n"
    "  PASSPHRASE   Wi-Fi pass phrase, sent to the device as typed\n"
    "  PORT         COM port number of the device, 3 for COM3; on Linux and macOS\n"
    "               also a device path such as /dev/ttyUSB0 (a number n is /dev/ttyS<n-1>)\n"
    "  RECORD_TIME  recording time the device is asked for, passed on as typed\n"
    "  1            also convert channel 3 (channels 1, 2 and 4 always are)\n"
    "\n"
    "examples:\n"
    "  Windows:  quorvane-capture.exe \"My Network\" \"my pass phrase\" 3 30\n"
    "  Linux:    ./quorvane-capture \"My Network\" \"my pass phrase\" /dev/ttyUSB0 30 1\n"
    "\n"
    "The run writes into the working folder:\n"
    "  ipconfig.txt                       the network report\n"
    "  record.pcm                         the upload as received: 4 interleaved\n"
    "                                     16-bit channels at 16 kHz\n"
    "  record_ch1.wav ... record_ch4.wav  one mono WAV file per channel\n"
    "                                     (record_ch3.wav only with the switch 1)\n"
    "The device uploads to TCP port 8888 of this computer: the firewall must let it in.\n"
    "The converter Pcm2Wav is looked for in the working folder, then beside\n"
    "quorvane-capture, then on PATH.\n"
    "\n"
    "exit status:\n"
    "  0    the recording was stored and converted\n"
    "  1    the run ended without a stored recording: the Wi-Fi join failed or\n"
    "       timed out, the upload could not be stored or converted, or the\n"
    "       upload server could not start\n"
    "  130  interrupted (Ctrl-C); record.pcm keeps what had arrived\n"
    "  -1   (255 in a POSIX shell) a bad command line, or the network report\n"
    "       ./ipconfig.txt could not be written\n";

bool isOnlyArgument(const std::vector<std::string>& arguments, const char* option) {
    return arguments.size() == 1 && arguments.front() == option;
}

}  // namespace

void showUsage() {
    platform::showText("%s", kUsage);
}

bool answerInformationRequest(const std::vector<std::string>& arguments) {
    if (isOnlyArgument(arguments, "--help") || isOnlyArgument(arguments, "-h")) {
        std::printf("quorvane-capture %s\n", QUORVANE_VERSION);
        std::printf("%s%s%s", kHelpIntroduction, kUsage, kHelp);
        return true;
    }
    if (isOnlyArgument(arguments, "--version")) {
        std::printf("quorvane-capture %s\n", QUORVANE_VERSION);
        return true;
    }
    if (isOnlyArgument(arguments, "--list-ports")) {
        printSerialPorts();
        return true;
    }
    return false;
}
