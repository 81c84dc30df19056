// The command line's side of a station: the retry hint and each port's lines.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/station_printer.h"
#include "station/port_lines.h"

namespace quorvane {
namespace {

TEST(RetryCommandLine, NamesOnlyTheFailedPortsAndQuotesForTheShell) {
    const std::vector<std::string> args = {"--port", "ttyUSB0", "--set", "APN=a b", "--port", "ttyUSB1",
                                           "--retry", "2", "write-all"};
    EXPECT_EQ(RetryCommandLine("quorvane-cli", args, {"ttyUSB1"}),
              "quorvane-cli --port ttyUSB1 --set 'APN=a b' --retry 2 write-all");
    EXPECT_EQ(RetryCommandLine("./build dir/quorvane-cli", {"--port", "all", "--set", "Name=it's", "info"},
                               {"ttyACM0", "ttyACM1"}),
              "'./build dir/quorvane-cli' --port ttyACM0 --port ttyACM1 --set 'Name=it'\\''s' info");
}

TEST(StationPrinter, WholeLinesBehindTheirPortAndStationLinesBare) {
    const CliOptions options;
    std::ostringstream out;
    std::ostringstream err;
    StationPrinter printer(options, out, err);
    printer.SetSeveralPorts(true);
    {
        PortStreams streams([&](LineKind kind, std::string_view line) { printer.PortLine("ttyUSB3", kind, line); });
        streams.Err() << "status: Write";
        streams.Out() << "APN=x\n";
        streams.Err() << " All OK\n" << std::flush;
        streams.Out() << "unfinished";
    }
    printer.PortLine({}, LineKind::Err, "error: no serial port found\n");
    EXPECT_EQ(out.str(), "ttyUSB3: APN=x\nttyUSB3: unfinished");
    EXPECT_EQ(err.str(), "ttyUSB3: status: Write All OK\nerror: no serial port found\n");
}

}  // namespace
}  // namespace quorvane
