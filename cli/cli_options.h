// quorvane-cli [OPTIONS] COMMAND [ARG]: the parsed command line.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

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
};

struct CliOptions {
    std::string port;
    std::string auth;
    std::optional<std::string> load;
    std::vector<std::pair<std::string, std::string>> sets;  // control, value (unescaped)
    double timeoutSeconds = 10.0;
    bool timing = false;  // print the operation's duration on stderr (benchmarks)
    CliCommand command = CliCommand::Ports;
    std::string group;  // for dump, read, write
    std::optional<std::string> file;  // for read, read-all
    std::optional<std::string> trace;  // --trace FILE: the line's traffic as text rows
    std::vector<std::string> findPorts;  // for find: the ports to try (default: every listed port)
};

// Throws EUsage with a one-line reason.
CliOptions ParseCliArguments(const std::vector<std::string>& args);

// The usage text printed with --help and after a usage error.
const char* CliUsage();

}  // namespace quorvane
