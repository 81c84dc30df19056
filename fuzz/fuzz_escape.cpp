// The command line's value escapes.
//
// Input: arbitrary bytes, taken once as an escaped text and once as a value.
//
// Properties: unescaping either succeeds or refuses with EBadEscape; an escaped
// value is one line of printable characters and unescapes to the value; a text
// that unescapes escapes back to the same value.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "station/escape.h"
#include "fuzz/fuzz_input.h"

using namespace quorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::string escaped = EscapeValue(bytes);
    for (char c : escaped) {
        const auto b = static_cast<unsigned char>(c);
        QV_CHECK(b >= 0x20 && b < 0x7F, "an escaped value holds an unprintable byte");
    }
    QV_CHECK(UnescapeValue(escaped) == bytes, "escape and unescape do not round trip");

    try {
        const std::string value = UnescapeValue(bytes);
        QV_CHECK(UnescapeValue(EscapeValue(value)) == value, "an unescaped value does not round trip");
    } catch (const EBadEscape&) {
    }
    return 0;
}
