#include "station/escape.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(EscapeValue, WritesControlHighAndBackslashBytesAsEscapes) {
    EXPECT_EQ(EscapeValue("plain text 123"), "plain text 123");
    EXPECT_EQ(EscapeValue("a\r\nb\tc\\d"), "a\\r\\nb\\tc\\\\d");
    EXPECT_EQ(EscapeValue(std::string("\x00\x1f\x7f\xff", 4)), "\\x00\\x1f\\x7f\\xff");
    EXPECT_EQ(EscapeValue(""), "");
}

TEST(UnescapeValue, ReversesEveryEscape) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(UnescapeValue(EscapeValue(all)), all);
    EXPECT_EQ(UnescapeValue("\\xAB\\xab"), "\xab\xab");
}

TEST(UnescapeValue, RefusesMalformedEscapes) {
    for (const char* bad : {"\\", "abc\\", "\\q", "\\x", "\\x4", "\\xg0", "\\x0g"}) {
        EXPECT_THROW(UnescapeValue(bad), EBadEscape) << bad;
    }
}

}  // namespace
}  // namespace quorvane
