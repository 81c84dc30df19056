#include "settings/profile_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace quorvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsBlankLine(std::string_view s) { return Trim(s).empty(); }

std::string Fold(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// The value of a key line, unquoted, not yet cut to the maximum length.
std::string_view ReadValue(std::string_view text, std::size_t valueBegin) {
    std::string_view v = Trim(text.substr(valueBegin));
    if (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return v;
}

// The value as written after "=": quoted when reading would otherwise change it.
std::string EncodeValue(std::string_view v) {
    const bool quote = !v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) ||
                                      (v.size() >= 2 && IsQuote(v.front()) && v.back() == v.front()));
    return quote ? "\"" + std::string(v) + "\"" : std::string(v);
}

void CheckName(std::string_view name, std::string_view forbidden, const char* what) {
    if (name.find_first_of(forbidden) != std::string_view::npos || Trim(name) != name ||
        (!name.empty() && name.front() == '['))
        throw std::invalid_argument(std::string("invalid profile ") + what + " name '" +
                                    std::string(name) + "'");
}

std::string TemporaryName(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto now = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char tag[32];
    std::snprintf(tag, sizeof tag, ".%08llx%04x.tmp", now & 0xFFFFFFFFULL, counter++ & 0xFFFFU);
    return target.filename().string() + tag;
}

bool WriteAll(std::FILE* f, const std::string& data) {
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    const bool closed = std::fclose(f) == 0;
    return written && flushed && closed;
}

}  // namespace

ProfileFile::ProfileFile(std::string_view bytes) {
    if (bytes.substr(0, kBom.size()) == kBom) {
        bom_ = true;
        bytes.remove_prefix(kBom.size());
    }
    bool lineEndSeen = false;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t nl = bytes.find('\n', pos);
        if (nl == std::string_view::npos) {
            AddLine(std::string(bytes.substr(pos)), "");
            break;
        }
        std::size_t end = nl;
        std::string eol = "\n";
        if (end > pos && bytes[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        if (!lineEndSeen) {
            lineEnd_ = eol;
            lineEndSeen = true;
        }
        AddLine(std::string(bytes.substr(pos, end - pos)), std::move(eol));
        pos = nl + 1;
    }
}

// Classifies one line and files it: a header opens a new block, anything else joins
// the current one.
void ProfileFile::AddLine(std::string text, std::string eol) {
    Line line{std::move(text), std::move(eol)};
    const std::string_view t = line.text;
    const std::string_view lead = Trim(t);
    if (!lead.empty() && lead.front() == '[') {
        std::string_view name = lead.substr(1);
        name = Trim(name.substr(0, name.find(']')));
        std::string folded = Fold(name);
        blocks_.push_back(Block{});
        blocks_.back().lines.push_back(std::move(line));
        sections_.try_emplace(std::move(folded), blocks_.size() - 1);
        return;
    }
    const std::size_t eq = t.find('=');
    if (eq != std::string::npos) line.valueBegin = eq + 1;
    Block& block = blocks_.back();
    block.lines.push_back(std::move(line));
    if (eq != std::string::npos && blocks_.size() > 1) IndexKey(block, block.lines.size() - 1);
}

void ProfileFile::IndexKey(Block& block, std::size_t lineIndex) {
    const Line& line = block.lines[lineIndex];
    const std::string_view key = Trim(std::string_view(line.text).substr(0, line.valueBegin - 1));
    block.keys.try_emplace(Fold(key), lineIndex);
}

ProfileFile::Line* ProfileFile::LastLine() {
    const auto it = std::find_if(blocks_.rbegin(), blocks_.rend(),
                                 [](const Block& block) { return !block.lines.empty(); });
    return it == blocks_.rend() ? nullptr : &it->lines.back();
}

// Adds a line at the end of the file. A file that ended without a line end keeps
// ending without one: the old last line gets the line end instead.
void ProfileFile::AppendLine(std::string text) {
    std::string eol = lineEnd_;
    if (Line* last = LastLine(); last && last->eol.empty()) {
        last->eol = lineEnd_;
        eol.clear();
    }
    AddLine(std::move(text), std::move(eol));
}

const ProfileFile::Line* ProfileFile::FindKey(std::string_view section, std::string_view key) const {
    const auto s = sections_.find(Fold(section));
    if (s == sections_.end()) return nullptr;
    const Block& block = blocks_[s->second];
    const auto k = block.keys.find(Fold(key));
    return k == block.keys.end() ? nullptr : &block.lines[k->second];
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
    const Line* line = FindKey(section, key);
    if (!line) return std::nullopt;
    return std::string(ReadValue(line->text, line->valueBegin).substr(0, kMaxValueLength));
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view fallback) const {
    std::optional<std::string> value = Get(section, key);
    return value ? std::move(*value) : std::string(fallback);
}

void ProfileFile::Set(std::string_view section, std::string_view key, std::string_view value) {
    CheckName(section, "\r\n]", "section");
    CheckName(key, "\r\n=", "key");
    value = value.substr(0, value.find_first_of("\r\n"));
    const std::string encoded = EncodeValue(value);

    const auto s = sections_.find(Fold(section));
    if (s == sections_.end()) {
        if (const Line* last = LastLine(); last && !IsBlankLine(last->text)) AppendLine("");
        AppendLine("[" + std::string(section) + "]");
        AppendLine(std::string(key) + "=" + encoded);
        return;
    }

    const std::size_t blockIndex = s->second;
    Block& block = blocks_[blockIndex];
    if (const auto k = block.keys.find(Fold(key)); k != block.keys.end()) {
        Line& line = block.lines[k->second];
        if (ReadValue(line.text, line.valueBegin) == value) return;
        std::size_t keep = line.valueBegin;
        while (keep < line.text.size() && (line.text[keep] == ' ' || line.text[keep] == '\t')) ++keep;
        line.text.replace(keep, std::string::npos, encoded);
        return;
    }

    // Right after the last non-blank line; the header itself is one, so there is always one.
    std::size_t position = block.lines.size();
    while (position > 1 && IsBlankLine(block.lines[position - 1].text)) --position;
    std::string text = std::string(key) + "=" + encoded;
    if (blockIndex + 1 == blocks_.size() && position == block.lines.size()) {
        AppendLine(std::move(text));
        return;
    }
    // Only blank lines follow the insertion point, so no key index moves.
    Line line{std::move(text), lineEnd_};
    line.valueBegin = key.size() + 1;
    block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(position), std::move(line));
    IndexKey(block, position);
}

std::string ProfileFile::Bytes() const {
    std::size_t size = bom_ ? kBom.size() : 0;
    for (const Block& block : blocks_)
        for (const Line& line : block.lines) size += line.text.size() + line.eol.size();
    std::string out;
    out.reserve(size);
    if (bom_) out += kBom;
    for (const Block& block : blocks_)
        for (const Line& line : block.lines) {
            out += line.text;
            out += line.eol;
        }
    return out;
}

ProfileFile::LoadStatus ProfileFile::Load(const std::string& path) {
    if (path.empty()) return LoadStatus::Missing;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (status.type() == fs::file_type::not_found) return LoadStatus::Missing;
    if (ec || !fs::is_regular_file(status)) return LoadStatus::Unreadable;

    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return LoadStatus::Unreadable;
    std::string data;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return LoadStatus::Unreadable;
    *this = ProfileFile(data);
    return LoadStatus::Loaded;
}

bool ProfileFile::Save(const std::string& path) const {
    if (path.empty()) return false;
    std::error_code ec;
    fs::path target(path);
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::canonical(target, ec);
        if (ec) return false;  // a dangling link
    }

    const fs::file_status status = fs::status(target, ec);
    const bool exists = status.type() != fs::file_type::not_found;
    if (exists) {
        if (ec || !fs::is_regular_file(status)) return false;
        constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        if ((status.permissions() & kWrite) == fs::perms::none) return false;
        // Opening for update changes nothing but tells whether this user may write it.
        std::FILE* probe = std::fopen(target.string().c_str(), "r+b");
        if (!probe) return false;
        std::fclose(probe);
    }

    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    fs::path temporary;
    std::FILE* out = nullptr;
    for (int attempt = 0; attempt < 32 && !out; ++attempt) {
        temporary = folder / TemporaryName(target);
        out = std::fopen(temporary.string().c_str(), "wbx");
        if (!out && errno != EEXIST) return false;
    }
    if (!out) return false;

    if (!WriteAll(out, Bytes())) {
        fs::remove(temporary, ec);
        return false;
    }
    if (exists) fs::permissions(temporary, status.permissions(), ec);
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace quorvane
