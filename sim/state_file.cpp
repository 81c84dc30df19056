#include "sim/state_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace quorvane::sim {

namespace {

constexpr std::string_view kMagic = "quorvane-sim state 1";
constexpr std::string_view kBufferNames[4] = {"sms", "gprs1", "gprs2", "gps-log"};

std::string ErrnoText() { return std::strerror(errno); }

class LineError {
public:
    explicit LineError(int line) : line_(line) {}
    [[noreturn]] void Fail(const std::string& what) const {
        throw EStateFileError("state file line " + std::to_string(line_) + ": " + what);
    }

private:
    int line_;
};

template <typename T>
T Number(std::string_view text, const LineError& at) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        at.Fail("'" + std::string(text) + "' is not a valid number");
    }
    return value;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ') ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

}  // namespace

std::string SerializeState(const TrackerState& state) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text(kMagic);
    text += "\nmileage " + std::to_string(state.mileage) + "\n";
    for (std::size_t k = 0; k < state.buffers.size(); ++k) {
        text += "buffer " + std::string(kBufferNames[k]) + " " + std::to_string(state.buffers[k].stored) +
                " " + std::to_string(state.buffers[k].capacity) + "\n";
    }
    for (const auto& id : state.rfidIds) text += "rfid " + id + "\n";
    for (int area = 1; area <= kAreaCount; ++area) {
        text += "area " + std::to_string(area) + " ";
        for (std::uint8_t b : state.Area(area)) {
            text.push_back(kHex[b >> 4]);
            text.push_back(kHex[b & 0x0F]);
        }
        text += "\n";
    }
    return text;
}

TrackerState ParseState(std::string_view text) {
    TrackerState state;
    std::array<bool, kAreaCount> areaSeen{};
    std::array<bool, 4> bufferSeen{};
    bool mileageSeen = false;

    int lineNumber = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const LineError at(lineNumber);

        if (lineNumber == 1) {
            if (line != kMagic) at.Fail("not a quorvane-sim state file");
            continue;
        }
        const auto words = Words(line);
        if (words.empty()) continue;
        const std::string_view key = words[0];
        if (key == "mileage" && words.size() == 2) {
            state.mileage = Number<std::uint32_t>(words[1], at);
            mileageSeen = true;
        } else if (key == "buffer" && words.size() == 4) {
            std::size_t k = 0;
            while (k < 4 && kBufferNames[k] != words[1]) ++k;
            if (k == 4) at.Fail("unknown buffer '" + std::string(words[1]) + "'");
            state.buffers[k] = {Number<std::uint32_t>(words[2], at), Number<std::uint32_t>(words[3], at)};
            bufferSeen[k] = true;
        } else if (key == "rfid" && words.size() == 2) {
            const auto id = words[1];
            const bool valid = id.size() <= kMaxRfidIdLength &&
                               std::all_of(id.begin(), id.end(), [](char c) {
                                   return std::isalnum(static_cast<unsigned char>(c)) != 0;
                               });
            if (!valid) at.Fail("'" + std::string(id) + "' is not an RFID ID");
            if (state.rfidIds.size() >= kMaxRfidIds) at.Fail("too many RFID IDs");
            state.rfidIds.emplace_back(words[1]);
        } else if (key == "area" && words.size() == 3) {
            const int area = Number<int>(words[1], at);
            if (area < 1 || area > kAreaCount) at.Fail("no area " + std::string(words[1]));
            const std::size_t size = kAreaSizes[static_cast<std::size_t>(area - 1)];
            const std::string_view hex = words[2];
            if (hex.size() != 2 * size) {
                at.Fail("area " + std::to_string(area) + " must hold " + std::to_string(size) + " bytes");
            }
            auto& bytes = state.Area(area);
            bytes.resize(size);
            for (std::size_t k = 0; k < size; ++k) {
                const int high = HexDigit(hex[2 * k]);
                const int low = HexDigit(hex[2 * k + 1]);
                if (high < 0 || low < 0) at.Fail("area " + std::to_string(area) + " is not hexadecimal");
                bytes[k] = static_cast<std::uint8_t>(high << 4 | low);
            }
            areaSeen[static_cast<std::size_t>(area - 1)] = true;
        } else {
            at.Fail("unexpected '" + std::string(line.substr(0, 40)) + "'");
        }
    }
    if (lineNumber == 0) throw EStateFileError("state file is empty");
    for (int area = 1; area <= kAreaCount; ++area) {
        if (!areaSeen[static_cast<std::size_t>(area - 1)]) {
            throw EStateFileError("state file lacks area " + std::to_string(area));
        }
    }
    for (std::size_t k = 0; k < 4; ++k) {
        if (!bufferSeen[k]) throw EStateFileError("state file lacks buffer " + std::string(kBufferNames[k]));
    }
    if (!mileageSeen) throw EStateFileError("state file lacks the mileage");
    return state;
}

TrackerState LoadStateFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw EStateFileError("cannot open state file " + path + ": " + ErrnoText());
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw EStateFileError("cannot read state file " + path);
    try {
        return ParseState(text.str());
    } catch (const EStateFileError& e) {
        throw EStateFileError(path + ": " + e.what());
    }
}

void SaveStateFile(const std::string& path, const TrackerState& state) {
    const std::string temporary = path + ".tmp";
    const std::string text = SerializeState(state);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) throw EStateFileError("cannot write " + temporary + ": " + ErrnoText());
    bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = written && std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(temporary.c_str());
        throw EStateFileError("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = ErrnoText();
        std::remove(temporary.c_str());
        throw EStateFileError("cannot replace " + path + ": " + reason);
    }
}

}  // namespace quorvane::sim
