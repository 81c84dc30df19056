#include "station/people_text.h"

#include <cstdint>

namespace quorvane {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The code point at `at` and its length in bytes; length 0 when the bytes there are
// not a well-formed UTF-8 sequence.
std::pair<char32_t, std::size_t> NextCodePoint(std::string_view text, std::size_t at) {
    const auto lead = static_cast<std::uint8_t>(text[at]);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t point = 0;
    char32_t smallest = 0;
    if ((lead & 0xE0U) == 0xC0U) {
        length = 2;
        point = lead & 0x1FU;
        smallest = 0x80;
    } else if ((lead & 0xF0U) == 0xE0U) {
        length = 3;
        point = lead & 0x0FU;
        smallest = 0x800;
    } else if ((lead & 0xF8U) == 0xF0U) {
        length = 4;
        point = lead & 0x07U;
        smallest = 0x10000;
    } else {
        return {0, 0};
    }
    if (at + length > text.size()) return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<std::uint8_t>(text[at + k]);
        if ((next & 0xC0U) != 0x80U) return {0, 0};
        point = (point << 6) | (next & 0x3FU);
    }
    if (point < smallest || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {0, 0};
    return {point, length};
}

}  // namespace

bool IsUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = NextCodePoint(text, at).second;
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string EightBitFromUtf8(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const auto [point, length] = NextCodePoint(text, at);
        if (length == 0) throw ENoEightBitForm("not UTF-8 text");
        if (point > 0xFF) {
            throw ENoEightBitForm("'" + std::string(text.substr(at, length)) +
                                  "' has no 8-bit form (the tracker keeps Latin-1 text)");
        }
        bytes.push_back(static_cast<char>(point));
        at += length;
    }
    return bytes;
}

std::string EightBitFromPeople(std::string_view text) {
    return IsUtf8(text) ? EightBitFromUtf8(text) : std::string(text);
}

std::string_view WithoutByteOrderMark(std::string_view text) {
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
    return text;
}

std::string Latin1ToUtf8(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            text.push_back(c);
        } else {
            text.push_back(static_cast<char>(0xC0 | (b >> 6)));
            text.push_back(static_cast<char>(0x80 | (b & 0x3F)));
        }
    }
    return text;
}

}  // namespace quorvane
