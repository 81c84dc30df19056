#include "cli/station_printer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include <nlohmann/json.hpp>

#include "cli/json_output.h"
#include "station/control_values.h"
#include "station/line_ui.h"
#include "station/people_text.h"
#include "station/port_session.h"
#include "station/run_record.h"

namespace quorvane {
namespace {

// A word as a POSIX shell reads it back.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || std::strchr("-_./=:,@%+", c) != nullptr;
    });
    if (plain) return word;
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

JobCommand JobCommandOf(CliCommand command) {
    switch (command) {
        case CliCommand::Read: return JobCommand::Read;
        case CliCommand::ReadAll: return JobCommand::ReadAll;
        case CliCommand::Write: return JobCommand::Write;
        case CliCommand::WriteAll: return JobCommand::WriteAll;
        case CliCommand::Default: return JobCommand::Default;
        case CliCommand::ClearSms: return JobCommand::ClearSms;
        case CliCommand::ClearGprs1: return JobCommand::ClearGprs1;
        case CliCommand::ClearGprs2: return JobCommand::ClearGprs2;
        case CliCommand::ClearGpsLog: return JobCommand::ClearGpsLog;
        case CliCommand::SetMileage: return JobCommand::SetMileage;
        case CliCommand::RfidAuth: return JobCommand::RfidAuth;
        case CliCommand::RfidDelete: return JobCommand::RfidDelete;
        case CliCommand::RfidCheck: return JobCommand::RfidCheck;
        case CliCommand::TempPair: return JobCommand::TempPair;
        case CliCommand::Diff: return JobCommand::Diff;
        case CliCommand::Info:
        case CliCommand::Ports:  // no station's commands: they use the job's values alone
        case CliCommand::Dump:
        case CliCommand::Find: break;
    }
    return JobCommand::Info;
}

// --json: the port, its result and message, and the command's controls by name.
nlohmann::ordered_json PortObject(const PortSession& session) {
    const PortOutcome& o = session.Outcome();
    nlohmann::ordered_json object = {
        {"port", Latin1ToUtf8(session.Port())},
        {"result", PortResultName(o.result)},
        {"message", Latin1ToUtf8(o.message)},
    };
    if (o.differences) object["differences"] = *o.differences;
    if (o.result == PortResult::Completed) {
        AddControls(object, session.Form(), CommandControls(session.Job()));
    }
    return object;
}

}  // namespace

StationJob JobOf(const CliOptions& options) {
    StationJob job;
    job.command = JobCommandOf(options.command);
    job.group = options.group;
    job.commandWords = CommandWords(options);
    job.ports = options.ports;
    if (job.ports.empty() && !options.port.empty()) job.ports.push_back(options.port);
    job.auth = options.auth;
    job.authHidden = options.authHidden;
    job.load = options.load;
    job.sets = options.sets;
    job.perTracker = options.perTracker;
    job.saveFile = options.file;
    job.diffA = options.diffA;
    job.diffB = options.diffB;
    job.backupDir = options.backupDir;
    job.verify = options.verify;
    job.fromStartValues = options.fromStartValues;
    job.retry = options.retry;
    job.repeat = options.repeat;
    job.timeoutSeconds = options.timeoutSeconds;
    job.report = options.report;
    job.trace = options.trace;
    job.timing = options.timing;
    job.printValues = !options.json;
    return job;
}

std::string RetryCommandLine(const std::string& program, const std::vector<std::string>& arguments,
                             const std::vector<std::string>& ports) {
    std::vector<std::string> words;
    bool portsPlaced = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        // The code itself is never printed: --auth-env and --auth-file name where it
        // is, and a code given on the command line shows as CODE.
        if (arguments[i] == "--auth" && i + 1 < arguments.size()) {
            words.insert(words.end(), {"--auth", "CODE"});
            ++i;
            continue;
        }
        if (arguments[i] == "--port" && i + 1 < arguments.size()) {
            if (!portsPlaced) {
                for (const std::string& p : ports) words.insert(words.end(), {"--port", p});
                portsPlaced = true;
            }
            ++i;
            continue;
        }
        words.push_back(arguments[i]);
    }
    std::string line = ShellWord(program);
    for (const std::string& w : words) line += " " + ShellWord(w);
    return line;
}

void StationPrinter::PortLine(const std::string& port, LineKind kind, std::string_view text) {
    std::ostream& stream = kind == LineKind::Out ? out_ : err_;
    if (severalPorts_ && !port.empty()) stream << port << ": ";
    stream << text << std::flush;
}

std::unique_ptr<Ui> StationPrinter::MakePortUi(const std::string&, std::ostream& err) {
    return std::make_unique<LineUi>(err);
}

void StationPrinter::RunEnded(const PortSession& session, const PortRecord&) {
    if (options_.json) out_ << PortObject(session).dump() << '\n' << std::flush;
}

void StationPrinter::PortWaiting(const std::string& port, const std::string& reason) {
    if (severalPorts_) err_ << port << ": ";
    err_ << "waiting for the device: " << (reason.empty() ? port + " is gone" : reason) << '\n' << std::flush;
}

void StationPrinter::StationEnded(const std::vector<PortRecord>& lines) {
    if (!options_.repeat && !severalPorts_ && options_.retry == 0) return;
    const bool diff = options_.command == CliCommand::Diff;
    int completed = 0;
    int differ = 0;
    std::vector<std::string> retry;
    for (const PortRecord& r : lines) {
        err_ << r.port << ": ";
        if (r.last.differences) {  // diff: both sides were read
            if (*r.last.differences == 0) {
                ++completed;
                err_ << "equal";
            } else {
                ++differ;
                err_ << "differs (" << *r.last.differences << ")";
            }
        } else if (r.last.result == PortResult::Completed) {
            ++completed;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.2f", r.last.seconds);
            err_ << "completed " << seconds << " s IMEI " << r.last.imei;
        } else {
            err_ << "failed: " << r.last.message;
        }
        if (WorthRetry(r.last)) retry.push_back(r.port);
        if (r.attempts > 1) err_ << " (" << r.attempts << " attempts)";
        err_ << '\n';
    }
    if (diff) {
        err_ << completed << " equal, " << differ << " differ, " << retry.size() << " failed\n";
    } else {
        err_ << completed << " completed, " << lines.size() - static_cast<std::size_t>(completed) << " failed\n";
    }
    if (!retry.empty() && severalPorts_ && !options_.repeat) {
        err_ << "retry: " << RetryCommandLine(options_.program, options_.arguments, retry) << '\n';
    }
    err_ << std::flush;
}

}  // namespace quorvane
