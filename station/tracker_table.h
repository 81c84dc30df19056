// The per-tracker values file: a CSV table whose first row names the key column
// (IMEI or SN) and then controls, and whose further rows give one tracker's values
// each, written as a job's values are. Fields follow the usual CSV quoting: a field in
// double quotes may hold commas, line breaks and doubled quotes.
#pragma once

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvane {

class ETrackerTable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Control name and value (escapes resolved), in the file's column order.
using TrackerRow = std::vector<std::pair<std::string, std::string>>;

// Splits CSV text into records of fields. Throws ETrackerTable for a quote that is
// not closed or text after a closing quote; `line` in the message is 1-based.
std::vector<std::vector<std::string>> ParseCsv(std::string_view text);

class TrackerTable {
public:
    // Reads and checks the whole file: a known key column, known controls named
    // once, every row as wide as the first, each key once, every value one its
    // control takes. Throws ETrackerTable naming the file and the row.
    static TrackerTable Load(const std::string& path);
    static TrackerTable Parse(std::string_view text, const std::string& name);

    // "IMEI" or "SN": the Info tab control the key is matched against.
    const std::string& KeyColumn() const { return keyColumn_; }
    // The row for `key`, or null.
    const TrackerRow* Find(const std::string& key) const;
    std::size_t Size() const { return rows_.size(); }

private:
    std::string keyColumn_;
    std::map<std::string, TrackerRow> rows_;
};

}  // namespace quorvane
