// Text typed or saved by people is UTF-8; the tracker keeps 8-bit (Latin-1) text.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvane {

// A character of people's text that 8-bit text cannot hold. what() names it.
class ENoEightBitForm : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// True when `text` is well-formed UTF-8 (shortest forms, no surrogates).
bool IsUtf8(std::string_view text);

// A UTF-8 text as 8-bit characters, one byte per character up to U+00FF; throws
// ENoEightBitForm for a character above that. `text` must be UTF-8 (IsUtf8).
std::string EightBitFromUtf8(std::string_view text);

// People's text as the tracker keeps it: converted when it is UTF-8, otherwise taken
// as 8-bit text as it stands.
std::string EightBitFromPeople(std::string_view text);

// The other way: 8-bit text (the tracker's, the core's: one byte a character,
// Latin-1) as UTF-8, for JSON and people.
std::string Latin1ToUtf8(std::string_view bytes);

// A UTF-8 byte order mark at the start, dropped.
std::string_view WithoutByteOrderMark(std::string_view text);

}  // namespace quorvane
