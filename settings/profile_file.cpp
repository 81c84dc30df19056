#include "settings/profile_file.h"

#include <algorithm>
#include <climits>
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

constexpr std::size_t kNewSection = SIZE_MAX / 2;  // ids of sections added since loading

char FoldChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

// FNV-1a over the folded name, started from `seed`.
std::uint32_t FoldHash(std::string_view s, std::uint32_t seed = 2166136261U) {
    std::uint32_t h = seed;
    for (char c : s) {
        h ^= static_cast<unsigned char>(FoldChar(c));
        h *= 16777619U;
    }
    return h;
}

// A key's hash within the section whose header stands at `header`.
std::uint32_t KeyHash(std::size_t header, std::string_view key) {
    return FoldHash(key, 2166136261U ^ static_cast<std::uint32_t>(header * 0x9E3779B1U));
}

// A header line's section name, or nullopt for any other line.
std::optional<std::string_view> HeaderName(std::string_view text) {
    const std::string_view lead = Trim(text);
    // A header runs from its "[" to the last "]" of the line; without one the line
    // is no header and stays in the section before.
    const std::size_t close = lead.rfind(']');
    if (lead.empty() || lead.front() != '[' || close == std::string_view::npos) return std::nullopt;
    return Trim(lead.substr(1, close - 1));
}

// A key line's key, or nullopt for a line without "=".
std::optional<std::string_view> KeyName(std::string_view text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return Trim(text.substr(0, eq));
}

void AddChar(std::string& text, std::uint32_t codePoint) {
    text.push_back(codePoint <= 0xFF ? static_cast<char>(codePoint) : kNoEightBitForm);
}

// UTF-16 little endian: a surrogate pair is one character; a lone surrogate or an
// odd last byte is one character of its own.
void DecodeUtf16Le(std::string_view bytes, std::string& text) {
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
        AddChar(text, length == 4 ? 0x10000 : u);
        at += length;
    }
    if (at < bytes.size()) AddChar(text, 0x10000);
}

// UTF-8: a byte that starts no well-formed sequence is one character of its own.
void DecodeUtf8(std::string_view bytes, std::string& text) {
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
            AddChar(text, 0x10000);
            ++at;
            continue;
        }
        AddChar(text, cp);
        at += length;
    }
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

ProfileFile::ProfileFile(std::string_view bytes) : raw_(bytes) { Index(); }

// CR LF, LF and CR each end a line; in a UTF-16 file they are whole code units.
ProfileFile::RawLine ProfileFile::LineAt(std::size_t begin) const {
    RawLine line{begin, raw_.size(), raw_.size()};
    if (encoding_ == Encoding::Utf16Le) {
        auto isUnit = [&](std::size_t at, char c) { return raw_[at] == c && raw_[at + 1] == '\0'; };
        for (std::size_t at = begin; at + 1 < raw_.size(); at += 2) {
            if (!isUnit(at, '\r') && !isUnit(at, '\n')) continue;
            line.textEnd = at;
            line.end = at + (isUnit(at, '\r') && at + 3 < raw_.size() && isUnit(at + 2, '\n') ? 4 : 2);
            return line;
        }
        return line;
    }
    const std::size_t end = raw_.find_first_of("\r\n", begin);
    if (end == std::string::npos) return line;
    line.textEnd = end;
    line.end = end + (raw_[end] == '\r' && end + 1 < raw_.size() && raw_[end + 1] == '\n' ? 2 : 1);
    return line;
}

std::string_view ProfileFile::TextOf(const RawLine& line, std::string& scratch) const {
    const std::string_view bytes = std::string_view(raw_).substr(line.begin, line.textEnd - line.begin);
    if (encoding_ == Encoding::EightBit) return bytes;
    scratch.clear();
    if (encoding_ == Encoding::Utf8) DecodeUtf8(bytes, scratch);
    else DecodeUtf16Le(bytes, scratch);
    return scratch;
}

std::string ProfileFile::CurrentText(std::size_t at) const {
    if (const auto it = replaced_.find(at); it != replaced_.end()) return it->second;
    std::string scratch;
    return std::string(TextOf(LineAt(at), scratch));
}

// One pass to count the headers and key lines, one to note them: the index is made
// at its final size, never grown.
void ProfileFile::Index() {
    if (raw_.size() > UINT32_MAX) throw std::length_error("a profile file is limited to 4 GiB");
    if (raw_.starts_with(kUtf16LeBom)) {
        encoding_ = Encoding::Utf16Le;
        markSize_ = kUtf16LeBom.size();
    } else if (raw_.starts_with(kUtf8Bom)) {
        encoding_ = Encoding::Utf8;
        markSize_ = kUtf8Bom.size();
    }
    std::string scratch;
    std::size_t headerCount = 0;
    std::size_t keyCount = 0;
    for (int pass = 0; pass < 2; ++pass) {
        std::optional<std::size_t> header;
        for (std::size_t at = markSize_; at < raw_.size();) {
            const RawLine line = LineAt(at);
            const std::string_view text = TextOf(line, scratch);
            if (const auto name = HeaderName(text)) {
                header = at;
                if (pass == 0) {
                    ++headerCount;
                } else {
                    headers_.push_back(static_cast<std::uint32_t>(at));
                    sections_.push_back({FoldHash(*name), static_cast<std::uint32_t>(at)});
                }
            } else if (const auto key = KeyName(text); key && header) {
                if (pass == 0) ++keyCount;
                else keys_.push_back({KeyHash(*header, *key), static_cast<std::uint32_t>(at)});
            }
            if (pass == 0 && at == markSize_ && line.end > line.textEnd) {
                std::string eolScratch;
                lineEnd_ = std::string(TextOf({line.textEnd, line.end, line.end}, eolScratch));
            }
            lastLine_ = at;
            endsWithoutLineEnd_ = line.end == line.textEnd;
            at = line.end;
        }
        if (pass == 0) {
            headers_.reserve(headerCount);
            sections_.reserve(headerCount);
            keys_.reserve(keyCount);
        }
    }
    std::sort(sections_.begin(), sections_.end());
    std::sort(keys_.begin(), keys_.end());
}

std::size_t ProfileFile::SectionEnd(std::size_t header) const {
    const auto next = std::upper_bound(headers_.begin(), headers_.end(), header);
    return next == headers_.end() ? raw_.size() : *next;
}

std::optional<ProfileFile::SectionId> ProfileFile::FindSection(std::string_view section) const {
    const std::uint32_t hash = FoldHash(section);
    std::string scratch;
    for (auto it = std::lower_bound(sections_.begin(), sections_.end(), Entry{hash, 0});
         it != sections_.end() && it->hash == hash; ++it) {
        const auto name = HeaderName(TextOf(LineAt(it->at), scratch));
        if (name && EqualFolded(*name, section)) return it->at;
    }
    if (const auto it = newSections_.find(Fold(section)); it != newSections_.end()) return it->second;
    return std::nullopt;
}

std::optional<ProfileFile::KeyPlace> ProfileFile::FindKey(SectionId section, std::string_view key) const {
    if (section < kNewSection) {
        const std::uint32_t hash = KeyHash(section, key);
        const std::size_t end = SectionEnd(section);
        std::string scratch;
        for (auto it = std::lower_bound(keys_.begin(), keys_.end(), Entry{hash, 0});
             it != keys_.end() && it->hash == hash; ++it) {
            if (it->at <= section || it->at >= end) continue;
            const auto name = KeyName(TextOf(LineAt(it->at), scratch));
            if (name && EqualFolded(*name, key)) return KeyPlace{it->at, false};
        }
    }
    if (const auto it = addedKeys_.find({section, Fold(key)}); it != addedKeys_.end()) return KeyPlace{it->second, true};
    return std::nullopt;
}

std::size_t ProfileFile::InsertionPoint(std::size_t header) const {
    if (const auto it = insertionPoints_.find(header); it != insertionPoints_.end()) return it->second;
    const std::size_t end = SectionEnd(header);
    std::size_t point = LineAt(header).end;
    std::string scratch;
    for (std::size_t at = point; at < end;) {
        const RawLine line = LineAt(at);
        if (!IsBlankLine(TextOf(line, scratch))) point = line.end;
        at = line.end;
    }
    insertionPoints_.emplace(header, point);
    return point;
}

bool ProfileFile::LastLineIsBlank() const {
    const auto block = std::find_if(tail_.rbegin(), tail_.rend(), [](const auto& b) { return !b.empty(); });
    if (block != tail_.rend()) return IsBlankLine(added_[block->back()]);
    return raw_.size() == markSize_ || IsBlankLine(CurrentText(lastLine_));
}

std::size_t ProfileFile::AddLine(std::string text) {
    added_.push_back(std::move(text));
    return added_.size() - 1;
}

void ProfileFile::InsertBeforeTrailingBlanks(std::vector<std::size_t>& lines, const std::vector<std::string>& texts,
                                             std::size_t line) {
    auto position = lines.end();
    while (position != lines.begin() && IsBlankLine(texts[*(position - 1)])) --position;
    lines.insert(position, line);
}

std::optional<std::string> ProfileFile::Get(std::string_view section, std::string_view key) const {
    const std::optional<SectionId> s = FindSection(section);
    if (!s) return std::nullopt;
    const std::optional<KeyPlace> k = FindKey(*s, key);
    if (!k) return std::nullopt;
    const std::string text = k->added ? added_[k->at] : CurrentText(k->at);
    return std::string(ReadValue(text, text.find('=') + 1).substr(0, kMaxValueLength));
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

    std::optional<SectionId> s = FindSection(section);
    if (!s) {
        if (!LastLineIsBlank()) tail_.back().push_back(AddLine(""));
        s = kNewSection + tail_.size() - 1;
        newSections_.emplace(Fold(section), *s);
        tail_.push_back({AddLine("[" + std::string(section) + "]")});
    }

    if (const std::optional<KeyPlace> k = FindKey(*s, key)) {
        std::string text = k->added ? added_[k->at] : CurrentText(k->at);
        const std::size_t valueBegin = text.find('=') + 1;
        if (ReadValue(text, valueBegin) == value) return;
        std::size_t keep = valueBegin;
        while (keep < text.size() && (text[keep] == ' ' || text[keep] == '\t')) ++keep;
        text.replace(keep, std::string::npos, encoded);
        if (k->added) added_[k->at] = std::move(text);
        else replaced_[k->at] = std::move(text);
        return;
    }

    // A new key goes right after the last non-blank line of its section.
    const std::size_t line = AddLine(std::string(key) + "=" + encoded);
    addedKeys_.emplace(std::pair{*s, Fold(key)}, line);
    if (*s >= kNewSection) {
        InsertBeforeTrailingBlanks(tail_[*s - kNewSection + 1], added_, line);
        return;
    }
    const std::size_t point = InsertionPoint(*s);
    if (point >= raw_.size()) InsertBeforeTrailingBlanks(tail_.front(), added_, line);
    else before_[point].push_back(line);
}

std::string ProfileFile::Bytes() const {
    const std::string lineEnd = Encode(lineEnd_);
    std::string out;
    out.reserve(raw_.size() + added_.size() * 32);
    std::size_t copied = 0;
    auto r = replaced_.begin();
    auto b = before_.begin();
    while (r != replaced_.end() || b != before_.end()) {
        const std::size_t at = std::min(r != replaced_.end() ? r->first : SIZE_MAX,
                                        b != before_.end() ? b->first : SIZE_MAX);
        out.append(raw_, copied, at - copied);
        copied = at;
        if (b != before_.end() && b->first == at) {
            for (std::size_t line : b->second) out += Encode(added_[line]) + lineEnd;
            ++b;
        }
        if (r != replaced_.end() && r->first == at) {
            out += Encode(r->second);
            copied = LineAt(at).textEnd;
            ++r;
        }
    }

    std::vector<std::size_t> tail;
    for (const auto& block : tail_) tail.insert(tail.end(), block.begin(), block.end());
    // A file that ended without a line end keeps ending without one: its old last
    // line gets one when lines follow it, and the new last line goes without.
    const bool keepOpenEnd = endsWithoutLineEnd_ && !tail.empty();
    if (keepOpenEnd && copied <= lastLine_) {
        out.append(raw_, copied, lastLine_ - copied);
        // An odd byte at the end of a UTF-16 file cannot stand before a line end.
        const bool odd = encoding_ == Encoding::Utf16Le && (raw_.size() - lastLine_) % 2 != 0;
        if (odd) out += Encode(CurrentText(lastLine_));
        else out.append(raw_, lastLine_);
    } else {
        out.append(raw_, copied);
    }
    if (keepOpenEnd) out += lineEnd;
    for (std::size_t i = 0; i < tail.size(); ++i) {
        out += Encode(added_[tail[i]]);
        if (!(keepOpenEnd && i + 1 == tail.size())) out += lineEnd;
    }
    return out;
}

ProfileFile::LoadStatus ProfileFile::Load(const std::string& path, std::error_code* why) {
    if (path.empty()) return LoadStatus::Missing;
    std::string data;
    std::error_code error;
    if (!ReadWholeFile(path, kMaxFileBytes, data, error)) {
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
            return LoadStatus::Missing;
        if (why != nullptr) *why = error;
        return LoadStatus::Unreadable;
    }
    ProfileFile loaded;
    loaded.raw_ = std::move(data);
    loaded.Index();
    *this = std::move(loaded);
    return LoadStatus::Loaded;
}

bool ProfileFile::Save(const std::string& path, const ReplaceOptions& options, std::error_code* why) const {
    auto fail = [why](std::error_code error) {
        if (why != nullptr) *why = error;
        return false;
    };
    if (path.empty()) return fail(std::make_error_code(std::errc::no_such_file_or_directory));
    std::error_code ec;
    fs::path target(path);
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        target = fs::canonical(target, ec);
        if (ec) return fail(ec);  // a dangling link
    }

    const fs::file_status status = fs::status(target, ec);
    const bool exists = status.type() != fs::file_type::not_found;
    if (exists) {
        if (ec) return fail(ec);
        if (fs::is_directory(status)) return fail(std::make_error_code(std::errc::is_a_directory));
        if (!fs::is_regular_file(status)) return fail(MakeFileError(FileError::NotARegularFile));
        constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
        if ((status.permissions() & kWrite) == fs::perms::none) return fail(MakeFileError(FileError::ReadOnlyFile));
        // Opening for update changes nothing but tells whether this user may write it.
        std::FILE* probe = std::fopen(target.string().c_str(), "r+b");
        if (!probe) return fail({errno, std::generic_category()});
        std::fclose(probe);
    } else if (!fs::is_directory(target.has_parent_path() ? target.parent_path() : fs::path("."), ec)) {
        return fail(std::make_error_code(std::errc::no_such_file_or_directory));
    }
    return ReplaceFileContents(target, Bytes(), exists, options, why);
}

}  // namespace quorvane
