// The command line against a tracker that answers twice or late: the real
// quorvane-cli against the real quorvane-sim over a pseudo-terminal. The values it
// reads must be those a well-behaved tracker gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace quorvane {
namespace {

using test_support::BackgroundProcess;
using test_support::ProcessResult;
using test_support::RunProcess;

class AnswerFaultsCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("qv-answer-faults-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // Runs quorvane-cli `args` against a fresh simulated tracker with `fault` (none when empty).
    static ProcessResult Run(const std::string& fault, std::vector<std::string> args) {
        std::vector<std::string> simArgs = {QUORVANE_SIM_PATH};
        if (!fault.empty()) simArgs.insert(simArgs.end(), {"--fault", fault});
        BackgroundProcess sim(simArgs);
        const std::string port = sim.FirstLine();
        EXPECT_FALSE(port.empty()) << "the simulated tracker printed no port";
        args.insert(args.begin(), {QUORVANE_CLI_PATH, "--port", port});
        return RunProcess(args, std::chrono::seconds(60));
    }

    static std::string Slurp(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::filesystem::path dir_;
};

TEST_F(AnswerFaultsCli, RepeatedAndLateAnswersGiveTheValuesOfAWellBehavedTracker) {
    const ProcessResult clean = Run("", {"read-all", Path("clean.ini")});
    ASSERT_EQ(clean.exitCode, 0) << clean.err;

    // Every read answer again 50 ms later: the Main answer arrives again while the
    // Main extension is awaited, and so on down the chain.
    const ProcessResult main = Run("repeat-answer:all@0x59", {"read", "main"});
    EXPECT_EQ(main.exitCode, 0) << main.err;
    EXPECT_NE(main.err.find("notice: Read Main Completed!"), std::string::npos) << main.err;
    std::istringstream lines(main.out);
    int values = 0;
    for (std::string line; std::getline(lines, line); ++values) {
        EXPECT_NE(clean.out.find("\n" + line + "\n"), std::string::npos) << line;
    }
    EXPECT_GT(values, 20);

    // Before each read answer, the answer sent before it again: the connect answer
    // before the Device ID's, then each block's before the next one's.
    const ProcessResult all = Run("stale-answer:all@0x59", {"read-all", Path("stale.ini")});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.err.find("Error"), std::string::npos) << all.err;
    EXPECT_TRUE(all.out == clean.out) << "the values differ from a clean tracker's";
    EXPECT_TRUE(Slurp(Path("stale.ini")) == Slurp(Path("clean.ini"))) << "the saved file differs";

    // The first connect answered after 0.9 s, when the poll has sent its request
    // again: the second answer comes while the Device ID is read.
    const ProcessResult info = Run("late-answer@0x50", {"info"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.err.find("Read Error!"), std::string::npos) << info.err;
    EXPECT_NE(info.out.find("\nDeviceID=860123456789012\n"), std::string::npos) << info.out;
}

}  // namespace
}  // namespace quorvane
