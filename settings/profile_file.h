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
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/system.h"

namespace quorvane {

class ProfileFile {
public:
    static constexpr std::size_t kMaxValueLength = 2047;

    enum class LoadStatus {
        Loaded,      // the file was read
        Missing,     // no file at the path; contents unchanged
        Unreadable,  // something is there but cannot be read as a file; contents unchanged
    };

    ProfileFile() = default;  // a new, empty file
    explicit ProfileFile(std::string_view bytes);

    // Reads the whole file at `path` in one go.
    LoadStatus Load(const std::string& path);

    // Writes the whole file through ReplaceFileContents: under a short temporary name
    // beside the old one, flushed to the disk, with the old file's owner, group and
    // permissions, renamed over `path`; an existing file in a folder where that cannot
    // be done is rewritten in place. False, with the old file untouched and no
    // temporary left behind, when the target cannot be written: a missing folder, an
    // existing file that is read-only (no write permission at all, also for a
    // privileged user) or cannot be opened for writing, something other than a
    // regular file, or a folder where no new file can be created. A symbolic link is
    // followed: the file it points to is replaced.
    bool Save(const std::string& path, const ReplaceOptions& options = {}) const;

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

    struct Line {
        std::string text;  // without its line end, as 8-bit text
        std::string eol;   // "\r\n", "\n", "\r", or "" for a last line without one
        std::size_t valueBegin = std::string::npos;  // after the "=" of a key line
        // In a UTF-8 or UTF-16 file: the file's own bytes of the text and the line end,
        // written again while they are unchanged.
        std::string rawText;
        std::string rawEol;
        bool textChanged = true;
        bool eolChanged = true;
    };
    // Lines before the first header, or one section: its header line and what follows.
    struct Block {
        std::vector<Line> lines;
        std::unordered_map<std::string, std::size_t> keys;  // folded key -> first line
    };

    void AddLine(std::string text, std::string eol, bool changed = true, std::string rawText = {},
                 std::string rawEol = {});
    // 8-bit text in the file's encoding.
    std::string Encode(std::string_view text) const;
    void AppendLine(std::string text);
    static void IndexKey(Block& block, std::size_t lineIndex);
    Line* LastLine();
    const Line* FindKey(std::string_view section, std::string_view key) const;

    Encoding encoding_ = Encoding::EightBit;
    std::string mark_;                                        // the byte order mark the file starts with
    std::string lineEnd_ = "\r\n";                           // for new lines
    std::vector<Block> blocks_{1};                          // blocks_[0]: before any header
    std::unordered_map<std::string, std::size_t> sections_;  // folded name -> first block
};

}  // namespace quorvane
