#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/shell.h"
#include "platform/shell_os.h"

namespace {

namespace fs = std::filesystem;

const std::string kUnicodeName = "r\xc3\xa9gie \xe5\xae\xb6";  // "régie 家"

// Asks `done` every millisecond until it is true, at most half a minute.
template <class Condition>
bool eventually(Condition done) {
    for (int waited = 0; waited < 30000 && !done(); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// A fresh folder with a name outside ASCII, removed afterwards; PATH and the
// working folder are put back too.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedPath_ = quorvane::platform::inheritedSearchPath();
        savedWorkingFolder_ = fs::current_path();
        root_ =
            fs::temp_directory_path() / fs::u8path("quorvane-shell-" + kUnicodeName + "-" +
                                                   std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        fs::current_path(savedWorkingFolder_);
        quorvane::platform::replaceSearchPath(savedPath_);
        fs::remove_all(root_);
    }

    std::string folder(const std::string& name) {
        const fs::path folder = root_ / fs::u8path(name);
        fs::create_directories(folder);
        return folder.u8string();
    }

    static void placeProgram(const std::string& folder, const std::string& name) {
        const fs::path program = fs::u8path(folder) / name;
        std::ofstream(program) << "#!/bin/sh\n";
        fs::permissions(program, fs::perms::owner_all);
    }

    fs::path root_;

private:
    std::string savedPath_;
    fs::path savedWorkingFolder_;
};

TEST_F(ShellTest, PrependedFoldersComeFirstInTheSearchOrder) {
    quorvane::platform::replaceSearchPath(std::string("inherited-1") + quorvane::platform::kSearchPathSeparator +
                                          quorvane::platform::kSearchPathSeparator + "inherited-2");
    quorvane::platform::prependToSearchPath(kUnicodeName, "");
    quorvane::platform::prependToSearchPath("first", "second");
    const std::vector<std::string> expected = {"first", "second", kUnicodeName, "inherited-1", "inherited-2"};
    EXPECT_EQ(quorvane::platform::searchPathFolders(), expected);
}

TEST_F(ShellTest, FirstFolderThatHoldsTheProgramIsFound) {
    const std::string program = "quorvane-probe.exe";
    const std::string empty = folder("empty");
    const std::string misleading = folder("misleading");
    fs::create_directory(fs::u8path(misleading) / program);  // a folder is no program
    const std::string holder = folder(kUnicodeName);
    const std::string later = folder("later");
    placeProgram(holder, program);
    placeProgram(later, program);
    EXPECT_EQ(quorvane::platform::folderHoldingProgram(program, {empty, misleading, holder, later}), holder);
    EXPECT_EQ(quorvane::platform::folderHoldingProgram(program, {empty, misleading}), "");
    EXPECT_EQ(quorvane::platform::folderHoldingProgram("other.exe", {holder, later}), "");
}

TEST_F(ShellTest, CommandLineKeepsTextOutsideAscii) {
    const fs::path made = root_ / fs::u8path("\xc3\xa9t\xc3\xa9 \xe5\xae\xb6 \xf0\x9f\x98\x80");  // "été 家 😀"
    const int result = quorvane::platform::runCommandLine("mkdir \"" + made.u8string() + "\"");
    EXPECT_TRUE(quorvane::platform::commandSucceeded(result)) << result;
    EXPECT_TRUE(fs::is_directory(made));
}

// A command that ends is waited for, whether or not the caller may give up;
// one still running when the caller gives up is left running, and the wait
// ends with nothing.
TEST_F(ShellTest, AWaitGivenUpLeavesTheCommandRunning) {
    const fs::path converter = fs::path(QUORVANE_SLOW_CONVERTER).filename();
    const fs::path workFolder = fs::u8path(folder("given-up"));
    fs::copy_file((fs::u8path(quorvane::platform::executableDirectory()) / QUORVANE_SLOW_CONVERTER).lexically_normal(),
                  workFolder / converter);
    fs::current_path(workFolder);
    const std::string slow = std::string(".") + quorvane::platform::kFolderSeparator + converter.stem().string();
    const struct {
        const char* name;
        std::string command;
        quorvane::platform::StopWaiting stopWaiting;
        std::optional<int> status;
    } cases[] = {
        {"ends, never given up", "exit 3", [] { return false; }, 3},
        {"ends, nothing to ask", "exit 4", nullptr, 4},
        {"given up once it runs", slow, [] { return fs::exists("slow-converter-started"); }, std::nullopt},
    };
    for (const auto& command : cases) {
        SCOPED_TRACE(command.name);
        const std::optional<int> result =
            quorvane::platform::runCommandLineUnless(command.command, command.stopWaiting);
        ASSERT_EQ(result.has_value(), command.status.has_value());
        if (result) {
            EXPECT_EQ(quorvane::platform::exitStatusOf(*result), *command.status);
        }
    }
    EXPECT_FALSE(fs::exists("slow-converter-released"));
    std::ofstream("slow-converter-release") << "go\n";
    EXPECT_TRUE(eventually([] { return fs::exists("slow-converter-released"); }));
    // On Windows neither a program that still runs nor the working folder of
    // one (the command interpreter's) can be deleted.
    fs::current_path(root_);
    EXPECT_TRUE(eventually([&workFolder] {
        std::error_code error;
        fs::remove_all(workFolder, error);
        return !error;
    }));
}

TEST_F(ShellTest, WorkingFolderIsNamedInUtf8) {
    const std::string named = folder(kUnicodeName);
    fs::current_path(fs::u8path(named));
    const std::string current = quorvane::platform::currentDirectory();
    EXPECT_EQ(current, fs::current_path().u8string());
    EXPECT_EQ(current.substr(current.size() - kUnicodeName.size()), kUnicodeName);
}

}  // namespace
