#include "link/frame.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t CrcOf(std::string_view text) {
    std::uint16_t crc = 0xFFFF;
    for (char c : text) crc = Crc16Update(crc, static_cast<std::uint8_t>(c));
    return crc;
}

TEST(Crc16, KnownCheckValues) {
    EXPECT_EQ(CrcOf("123456789"), 0x29B1);
    EXPECT_EQ(CrcOf("abc"), 0x514A);
    EXPECT_EQ(CrcOf(""), 0xFFFF);
}

TEST(Crc16, WholeBufferAgreesWithByteAtATime) {
    std::vector<std::uint8_t> bytes(4108);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) crc = Crc16Update(crc, b);
    EXPECT_EQ(Crc16(bytes), crc);
    EXPECT_EQ(Crc16(std::span(bytes).subspan(100), 0x1234), [&] {
        std::uint16_t c = 0x1234;
        for (std::size_t i = 100; i < bytes.size(); ++i) c = Crc16Update(c, bytes[i]);
        return c;
    }());
}

TEST(SendCommand, WorkedExampleFrames) {
    struct Case {
        std::uint8_t command;
        Bytes payload;
        Bytes frame;
    };
    const Case cases[] = {
        {0x59, {0x01, 0x00, 0x10, 0x00, 0xFF},
         {0x5A, 0xA5, 0x00, 0x06, 0x59, 0x01, 0x00, 0x10, 0x00, 0xFF, 0x92, 0x67}},
        {0xE5, {}, {0x5A, 0xA5, 0x00, 0x01, 0xE5, 0x8A, 0x19}},
        {0x58, {0x01, 0x01}, {0x5A, 0xA5, 0x00, 0x03, 0x58, 0x01, 0x01, 0x05, 0x9D}},
        {0x50, {0x01, 0xFF, 0xFF, 0xFF, 0xFF},
         {0x5A, 0xA5, 0x00, 0x06, 0x50, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x1E, 0xD9}},
    };
    for (const Case& c : cases) {
        TxPayload tx;
        tx.Clear();
        tx.Append(c.payload);
        FrameBuffer frame{};
        Bytes written;
        SendCommand(tx, c.command, frame, [&](const std::uint8_t* data, std::uint16_t count) {
            written.assign(data, data + count);
            return true;
        });
        EXPECT_EQ(written, c.frame) << "command " << int(c.command);
        EXPECT_EQ(tx.length, c.payload.size()) << "SendCommand leaves the payload as it was";
    }
}

TEST(SendCommand, OverflowedPayloadIsNotSent) {
    TxPayload tx;
    for (std::size_t i = 0; i < kMaxPayloadLength + 1; ++i) tx.Append(0x41);
    EXPECT_TRUE(tx.overflow);
    FrameBuffer frame{};
    bool called = false;
    SendCommand(tx, 0xB0, frame, [&](const std::uint8_t*, std::uint16_t) { return called = true; });
    EXPECT_FALSE(called);
}

TEST(FindFrame, FindsWorkedExampleAndRecordsLength) {
    const Bytes rx = {0x5A, 0xA5, 0x00, 0x06, 0x59, 0x01, 0x00, 0x10, 0x00, 0xFF, 0x92, 0x67};
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(rx, 0, last), 4);
    EXPECT_EQ(last, 6);
}

TEST(FindFrame, ShortBlocksAndLateHeadersYieldNothing) {
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(Bytes{0x5A, 0xA5, 0x00, 0x01, 0xE5}, 0, last), 0);
    // The header first occurs at received length - 4.
    EXPECT_EQ(FindFrame(Bytes{0x00, 0x00, 0x5A, 0xA5, 0x00, 0x01}, 0, last), 0);
    EXPECT_EQ(FindFrame(Bytes{}, 0, last), 0);
    // A start beyond received length - 5.
    const Bytes frame = MakeFrame(0xE5, {});
    EXPECT_EQ(FindFrame(frame, 3, last), 0);
}

TEST(FindFrame, GarbageBeforeFrameIsSkipped) {
    Bytes rx = {0x00, 0x5A, 0x13, 0xA5};
    const Bytes frame = MakeFrame(0x58, Bytes{0x01, 0x01});
    rx.insert(rx.end(), frame.begin(), frame.end());
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(rx, 0, last), 4 + 4);
}

TEST(FindFrame, OnlyTheFirstHeaderIsTried) {
    Bytes bad = MakeFrame(0x58, Bytes{0x01, 0x01});
    bad.back() ^= 0xFF;
    const Bytes good = MakeFrame(0x58, Bytes{0x01, 0x01});
    Bytes rx = bad;
    rx.insert(rx.end(), good.begin(), good.end());
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(rx, 0, last), 0);
}

TEST(FindFrame, IncompleteFrameKeepsItsLength) {
    Bytes payload(300, 0x11);
    Bytes frame = MakeFrame(0x59, payload);
    frame.resize(100);
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(frame, 0, last), 0);
    EXPECT_EQ(last, 301);
}

TEST(FindFrame, HeaderInsidePayloadIsHarmless) {
    const Bytes frame = MakeFrame(0x59, Bytes{0x5A, 0xA5, 0x00, 0x01, 0x02});
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(frame, 0, last), 4);
}

TEST(FindFrame, HugeLengthFieldDoesNotReadPastTheEnd) {
    const Bytes rx = {0x5A, 0xA5, 0xFF, 0xFF, 0x59, 0x00, 0x00};
    std::uint16_t last = 0;
    EXPECT_EQ(FindFrame(rx, 0, last), 0);
    EXPECT_EQ(last, 0xFFFF);
}

TEST(ReverseBytes, ReversesAndRefusesEmptyCounts) {
    const std::uint8_t src[4] = {1, 2, 3, 4};
    std::uint8_t dst[4] = {0, 0, 0, 0};
    EXPECT_EQ(ReverseBytes(src, dst, 4), 4);
    EXPECT_EQ(dst[0], 4);
    EXPECT_EQ(dst[3], 1);
    std::uint8_t untouched[1] = {9};
    EXPECT_EQ(ReverseBytes(src, untouched, 0), 0);
    EXPECT_EQ(untouched[0], 9);
}

}  // namespace
}  // namespace quorvane
