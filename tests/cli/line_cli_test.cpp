// The command line and the line itself: a port lost mid-command, --trace, find, and
// why a port could not be opened. The real programs over pseudo-terminals.
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"

namespace quorvane {
namespace {

using test_support::BackgroundProcess;
using test_support::ProcessResult;
using test_support::RunProcess;
using namespace std::chrono_literals;

std::vector<std::string> ReadLines(const std::string& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::size_t CountContaining(const std::vector<std::string>& lines, const std::string& part) {
    std::size_t n = 0;
    for (const std::string& line : lines) n += line.find(part) != std::string::npos;
    return n;
}

class LineCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qv-line-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    static std::unique_ptr<BackgroundProcess> Sim(std::vector<std::string> options, std::string& port) {
        options.insert(options.begin(), QUORVANE_SIM_PATH);
        auto sim = std::make_unique<BackgroundProcess>(options);
        port = sim->FirstLine();
        EXPECT_FALSE(port.empty());
        return sim;
    }
    static ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        return RunProcess(args, 40s);
    }

    std::filesystem::path dir_;
};

// The tracker leaves the Main extension read unanswered; the test pulls the line
// while the command waits for it (seen in the trace), long before its time-out.
TEST_F(LineCli, LostPortEndsTheCommandWithoutATimeoutReport) {
    std::string port;
    auto sim = Sim({"--fault", "no-answer@0x59+3"}, port);
    const std::string trace = Path("trace.txt");
    ProcessResult result;
    std::thread cli([&] { result = Cli({"--trace", trace, "--port", port, "read-all"}); });

    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (CountContaining(ReadLines(trace), "\tTX\tRead Block\t") < 4 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);  // polling the trace file, not waiting for a time-out
    }
    const auto pulled = std::chrono::steady_clock::now();
    sim.reset();  // the simulated tracker exits and its pseudo-terminal goes away
    cli.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - pulled).count();
    std::printf("[ figures  ] exit %.3f s after the line went\n", seconds);

    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_NE(result.err.find("\nerror: port lost: " + port + "\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("notice: The port " + port + " was lost during Read All; the groups read so far are in the window"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.err.find("Overtime"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty()) << "a lost Read All prints no values";

    // The trace: a heading, then the connect exchange, Device ID and the reads so far.
    const std::vector<std::string> lines = ReadLines(trace);
    ASSERT_GE(lines.size(), 8U);
    EXPECT_EQ(lines[0], "# ms\tdir\tcommand\tlength\tsummary\tbytes");
    EXPECT_NE(lines[1].find("\tTX\tConnect\t12\tauth code -1\t5A A5 00 06 50 01 FF FF FF FF"), std::string::npos)
        << lines[1];
    EXPECT_NE(lines[2].find("\tRX\tConnect\t"), std::string::npos) << lines[2];
    EXPECT_NE(lines[2].find("accepted, firmware QV-KR420-V2.1.7, IMEI 860123456789012, SN QV420A0012345"),
              std::string::npos)
        << lines[2];
}

TEST_F(LineCli, TheSimulatedTrackerTracesItsSideWithTheSameRows) {
    std::string port;
    const std::string mine = Path("cli.txt");
    const std::string theirs = Path("sim.txt");
    auto sim = Sim({"--trace", theirs}, port);
    const ProcessResult r = Cli({"--trace", mine, "--port", port, "read", "gprs"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    sim.reset();
    // Everything but the time; the direction turned round.
    const auto strip = [](const std::string& line, bool turn) {
        std::string rest = line.substr(line.find('\t') + 1);
        if (turn) rest = (rest.starts_with("TX") ? "RX" : "TX") + rest.substr(2);
        return rest;
    };
    const std::vector<std::string> a = ReadLines(mine);
    const std::vector<std::string> b = ReadLines(theirs);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_EQ(a.size(), 1U + 6U);  // heading; connect, Device ID, GPRS: request and answer each
    for (std::size_t i = 1; i < a.size(); ++i) EXPECT_EQ(strip(a[i], false), strip(b[i], true)) << i;
}

TEST_F(LineCli, FindListsThreeTrackersAndASilentPort) {
    std::string p1;
    std::string p2;
    std::string p3;
    auto s1 = Sim({"--imei", "860000000000001", "--serial", "QVA1"}, p1);
    auto s2 = Sim({"--imei", "860000000000002", "--serial", "QVB2", "--model", "KR310"}, p2);
    auto s3 = Sim({"--imei", "860000000000003", "--serial", "QVC3"}, p3);
    int master = -1;
    int slave = -1;
    char silent[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, silent, nullptr, nullptr), 0);

    const ProcessResult r = Cli({"find", p1, silent, p2, p3, "/dev/qv-no-such-port"});
    ::close(master);
    ::close(slave);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::istringstream out(r.out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 5U) << r.out;
    EXPECT_EQ(lines[0], p1 + ": tracker, IMEI 860000000000001, serial QVA1, firmware QV-KR420-V2.1.7");
    EXPECT_EQ(lines[1], std::string(silent) + ": no answer");
    EXPECT_EQ(lines[2], p2 + ": tracker, IMEI 860000000000002, serial QVB2, firmware QV-KR310-V1.4.2");
    EXPECT_EQ(lines[3], p3 + ": tracker, IMEI 860000000000003, serial QVC3, firmware QV-KR420-V2.1.7");
    EXPECT_EQ(lines[4], "/dev/qv-no-such-port: Error opening serial port: No such device: /dev/qv-no-such-port "
                        "does not exist (the adapter may be unplugged, or it appeared under another name).");
}

TEST_F(LineCli, OpenFailureGivesTheReasonAsASecondErrorLine) {
    const ProcessResult r = Cli({"--port", "/dev/qv-no-such-port", "info"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err,
              "error: Error opening serial port\n"
              "error: No such device: /dev/qv-no-such-port does not exist (the adapter may be unplugged, or it "
              "appeared under another name).\n");

    const ProcessResult unwritable = Cli({"--trace", Path("no/such/dir/trace.txt"), "--port", "x", "info"});
    EXPECT_EQ(unwritable.exitCode, 2);
    EXPECT_NE(unwritable.err.find("error: --trace: cannot write"), std::string::npos) << unwritable.err;
}

}  // namespace
}  // namespace quorvane
