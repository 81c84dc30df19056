// What a station user meets first, through the real quorvane-cli against simulated
// trackers: diff on several ports, find on the ports given, --json for find and dump,
// the retry line's program, and a second program reading the port.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.h"

namespace quorvane {
namespace {

using test_support::BackgroundProcess;
using test_support::ProcessResult;
using test_support::RunProcess;

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
    for (const std::string& l : LinesOf(text)) {
        if (l == line) return true;
    }
    return false;
}

// Holds a port open and reads whatever arrives on it, as a stray `cat` would.
class StrayReader {
public:
    explicit StrayReader(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
        thread_ = std::thread([this] {
            while (!stop_) {
                pollfd p{fd_, POLLIN, 0};
                char buffer[256];
                if (::poll(&p, 1, 20) > 0) (void)::read(fd_, buffer, sizeof buffer);
            }
        });
    }
    ~StrayReader() {
        stop_ = true;
        thread_.join();
        if (fd_ >= 0) ::close(fd_);
    }
    StrayReader(const StrayReader&) = delete;
    StrayReader& operator=(const StrayReader&) = delete;
    bool Open() const { return fd_ >= 0; }

private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// "<this program> with process id <pid>", as the hint names a holder.
std::string ThisProgram() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name + " with process id " + std::to_string(::getpid());
}

class PortCommands : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qv-ports-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        sims_.clear();
        std::filesystem::remove_all(dir_);
    }

    std::string StartSim(std::vector<std::string> options = {}) {
        options.insert(options.begin(), QUORVANE_SIM_PATH);
        sims_.push_back(std::make_unique<BackgroundProcess>(options));
        std::string port = sims_.back()->FirstLine();
        EXPECT_FALSE(port.empty()) << "the simulated tracker printed no port";
        return port;
    }
    static ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        return RunProcess(args, std::chrono::seconds(60));
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::vector<std::unique_ptr<BackgroundProcess>> sims_;
};

TEST_F(PortCommands, DiffOnSeveralPortsSaysEqualDiffersOrFailedAndRetriesOnlyTheFailed) {
    const std::string same = StartSim();
    const std::string other = StartSim();
    const std::string silent = StartSim({"--fault", "no-answer:all"});
    const std::string baseline = Path("baseline.ini");
    ASSERT_EQ(Cli({"--port", same, "read-all", baseline}).exitCode, 0);
    ASSERT_EQ(Cli({"--port", other, "--load", baseline, "--set", "APN=elsewhere", "write", "gprs"}).exitCode, 0);

    ProcessResult r = Cli({"--port", same, "--port", other, "--port", silent, "--timeout", "1", "diff", "tracker",
                           baseline});
    EXPECT_EQ(r.exitCode, 2) << "a side that could not be compared wins\n" << r.err;
    EXPECT_TRUE(HasLine(r.err, same + ": equal")) << r.err;
    EXPECT_TRUE(HasLine(r.err, other + ": differs (1)")) << r.err;
    EXPECT_TRUE(HasLine(r.err, silent + ": failed: no connect answer from the tracker on " + silent)) << r.err;
    // Nothing at all came back on the silent port: the hint says what that may mean.
    EXPECT_TRUE(HasLine(r.err, silent + ": error: Nothing came back on " + silent +
                                   ": the tracker may be off or not connected, or another program may be "
                                   "reading the port and taking its answers."))
        << r.err;
    const std::vector<std::string> lines = LinesOf(r.err);
    ASSERT_GE(lines.size(), 2U);
    EXPECT_EQ(lines[lines.size() - 2], "1 equal, 1 differ, 1 failed");
    // The retry line starts with the program as it was started and names the failed port alone.
    EXPECT_EQ(lines.back(),
              std::string("retry: ") + QUORVANE_CLI_PATH + " --port " + silent + " --timeout 1 diff tracker " + baseline);
    EXPECT_EQ(LinesOf(r.out).size(), 1U) << r.out;
    EXPECT_EQ(r.out.rfind(other + ": APN (", 0), 0U) << r.out;

    r = Cli({"--port", same, "--port", other, "diff", "tracker", baseline});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "1 equal, 1 differ, 0 failed")) << r.err;
    EXPECT_EQ(r.err.find("retry:"), std::string::npos) << "a difference is no failure to retry\n" << r.err;
}

TEST_F(PortCommands, FindAsksTheGivenPortsAndJsonGivesAnObjectPerPortAndOneForDump) {
    const std::string tracker = StartSim({"--imei", "860000000000007", "--serial", "QV7"});
    const std::string quiet = StartSim({"--fault", "no-answer:all"});
    const StrayReader stray(quiet);
    ASSERT_TRUE(stray.Open());

    // --port and an argument together; no other port of the system is asked.
    const ProcessResult found = Cli({"--port", tracker, "--json", "find", quiet});
    EXPECT_EQ(found.exitCode, 0) << found.err;
    const std::vector<std::string> objects = LinesOf(found.out);
    ASSERT_EQ(objects.size(), 2U) << found.out;
    const nlohmann::json first = nlohmann::json::parse(objects[0]);
    EXPECT_EQ(first["port"], tracker);
    EXPECT_EQ(first["result"], "tracker");
    EXPECT_EQ(first["imei"], "860000000000007");
    EXPECT_EQ(first["serial"], "QV7");
    EXPECT_EQ(first["firmware"], "QV-KR420-V2.1.7");
    const nlohmann::json second = nlohmann::json::parse(objects[1]);
    EXPECT_EQ(second["port"], quiet);
    EXPECT_EQ(second["result"], "no-answer");
    EXPECT_TRUE(second["imei"].is_null());
    // The port's other reader is named beside its answer.
    EXPECT_TRUE(HasLine(found.err, quiet + ": error: Another program may be reading " + quiet +
                                       " and taking the tracker's answers: " + ThisProgram() +
                                       ". Close it, then try again."))
        << found.err;

    // dump --json: one object holding what the plain dump prints, by name.
    const ProcessResult plain = Cli({"--set", "APN=caf\\xE9", "dump", "gprs"});
    const ProcessResult json = Cli({"--set", "APN=caf\\xE9", "--json", "dump", "gprs"});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    ASSERT_EQ(LinesOf(json.out).size(), 1U) << json.out;
    const nlohmann::json dump = nlohmann::json::parse(json.out);
    EXPECT_EQ(dump.size(), LinesOf(plain.out).size());
    EXPECT_EQ(dump["APN"], "caf\xC3\xA9") << "Latin-1 text as UTF-8";
    EXPECT_TRUE(dump["GPRSType"].is_number_integer()) << "a combo box is its item index";
}

TEST_F(PortCommands, AProgramReadingThePortIsNamedWhenTheConnectAnswerNeverComes) {
    const std::string port = StartSim({"--fault", "no-answer:all"});
    const StrayReader stray(port);
    ASSERT_TRUE(stray.Open());

    const ProcessResult r = Cli({"--port", port, "--timeout", "1", "info"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const std::vector<std::string> lines = LinesOf(r.err);
    const auto timeout = std::find(lines.begin(), lines.end(), "error: no connect answer from the tracker on " + port);
    ASSERT_NE(timeout, lines.end()) << r.err;
    ASSERT_NE(timeout + 1, lines.end()) << r.err;
    EXPECT_EQ(*(timeout + 1), "error: Another program may be reading " + port +
                                  " and taking the tracker's answers: " + ThisProgram() +
                                  ". Close it, then try again.");
}

}  // namespace
}  // namespace quorvane
