// The INI profile file: parse arbitrary bytes, update keys, write, parse again.
//
// Input: [update count][updates: section (len + bytes), key (len + bytes), value
// (len word + bytes)]... then the file's bytes.
//
// Properties: a file parsed and written unchanged is the same bytes; a key set
// reads back as its value (up to its first line break and 2047 characters), also
// after the file is written and parsed again; keys not set read as before; a
// written file parses and writes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "settings/profile_file.h"

using namespace quorvane;
using quorvane::fuzz::Input;

namespace {

struct Update {
    std::string section, key, value;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string Folded(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string Trimmed(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return std::string(s);
}

// The section and key names a plain reading of the file finds, to see that
// updates leave the other keys alone.
std::vector<std::pair<std::string, std::string>> KeysIn(std::string_view bytes) {
    std::vector<std::pair<std::string, std::string>> keys;
    std::string section;
    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= bytes.size() && keys.size() < 64) {
        std::size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos) nl = bytes.size();
        const std::string line = Trimmed(bytes.substr(pos, nl - pos));
        if (!line.empty() && line.front() == '[') {
            section = Trimmed(std::string_view(line).substr(1, line.find(']') - 1));
            inSection = true;
        } else if (inSection && line.find('=') != std::string::npos) {
            keys.emplace_back(section, Trimmed(std::string_view(line).substr(0, line.find('='))));
        }
        pos = nl + 1;
    }
    return keys;
}

std::string Named(const std::string& section, const std::string& key) {
    std::string out = "[";
    out += section;
    out += "] ";
    out += key;
    return out;
}

std::string Expected(std::string_view value) {
    value = value.substr(0, value.find_first_of("\r\n"));
    return std::string(value.substr(0, ProfileFile::kMaxValueLength));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::vector<Update> updates(in.Byte() % 5);
    for (Update& u : updates) {
        u.section = in.Text(in.Byte() % 16);
        u.key = in.Text(in.Byte() % 24);
        u.value = in.Text(in.Word() % 2100);
    }
    const auto rest = in.Rest();
    const std::string bytes(rest.begin(), rest.end());

    ProfileFile file(bytes);
    QV_CHECK(file.Bytes() == bytes, "a file parsed and written unchanged is not the same bytes");

    const auto others = KeysIn(bytes);
    std::vector<std::optional<std::string>> otherValues;
    otherValues.reserve(others.size());
    for (const auto& [s, k] : others) otherValues.push_back(file.Get(s, k));

    std::vector<Update> applied;
    for (const Update& u : updates) {
        try {
            file.Set(u.section, u.key, u.value);
        } catch (const std::invalid_argument&) {
            continue;  // a name the file cannot hold
        }
        applied.push_back(u);
        const auto back = file.Get(u.section, u.key);
        QV_CHECK(back && *back == Expected(u.value), "a key set does not read back: " + Named(u.section, u.key));
    }

    const std::string written = file.Bytes();
    const ProfileFile again(written);
    QV_CHECK(again.Bytes() == written, "a written file does not write back to the same bytes");

    auto isUpdated = [&](const std::string& s, const std::string& k) {
        for (const Update& u : applied)
            if (Folded(u.section) == Folded(s) && Folded(u.key) == Folded(k)) return true;
        return false;
    };
    for (const Update& u : applied) {
        // The last update of a key is the one that stays.
        const Update* last = &u;
        for (const Update& v : applied)
            if (Folded(v.section) == Folded(u.section) && Folded(v.key) == Folded(u.key)) last = &v;
        const auto back = again.Get(u.section, u.key);
        QV_CHECK(back && *back == Expected(last->value),
                 "a key set does not read back after writing: " + Named(u.section, u.key));
    }
    for (std::size_t i = 0; i < others.size(); ++i) {
        const auto& [s, k] = others[i];
        if (isUpdated(s, k)) continue;
        QV_CHECK(again.Get(s, k) == otherValues[i], "an update changed another key: " + Named(s, k));
    }
    return 0;
}
