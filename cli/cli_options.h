// quorvane-cli [OPTIONS] COMMAND [ARG]: the parsed command line.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "station/station_job.h"  // kDiffTracker

namespace quorvane {

class EUsage : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

enum class CliCommand {
    Ports, Dump, Info, Read, ReadAll, Write, WriteAll,
    Default, ClearSms, ClearGprs1, ClearGprs2, ClearGpsLog, SetMileage,
    RfidAuth, RfidDelete, RfidCheck, TempPair,
    Find,
    Diff,
};

struct CliOptions {
    std::string port;                // the first --port
    std::vector<std::string> ports;  // every --port in order; "all" for every listed port
    std::string auth;  // from --auth, --auth-env or --auth-file (the last given)
    bool authHidden = false;  // from --auth-env or --auth-file: never printed
    std::optional<std::string> load;
    std::vector<std::pair<std::string, std::string>> sets;  // control, value (unescaped)
    double timeoutSeconds = 10.0;
    bool timing = false;  // print the operation's duration on stderr (benchmarks)
    CliCommand command = CliCommand::Ports;
    std::string group;  // for dump, read, write
    std::optional<std::string> file;  // for read, read-all
    std::optional<std::string> trace;  // --trace FILE: the line's traffic as text rows
    std::vector<std::string> findPorts;  // for find: every --port, then the arguments; empty for every listed port

    // Several trackers at once.
    std::optional<std::string> perTracker;  // CSV of values per IMEI or SN
    std::optional<std::string> report;      // JSON lines appended per tracker and attempt
    bool json = false;                      // stdout: one JSON object per port
    int retry = 0;                          // further attempts for a port that failed
    bool repeat = false;                    // keep serving trackers until interrupted
    std::vector<std::string> arguments;     // the command line as given, for a retry hint
    std::string program = "quorvane-cli";   // the program as it was started (argv[0]), for a retry hint
    // diff A B: each a settings file or kDiffTracker.
    std::string diffA, diffB;
    bool verify = false;                     // --verify, with write and write-all
    std::optional<std::string> backupDir;    // --backup DIR, with write, write-all and default
    bool fromStartValues = false;            // --from-start-values, with write and write-all
};

// The command's words as given: "write-all", "read gprs cfg.ini".
std::string CommandWords(const CliOptions& options);

// Throws EUsage with a one-line reason.
CliOptions ParseCliArguments(const std::vector<std::string>& args);

// The usage text printed with --help and after a usage error.
const char* CliUsage();

}  // namespace quorvane
