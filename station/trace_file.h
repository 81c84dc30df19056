// A port's traffic written as it happens: every row of its recorder as one text line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
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
    // A trace file never grows beyond this; a flooding line cannot fill the disk.
    static constexpr std::uintmax_t kMaxBytes = std::uintmax_t{64} * 1024 * 1024;

    // Opens (truncates) `path`, made readable by its owner only when it is created;
    // throws ETraceFile, with the reason, when it cannot be written. A full file
    // (`maxBytes`) is moved to "PATH.1", replacing an older one, and a new one starts.
    // `onError` is told once, with the reason, when a row cannot be written; the trace
    // stops there.
    explicit TraceFile(const std::string& path, std::function<void(const std::string&)> onError = {},
                       std::uintmax_t maxBytes = kMaxBytes);
    ~TraceFile();
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Enables `recorder` and writes each row it records from now on.
    void Attach(TrafficRecorder& recorder);

    // Writes one line (the heading starts every new file); false once the trace has failed.
    bool WriteLine(const std::string& line);

private:
    bool Open(std::string& reason);
    void Fail(const std::string& reason);

    std::string path_;
    std::function<void(const std::string&)> onError_;
    std::uintmax_t maxBytes_;
    std::FILE* file_ = nullptr;
    std::uintmax_t size_ = 0;
    bool regular_ = false;  // only a regular file is moved aside when full
    bool failed_ = false;
    TrafficRecorder* recorder_ = nullptr;
    int subscription_ = 0;
};

// The trace file of one port: `path` itself, or with several ports "path.NAME"
// (the port's name without its directory).
std::string TracePath(const std::string& path, const std::string& port, bool severalPorts);

}  // namespace quorvane
