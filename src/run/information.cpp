#include "run/information.h"

#include <cstdio>

#include "platform/diagnostics.h"
#include "run/port_argument.h"
#include "run/port_list_printer.h"

namespace {

const char* const kUsage =
    "usage: quorvane-capture SSID PASSPHRASE PORT RECORD_TIME [1]\n"
    "       quorvane-capture --station [--ch3] SSID PASSPHRASE RECORD_TIME PORT [PORT ...]\n"
    "       quorvane-capture --convert [FILE] [1]\n"
    "       quorvane-capture --list-ports | --help | --version\n";

const char* const kHelpIntroduction =
    "Provisions a four-channel audio device on a serial port, then receives its\n"
    "recording over TCP and stores it as WAV files.\n"
    "\n";

const char* const kHelpArguments =
    "\n"
    "  SSID         Wi-Fi network the device joins (at most 32 bytes; the device\n"
    "               cannot tell where a name with a blank ends)\n"
    "  PASSPHRASE   Wi-Fi pass phrase (WPA: 8 to 63 characters), sent to the device\n"
    "               as typed; - reads it from standard input instead, so that it\n"
    "               stays off the command line: typed without echo after a prompt\n"
    "               on a terminal, else the first line of the input (UTF-8; not\n"
    "               empty: a network without one takes \"\")\n";

const char* const kHelpMore =
    "  RECORD_TIME  recording time in seconds, as the device is asked for it\n"
    "               (not zero, and not beginning with -)\n"
    "  1            also convert channel 3 (channels 1, 2 and 4 always are); any\n"
    "               other fifth argument is ignored\n"
    "  --upload-timeout=SECONDS\n"
    "               fail the run when no upload has begun SECONDS after the\n"
    "               recording's end (default: wait until stopped)\n"
    "  --station    one device on each PORT, all at once, each device's files in\n"
    "               a folder named after its port (with its run.log); one line a\n"
    "               device on standard error, then a table; station.json and\n"
    "               station.xml (JUnit) for scripts. --ch3 converts channel 3 too;\n"
    "               a device whose upload has not begun 120 s after its recording\n"
    "               fails (--upload-timeout sets it). Devices that report the same\n"
    "               address, or are behind a router, record one after the other.\n"
    "               Exit 0 when every device's recording was stored, else 1\n"
    "  --convert    split, convert and report a recording kept from an earlier\n"
    "               run instead: FILE (default record.pcm; a file named 1 as ./1),\n"
    "               as a run does after its upload, without the device or the\n"
    "               network; the files go to the working folder\n"
    "\n"
    "An argument beginning with -- is an option; after a lone -- every argument\n"
    "counts by its position (for a network name that begins with --).\n"
    "\n";

const char* const kHelpFiles =
    "\n"
    "The run writes into the working folder:\n"
    "  ipconfig.txt                       the network report\n"
    "  record.pcm                         the upload as received: 4 interleaved\n"
    "                                     16-bit channels at 16 kHz\n"
    "  record_ch1.wav ... record_ch4.wav  one mono WAV file per channel\n"
    "                                     (record_ch3.wav only with the switch 1)\n"
    "  record.json                        what the run did and found: addresses,\n"
    "                                     bytes, levels, verdicts, outcome (once the\n"
    "                                     device was asked to upload)\n"
    "  record.svg                         the four channels over time, a picture\n"
    "After the conversion a table on standard error gives each channel's levels\n"
    "and a verdict: ok, silent, same as channel N, clipping, DC offset, weak or\n"
    "loud. A verdict other than ok is a warning and leaves the exit status alone.\n"
    "The device uploads to TCP port 8888 of this computer: the firewall must let it in.\n"
    "The converter Pcm2Wav is looked for in the working folder, then beside\n"
    "quorvane-capture, then on PATH; without it the run does not start.\n"
    "\n"
    "exit status:\n"
    "  0    the recording was stored and converted\n"
    "  1    the run ended without a stored recording: the Wi-Fi join failed or\n"
    "       timed out, the upload could not be stored or converted, or the\n"
    "       upload server could not start\n"
    "  130  interrupted (Ctrl-C); record.pcm keeps what had arrived\n"
    "  143  ended by SIGTERM (on Windows: log-off or shut-down), 129 by SIGHUP\n"
    "       (on Windows: the console window closed); record.pcm keeps what had\n"
    "       arrived\n"
    "  -1   (255 in a POSIX shell) a bad command line, the network report\n"
    "       ./ipconfig.txt could not be written, the converter is missing, or\n"
    "       the port is not a serial port; the device was not touched\n"
    "--convert ends with 0 when every wanted WAV file was made, 1 when not\n"
    "(also when FILE holds no whole frame), 130 after Ctrl-C, and -1 when FILE\n"
    "cannot be read, is one of the files the conversion writes, or the\n"
    "converter is missing.\n";

bool isOnlyArgument(const std::vector<std::string>& arguments, const char* option) {
    return arguments.size() == 1 && arguments.front() == option;
}

}  // namespace

void showUsage() {
    quorvane::platform::showText("%sTry 'quorvane-capture --help' for more information.\n", kUsage);
}

bool answerInformationRequest(const std::vector<std::string>& arguments) {
    if (isOnlyArgument(arguments, "--help") || isOnlyArgument(arguments, "-h")) {
        std::printf("quorvane-capture %s\n", QUORVANE_VERSION);
        std::printf("%s%s%s%s%s%s%s", kHelpIntroduction, kUsage, kHelpArguments, portHelp(), kHelpMore, helpExamples(),
                    kHelpFiles);
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
