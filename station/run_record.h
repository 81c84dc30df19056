// What a run leaves in writing: the record file (one JSON object per line per
// tracker and attempt, appended) and --json's object per port on stdout.
#pragma once

#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "cli/cli_options.h"
#include "station/port_session.h"

namespace quorvane {

class ERecordFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RecordFile {
public:
    // Opens `path` for appending; throws ERecordFile when it cannot be written.
    explicit RecordFile(const std::string& path);
    // Writes one line and flushes it; throws ERecordFile when that fails.
    void Append(const nlohmann::ordered_json& line);

private:
    std::string path_;
    std::ofstream file_;
};

// Text of the core (one byte a character, Latin-1) as JSON's UTF-8.
std::string Latin1ToUtf8(const std::string& bytes);

// The record of one attempt on one port.
nlohmann::ordered_json RecordOf(const CliOptions& options, const std::string& port, const PortOutcome& outcome,
                        int attempt);

// --json: the port, its result and message, and the command's controls by name.
nlohmann::ordered_json PortObject(PortSession& session);

}  // namespace quorvane
