#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quorvane {
namespace {

CliOptions Parse(const std::vector<std::string>& args) { return ParseCliArguments(args); }

TEST(CliOptions, OptionsBeforeTheCommand) {
    const CliOptions o = Parse({"--port", "ttyUSB0", "--auth", "1234", "--load", "a.ini", "--set",
                                "APN=in\\x74ernet", "--set", "GPRSType=2", "--timeout", "2.5",
                                "read", "gprs", "out.ini"});
    EXPECT_EQ(o.port, "ttyUSB0");
    EXPECT_EQ(o.auth, "1234");
    EXPECT_EQ(o.load.value(), "a.ini");
    ASSERT_EQ(o.sets.size(), 2U);
    EXPECT_EQ(o.sets[0].first, "APN");
    EXPECT_EQ(o.sets[0].second, "internet");
    EXPECT_EQ(o.sets[1].second, "2");
    EXPECT_DOUBLE_EQ(o.timeoutSeconds, 2.5);
    EXPECT_EQ(o.command, CliCommand::Read);
    EXPECT_EQ(o.group, "gprs");
    EXPECT_EQ(o.file.value(), "out.ini");
}

TEST(CliOptions, SetValueMayBeEmptyOrHoldEquals) {
    const CliOptions o = Parse({"--set", "APN=", "--set", "IP=a=b", "dump"});
    EXPECT_EQ(o.sets[0].second, "");
    EXPECT_EQ(o.sets[1].second, "a=b");
    EXPECT_EQ(o.command, CliCommand::Dump);
    EXPECT_TRUE(o.group.empty());
}

TEST(CliOptions, PortsAndDumpNeedNoPort) {
    EXPECT_EQ(Parse({"ports"}).command, CliCommand::Ports);
    EXPECT_EQ(Parse({"dump", "event"}).group, "event");
}

// The code read from a file: its first line, blanks dropped; a bad one is refused
// naming the file, never showing the code.
TEST(CliOptions, AuthorizationCodeFromAFile) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("qv-auth-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string good = (dir / "code").string();
    const std::string bad = (dir / "bad").string();
    std::ofstream(good, std::ios::binary) << "  4711 \r\nsecond line\n";
    std::ofstream(bad, std::ios::binary) << "47x11\n";

    const CliOptions o = Parse({"--auth-file", good, "ports"});
    EXPECT_EQ(o.auth, "4711");
    EXPECT_TRUE(o.authHidden);
    EXPECT_FALSE(Parse({"--auth-file", good, "--auth", "12", "ports"}).authHidden) << "the last one given counts";
    const struct {
        std::string path;
        std::string error;
    } refused[] = {
        {bad, "the file " + bad + " holds an authorization code that is not a whole number"},
        {(dir / "none").string(), "--auth-file " + (dir / "none").string() +
                                      ": cannot be read: the file or its folder does not exist"},
        {dir.string(), "--auth-file " + dir.string() + ": cannot be read: it is a folder"},
    };
    for (const auto& r : refused) {
        try {
            Parse({"--auth-file", r.path, "ports"});
            ADD_FAILURE() << r.path;
        } catch (const EUsage& e) {
            EXPECT_EQ(std::string(e.what()), r.error);
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(CliOptions, UsageErrors) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--port"},
        {"--bogus", "ports"},
        {"frobnicate"},
        {"--port", "p", "read"},
        {"--port", "p", "read", "nosuchgroup"},
        {"--port", "p", "write", "gprs", "extra"},
        {"read-all"},
        {"--set", "noequals", "dump"},
        {"--set", "=value", "dump"},
        {"--set", "APN=bad\\q", "dump"},
        {"--timeout", "0", "--port", "p", "info"},
        {"--timeout", "abc", "--port", "p", "info"},
        {"--port", "p", "write-all", "file.ini"},
    };
    for (const auto& args : bad) {
        EXPECT_THROW(ParseCliArguments(args), EUsage) << (args.empty() ? "(none)" : args.back());
    }
}

}  // namespace
}  // namespace quorvane
