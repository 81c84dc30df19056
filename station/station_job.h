// What a station is asked to do, as plain data: the command, where its values come
// from, what makes a write safe, how often a port is tried and where the record
// goes. The command line maps its options onto one; a window fills one from its
// controls.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {

// What one port's run carries out.
enum class JobCommand {
    Info, Read, ReadAll, Write, WriteAll,
    Default, ClearSms, ClearGprs1, ClearGprs2, ClearGpsLog, SetMileage,
    RfidAuth, RfidDelete, RfidCheck, TempPair,
    Diff,
};

struct StationJob {
    JobCommand command = JobCommand::Info;
    std::string group;         // read and write: "gprs", "main", ...
    std::string commandWords;  // the command as the record names it: "read gprs cfg.ini"
    std::vector<std::string> ports;  // in order; "all" stands for every listed port

    std::string auth;                  // the authorization code of the connect request
    std::optional<std::string> load;   // a settings file loaded before the command
    std::vector<std::pair<std::string, std::string>> sets;  // control, value
    std::optional<std::string> perTracker;  // CSV of values per IMEI or SN
    std::optional<std::string> saveFile;    // where a read is saved as a settings file
    std::optional<std::string> saveDir;     // or: one settings file per tracker here, IMEI.ini
    std::string diffA, diffB;               // diff: each a settings file or kDiffTracker

    std::optional<std::string> backupDir;  // a backup of each tracker before the command
    bool verify = false;                   // read back what the command wrote
    // write, write-all: the window's start values for every control not given, no read
    // first (otherwise the tracker's own values for those).
    bool fromStartValues = false;

    int retry = 0;        // further rounds for the ports that failed
    bool repeat = false;  // serve each tracker that comes, until stopped
    double timeoutSeconds = 10.0;  // the connect answer's limit

    std::optional<std::string> report;  // JSON lines appended per tracker and attempt
    std::optional<std::string> trace;   // the line's traffic as text rows
    bool timing = false;       // a "timing:" line with each exchange's duration
    bool printValues = true;   // CONTROL=VALUE lines of the controls a command read
    bool authHidden = false;   // the code came from a variable or a file: AuthCode is never printed
};

// The diff side read from the tracker.
inline constexpr const char* kDiffTracker = "tracker";

// The record's name of the command's phase: "read" or "write".
const char* CommandPhaseName(JobCommand command);

}  // namespace quorvane
