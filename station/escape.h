// The command line's value escapes. Values are bytes; those below 0x20, 0x7F and
// above, and the backslash, are written as C escapes so every value fits one line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvane {

class EBadEscape : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// "\r", "\n", "\t", "\\" and "\xHH" (two lower-case hex digits) for the bytes that
// need them; every other byte as it is.
std::string EscapeValue(std::string_view bytes);

// The reverse: accepts "\r", "\n", "\t", "\\" and "\xHH" (either case). A backslash
// followed by anything else, or at the end, throws EBadEscape.
std::string UnescapeValue(std::string_view text);

}  // namespace quorvane
