// The command line and the line itself: a port lost mid-command, --trace, find, diff
// on several ports, --json for find and dump, a second reader of the port, and why a
// port could not be opened. The real programs over pseudo-terminals.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
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

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
    const std::vector<std::string> lines = LinesOf(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
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

TEST_F(LineCli, DiffOnSeveralPortsSaysEqualDiffersOrFailedAndRetriesOnlyTheFailed) {
    std::string same;
    std::string other;
    std::string silent;
    const auto s1 = Sim({}, same);
    const auto s2 = Sim({}, other);
    const auto s3 = Sim({"--fault", "no-answer:all"}, silent);
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

    r = Cli({"--port", same, "--port", other, "--report", Path("diff.jsonl"), "diff", "tracker", baseline});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "1 equal, 1 differ, 0 failed")) << r.err;
    EXPECT_EQ(r.err.find("retry:"), std::string::npos) << "a difference is no failure to retry\n" << r.err;
    // The record says how many controls differ on each port.
    std::ifstream report(Path("diff.jsonl"));
    std::map<std::string, int> differences;
    for (std::string line; std::getline(report, line);) {
        const nlohmann::json record = nlohmann::json::parse(line);
        differences[record["port"]] = record.value("differences", -1);
    }
    EXPECT_EQ(differences, (std::map<std::string, int>{{same, 0}, {other, 1}}));
}

TEST_F(LineCli, FindAsksTheGivenPortsJsonForFindAndDumpAndAReaderOfThePortIsNamed) {
    std::string tracker;
    std::string quiet;
    const auto s1 = Sim({"--imei", "860000000000007", "--serial", "QV7"}, tracker);
    const auto s2 = Sim({"--fault", "no-answer:all"}, quiet);
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
    // So is it when the connect answer never comes, on a line after the time-out's.
    const ProcessResult info = Cli({"--port", quiet, "--timeout", "1", "info"});
    EXPECT_EQ(info.exitCode, 1) << info.err;
    EXPECT_NE(info.err.find("error: no connect answer from the tracker on " + quiet + "\nerror: Another program may be "
                            "reading " + quiet + " and taking the tracker's answers: " + ThisProgram() + ". Close it"),
              std::string::npos)
        << info.err;

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

}  // namespace
}  // namespace quorvane
