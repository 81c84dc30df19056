// diff, --verify and --backup: the real quorvane-cli against the real quorvane-sim
// over a pseudo-terminal.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace quorvane {
namespace {

using test_support::BackgroundProcess;
using test_support::ProcessResult;
using test_support::RunProcess;

class CliWriteSafety : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qv-cli-safety-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        sim_.reset();
        std::filesystem::remove_all(dir_);
    }

    void StartSim(std::vector<std::string> options = {}) {
        options.insert(options.begin(), QUORVANE_SIM_PATH);
        sim_ = std::make_unique<BackgroundProcess>(options);
        port_ = sim_->FirstLine();
        ASSERT_FALSE(port_.empty()) << "the simulated tracker printed no port";
    }
    ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        return RunProcess(args, std::chrono::seconds(40));
    }
    ProcessResult CliOnPort(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", port_});
        return Cli(args);
    }
    // The tracker's whole configuration as a settings file.
    std::string ReadAll(const std::string& name) {
        std::string path = Path(name);
        const ProcessResult r = CliOnPort({"read-all", path});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return path;
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::unique_ptr<BackgroundProcess> sim_;
    std::string port_;
};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
}

bool HasLine(const std::string& text, const std::string& line) {
    const auto lines = SplitLines(text);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Replaces the value of `key` (the first line starting "key=").
std::string WithValue(std::string text, const std::string& key, const std::string& value) {
    const auto at = text.find("\n" + key + "=");
    if (at == std::string::npos) return text;
    const auto start = at + key.size() + 2;
    const auto end = text.find('\r', start);
    return text.replace(start, end - start, value);
}

TEST_F(CliWriteSafety, DiffBetweenTwoFilesByStoredValue) {
    StartSim();
    const std::string a = ReadAll("a.ini");
    std::ofstream(Path("same.ini"), std::ios::binary) << WithValue(Slurp(a), "GPRS1 Time Interval", "0030");
    std::ofstream(Path("b.ini"), std::ios::binary) << WithValue(WithValue(Slurp(a), "APN", "web\tx"), "GPRS1 Buffer Mode", "0");

    ProcessResult r = Cli({"diff", a, Path("same.ini")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;

    // --load and --set change neither side.
    r = Cli({"--load", Path("b.ini"), "--set", "APN=other", "diff", a, Path("b.ini")});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(SplitLines(r.out), (std::vector<std::string>{"APN (GPRS: APN): internet -> web\\tx",
                                                           "BufferMode (GPRS: Buffer Mode): FIFO -> FILO"}));
    EXPECT_NE(r.err.find("summary: 2 differ, "), std::string::npos) << r.err;
}

TEST_F(CliWriteSafety, DiffWithTheTracker) {
    StartSim();
    const std::string a = ReadAll("a.ini");
    ProcessResult r = CliOnPort({"diff", "tracker", a});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    r = CliOnPort({"--load", a, "--set", "APN=web.example", "--set", "No2In=1", "write-all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = CliOnPort({"diff", a, "tracker"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(SplitLines(r.out), (std::vector<std::string>{"APN (GPRS: APN): internet -> web.example",
                                                           "No2In (GEO: No.2 In Alarm): clear -> checked"}));
    EXPECT_EQ(CliOnPort({"diff", "tracker", "tracker"}).exitCode, 0);
}

TEST_F(CliWriteSafety, DiffThatCannotCompareExitsWithTwo) {
    std::ofstream(Path("photo.ini"), std::ios::binary) << std::string("\x89PNG\r\n\x1a\n\0\0", 10);
    ProcessResult r = Cli({"diff", Path("missing.ini"), Path("photo.ini")});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(HasLine(r.err, "error: Unable to read from " + Path("missing.ini"))) << r.err;
    r = Cli({"--port", "/dev/null-none", "diff", Path("photo.ini"), "tracker"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(HasLine(r.err, "error: " + Path("photo.ini") + " is not a settings file")) << r.err;
    EXPECT_EQ(Cli({"diff", "tracker", Path("photo.ini")}).exitCode, 2);  // no --port
    EXPECT_EQ(Cli({"diff", Path("photo.ini")}).exitCode, 2);

    // A tracker that answers the fourth read of the compare with something else.
    StartSim({"--fault", "wrong-command@0x59+4"});
    std::ofstream(Path("empty.ini"), std::ios::binary) << "[GPRS]\r\nAPN=x\r\n";
    r = CliOnPort({"diff", "tracker", Path("empty.ini")});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: Could not read the tracker (Read Error!)")) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(CliWriteSafety, VerifyNamesTheControlTheTrackerStoredWrong) {
    StartSim({"--fault", "store-wrong@0x58"});
    const std::string a = ReadAll("a.ini");
    const ProcessResult r = CliOnPort({"--load", a, "--set", "APN=web.example", "--verify", "write", "gprs"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    const auto lines = SplitLines(r.err);
    const auto mismatch = std::find(lines.begin(), lines.end(), "mismatch: APN: sent 'web.example', read 'xeb.example'");
    ASSERT_NE(mismatch, lines.end()) << r.err;
    ASSERT_NE(mismatch + 1, lines.end());
    EXPECT_EQ(*(mismatch + 1), "error: Verify failed: 1 control differs");
    EXPECT_TRUE(HasLine(r.err, "notice: Write GPRS Completed!"));
}

TEST_F(CliWriteSafety, VerifyOnACleanTracker) {
    StartSim();
    const std::string a = ReadAll("a.ini");
    ProcessResult r = CliOnPort({"--load", a, "--set", "Speed=99", "--verify", "write-all"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Verify OK")) << r.err;
    EXPECT_FALSE(HasLine(r.err, "notice: Verify OK") && r.err.find("mismatch") != std::string::npos);

    // Without --verify not a byte more is said.
    r = CliOnPort({"--load", a, "write-all"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err.find("Verify"), std::string::npos) << r.err;

    EXPECT_EQ(CliOnPort({"--verify", "read-all"}).exitCode, 2);
    EXPECT_EQ(CliOnPort({"--backup", Path("b"), "read", "gprs"}).exitCode, 2);
}

TEST_F(CliWriteSafety, BackupRestoresTheTrackerByteForByte) {
    const std::string state = Path("tracker.state");
    StartSim({"--state", state});
    const std::string a = ReadAll("a.ini");
    const std::string original = Slurp(state);
    ASSERT_FALSE(original.empty());

    const ProcessResult w = CliOnPort({"--load", a, "--set", "APN=web.example", "--set", "TimeInterval=61", "--set",
                                       "ExtPowerLowName=Mains gone", "--backup", Path("backups"), "write-all"});
    ASSERT_EQ(w.exitCode, 0) << w.err;
    const auto lines = SplitLines(w.err);
    const auto backup = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("backup: ", 0) == 0; });
    ASSERT_NE(backup, lines.end()) << w.err;
    const auto writing = std::find(lines.begin(), lines.end(), "status: Writing All...");
    EXPECT_LT(backup - lines.begin(), writing - lines.begin()) << "the backup is saved before the write starts";
    const std::string path = backup->substr(8);
    EXPECT_EQ(std::filesystem::path(path).parent_path(), std::filesystem::path(Path("backups")) / "860123456789012");
    EXPECT_NE(Slurp(state), original);

    EXPECT_EQ(CliOnPort({"diff", "tracker", path}).exitCode, 1);
    const ProcessResult restore = CliOnPort({"--load", path, "write-all"});
    ASSERT_EQ(restore.exitCode, 0) << restore.err;
    EXPECT_EQ(Slurp(state), original);
    // A backup compares every stored control, the Temp tab included; a plain file fewer.
    auto equalCount = [](const ProcessResult& r) {
        const auto at = r.err.find("summary: 0 differ, ");
        return at == std::string::npos ? -1 : std::stoi(r.err.substr(at + 19));
    };
    const ProcessResult same = CliOnPort({"diff", "tracker", path});
    EXPECT_EQ(same.exitCode, 0) << same.out << same.err;
    const ProcessResult plain = CliOnPort({"diff", "tracker", a});
    EXPECT_EQ(plain.exitCode, 0) << plain.out << plain.err;
    EXPECT_GT(equalCount(plain), 0) << plain.err;
    EXPECT_GT(equalCount(same), equalCount(plain)) << same.err;
}

TEST_F(CliWriteSafety, BackupBeforeDefault) {
    StartSim();
    const ProcessResult r = CliOnPort({"--backup", Path("backups"), "default"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto lines = SplitLines(r.err);
    const auto backup =
        std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("backup: ", 0) == 0; });
    const auto done = std::find(lines.begin(), lines.end(), "notice: Default Completed!");
    ASSERT_NE(backup, lines.end()) << r.err;
    ASSERT_NE(done, lines.end()) << r.err;
    EXPECT_LT(backup, done);
    EXPECT_TRUE(std::filesystem::is_regular_file(backup->substr(8)));
}

TEST_F(CliWriteSafety, NoBackupNoWrite) {
    StartSim({"--fault", "wrong-command@0x59+3"});
    const std::vector<std::string> write{"--set", "RoamingInterval=0", "--set", "RoamingInterval2=0", "write", "gprs"};
    std::vector<std::string> args{"--backup", Path("backups")};
    args.insert(args.end(), write.begin(), write.end());
    ProcessResult r = CliOnPort(args);  // the backup's third read is answered wrongly
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: Backup failed: the tracker's configuration could not be read (Read Error!). "
                                   "Nothing was written."))
        << r.err;
    EXPECT_EQ(r.err.find("Writing"), std::string::npos) << r.err;

    std::ofstream(Path("backups")) << "a file, not a folder";
    r = CliOnPort(args);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: Backup failed: Unable to write to " + Path("backups") +
                                   "/860123456789012 (a part of the path is not a folder). Nothing was written."))
        << r.err;
    EXPECT_EQ(r.err.find("Writing"), std::string::npos) << r.err;
}

TEST_F(CliWriteSafety, AWriteChangesOnlyWhatWasGiven) {
    StartSim();
    ASSERT_EQ(CliOnPort({"--set", "Temp1_Name=Cold room", "--set", "Temp1_High=-5.5", "write", "temp"}).exitCode, 0);
    ASSERT_EQ(CliOnPort({"--set", "IP=10.0.0.9", "write", "gprs"}).exitCode, 0);
    const std::string fleet = ReadAll("fleet.ini");
    auto read = [&](const std::string& group) { return CliOnPort({"read", group}).out; };

    // A settings file has no Temp tab: the tracker keeps its sensors.
    ASSERT_EQ(CliOnPort({"--load", fleet, "--set", "Speed=77", "write-all"}).exitCode, 0);
    EXPECT_TRUE(HasLine(read("temp"), "Temp1_Name=Cold room"));
    EXPECT_TRUE(HasLine(read("main"), "Speed=77"));
    // Only the APN given: the IP stays.
    ProcessResult r = CliOnPort({"--set", "APN=x", "write-all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string gprs = read("gprs");
    EXPECT_TRUE(HasLine(gprs, "APN=x") && HasLine(gprs, "IP=10.0.0.9")) << gprs;

    // The backup is saved from the same read: one read request per block, then the writes.
    r = CliOnPort({"--set", "APN=y", "--backup", Path("backups"), "--trace", Path("trace.txt"), "write", "gprs"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string trace = Slurp(Path("trace.txt"));
    std::size_t reads = 0;
    for (const std::string& line : SplitLines(trace)) reads += line.find("\tTX\tRead Block\t") != std::string::npos;
    EXPECT_EQ(reads, 1U + 8U) << trace;  // the Device ID read after connecting, and the eight blocks
    const auto lines = SplitLines(r.err);
    const auto backup = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("backup: ", 0) == 0; });
    ASSERT_NE(backup, lines.end()) << r.err;
    EXPECT_NE(Slurp(backup->substr(8)).find("Temp1_Name=Cold room"), std::string::npos);
    EXPECT_TRUE(HasLine(read("gprs"), "IP=10.0.0.9"));

    // A read first that fails writes nothing.
    sim_.reset();
    StartSim({"--fault", "wrong-command@0x59+1"});  // past the Device ID read
    r = CliOnPort({"--set", "APN=z", "write", "gprs"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: Write failed: the tracker's own values could not be read first (Read Error!). "
                                "Nothing was written.")) << r.err;
    EXPECT_EQ(r.err.find("Writing"), std::string::npos) << r.err;

    // The window's start values for everything not given, as before.
    ASSERT_EQ(CliOnPort({"--set", "Temp1_Name=Cold room", "write", "temp"}).exitCode, 0);
    r = CliOnPort({"--from-start-values", "--set", "RoamingInterval=0", "--set", "RoamingInterval2=0", "write-all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(read("temp"), "Temp1_Name="));
    EXPECT_TRUE(HasLine(read("gprs"), "IP="));
    EXPECT_EQ(CliOnPort({"--from-start-values", "read-all"}).exitCode, 2);
}

// Values that fit reach the tracker exactly, so the check by value agrees with the
// check by bytes: a number written another way (leading zeros, fewer decimals) is the
// same value read back, not a mismatch.
TEST_F(CliWriteSafety, VerifyByValueTakesANumberWrittenAnotherWayAsTheSame) {
    StartSim();
    const ProcessResult r =
        CliOnPort({"--set", "LowExtBatAlarm=11.4", "--set", "Speed=0090", "--set", "APN=" + std::string(32, 'a'),
                   "--verify", "write-all"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Verify OK")) << r.err;
    EXPECT_EQ(r.err.find("mismatch:"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace quorvane
