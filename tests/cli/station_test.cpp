// Several simulated trackers driven at once by one quorvane-cli: prefixed lines, the
// summary, exit statuses, the record file, --json, per-tracker values as the
// trackers stored them, and the faults a bench of trackers meets.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/memory_form.h"
#include "sim/pty_tracker.h"
#include "sim/state_file.h"
#include "tests/support/child_process.h"
#include "blocks/blocks.h"

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

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}


// quorvane-cli left running, its output collected until it ends.
class RunningCli {
public:
    explicit RunningCli(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        int out[2];
        int err[2];
        if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
        pid_ = test_support::detail::Spawn(std::move(args), out[1], err[1]);
        close(out[1]);
        close(err[1]);
        fds_[0] = out[0];
        fds_[1] = err[0];
    }
    ~RunningCli() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : fds_) {
            if (fd >= 0) close(fd);
        }
    }
    RunningCli(const RunningCli&) = delete;
    RunningCli& operator=(const RunningCli&) = delete;

    // Sends Ctrl+C and collects everything until the program ends, at most `limit`.
    ProcessResult Interrupt(std::chrono::seconds limit) {
        kill(pid_, SIGINT);
        return Finish(limit);
    }

    void Signal(int signal) { kill(pid_, signal); }

    // True while the program has not ended.
    bool Running() { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

    // Collects everything until the program ends, at most `limit`.
    ProcessResult Finish(std::chrono::seconds limit) {
        ProcessResult r;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        int open = 2;
        while (open > 0 && std::chrono::steady_clock::now() < deadline) {
            pollfd p[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
            if (poll(p, 2, 100) <= 0) continue;
            for (int i = 0; i < 2; ++i) {
                if (p[i].fd < 0 || !(p[i].revents & (POLLIN | POLLHUP))) continue;
                char buffer[4096];
                const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
                if (n <= 0) {
                    close(fds_[i]);
                    fds_[i] = -1;
                    --open;
                } else {
                    (i == 0 ? r.out : r.err).append(buffer, static_cast<std::size_t>(n));
                }
            }
        }
        if (open > 0) kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return r;
    }

private:
    pid_t pid_ = -1;
    int fds_[2] = {-1, -1};
};

// Waits for `done`, looking every 20 ms, at most `limit`.
template <typename Done>
bool Eventually(Done done, std::chrono::seconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class Station : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qv-station-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        sims_.clear();
        std::filesystem::remove_all(dir_);
    }

    // Starts a simulated tracker with IMEI 86000000000000N and its own state file;
    // returns its port.
    std::string StartSim(int n, std::vector<std::string> options = {}) {
        const std::string imei = "86000000000000" + std::to_string(n);
        options.insert(options.begin(), {QUORVANE_SIM_PATH, "--imei", imei, "--state", StatePath(n)});
        sims_.push_back(std::make_unique<BackgroundProcess>(options));
        std::string port = sims_.back()->FirstLine();
        EXPECT_FALSE(port.empty()) << "the simulated tracker printed no port";
        return port;
    }

    ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        return RunProcess(args, std::chrono::seconds(60));
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string StatePath(int n) const { return Path("tracker" + std::to_string(n) + ".state"); }

    // The tracker's stored configuration, decoded as the editor would read it.
    MemoryForm Stored(int n) const {
        const sim::TrackerState state = sim::LoadStateFile(StatePath(n));
        MemoryForm form;
        auto decode = [&](BlockId id, auto decoder) {
            // A read answer as the engine hands it over: header, length, command,
            // then area, offset, length and the block's bytes.
            const BlockInfo& b = Block(id);
            const auto& area = state.Area(b.area);
            std::vector<std::uint8_t> answer(10 + b.readLength, 0);
            answer[5] = b.area;
            std::copy(area.begin() + b.readOffset, area.begin() + b.readOffset + b.readLength, answer.begin() + 10);
            decoder(form, answer, 6);
        };
        decode(BlockId::Gprs, DecodeGprsBlock);
        decode(BlockId::Main, DecodeMainBlock);
        return form;
    }

    // A simulated tracker in this process, on a link named `link` in the test's folder.
    std::unique_ptr<sim::PtyTracker> Plug(const std::string& imei, const std::string& link, bool throttle = false) {
        sim::PtyTrackerOptions o;
        o.device.imei = imei;
        o.linkPath = Path(link);
        o.throttle = throttle;
        return std::make_unique<sim::PtyTracker>(o);
    }

    std::vector<nlohmann::json> Records(const std::string& path) const {
        std::vector<nlohmann::json> records;
        for (const std::string& line : LinesOf(Slurp(path))) records.push_back(nlohmann::json::parse(line));
        return records;
    }

    std::filesystem::path dir_;
    std::vector<std::unique_ptr<BackgroundProcess>> sims_;
};

TEST_F(Station, PerTrackerValuesGoOntoEachTrackerAndIntoTheRecord) {
    const std::string p1 = StartSim(1);
    const std::string p2 = StartSim(2);
    const std::string p3 = StartSim(3);
    const std::string p4 = StartSim(4);
    const std::string missing = Path("no-such-port");
    const std::string settings = Path("fleet.ini");
    ASSERT_EQ(Cli({"--port", p1, "read-all", settings}).exitCode, 0);
    const std::string stored3 = Slurp(StatePath(3));
    const std::string stored4 = Slurp(StatePath(4));

    // Quoted fields with a comma, doubled quotes and a line break; tracker 3's speed
    // does not convert; tracker 4 has no row.
    std::ofstream(Path("trackers.csv"), std::ios::binary)
        << "IMEI,APN,Speed\r\n"
           "860000000000001,\"fleet,one\",101\r\n"
           "860000000000002,\"say \"\"two\"\"\nnow\",102\r\n"
           "860000000000003,three,fast\r\n";
    const std::string report = Path("record.jsonl");
    std::ofstream(report) << "{\"kept\":true}\n";  // a record is appended to, never overwritten

    const ProcessResult r = Cli({"--port", p1, "--port", p2, "--port", p3, "--port", p4, "--port", missing,
                                 "--load", settings, "--set", "Password=1111", "--per-tracker",
                                 Path("trackers.csv"), "--report", report, "--verify", "write-all"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;

    // Every line carries its port, in that port's own order.
    for (const std::string& line : LinesOf(r.err)) {
        const bool prefixed = line.rfind(p1 + ": ", 0) == 0 || line.rfind(p2 + ": ", 0) == 0 ||
                              line.rfind(p3 + ": ", 0) == 0 || line.rfind(p4 + ": ", 0) == 0 ||
                              line.rfind(missing + ": ", 0) == 0 || line == "2 completed, 3 failed" ||
                              line.rfind("retry: ", 0) == 0;
        EXPECT_TRUE(prefixed) << line;
    }
    const auto lines = LinesOf(r.err);
    const auto at = [&](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) - lines.begin();
    };
    EXPECT_LT(at(p1 + ": status: Writing All..."), at(p1 + ": status: Write All OK")) << r.err;
    EXPECT_LT(at(p1 + ": status: Write All OK"), at(p1 + ": notice: Write All Completed!")) << r.err;
    EXPECT_TRUE(HasLine(r.err, p3 + ": error: 'fast' is not a valid integer value")) << r.err;
    EXPECT_TRUE(HasLine(r.err, p4 + ": error: no row for IMEI 860000000000004")) << r.err;
    EXPECT_TRUE(HasLine(r.err, missing + ": error: Error opening serial port")) << r.err;

    // The summary closes the run, with the command that retries the failed ports.
    EXPECT_EQ(lines[lines.size() - 2], "2 completed, 3 failed") << r.err;
    EXPECT_EQ(lines.back(), "retry: " QUORVANE_CLI_PATH " --port " + p3 + " --port " + p4 + " --port " + missing +
                                " --load " + settings + " --set Password=1111 --per-tracker " +
                                Path("trackers.csv") + " --report " + report + " --verify write-all");
    EXPECT_TRUE(HasLine(r.err, p3 + ": failed: 'fast' is not a valid integer value")) << r.err;
    EXPECT_TRUE(HasLine(r.err, p4 + ": failed: no row for IMEI 860000000000004")) << r.err;
    bool summaryOfOne = false;
    for (const std::string& line : lines) {
        summaryOfOne |= line.rfind(p1 + ": completed ", 0) == 0 && line.ends_with(" s IMEI 860000000000001");
    }
    EXPECT_TRUE(summaryOfOne) << r.err;

    // What each tracker stored: its own row on top of the file and --set.
    const MemoryForm one = Stored(1);
    EXPECT_EQ(one.Text("APN"), "fleet,one");
    EXPECT_EQ(one.Text("Speed"), "101");
    const MemoryForm two = Stored(2);
    EXPECT_EQ(two.Text("APN"), "say \"two\"\nnow");
    EXPECT_EQ(two.Text("Speed"), "102");
    EXPECT_EQ(Slurp(StatePath(3)), stored3) << "nothing is written when a value does not convert";
    EXPECT_EQ(Slurp(StatePath(4)), stored4) << "nothing is written without a row";

    // The record: the old line kept, then one line per port.
    const auto records = Records(report);
    ASSERT_EQ(records.size(), 6u) << Slurp(report);
    EXPECT_EQ(records[0], nlohmann::json({{"kept", true}}));
    std::map<std::string, nlohmann::json> byPort;
    for (std::size_t i = 1; i < records.size(); ++i) byPort[records[i]["port"]] = records[i];
    const nlohmann::json& first = byPort[p1];
    EXPECT_EQ(first["result"], "completed");
    EXPECT_EQ(first["imei"], "860000000000001");
    EXPECT_EQ(first["sn"], "QV420A0012345");
    EXPECT_EQ(first["firmware"], "QV-KR420-V2.1.7");
    EXPECT_EQ(first["command"], "write-all");
    EXPECT_EQ(first["message"], "Verify OK");
    EXPECT_EQ(first["attempt"], 1);
    EXPECT_TRUE(first["seconds"]["connect"].is_number());
    EXPECT_GT(first["seconds"]["write"].get<double>(), 0.0);
    EXPECT_TRUE(first["seconds"]["backup"].is_null()) << "no --backup";
    EXPECT_TRUE(first["backup"].is_null());
    EXPECT_GT(first["seconds"]["verify"].get<double>(), 0.0);
    EXPECT_EQ(first["verify"], "ok");
    EXPECT_EQ(first["mismatches"], 0);
    EXPECT_EQ(first["load"], settings);
    EXPECT_EQ(first["values"], nlohmann::json({{"Password", "1111"}, {"APN", "fleet,one"}, {"Speed", "101"}}));
    const std::string time = first["time"];
    EXPECT_EQ(time.size(), 24u) << time;  // 2026-01-31T12:00:00.000Z
    EXPECT_EQ(time.back(), 'Z');
    EXPECT_EQ(byPort[p3]["result"], "failed");
    EXPECT_EQ(byPort[p3]["message"], "'fast' is not a valid integer value");
    EXPECT_TRUE(byPort[p3]["seconds"]["write"].is_null()) << "nothing was sent";
    EXPECT_TRUE(byPort[p3]["verify"].is_null());
    EXPECT_EQ(byPort[p4]["result"], "failed");
    EXPECT_EQ(byPort[missing]["result"], "not-opened");
    EXPECT_EQ(byPort[missing]["imei"], "");
}

TEST_F(Station, EightTrackersOfWhichThreeNeverAnswer) {
    std::vector<std::string> args;
    std::vector<std::string> silent;
    for (int n = 1; n <= 8; ++n) {
        const bool mute = n % 3 == 0 || n == 8;  // 3, 6, 8
        const std::string port = mute ? StartSim(n, {"--fault", "no-answer:all"}) : StartSim(n);
        if (mute) silent.push_back(port);
        args.insert(args.end(), {"--port", port});
    }
    args.insert(args.end(), {"--timeout", "1", "--json", "--report", Path("r.jsonl"), "read", "gprs"});
    const ProcessResult r = Cli(args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "5 completed, 3 failed")) << r.err;
    for (const std::string& port : silent) {
        EXPECT_TRUE(HasLine(r.err, port + ": failed: no connect answer from the tracker on " + port)) << r.err;
    }

    // --json: one object per port on stdout, nothing else there.
    int withControls = 0;
    const auto objects = LinesOf(r.out);
    ASSERT_EQ(objects.size(), 8u) << r.out;
    for (const std::string& line : objects) {
        const nlohmann::json o = nlohmann::json::parse(line);
        const bool mute = std::find(silent.begin(), silent.end(), o["port"]) != silent.end();
        EXPECT_EQ(o["result"], mute ? "no-answer" : "completed") << line;
        if (o.contains("APN")) {
            ++withControls;
            EXPECT_EQ(o["APN"], "internet");
            EXPECT_EQ(o["GPRSType"], 1) << "a combo box is its item index";
        }
    }
    EXPECT_EQ(withControls, 5);
    const auto records = Records(Path("r.jsonl"));
    ASSERT_EQ(records.size(), 8u);
    for (const auto& record : records) {
        EXPECT_TRUE(record["seconds"].contains("read")) << record.dump();
    }
}

TEST_F(Station, BusyPortFailsAloneAndRetryTriesOnlyTheFailed) {
    const std::string busy = StartSim(1);
    // The first connect request goes unanswered: the first attempt gives up, the
    // second connects.
    const std::string shy = StartSim(2, {"--fault", "no-answer:1@0x50"});
    const std::string fine = StartSim(3);
    const int holder = ::open(busy.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);

    // The first attempt's one connect request goes out at 0.5 s; on a very busy
    // machine it may not, and the shy tracker then needs the third attempt.
    const ProcessResult r = Cli({"--port", busy, "--port", shy, "--port", fine, "--timeout", "0.8", "--retry",
                                 "2", "--report", Path("r.jsonl"), "info"});
    ::close(holder);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // The summary names why the port would not open, as the second error line says.
    bool busyFailed = false;
    for (const std::string& line : LinesOf(r.err)) {
        busyFailed |= line.rfind(busy + ": failed: " + busy + " is busy", 0) == 0 && line.ends_with("(3 attempts)");
    }
    EXPECT_TRUE(busyFailed) << r.err;
    bool shyCompleted = false;
    for (const std::string& line : LinesOf(r.err)) {
        shyCompleted |= line.rfind(shy + ": completed ", 0) == 0 && line.ends_with(" attempts)");
    }
    EXPECT_TRUE(shyCompleted) << r.err;
    EXPECT_TRUE(HasLine(r.err, "2 completed, 1 failed")) << r.err;
    EXPECT_TRUE(HasLine(r.err, "retry: " QUORVANE_CLI_PATH " --port " + busy + " --timeout 0.8 --retry 2 --report " +
                                   Path("r.jsonl") + " info"))
        << r.err;
    EXPECT_NE(r.out.find(fine + ": IMEI=860000000000003"), std::string::npos) << r.out;

    // Attempts in the record: the fine port once, the busy one every time, the shy
    // one until it answered.
    std::map<std::string, std::vector<std::string>> results;
    for (const auto& record : Records(Path("r.jsonl"))) {
        results[record["port"]].push_back(record["result"]);
        EXPECT_EQ(record["attempt"].get<int>(), static_cast<int>(results[record["port"]].size()));
    }
    EXPECT_EQ(results[busy], (std::vector<std::string>{"not-opened", "not-opened", "not-opened"}));
    ASSERT_GE(results[shy].size(), 2u);
    EXPECT_EQ(results[shy].front(), "no-answer");
    EXPECT_EQ(results[shy].back(), "completed");
    EXPECT_EQ(results[fine], (std::vector<std::string>{"completed"}));
}

TEST_F(Station, BadFilesStopTheRunBeforeAnyPortIsOpened) {
    const std::string port = StartSim(1);
    const std::string stored = Slurp(StatePath(1));
    const auto runWith = [&](const std::string& csv, std::vector<std::string> extra = {}) {
        std::ofstream(Path("t.csv"), std::ios::binary) << csv;
        std::vector<std::string> args = {"--port", port, "--port", Path("second"), "--per-tracker", Path("t.csv")};
        args.insert(args.end(), extra.begin(), extra.end());
        args.emplace_back("write-all");
        return Cli(args);
    };
    const struct {
        const char* csv;
        const char* error;
    } cases[] = {
        {"IMEI,NoSuchControl\n860000000000001,1\n", "unknown control 'NoSuchControl'"},
        {"IMEI,APN\n860000000000001,a,b\n", "row 2 has 3 fields, the first row 2"},
        {"IMEI,APN\n860000000000001,a\n860000000000001,b\n", "IMEI 860000000000001 is there twice"},
        {"Serial,APN\n1,a\n", "the first column is 'Serial', not IMEI or SN"},
        {"IMEI,APN\n860000000000001,\"open\n", "a quoted field is not closed"},
        {"IMEI,Auth1Answer\n860000000000001,yes\n", "Auth1Answer takes 0 or 1"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = runWith(c.csv);
        EXPECT_EQ(r.exitCode, 2) << c.csv << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.csv << r.err;
        EXPECT_EQ(r.err.find("status:"), std::string::npos) << "no port was opened: " << r.err;
    }
    // A record file that cannot be written stops the run as well.
    const ProcessResult r = runWith("IMEI,APN\n860000000000001,x\n", {"--report", Path("no-dir/r.jsonl")});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: cannot write the report file " + Path("no-dir/r.jsonl"))) << r.err;
    EXPECT_EQ(Slurp(StatePath(1)), stored);
}


// The code comes from the environment, never shows in any printed line (the retry
// line names the variable), and what the run writes is its owner's only whatever the
// umask. Files that cannot be what they should be are refused at once, saying why.
TEST_F(Station, TheCodeStaysHiddenAndBadFilesAreRefusedAtOnce) {
    const std::string port = StartSim(1);
    const std::string missing = Path("second");
    const std::string code = "918273";
    ASSERT_EQ(::setenv("QV_TEST_CODE", code.c_str(), 1), 0);
    const mode_t oldMask = ::umask(0);
    const ProcessResult r = Cli({"--port", port, "--port", missing, "--auth-env", "QV_TEST_CODE", "--report",
                                 Path("r.jsonl"), "--trace", Path("t.txt"), "info"});
    ::umask(oldMask);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ((r.out + r.err).find(code), std::string::npos) << r.out << r.err;
    EXPECT_TRUE(HasLine(r.err, "retry: " QUORVANE_CLI_PATH " --port " + missing + " --auth-env QV_TEST_CODE --report " +
                                   Path("r.jsonl") + " --trace " + Path("t.txt") + " info"))
        << r.err;
    struct stat st {};
    for (const std::string& written : {Path("r.jsonl"), Path("t.txt") + "." + std::filesystem::path(port).filename().string()}) {
        ASSERT_EQ(::stat(written.c_str(), &st), 0) << written;
        EXPECT_EQ(st.st_mode & 0777, 0600U) << written;
    }
    // A code given on the command line shows as CODE in the retry line.
    const ProcessResult given = Cli({"--port", port, "--port", missing, "--auth", code, "info"});
    EXPECT_TRUE(HasLine(given.err, "retry: " QUORVANE_CLI_PATH " --port " + missing + " --auth CODE info")) << given.err;

    // Neither a device, nor a folder, nor a FIFO is read as a table or a settings file.
    ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
    const auto started = std::chrono::steady_clock::now();
    const ProcessResult zero = Cli({"--port", port, "--per-tracker", "/dev/zero", "info"});
    EXPECT_EQ(zero.exitCode, 2) << zero.err;
    EXPECT_TRUE(HasLine(zero.err, "error: /dev/zero: cannot be read: it is not a regular file (a device or FIFO)"))
        << zero.err;
    const ProcessResult folder = Cli({"--port", port, "--load", dir_.string(), "info"});
    EXPECT_TRUE(HasLine(folder.err, "error: settings file " + dir_.string() + " is a folder")) << folder.err;
    const ProcessResult fifo = Cli({"--port", port, "--load", Path("fifo"), "info"});
    EXPECT_TRUE(HasLine(fifo.err, "error: settings file " + Path("fifo") + " is not a regular file (a device or FIFO)"))
        << fifo.err;
    EXPECT_NE(folder.exitCode, 0);
    EXPECT_NE(fifo.exitCode, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20)) << "nothing was waited on";
}

// A station serves each tracker once while it stays, again after it has been away
// (its answers stopped), and a new tracker on the same cable at once; Ctrl+C ends it
// with the summary.
TEST_F(Station, RepeatServesEachTrackerOnceWhileItStays) {
    const std::string link = Path("cable");
    auto tracker = [&](const std::string& imei) {
        sim::PtyTrackerOptions o;
        o.device.imei = imei;
        o.linkPath = link;
        return std::make_unique<sim::PtyTracker>(o);
    };
    int connects = 0;
    auto countConnects = [&](sim::PtyTracker& t) {
        for (const auto& request : t.TakeRequests()) connects += request.command == 0x50 ? 1 : 0;
        return connects;
    };
    const std::string report = Path("station.jsonl");
    auto served = [&] { return LinesOf(Slurp(report)).size(); };

    auto first = tracker("861000000000001");
    RunningCli station({"--repeat", "--port", link, "--report", report, "info"});
    ASSERT_TRUE(Eventually([&] { return served() == 1; }));

    // It stays: the station keeps looking (connect requests) but serves it no more.
    const int before = countConnects(*first);
    ASSERT_TRUE(Eventually([&] { return countConnects(*first) >= before + 2; }));
    EXPECT_EQ(served(), 1u);

    // Its answers stop long enough for a look to give up; when they come back it is
    // served again.
    first->InjectFault(sim::FaultPlan{sim::Fault::NoAnswer, -1, std::nullopt, 0});
    const int silent = countConnects(*first);
    ASSERT_TRUE(Eventually([&] { return countConnects(*first) >= silent + 6; }));
    first->ClearFaults();
    ASSERT_TRUE(Eventually([&] { return served() == 2; }));

    // Another tracker on the same cable.
    first.reset();
    auto second = tracker("861000000000002");
    ASSERT_TRUE(Eventually([&] { return served() == 3; }));

    const ProcessResult r = station.Interrupt(std::chrono::seconds(20));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "3 completed, 0 failed")) << r.err;
    std::vector<std::string> imeis;
    for (const auto& record : Records(report)) {
        imeis.push_back(record["imei"]);
        EXPECT_EQ(record["result"], "completed");
    }
    EXPECT_EQ(imeis, (std::vector<std::string>{"861000000000001", "861000000000001", "861000000000002"}));
    EXPECT_NE(r.out.find("IMEI=861000000000002"), std::string::npos) << r.out;
}


// A tracker pulled out in the middle of its write fails alone, after the reply
// time-out; the other port completes.
TEST_F(Station, TrackerUnpluggedDuringItsWrite) {
    auto tracker = [&](const std::string& imei, const std::string& link) {
        sim::PtyTrackerOptions o;
        o.device.imei = imei;
        o.linkPath = Path(link);
        o.throttle = true;
        return std::make_unique<sim::PtyTracker>(o);
    };
    auto pulled = tracker("862000000000001", "pulled");
    auto stays = tracker("862000000000002", "stays");
    const std::string settings = Path("fleet.ini");
    ASSERT_EQ(Cli({"--port", Path("stays"), "read-all", settings}).exitCode, 0);
    stays->TakeRequests();

    RunningCli cli({"--port", Path("pulled"), "--port", Path("stays"), "--load", settings, "--report",
                    Path("r.jsonl"), "write-all"});
    bool writing = false;
    ASSERT_TRUE(Eventually([&] {
        for (const auto& request : pulled->TakeRequests()) writing = writing || request.command == 0x58;
        return writing;
    }));
    pulled.reset();

    const ProcessResult r = cli.Finish(std::chrono::seconds(30));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    // The loss ends the port's command at once: no time-out, and the summary says what was lost.
    EXPECT_TRUE(HasLine(r.err, Path("pulled") + ": error: port lost: " + Path("pulled"))) << r.err;
    EXPECT_EQ(r.err.find("Overtime"), std::string::npos) << r.err;
    bool lostInSummary = false;
    for (const std::string& line : LinesOf(r.err)) {
        lostInSummary |= line.rfind(Path("pulled") + ": failed: The port ", 0) == 0 &&
                         line.find("was lost during Write All") != std::string::npos;
    }
    EXPECT_TRUE(lostInSummary) << r.err;
    EXPECT_TRUE(HasLine(r.err, "1 completed, 1 failed")) << r.err;
    const auto records = Records(Path("r.jsonl"));
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) {
        EXPECT_EQ(record["result"], record["port"] == Path("stays") ? "completed" : "failed") << record.dump();
        // The write ran until the loss: its time and the tracker's identity are in the record.
        EXPECT_TRUE(record["seconds"]["write"].is_number()) << record.dump();
        EXPECT_EQ(record["imei"], record["port"] == Path("stays") ? "862000000000002" : "862000000000001");
    }
}

// A station keeps every port: a tracker unplugged and another (or the same) plugged
// in after 1.5 s or 0.1 s is served as new; a device that stays away is waited for,
// shown once, and costs no record; only Ctrl+C ends the station.
TEST_F(Station, RepeatServesWhoeverIsPluggedInAgain) {
    const std::string link = Path("cable");
    auto plug = [&](const std::string& imei) { return Plug(imei, "cable"); };
    const std::string report = Path("station.jsonl");
    auto served = [&] { return LinesOf(Slurp(report)).size(); };
    // Served, and looked at again (the port watched) before it is pulled.
    auto servedAndWatched = [&](sim::PtyTracker& t, std::size_t count) {
        EXPECT_TRUE(Eventually([&] { return served() == count; })) << count;
        t.TakeRequests();
        return Eventually([&] {
            for (const auto& request : t.TakeRequests()) {
                if (request.command == 0x50) return true;
            }
            return false;
        });
    };

    auto tracker = plug("863000000000001");
    RunningCli station({"--repeat", "--port", link, "--report", report, "info"});
    ASSERT_TRUE(servedAndWatched(*tracker, 1));

    tracker->Unplug();
    tracker.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    tracker = plug("863000000000001");  // the same tracker back after 1.5 s
    ASSERT_TRUE(servedAndWatched(*tracker, 2));

    tracker->Unplug();
    tracker.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tracker = plug("863000000000002");  // another one after 0.1 s
    ASSERT_TRUE(servedAndWatched(*tracker, 3));

    tracker->Unplug();
    tracker.reset();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tracker = plug("863000000000002");  // the same one again after 0.1 s
    ASSERT_TRUE(servedAndWatched(*tracker, 4));

    // Pulled for good: the station waits and writes nothing.
    tracker->Unplug();
    tracker.reset();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_TRUE(station.Running());
    EXPECT_EQ(served(), 4u);

    const ProcessResult r = station.Interrupt(std::chrono::seconds(20));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "4 completed, 0 failed")) << r.err;
    EXPECT_EQ(r.err.find("failed:"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("port lost"), std::string::npos) << r.err;
    int waiting = 0;
    for (const std::string& line : LinesOf(r.err)) waiting += line.rfind("waiting for the device: ", 0) == 0 ? 1 : 0;
    EXPECT_GE(waiting, 1) << r.err;
    EXPECT_LE(waiting, 4) << r.err;  // once per absence at most, not once a second
    std::vector<std::string> imeis;
    for (const auto& record : Records(report)) {
        imeis.push_back(record["imei"]);
        EXPECT_EQ(record["result"], "completed") << record.dump();
    }
    EXPECT_EQ(imeis, (std::vector<std::string>{"863000000000001", "863000000000001", "863000000000002",
                                               "863000000000002"}));
}

// A restart in the middle of a write, a verification whose read never ends, and a
// record that cannot be written: each failure says what it was, on an error line,
// in the summary and in the record.
TEST_F(Station, EveryFailureNamesItself) {
    auto rebooting = Plug("864000000000001", "rebooting");
    auto deaf = Plug("864000000000002", "deaf");
    const std::string settings = Path("fleet.ini");
    ASSERT_EQ(Cli({"--port", Path("deaf"), "read-all", settings}).exitCode, 0);
    // The fourth block's answer is the boot banner; every read after the Device ID read is lost.
    rebooting->InjectFault(sim::FaultPlan{sim::Fault::BootText, 1, 0x58, 3});
    deaf->InjectFault(sim::FaultPlan{sim::Fault::NoAnswer, -1, 0x59, 1});

    const std::string report = Path("r.jsonl");
    const ProcessResult r = Cli({"--port", Path("rebooting"), "--port", Path("deaf"), "--load", settings,
                                 "--from-start-values", "--verify", "--report", report, "write-all"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    std::string restarted;
    for (const std::string& line : LinesOf(r.err)) {
        const std::string prefix = Path("rebooting") + ": error: the tracker restarted during Write All; 3 of ";
        if (line.rfind(prefix, 0) == 0) restarted = line.substr(Path("rebooting").size() + 9);
    }
    ASSERT_NE(restarted, "") << r.err;
    EXPECT_NE(restarted.find(" blocks were written"), std::string::npos) << restarted;
    EXPECT_TRUE(HasLine(r.err, Path("rebooting") + ": status: " + restarted)) << r.err;  // the window's panel
    EXPECT_TRUE(HasLine(r.err, Path("rebooting") + ": failed: " + restarted)) << r.err;
    EXPECT_TRUE(HasLine(r.err, "0 completed, 2 failed")) << r.err;
    for (const std::string& line : LinesOf(r.err)) {
        if (line.find(": failed:") != std::string::npos) {
            EXPECT_GT(line.size(), line.find(": failed:") + 10) << line;
        }
    }
    const auto records = Records(report);
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) {
        EXPECT_EQ(record["result"], "failed") << record.dump();
        EXPECT_NE(record["message"], "") << record.dump();
        EXPECT_TRUE(record["seconds"]["write"].is_number()) << record.dump();
        if (record["port"] == Path("rebooting")) {
            EXPECT_EQ(record["message"], restarted);
            EXPECT_TRUE(record["verify"].is_null()) << record.dump();  // never ran
        } else {
            EXPECT_EQ(record["verify"], "failed") << record.dump();
            EXPECT_TRUE(record["seconds"]["verify"].is_number()) << record.dump();
        }
    }

    // A record that cannot be written: both trackers count as failed, and say why.
    rebooting->ClearFaults();
    deaf->ClearFaults();
    const ProcessResult full = Cli({"--port", Path("rebooting"), "--port", Path("deaf"), "--load", settings,
                                    "--report", "/dev/full", "write-all"});
    EXPECT_EQ(full.exitCode, 1) << full.err;
    EXPECT_TRUE(HasLine(full.err, "0 completed, 2 failed")) << full.err;
    for (const std::string& port : {Path("rebooting"), Path("deaf")}) {
        bool told = false;
        for (const std::string& line : LinesOf(full.err)) {
            told |= line.rfind(port + ": failed: record not written: ", 0) == 0;
        }
        EXPECT_TRUE(told) << full.err;
    }
}

// SIGTERM lets the writes under way finish, each with its record; a second Ctrl+C
// ends them at once, and each still leaves its record, as interrupted.
TEST_F(Station, StopSignalsLeaveARecordForEveryWrite) {
    std::vector<std::unique_ptr<sim::PtyTracker>> trackers;
    trackers.push_back(Plug("865000000000001", "a", true));
    trackers.push_back(Plug("865000000000002", "b", true));
    const std::string settings = Path("fleet.ini");
    ASSERT_EQ(Cli({"--port", Path("a"), "read-all", settings}).exitCode, 0);

    auto run = [&](const std::string& report, const std::vector<int>& signals) {
        for (auto& t : trackers) t->TakeRequests();
        RunningCli station({"--repeat", "--port", Path("a"), "--port", Path("b"), "--load", settings, "--report",
                            report, "write-all"});
        std::vector<bool> writing(trackers.size(), false);
        EXPECT_TRUE(Eventually([&] {
            for (std::size_t i = 0; i < trackers.size(); ++i) {
                for (const auto& request : trackers[i]->TakeRequests()) writing[i] = writing[i] || request.command == 0x58;
            }
            return writing[0] && writing[1];
        }));
        for (int signal : signals) {
            station.Signal(signal);  // one at a time: signals sent together may merge into one
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        return station.Finish(std::chrono::seconds(30));
    };

    const ProcessResult term = run(Path("term.jsonl"), {SIGTERM});
    EXPECT_EQ(term.exitCode, 0) << term.err;
    EXPECT_TRUE(HasLine(term.err, "2 completed, 0 failed")) << term.err;
    auto records = Records(Path("term.jsonl"));
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) EXPECT_EQ(record["result"], "completed") << record.dump();

    // The second block's answer is lost, so each write is surely still waiting when stopped.
    for (auto& t : trackers) t->InjectFault(sim::FaultPlan{sim::Fault::NoAnswer, 1, 0x58, 1});
    const ProcessResult now = run(Path("now.jsonl"), {SIGINT, SIGINT});
    EXPECT_EQ(now.exitCode, 1) << now.err;
    EXPECT_TRUE(HasLine(now.err, "0 completed, 2 failed")) << now.err;
    EXPECT_TRUE(HasLine(now.err, Path("a") + ": error: stopped at once while writing")) << now.err;
    records = Records(Path("now.jsonl"));
    ASSERT_EQ(records.size(), 2u);
    for (const auto& record : records) {
        EXPECT_EQ(record["result"], "interrupted") << record.dump();
        EXPECT_EQ(record["message"], "stopped at once while writing") << record.dump();
        EXPECT_TRUE(record["seconds"]["write"].is_number()) << record.dump();
        EXPECT_EQ(record["imei"].get<std::string>().substr(0, 14), "86500000000000") << record.dump();
    }
}

}  // namespace
}  // namespace quorvane
