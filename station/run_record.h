// What a run leaves in writing: the record file, one JSON object per line per
// tracker and attempt, appended.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "station/port_outcome.h"
#include "station/station_job.h"

namespace quorvane {

class ERecordFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RecordFile {
public:
    // Opens `path` for appending, made readable by its owner only when it is created;
    // throws ERecordFile when it cannot be written.
    explicit RecordFile(const std::string& path);
    ~RecordFile();
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    // Writes one line and flushes it; throws ERecordFile when that fails.
    void Append(const nlohmann::ordered_json& line);

private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

// The record of one attempt on one port.
nlohmann::ordered_json RecordOf(const StationJob& job, const std::string& port, const PortOutcome& outcome,
                                int attempt);

}  // namespace quorvane
