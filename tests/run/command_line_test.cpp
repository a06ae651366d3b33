#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/command_line.h"
#include "run/port_argument.h"

namespace {

using Arguments = std::vector<std::string>;

// The options of the last command line stored.
RunOptions stored;

void store(const Arguments& positional) {
    stored = runOptionsFrom(positional);
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(StoredArguments, FourArgumentsAreStoredAsTypedWithoutChannel3) {
    store({"My Net", "pass word", "12", "30"});
    EXPECT_EQ(stored.ssid, "My Net");
    EXPECT_EQ(stored.passphrase, "pass word");
    EXPECT_EQ(stored.port, "12");
    EXPECT_EQ(stored.recordTime, "30");
    EXPECT_FALSE(stored.convertCh3);
}

TEST(StoredArguments, FifthArgumentCountsWhenAtoiGivesOne) {
    for (const char* fifth : {"1", "01", "1x", " 1"}) {
        store({"n", "p", "3", "30", fifth});
        EXPECT_TRUE(stored.convertCh3) << "fifth argument '" << fifth << "'";
    }
    for (const char* fifth : {"2", "0", "x1", "", "-1"}) {
        store({"n", "p", "3", "30", fifth});
        EXPECT_FALSE(stored.convertCh3) << "fifth argument '" << fifth << "'";
    }
}

TEST(StoredArguments, FifthArgumentIsIgnoredWhenNotTheLast) {
    store({"n", "p", "3", "30", "1", "extra"});
    EXPECT_FALSE(stored.convertCh3);
}

TEST(StoredArguments, PortNamedAsTheDeviceManagerShowsItIsItsNumber) {
    const struct {
        const char* typed;
        const char* stored;
    } cases[] = {{"COM3", "3"},    {"com3", "3"},      {"Com12", "12"}, {"COM", "COM"},
                 {"COMx", "COMx"}, {"COM 3", "COM 3"}, {"3", "3"},      {"xCOM3", "xCOM3"}};
    for (const auto& port : cases) {
        SCOPED_TRACE(port.typed);
        store({"n", "p", port.typed, "30"});
        EXPECT_EQ(stored.port, port.stored);
    }
    store({"n", "p", "com7", "30"});
    EXPECT_EQ(runArgumentsProblem(stored), "");
    EXPECT_EQ(portLabel(stored.port), "COM7");
}

TEST(StoredArguments, PositiveComNumbersAreAccepted) {
    for (const char* port : {"1", "8", "9", "12", "007", "255"}) {
        store({"n", "p", port, "30"});
        EXPECT_EQ(runArgumentsProblem(stored), "") << "port '" << port << "'";
    }
}

TEST(StoredArguments, PortThatIsNoNumberIsRefusedByName) {
    for (const char* port : {"0", "-3", "COM0", "3a", "", " 3", "99999999999"}) {
        store({"n", "p", port, "30"});
        const std::string problem = runArgumentsProblem(stored);
        EXPECT_TRUE(contains(problem, std::string("\"") + stored.port + "\" is not a serial port"))
            << "port '" << port << "' gave: " << problem;
    }
}

TEST(StoredArguments, DevicePathsAreAcceptedWhereTheSystemHasThem) {
    store({"n", "p", "/dev/ttyUSB0", "30"});
    EXPECT_EQ(runArgumentsProblem(stored).empty(), acceptsDevicePaths());
    EXPECT_EQ(portArgumentIsDevicePath("/dev/ttyUSB0"), acceptsDevicePaths());
}

TEST(StoredArguments, LineBreaksThatCouldInjectACommandAreRefused) {
    store({"net\r\nlisten upload_record start", "p", "3", "30"});
    EXPECT_TRUE(contains(runArgumentsProblem(stored), "network name"));
    store({"n", "pass\nlisten heart_beat", "3", "30"});
    EXPECT_TRUE(contains(runArgumentsProblem(stored), "pass phrase"));
    EXPECT_TRUE(contains(passphraseProblem(stored.passphrase), "pass phrase"));
    store({"n", "p", "3", "30\r"});
    EXPECT_TRUE(contains(runArgumentsProblem(stored), "record time contains a line break"));
}

TEST(StoredArguments, RecordTimeThatWouldAddWordsToTheUploadCommandIsRefused) {
    const struct {
        const char* recordTime;
        const char* said;
    } cases[] = {
        {"30 -h 10.9.9.9", "\"30 -h 10.9.9.9\" contains a blank"},
        {" 30", "\" 30\" contains a blank"},
        {"30\t-c 1", "\"30\\x09-c 1\" contains a blank"},
        {"30\t", "\"30\\x09\" contains a control character"},
        {"30\x1b[2J", "\"30\\x1B[2J\" contains a control character"},
        {"30\x7f", "\"30\\x7F\" contains a control character"},
        // The device receives "-t -5": an option of its own.
        {"-5", "\"-5\" begins with \"-\": the device would read it as an option of its own"},
        {"-", "\"-\" begins with \"-\""},
        {"--", "\"--\" begins with \"-\""},
        {"0", "\"0\" is zero: the device would record nothing"},
        {"00", "\"00\" is zero"},
        {"0.0", "\"0.0\" is zero"},
        {".0", "\".0\" is zero"},
    };
    for (const auto& refused : cases) {
        SCOPED_TRACE(refused.recordTime);
        store({"n", "p", "3", refused.recordTime});
        const std::string problem = runArgumentsProblem(stored);
        EXPECT_TRUE(contains(problem, refused.said)) << problem;
        EXPECT_TRUE(contains(problem, "such as 30")) << problem;
    }
    for (const char* accepted : {"30", "1", "01", "10", "0.5", "5-", "", "."}) {
        store({"n", "p", "3", accepted});
        EXPECT_EQ(runArgumentsProblem(stored), "") << "record time '" << accepted << "'";
    }
}

TEST(StoredArguments, ThePassPhraseIsNeverEchoedInAProblemOrAWarning) {
    store({"n", "s3cret\nx", "3", "30"});
    EXPECT_FALSE(contains(runArgumentsProblem(stored), "s3cret"));
    store({"n", "s3cret", "3", "30"});
    for (const std::string& warning : runArgumentWarnings(stored)) {
        EXPECT_FALSE(contains(warning, "s3cret")) << warning;
    }
}

TEST(StoredArguments, BlanksInTheNameAndPassPhraseStayAllowed) {
    store({" my net ", " a b ", "3", "30"});
    EXPECT_EQ(runArgumentsProblem(stored), "");
}

TEST(StoredArguments, PassPhraseFromInputIsAskedForWithALoneDash) {
    store({"n", "-", "3", "30"});
    EXPECT_TRUE(passphraseFromInput(stored));
    EXPECT_EQ(runArgumentsProblem(stored), "") << "a dash is no problem before it is replaced";
    for (const char* typed : {"--", "-x", "", " -"}) {
        store({"n", typed, "3", "30"});
        EXPECT_FALSE(passphraseFromInput(stored)) << typed;
    }
}

struct WarningCase {
    Arguments positional;
    std::vector<std::string> said;  // one part of each warning, in order
};

TEST(ArgumentWarnings, WhatTheDeviceMayMisreadIsNamedOnce) {
    const std::string name32(32, 'n');
    const std::string name33(33, 'n');
    const WarningCase cases[] = {
        {{"LabWiFi", "correct horse", "3", "30"}, {}},
        {{"My Network", "correct horse", "3", "30"},
         {"\"My Network\" contains a blank; the device's request separates the name from the pass phrase by a blank, "
          "so the device may take \"My\" as the name"}},
        {{name32, "12345678", "3", "30"}, {}},
        {{name33, "12345678", "3", "30"}, {"has 33 bytes; a Wi-Fi network name (SSID) has at most 32 bytes"}},
        // Bytes, not characters: 11 characters of 3 bytes each.
        {{"家家家家家家家家家家家", "12345678", "3", "30"}, {"has 33 bytes"}},
        {{"n", "", "3", "30"}, {}},
        {{"n", "1234567", "3", "30"}, {"the pass phrase has 7 bytes; a WPA pass phrase has 8 to 63 characters"}},
        {{"n", std::string(63, 'p'), "3", "30"}, {}},
        {{"n", std::string(64, 'p'), "3", "30"}, {"the pass phrase has 64 bytes"}},
        {{"n", "12345678", "3", ""}, {"the record time is empty"}},
        {{"n", "12345678", "3", "1.5"},
         {"the record time \"1.5\" is not a number of seconds; the device is sent it as typed"}},
        {{"n", "12345678", "3", "30s"}, {"\"30s\" is not a number of seconds"}},
        {{"n", "12345678", "3", "30", "1", "x"}, {"the arguments after RECORD_TIME are ignored"}},
        {{"n", "12345678", "3", "30", "1"}, {}},
        {{"n", "12345678", "3", "30", "01"}, {}},
        {{"n", "12345678", "3", "30", "yes"},
         {"the fifth argument is ignored: channel 3 is converted as well only with 1 there"}},
        {{"n", "12345678", "3", "30", "2"}, {"the fifth argument is ignored"}},
        {{"n", "12345678", "3", "30", ""}, {"the fifth argument is ignored"}},
        {{"a b", "short", "3", "x"}, {"contains a blank", "has 5 bytes", "is not a number of seconds"}},
    };
    for (const WarningCase& warned : cases) {
        SCOPED_TRACE(warned.positional[0] + " / " + warned.positional[1] + " / " + warned.positional[3]);
        store(warned.positional);
        const std::vector<std::string> warnings = runArgumentWarnings(stored);
        ASSERT_EQ(warnings.size(), warned.said.size());
        for (std::size_t index = 0; index < warnings.size(); ++index) {
            EXPECT_TRUE(contains(warnings[index], warned.said[index])) << warnings[index];
        }
    }
}

TEST(CommandLineUsage, MissingArgumentsAreNamed) {
    const struct {
        Arguments arguments;
        const char* said;
    } cases[] = {
        {{}, "SSID, PASSPHRASE, PORT and RECORD_TIME are missing"},
        {{"n"}, "PASSPHRASE, PORT and RECORD_TIME are missing"},
        {{"n", "p"}, "PORT and RECORD_TIME are missing"},
        {{"n", "p", "3"}, "RECORD_TIME is missing"},
        {{"--", "n", "p", "3"}, "RECORD_TIME is missing"},
        {{"n", "p", "3", "30"}, ""},
        {{"n", "p", "3", "30", "1"}, ""},
    };
    for (const auto& usage : cases) {
        SCOPED_TRACE(usage.said);
        EXPECT_EQ(usageProblem(parseCommandLine(usage.arguments)), usage.said);
    }
}

TEST(CommandLineUsage, OptionsAreRefusedUntilALoneDoubleDash) {
    const struct {
        Arguments arguments;
        const char* said;
        Arguments positional;
    } cases[] = {
        {{"--verbose", "n", "p", "3", "30"}, "unknown option --verbose", {"n", "p", "3", "30"}},
        {{"n", "p", "3", "30", "--quiet"}, "unknown option --quiet", {"n", "p", "3", "30"}},
        {{"--verbose"}, "unknown option --verbose", {}},
        {{"--help", "p"}, "--help takes no other arguments", {"p"}},
        {{"n", "p", "3", "30", "--list-ports"}, "--list-ports takes no other arguments", {"n", "p", "3", "30"}},
        {{"n", "p", "3", "30", "--convert"},
         "--convert comes first: quorvane-capture --convert [FILE] [1]",
         {"n", "p", "3", "30"}},
        {{"--", "--net--", "p", "3", "30"}, "", {"--net--", "p", "3", "30"}},
        {{"--", "n", "--", "3", "30"}, "", {"n", "--", "3", "30"}},
        // A single dash and a lone "-" are arguments: "-" asks for the pass phrase.
        {{"-n", "-", "3", "30"}, "", {"-n", "-", "3", "30"}},
    };
    for (const auto& usage : cases) {
        SCOPED_TRACE(usage.arguments.empty() ? "" : usage.arguments.front());
        const CommandLine commandLine = parseCommandLine(usage.arguments);
        EXPECT_EQ(usageProblem(commandLine), usage.said);
        EXPECT_EQ(commandLine.positional, usage.positional);
    }
}

TEST(ConvertRequest, FileAndSwitchAfterConvert) {
    const struct {
        Arguments afterOption;
        const char* file;
        bool channel3;
        const char* problem;
    } cases[] = {
        {{}, "record.pcm", false, ""},
        {{"1"}, "record.pcm", true, ""},
        {{"./1"}, "./1", false, ""},
        {{"takes/Caf\xC3\xA9 1.pcm"}, "takes/Caf\xC3\xA9 1.pcm", false, ""},
        {{"take.pcm", "1"}, "take.pcm", true, ""},
        {{"1", "1"}, "1", true, ""},
        {{"take.pcm", "01"},
         "take.pcm",
         true,
         "--convert \"take.pcm\" takes only 1 after it (to convert channel 3 as well), not \"01\""},
        {{""}, "", false, "--convert was given an empty FILE"},
        {{"a", "1", "b"}, "a", false, "--convert takes at most a FILE and the switch 1"},
        {{"--fast"}, "record.pcm", false, "unknown option --fast after --convert"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.afterOption.empty() ? "(none)" : test.afterOption.front());
        const ConvertRequest request = parseConvertRequest(test.afterOption);
        EXPECT_EQ(request.problem, test.problem);
        if (request.problem.empty()) {
            EXPECT_EQ(request.file, test.file);
            EXPECT_EQ(request.convertChannel3, test.channel3);
        }
    }
    EXPECT_TRUE(isConvertRequest({"--convert", "x"}));
    EXPECT_FALSE(isConvertRequest({"x", "--convert"}));
    EXPECT_FALSE(isConvertRequest({}));
}

TEST(PortLabel, NumbersGetTheComPrefixAndPathsStayAsTyped) {
    EXPECT_EQ(portLabel("12"), "COM12");
    EXPECT_EQ(portLabel("/dev/ttyACM0"), acceptsDevicePaths() ? "/dev/ttyACM0" : "COM/dev/ttyACM0");
}

}  // namespace
