// The command line's contract, case by case: the real quorvane-cli against the real
// quorvane-sim over a pseudo-terminal.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace quorvane {
namespace {

using test_support::BackgroundProcess;
using test_support::ProcessResult;
using test_support::RunProcess;

class CliContract : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("qv-cli-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        sim_.reset();
        std::filesystem::remove_all(dir_);
    }

    // Starts a simulated tracker with `options`; returns its port.
    std::string StartSim(std::vector<std::string> options = {}) {
        options.insert(options.begin(), QUORVANE_SIM_PATH);
        sim_ = std::make_unique<BackgroundProcess>(options);
        port_ = sim_->FirstLine();
        EXPECT_FALSE(port_.empty()) << "the simulated tracker printed no port";
        return port_;
    }

    ProcessResult Cli(std::vector<std::string> args) {
        args.insert(args.begin(), QUORVANE_CLI_PATH);
        return RunProcess(args, std::chrono::seconds(40));
    }

    ProcessResult CliOnPort(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", port_});
        return Cli(args);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::unique_ptr<BackgroundProcess> sim_;
    std::string port_;
};

bool HasLine(const std::string& text, const std::string& line) {
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        if (l == line) return true;
    }
    return false;
}

std::string Lines(const std::string& text) { return "\n--- output:\n" + text; }

TEST_F(CliContract, DumpPrintsStartValuesWithEscapes) {
    const ProcessResult r = Cli({"--set", "APN=a\\x01b\\\\c", "--set", "GPRSType=2", "--set",
                                 "Auth1Answer=1", "dump", "gprs"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.out, "APN=a\\x01b\\\\c")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "GPRSType=2")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "BufferMode=-1")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "RoamingInterval=0")) << "the hidden twin starts at 0 too";
    EXPECT_FALSE(HasLine(r.out, "Auth1Answer=1")) << "dump gprs prints the GPRS tab only";
    EXPECT_TRUE(r.err.empty()) << r.err;

    const ProcessResult all = Cli({"dump"});
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_TRUE(HasLine(all.out, "IntervalGPRS1=1")) << "every group, the Event tab included";
    EXPECT_TRUE(HasLine(all.out, "Password=6294"));
}

TEST_F(CliContract, ErrorsBeforeStartingExitWithTwo) {
    ProcessResult r = Cli({"--set", "NoSuchControl=1", "dump"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("error: unknown control 'NoSuchControl'"), std::string::npos) << r.err;

    r = Cli({"--load", Path("missing.ini"), "dump"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("error: "), std::string::npos);

    r = Cli({"--port", Path("no-such-port"), "info"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(HasLine(r.err, "error: Error opening serial port")) << r.err;

    r = Cli({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.empty());
}

TEST_F(CliContract, NoConnectAnswerWithinTimeoutExitsWithOne) {
    // A pseudo-terminal nobody answers on: the tracker's own program with every
    // answer withheld.
    StartSim({"--fault", "no-answer:all"});
    const ProcessResult r = CliOnPort({"--timeout", "1", "info"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("error: "), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(CliContract, InfoShowsTheDevice) {
    StartSim({"--imei", "861234567890123"});
    const ProcessResult r = CliOnPort({"info"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.out, "IMEI=861234567890123")) << Lines(r.out);
    EXPECT_NE(r.out.find("DeviceID="), std::string::npos);
    EXPECT_NE(r.out.find("RFID="), std::string::npos);
    EXPECT_EQ(r.out.find("DeviceID=\n"), std::string::npos) << "the Device ID was read";
}

TEST_F(CliContract, RejectedAuthorizationExitsWithOne) {
    StartSim({"--auth", "4321"});
    ProcessResult r = CliOnPort({"--auth", "1234", "read", "gprs"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Auth Code Error!")) << r.err;

    r = CliOnPort({"--auth", "4321", "read", "gprs"});
    EXPECT_EQ(r.exitCode, 0) << r.err;

    r = CliOnPort({"--auth", "12x", "info"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: '12x' is not a valid integer value")) << r.err;
}

TEST_F(CliContract, ReadEditWriteAndReadAgain) {
    StartSim();
    const std::string cfg = Path("cfg.ini");
    ProcessResult r = CliOnPort({"read-all", cfg});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "status: Reading All...")) << r.err;
    EXPECT_TRUE(HasLine(r.err, "status: Read All OK")) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Read All Completed!")) << r.err;
    EXPECT_NE(r.out.find("APN="), std::string::npos);
    EXPECT_NE(r.out.find("LowSpeedOUT2="), std::string::npos) << "every group is printed";
    ASSERT_TRUE(std::filesystem::exists(cfg));

    // Edit the saved file as a user would, write it, and read it back.
    std::ifstream in(cfg, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = text.find("\nAPN=");
    ASSERT_NE(at, std::string::npos);
    const auto end = text.find('\r', at + 1);
    text.replace(at, end - at, "\nAPN=provisioned.apn");
    std::ofstream(cfg, std::ios::binary) << text;

    r = CliOnPort({"--load", cfg, "--set", "Speed=111", "write-all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Write All Completed!")) << r.err;
    EXPECT_TRUE(r.out.empty()) << "write-all prints no controls";

    r = CliOnPort({"read-all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.out, "APN=provisioned.apn")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "Speed=111"));
}

TEST_F(CliContract, GroupReadAndWrite) {
    StartSim();
    ProcessResult r = CliOnPort({"--set", "No2Name=Yard", "--set", "No2Lat=1.5", "--set",
                                 "No2Long=2.25", "write", "geo"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Write GEO Completed!")) << r.err;
    r = CliOnPort({"read", "geo"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.out, "No2Name=Yard")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "No2Lat=1.500000"));
    EXPECT_EQ(r.out.find("APN="), std::string::npos) << "read geo prints the GEO tab only";
}

TEST_F(CliContract, ConversionErrorBeforeSendingExitsWithTwo) {
    StartSim();
    // The runtime's message first, then where the box is.
    ProcessResult r = CliOnPort({"--set", "StopInterval=abc", "write", "gprs"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: 'abc' is not a valid integer value")) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: in StopInterval (GPRS tab, Stop Interval)")) << r.err;
    EXPECT_LT(r.err.find("error: 'abc'"), r.err.find("error: in StopInterval")) << r.err;
    EXPECT_EQ(r.err.find("status: Writing"), std::string::npos) << "nothing was sent";

    // A box in a table names its row.
    r = CliOnPort({"--set", "No3Radius=", "write-all"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(HasLine(r.err, "error: in No3Radius (GEO tab, No. 3 Radius(m))")) << r.err;

    // A fresh window, nothing read or loaded, can be written as it stands.
    r = CliOnPort({"write-all"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Write All Completed!")) << r.err;
}

// A value its field cannot hold is refused before any port opens: exit 2, the value,
// the box and what fits, then where the box is; the tracker sees nothing.
TEST_F(CliContract, ValuesThatDoNotFitNeverReachTheTracker) {
    const std::string trace = Path("sim.trace");
    StartSim({"--trace", trace});
    const std::string apn100(100, 'a');
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{"--set", "Speed=70000", "--verify", "write-all"}, "error: '70000' is out of range for Speed (0 to 65535)"},
        {{"--set", "Heading=-5", "write", "main"}, "error: '-5' is out of range for Heading (0 to 255)"},
        {{"--set", "No1Radius=4294967296", "write", "geo"},
         "error: '4294967296' is out of range for No1Radius (0 to 4294967295)"},
        {{"--set", "LowExtBatAlarm=11.456", "write-all"},
         "error: '11.456' does not fit LowExtBatAlarm (0.00 to 655.35, at most 2 decimals)"},
        {{"--set", "APN=" + apn100, "write", "gprs"}, "error: '" + apn100 + "' is too long for APN (at most 32 characters)"},
        {{"--set", "GPRSType=7", "write", "gprs"}, "error: '7' is out of range for GPRSType (-1 to 2)"},
        {{"--set", "APN=\xE2\x82\xAC", "write", "gprs"},  // the euro sign
         "error: --set APN: '\\xe2\\x82\\xac' has no 8-bit form (the tracker keeps Latin-1 text)"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = CliOnPort(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.error << r.err;
        EXPECT_TRUE(HasLine(r.err, c.error)) << r.err;
        EXPECT_EQ(r.err.find("status:"), std::string::npos) << r.err;
    }
    ProcessResult r = CliOnPort({"--set", "Speed=70000", "write-all"});
    EXPECT_TRUE(HasLine(r.err, "error: in Speed (Main tab, Speeding)")) << r.err;
    r = Cli({"--set", "Speed=70000", "dump", "main"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;

    // A per-tracker row is checked whole before any port opens.
    std::ofstream(Path("rows.csv")) << "IMEI,APN,GPRSType\n860123456789012,fleet,7\n";
    r = CliOnPort({"--per-tracker", Path("rows.csv"), "write", "gprs"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("row 2: GPRSType: '7' is out of range for GPRSType (-1 to 2)"), std::string::npos) << r.err;
    std::ofstream(Path("rows.csv")) << "IMEI,Speed\n860123456789012,99999\n";
    r = CliOnPort({"--per-tracker", Path("rows.csv"), "write", "main"});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_NE(r.err.find("row 2: '99999' is out of range for Speed (0 to 65535)"), std::string::npos) << r.err;

    std::ifstream in(trace);
    const std::string seen((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(seen.find("\tRX\t"), std::string::npos) << "the tracker was sent nothing:\n" << seen;
}

// People's text is UTF-8; the tracker keeps Latin-1, and the output escapes it.
TEST_F(CliContract, UnicodeValuesReachTheTrackerAsEightBitText) {
    StartSim();
    ProcessResult r = CliOnPort({"--set", "APN=\xC3\xBC-apn", "--set", "APNName=\\xfc", "write", "gprs"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = CliOnPort({"read", "gprs"});
    EXPECT_TRUE(HasLine(r.out, "APN=\\xfc-apn")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "APNName=\\xfc")) << "an escape stays one byte";

    // A spreadsheet's "CSV UTF-8", byte order mark and all; then a Latin-1 file as it stands.
    std::ofstream(Path("utf8.csv"), std::ios::binary)
        << "\xEF\xBB\xBFIMEI,APN,Tank1Name\r\n860123456789012,m\xC3\xBCnchen,\xC3\x9F" "15 characters!!\r\n";
    r = CliOnPort({"--per-tracker", Path("utf8.csv"), "write-all"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::ofstream(Path("latin1.csv"), std::ios::binary) << "IMEI,LowSpeedName\n860123456789012,gr\xFC\xDF\n";
    r = CliOnPort({"--per-tracker", Path("latin1.csv"), "write", "event"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = CliOnPort({"read-all"});
    EXPECT_TRUE(HasLine(r.out, "APN=m\\xfcnchen")) << Lines(r.out);
    EXPECT_TRUE(HasLine(r.out, "Tank1Name=\\xdf15 characters!!")) << "16 characters, one of them two bytes in UTF-8";
    EXPECT_TRUE(HasLine(r.out, "LowSpeedName=gr\\xfc\\xdf")) << Lines(r.out);
}

TEST_F(CliContract, RefusedCodeStillShowsTheDevice) {
    StartSim({"--imei", "861234567890123", "--fault", "refused@0x50"});
    const ProcessResult r = CliOnPort({"info"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Auth Code Error!")) << r.err;
    EXPECT_TRUE(HasLine(r.out, "IMEI=861234567890123")) << Lines(r.out);
    EXPECT_NE(r.out.find("RFID="), std::string::npos) << Lines(r.out);
    EXPECT_NE(r.out.find("DeviceID="), std::string::npos) << Lines(r.out);
    EXPECT_EQ(r.out.find("DeviceID=\n"), std::string::npos) << "the Device ID read was waited for";
}

TEST_F(CliContract, FailedCommandsPrintWhatTheyCoverAndSaveNothing) {
    // The Device ID read passes; the third block read of read-all is lost.
    StartSim({"--fault", "no-answer@0x59+3"});
    const std::string cfg = Path("partial.ini");
    ProcessResult r = CliOnPort({"read-all", cfg});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Read Overtime!")) << r.err;
    EXPECT_NE(r.out.find("APN="), std::string::npos) << "what the controls hold is printed";
    EXPECT_NE(r.out.find("LowSpeedOUT2="), std::string::npos) << Lines(r.out);
    EXPECT_FALSE(std::filesystem::exists(cfg)) << "a partial read is not saved";
    sim_.reset();

    StartSim({"--fault", "refused@0xB2"});
    r = CliOnPort({"--set", "RFID_Memo=0011223344", "rfid-check"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Check ID Error!")) << r.err;
    EXPECT_TRUE(HasLine(r.out, "RFID_Memo=0011223344")) << "the list is printed unchanged" << Lines(r.out);
}

TEST_F(CliContract, UnansweredRequestExitsWithOneAfterTheTimeOut) {
    StartSim({"--fault", "no-answer@0x59+1"});  // the Device ID read passes, the next read is lost
    const ProcessResult r = CliOnPort({"read", "main"});
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_TRUE(HasLine(r.err, "status: Read Error")) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Read Overtime!")) << r.err;
}

TEST_F(CliContract, MaintenanceCommands) {
    StartSim();
    ProcessResult r = CliOnPort({"--set", "Mileage=123456", "set-mileage"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "status: Set Mileaga OK")) << r.err;

    r = CliOnPort({"info"});
    EXPECT_TRUE(HasLine(r.out, "Mileage=123456")) << Lines(r.out);

    r = CliOnPort({"--set", "RFID_Memo=0011223344\\r\\n5566778899", "rfid-auth"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = CliOnPort({"rfid-check"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("RFID_Memo="), std::string::npos);
    EXPECT_NE(r.out.find("0011223344"), std::string::npos) << Lines(r.out);

    r = CliOnPort({"--set", "Temp_Index=1", "--set", "Temp_Name=Cold room", "temp-pair"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(HasLine(r.err, "notice: Temperature Pairing Completed!")) << r.err;

    r = CliOnPort({"temp-pair"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Really Delete All Temperatures?"), std::string::npos) << r.err;

    for (const char* command : {"default", "clear-sms", "clear-gprs1", "clear-gprs2", "clear-gps-log"}) {
        r = CliOnPort({command});
        EXPECT_EQ(r.exitCode, 0) << command << ": " << r.err;
    }
}

}  // namespace
}  // namespace quorvane
