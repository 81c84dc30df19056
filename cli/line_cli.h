// The command line's view of the line: --trace files, the `find` command, and the
// texts for a port that cannot be opened or is lost.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "cli/cli_options.h"

namespace quorvane {

class ECommsError;
class TrafficRecorder;
class Ui;

// A --trace file: every row of a recorder as one text line, flushed as it comes.
class TraceFile {
public:
    // Opens (truncates) `path`; throws EUsage when it cannot be written.
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

// "error: Error opening serial port" and, where the system said why, a second
// "error: ..." line with the reason (through `ui`, which prints one line per error).
void ShowOpenFailure(Ui& ui, const ECommsError& error);

// The text of the line that ends a command whose port was lost.
std::string PortLostLine(const std::string& port);

// `quorvane-cli find`: the connect request on every listed port at once; one line
// per port on `out`. Exit 0 when a tracker answered somewhere, 1 otherwise.
int RunFind(const CliOptions& options, std::ostream& out, std::ostream& err);

}  // namespace quorvane
