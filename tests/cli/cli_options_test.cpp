#include "cli/cli_options.h"

#include <gtest/gtest.h>

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
