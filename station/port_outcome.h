// How a port's run ended, and what the summary, the record and a front end take from it.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

using Clock = std::chrono::steady_clock;

enum class PortResult { Completed, Failed, NoAnswer, NotOpened, NoStart, Interrupted };

// "completed", "failed", "no-answer", "not-opened", "interrupted" (a run refused
// before anything was sent is "failed").
const char* PortResultName(PortResult result);

// What one port's run leaves behind.
struct PortOutcome {
    PortResult result = PortResult::Failed;
    std::string message;  // the last notice or error text
    std::string imei;
    std::string sn;
    std::string firmware;
    std::chrono::system_clock::time_point startedAt;
    double seconds = 0;                          // start to end
    std::map<std::string, double> phaseSeconds;  // by stage name: connect, backup, write, read, verify
    std::optional<std::string> backupPath;       // set by a backup stage
    std::optional<std::string> verify;           // "ok" or "mismatch", set by a verify stage
    std::optional<int> mismatches;               // set by a verify stage
    std::vector<std::pair<std::string, std::string>> values;  // what the job's values and the tracker's row put in
};

// One port's attempts so far (with repeat: one tracker's).
struct PortRecord {
    std::string port;
    int attempts = 0;
    PortOutcome last;
    int lastExitStatus = 0;
};

// Where a port's run stands, for a front end's row.
enum class PortState {
    Waiting,     // for the device: nothing answers on the port yet
    Connecting,
    BackingUp,
    Reading,
    Writing,
    Verifying,
    Done,
    Failed,
};

// "waiting for the device", "connecting", "backing up", "reading", "writing",
// "verifying", "done", "failed".
const char* PortStateName(PortState state);

}  // namespace quorvane
