// An INI file read and updated the way the Windows profile-file functions do it,
// held in memory: load it once, get and set keys, save it once.
//
// Reading:
// - A line whose first non-blank character is "[" and which holds a "]" is a section
//   header; the name is the text between the "[" and the last "]" of the line,
//   without surrounding blanks, so "[ GPRS ]" is the section GPRS. A line starting
//   with "[" without any "]" is no header: the lines after it stay in the section
//   before.
// - Any other line holding "=" is a key line: the key is the text before the first
//   "=", the value the text after it, both without surrounding blanks. A value
//   enclosed in one matching pair of double or single quotes is read without them.
//   A value read is at most 2047 characters.
// - Section and key names match without regard to ASCII letter case.
// - Only the first section of a name is searched, and of duplicate keys in it the
//   first is read and updated. Lines before the first header belong to no section.
// - There is no comment syntax: a line starting with ";" is simply a key line or an
//   unknown line, kept as it stands.
// - Blanks are the characters 0x09 to 0x0D, space, and 0x1A (^Z).
//
// Bytes: text is 8-bit characters, passed through unchanged; NUL bytes are ordinary
// characters. CR LF, LF alone and CR alone each end a line ("\r\r\n" is a CR line end
// and a CR LF one). A file starting with a UTF-16LE byte order mark (FF FE) is read as
// UTF-16LE, one with a UTF-8 mark as UTF-8: characters up to U+00FF become the 8-bit
// character of that number, every other character (and every malformed sequence)
// becomes "?". Such a file is written back in its own encoding with its mark; lines
// that were not changed keep their bytes exactly. Any input is accepted; nothing is
// read outside the data.
//
// Memory: the file's bytes once, and a small index entry per section header and key
// line, so a file costs a few times its size whatever it holds; lines that are
// neither (blank lines, unknown text) cost nothing beyond their bytes. Load refuses
// files over kMaxFileBytes.
//
// Writing:
// - Setting an existing key rewrites only that line: the text up to the "=" and the
//   blanks after it stay, the value after them is replaced. A line whose value
//   already reads as the new value is not touched at all.
// - A missing key goes right after the last non-blank line of its section, so blank
//   lines before the next section stay where they are.
// - A missing section goes at the end of the file, after a blank line when the file
//   does not already end with one.
// - Every other line stays byte for byte.
// - New lines take the file's line end (that of its first line); a file without any
//   line end, a new file included, gets CRLF. A file that ends without a final line
//   end keeps ending without one.
// - A value that would not read back as itself (leading or trailing blanks, or a
//   matching pair of quotes around it) is written inside double quotes, so every
//   value reads back unchanged up to 2047 characters. A value cannot span lines: it is
//   written up to its first CR or LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace quorvane {

class ProfileFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;
    // Far beyond any settings file; a larger one is refused rather than read.
    static constexpr std::size_t kMaxFileBytes = kMaxTextFileBytes;

    enum class LoadStatus {
        Loaded,      // the file was read
        Missing,     // no file at the path; contents unchanged
        Unreadable,  // something is there but cannot be read as a file; contents unchanged
    };

    ProfileFile() = default;  // a new, empty file
    explicit ProfileFile(std::string_view bytes);

    // Reads the whole file at `path` in one go. A folder, a device, a FIFO or a file
    // over kMaxFileBytes is Unreadable, never waited on; `why` says what was wrong.
    LoadStatus Load(const std::string& path, std::error_code* why = nullptr);

    // Writes the whole file through ReplaceFileContents: under a short temporary name
    // beside the old one, flushed to the disk, with the old file's owner, group,
    // permissions and extended attributes, renamed over `path`; an existing file in a
    // folder where that cannot be done is rewritten in place. False, with the old file
    // untouched and no temporary left behind, when the target cannot be written: a
    // missing folder, an existing file that is read-only (no write permission at all,
    // also for a privileged user) or cannot be opened for writing, something other
    // than a regular file, or a folder where no new file can be created; `why` then
    // says which. A symbolic link is followed: the file it points to is replaced.
    bool Save(const std::string& path, const ReplaceOptions& options = {}, std::error_code* why = nullptr) const;

    // The value of `key` in `section`; nullopt when the section or key is missing.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // As Get, with `fallback` for a missing key.
    std::string GetString(std::string_view section, std::string_view key,
                          std::string_view fallback = {}) const;

    // Writes `value` under `key` in `section`. A name that the file could not give back
    // (holding CR, LF, "]" in a section or "=" in a key, starting with "[", or with
    // surrounding blanks) is a programming error and throws std::invalid_argument.
    void Set(std::string_view section, std::string_view key, std::string_view value);

    // The file's complete contents.
    std::string Bytes() const;

private:
    enum class Encoding { EightBit, Utf8, Utf16Le };

    // One line of the loaded bytes: text [begin, textEnd), line end [textEnd, end).
    struct RawLine {
        std::size_t begin = 0;
        std::size_t textEnd = 0;
        std::size_t end = 0;
    };
    // A hash and the offset of the line it was taken from.
    struct Entry {
        std::uint32_t hash;
        std::uint32_t at;
        bool operator<(const Entry& o) const { return hash != o.hash ? hash < o.hash : at < o.at; }
    };
    // Where a key line stands: a loaded line by its offset, or a line added since.
    struct KeyPlace {
        std::size_t at = 0;
        bool added = false;
    };
    // A section: a loaded one by its header's offset, or one added since.
    using SectionId = std::size_t;

    void Index();
    RawLine LineAt(std::size_t begin) const;
    // A loaded line's text as 8-bit characters (`scratch` holds it when decoding is needed).
    std::string_view TextOf(const RawLine& line, std::string& scratch) const;
    // The current 8-bit text of a loaded line: its replacement, or what was loaded.
    std::string CurrentText(std::size_t at) const;
    std::string Encode(std::string_view text) const;

    std::optional<SectionId> FindSection(std::string_view section) const;
    std::optional<KeyPlace> FindKey(SectionId section, std::string_view key) const;
    std::size_t SectionEnd(std::size_t header) const;
    // Where a loaded section's new keys go: the offset after its last non-blank line.
    std::size_t InsertionPoint(std::size_t header) const;
    bool LastLineIsBlank() const;
    std::size_t AddLine(std::string text);
    static void InsertBeforeTrailingBlanks(std::vector<std::size_t>& lines, const std::vector<std::string>& texts,
                                           std::size_t line);

    std::string raw_;  // the loaded bytes, byte order mark included
    Encoding encoding_ = Encoding::EightBit;
    std::size_t markSize_ = 0;
    std::string lineEnd_ = "\r\n";  // for new lines, as 8-bit text
    bool endsWithoutLineEnd_ = false;  // the loaded text's last line has none
    std::size_t lastLine_ = 0;         // offset of the loaded text's last line

    std::vector<std::uint32_t> headers_;  // offsets of every loaded header line
    std::vector<Entry> sections_;         // folded name -> header, every loaded header
    std::vector<Entry> keys_;             // (header, folded key) -> key line, every loaded key line

    // Changes since loading.
    std::map<std::size_t, std::string> replaced_;               // loaded line -> its new text
    std::vector<std::string> added_;                            // texts of added lines
    std::map<std::size_t, std::vector<std::size_t>> before_;    // loaded line -> added lines before it
    // Added lines after the loaded text: [0] continues the last loaded section, each
    // further one is a new section, its header first.
    std::vector<std::vector<std::size_t>> tail_{1};
    std::map<std::string, SectionId> newSections_;                       // folded name -> id
    std::map<std::pair<SectionId, std::string>, std::size_t> addedKeys_;  // (section, folded key) -> added line
    mutable std::map<std::size_t, std::size_t> insertionPoints_;        // header -> InsertionPoint
};

}  // namespace quorvane
