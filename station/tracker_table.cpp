#include "station/tracker_table.h"

#include <set>
#include <system_error>

#include "blocks/convert.h"
#include "blocks/field_fit.h"
#include "model/memory_form.h"
#include "platform/system.h"
#include "station/control_values.h"
#include "station/escape.h"
#include "station/people_text.h"

namespace quorvane {

std::vector<std::vector<std::string>> ParseCsv(std::string_view text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    std::size_t line = 1;
    std::size_t i = 0;
    bool fieldStarted = false;  // something of the current record has been read
    auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
    };
    auto endRecord = [&] {
        endField();
        records.push_back(std::move(record));
        record.clear();
        fieldStarted = false;
    };
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"' && field.empty()) {
            // A quoted field: up to the quote that is not doubled.
            const std::size_t openedOn = line;
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    throw ETrackerTable("line " + std::to_string(openedOn) + ": a quoted field is not closed");
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field.push_back('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                if (text[i] == '\n') ++line;
                field.push_back(text[i++]);
            }
            fieldStarted = true;
            if (i < text.size() && text[i] != ',' && text[i] != '\n' && text[i] != '\r') {
                throw ETrackerTable("line " + std::to_string(line) + ": text after a closing quote");
            }
            continue;
        }
        if (c == ',') {
            endField();
            fieldStarted = true;
            ++i;
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            ++i;
            // An empty line holds no record.
            if (fieldStarted || !field.empty()) endRecord();
            ++line;
        } else {
            if (c == '"') throw ETrackerTable("line " + std::to_string(line) + ": a quote inside an unquoted field");
            field.push_back(c);
            fieldStarted = true;
            ++i;
        }
    }
    if (fieldStarted || !field.empty()) endRecord();
    return records;
}

TrackerTable TrackerTable::Load(const std::string& path) {
    // A device or FIFO is refused before a byte is read, and so is a file far beyond
    // any real table: nothing here waits or grows without end.
    std::string text;
    std::error_code error;
    if (!ReadWholeFile(path, kMaxTextFileBytes, text, error))
        throw ETrackerTable(path + ": cannot be read: " + FileErrorReason(error));
    return Parse(text, path);
}

TrackerTable TrackerTable::Parse(std::string_view text, const std::string& name) {
    // A spreadsheet's "CSV UTF-8" starts with a byte order mark. A file that is UTF-8
    // throughout has its values converted to the tracker's 8-bit text; any other is
    // 8-bit text already.
    text = WithoutByteOrderMark(text);
    const bool utf8 = IsUtf8(text);
    std::vector<std::vector<std::string>> records;
    try {
        records = ParseCsv(text);
    } catch (const ETrackerTable& e) {
        throw ETrackerTable(name + ": " + e.what());
    }
    if (records.empty()) throw ETrackerTable(name + ": empty; the first row names IMEI or SN and controls");
    const std::vector<std::string>& header = records.front();
    TrackerTable table;
    if (header.front() != "IMEI" && header.front() != "SN") {
        throw ETrackerTable(name + ": the first column is '" + header.front() + "', not IMEI or SN");
    }
    table.keyColumn_ = header.front();
    std::set<std::string> seen;
    for (std::size_t c = 1; c < header.size(); ++c) {
        if (!FindControl(header[c])) throw ETrackerTable(name + ": unknown control '" + header[c] + "'");
        if (!seen.insert(header[c]).second) {
            throw ETrackerTable(name + ": control '" + header[c] + "' named twice");
        }
    }
    // Every value is tried on a scratch form, so a value that does not fit its
    // control or its field is found before any port is opened.
    MemoryForm scratch;
    for (std::size_t r = 1; r < records.size(); ++r) {
        const std::vector<std::string>& record = records[r];
        const std::string where = name + ": row " + std::to_string(r + 1);
        if (record.size() != header.size()) {
            throw ETrackerTable(where + " has " + std::to_string(record.size()) + " fields, the first row " +
                                std::to_string(header.size()));
        }
        std::string key = record.front();
        try {
            if (utf8) key = EightBitFromUtf8(key);
        } catch (const ENoEightBitForm& e) {
            throw ETrackerTable(where + ": " + table.keyColumn_ + ": " + e.what());
        }
        if (key.empty()) throw ETrackerTable(where + ": no " + table.keyColumn_);
        if (table.rows_.count(key) != 0) throw ETrackerTable(where + ": " + table.keyColumn_ + " " + key + " is there twice");
        TrackerRow row;
        for (std::size_t c = 1; c < record.size(); ++c) {
            try {
                row.emplace_back(header[c], UnescapeValue(utf8 ? EightBitFromUtf8(record[c]) : record[c]));
                ApplySet(scratch, header[c], row.back().second);
                CheckControlFits(scratch, header[c]);
            } catch (const std::invalid_argument& e) {  // EBadValue, EBadEscape, ENoEightBitForm
                throw ETrackerTable(where + ": " + header[c] + ": " + e.what());
            } catch (const EDoesNotFit& e) {
                throw ETrackerTable(where + ": " + e.what());
            }
        }
        table.rows_.emplace(key, std::move(row));
    }
    return table;
}

const TrackerRow* TrackerTable::Find(const std::string& key) const {
    const auto it = rows_.find(key);
    return it == rows_.end() ? nullptr : &it->second;
}

}  // namespace quorvane
