// A port's traffic written as it happens: every row of its recorder as one text line.
#pragma once

#include <fstream>
#include <stdexcept>
#include <string>

namespace quorvane {

class TrafficRecorder;

class ETraceFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TraceFile {
public:
    // Opens (truncates) `path`; throws ETraceFile when it cannot be written.
    explicit TraceFile(const std::string& path);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Enables `recorder` and writes each row it records from now on.
    void Attach(TrafficRecorder& recorder);

private:
    std::ofstream file_;
    TrafficRecorder* recorder_ = nullptr;
    int subscription_ = 0;
};

// The trace file of one port: `path` itself, or with several ports "path.NAME"
// (the port's name without its directory).
std::string TracePath(const std::string& path, const std::string& port, bool severalPorts);

}  // namespace quorvane
