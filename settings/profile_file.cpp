#include "settings/profile_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "platform/system.h"

namespace quorvane {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr char kNoEightBitForm = '?';

// Tab to carriage return, space, and the ^Z an old editor leaves at the end.
bool IsBlank(char c) { return (c >= '\t' && c <= '\r') || c == ' ' || c == '\x1A'; }

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

// The file's characters as 8-bit text, each with where its bytes start in the file
// (`starts` has one more entry, the end; it stays empty for an 8-bit file, whose
// characters are its bytes).
struct DecodedText {
    std::string text;
    std::vector<std::size_t> starts;
};

void AddChar(DecodedText& d, std::uint32_t codePoint, std::size_t start) {
    d.text.push_back(codePoint <= 0xFF ? static_cast<char>(codePoint) : kNoEightBitForm);
    d.starts.push_back(start);
}

// UTF-16 little endian: a surrogate pair is one character; a lone surrogate or an
// odd last byte is one character of its own.
DecodedText DecodeUtf16Le(std::string_view bytes, std::size_t base) {
    DecodedText d;
    d.text.reserve(bytes.size() / 2);
    d.starts.reserve(bytes.size() / 2 + 1);
    auto unit = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                          static_cast<unsigned char>(bytes[at + 1]) << 8);
    };
    std::size_t at = 0;
    while (at + 1 < bytes.size()) {
        const std::uint32_t u = unit(at);
        std::size_t length = 2;
        if (u >= 0xD800 && u <= 0xDBFF && at + 3 < bytes.size()) {
            const std::uint32_t low = unit(at + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) length = 4;
        }
        AddChar(d, length == 4 ? 0x10000 : u, base + at);
        at += length;
    }
    if (at < bytes.size()) {
        AddChar(d, 0x10000, base + at);
        ++at;
    }
    d.starts.push_back(base + at);
    return d;
}

// UTF-8: a byte that starts no well-formed sequence is one character of its own.
DecodedText DecodeUtf8(std::string_view bytes, std::size_t base) {
    DecodedText d;
    d.text.reserve(bytes.size());
    d.starts.reserve(bytes.size() + 1);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[at]);
        std::size_t length = 1;
        std::uint32_t cp = lead;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1FU;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0FU;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07U;
        } else if (lead >= 0x80) {
            length = 0;  // a continuation byte or an invalid lead
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = at + k < bytes.size() ? static_cast<unsigned char>(bytes[at + k]) : 0;
            if ((c & 0xC0) != 0x80) {
                length = 0;
                break;
            }
            cp = cp << 6 | (c & 0x3FU);
        }
        // Overlong forms and values beyond Unicode are no characters either.
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF))) length = 0;
        if (length == 0) {
            AddChar(d, 0x10000, base + at);
            ++at;
            continue;
        }
        AddChar(d, cp, base + at);
        at += length;
    }
    d.starts.push_back(base + at);
    return d;
}

}  // namespace

std::string ProfileFile::Encode(std::string_view text) const {
    std::string out;
    switch (encoding_) {
        case Encoding::EightBit: return std::string(text);
        case Encoding::Utf16Le:
            out.reserve(text.size() * 2);
            for (char c : text) {
                out.push_back(c);
                out.push_back('\0');
            }
            return out;
        case Encoding::Utf8:
            out.reserve(text.size() * 2);
            for (char c : text) {
                const auto b = static_cast<unsigned char>(c);
                if (b < 0x80) {
                    out.push_back(c);
                } else {
                    out.push_back(static_cast<char>(0xC0 | b >> 6));
                    out.push_back(static_cast<char>(0x80 | (b & 0x3F)));
                }
            }
            return out;
    }
    return out;
}

ProfileFile::ProfileFile(std::string_view bytes) {
    DecodedText decoded;
    if (bytes.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
        encoding_ = Encoding::Utf16Le;
        mark_ = kUtf16LeBom;
        decoded = DecodeUtf16Le(bytes.substr(mark_.size()), mark_.size());
    } else if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
        encoding_ = Encoding::Utf8;
        mark_ = kUtf8Bom;
        decoded = DecodeUtf8(bytes.substr(mark_.size()), mark_.size());
    } else {
        decoded.text = std::string(bytes);
    }
    const std::string_view text = decoded.text;
    // The file's own bytes of characters [from, to), kept for lines never changed.
    auto raw = [&](std::size_t from, std::size_t to) {
        if (encoding_ == Encoding::EightBit) return std::string();
        return std::string(bytes.substr(decoded.starts[from], decoded.starts[to] - decoded.starts[from]));
    };

    // CR LF, LF and CR each end a line.
    bool lineEndSeen = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) {
            AddLine(std::string(text.substr(pos)), "", false, raw(pos, text.size()));
            break;
        }
        const std::size_t eolLength = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
        std::string eol(text.substr(end, eolLength));
        if (!lineEndSeen) {
            lineEnd_ = eol;
            lineEndSeen = true;
        }
        AddLine(std::string(text.substr(pos, end - pos)), std::move(eol), false, raw(pos, end),
                raw(end, end + eolLength));
        pos = end + eolLength;
    }
}

// Classifies one line and files it: a header opens a new block, anything else joins
// the current one.
void ProfileFile::AddLine(std::string text, std::string eol, bool changed, std::string rawText,
                          std::string rawEol) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    line.rawText = std::move(rawText);
    line.rawEol = std::move(rawEol);
    line.textChanged = line.eolChanged = changed;
    const std::string_view t = line.text;
    const std::string_view lead = Trim(t);
    // A header runs from its "[" to the last "]" of the line; without one the line
    // is no header and stays in the section before.
    const std::size_t close = lead.rfind(']');
    if (!lead.empty() && lead.front() == '[' && close != std::string_view::npos) {
        const std::string_view name = Trim(lead.substr(1, close - 1));
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
        last->eolChanged = true;
        // An odd byte at the end of a UTF-16 file cannot stand before a line end.
        if (encoding_ == Encoding::Utf16Le && last->rawText.size() % 2 != 0) last->textChanged = true;
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
        line.textChanged = true;
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
    Line line;
    line.text = std::move(text);
    line.eol = lineEnd_;
    line.valueBegin = key.size() + 1;
    block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(position), std::move(line));
    IndexKey(block, position);
}

std::string ProfileFile::Bytes() const {
    std::string out = mark_;
    for (const Block& block : blocks_)
        for (const Line& line : block.lines) {
            if (encoding_ == Encoding::EightBit) {
                out += line.text;
                out += line.eol;
                continue;
            }
            out += line.textChanged ? Encode(line.text) : line.rawText;
            out += line.eolChanged ? Encode(line.eol) : line.rawEol;
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

bool ProfileFile::Save(const std::string& path, const ReplaceOptions& options) const {
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
    } else if (!fs::is_directory(target.has_parent_path() ? target.parent_path() : fs::path("."), ec)) {
        return false;
    }
    return ReplaceFileContents(target, Bytes(), exists, options);
}

}  // namespace quorvane
