#include "station/run_record.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <system_error>

#include "platform/system.h"
#include "station/people_text.h"

namespace quorvane {
namespace {

// ISO 8601 in UTC to the millisecond, from the calendar alone (no C time functions,
// whose thread-safe forms differ between systems).
std::string IsoUtc(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    const auto ms = time_point_cast<milliseconds>(t);
    const auto day = floor<days>(ms);
    const year_month_day date{day};
    const hh_mm_ss clock{ms - day};
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
    return text;
}

nlohmann::ordered_json OrNull(const std::optional<std::string>& value) {
    return value ? nlohmann::ordered_json(Latin1ToUtf8(*value)) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json Seconds(const PortOutcome& o, const std::string& phase) {
    const auto it = o.phaseSeconds.find(phase);
    if (it == o.phaseSeconds.end()) return nullptr;
    return std::round(it->second * 1000.0) / 1000.0;
}

}  // namespace

RecordFile::RecordFile(const std::string& path) : path_(path) {
    // Made readable by its owner only when it is created: it holds the values sent.
    std::error_code error;
    file_ = OpenPrivateFile(path, PrivateOpen::Append, error);
    if (file_ == nullptr) throw ERecordFile("cannot write the report file " + path);
}

RecordFile::~RecordFile() {
    if (file_ != nullptr) std::fclose(file_);
}

void RecordFile::Append(const nlohmann::ordered_json& line) {
    const std::string text = line.dump() + '\n';
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0)
        throw ERecordFile("writing the report file " + path_ + " failed");
}

nlohmann::ordered_json RecordOf(const StationJob& job, const std::string& port, const PortOutcome& o, int attempt) {
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    for (const auto& [name, value] : o.values) values[name] = Latin1ToUtf8(value);
    const char* phase = CommandPhaseName(job.command);
    nlohmann::ordered_json seconds = {
        {"connect", Seconds(o, "connect")},
        {"backup", Seconds(o, "backup")},
        {phase, Seconds(o, phase)},
        {"verify", Seconds(o, "verify")},
        {"total", std::round(o.seconds * 1000.0) / 1000.0},
    };
    nlohmann::ordered_json record = {
        {"time", IsoUtc(o.startedAt)},
        {"port", Latin1ToUtf8(port)},
        {"imei", Latin1ToUtf8(o.imei)},
        {"sn", Latin1ToUtf8(o.sn)},
        {"firmware", Latin1ToUtf8(o.firmware)},
        {"command", Latin1ToUtf8(job.commandWords)},
        {"result", PortResultName(o.result)},
        {"message", Latin1ToUtf8(o.message)},
        {"attempt", attempt},
        {"seconds", seconds},
        {"backup", OrNull(o.backupPath)},
        {"verify", OrNull(o.verify)},
        {"mismatches", o.mismatches ? nlohmann::ordered_json(*o.mismatches) : nlohmann::ordered_json(nullptr)},
        {"load", OrNull(job.load)},
        {"values", values},
    };
    // diff: how many controls differ, once both sides were compared.
    if (o.differences) record["differences"] = *o.differences;
    return record;
}

}  // namespace quorvane
