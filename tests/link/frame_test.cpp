#include "link/frame.h"

#include <gtest/gtest.h>

#include "blocks/convert.h"
#include "link/commands.h"

#include <string>
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

// Every frame built reads back through the view: command, payload, length field and
// size agree with what went in, the CRC matches, and any changed byte spoils it.
TEST(FrameView, ReadsBackEveryFrameBuilt) {
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1103515245U + 12345U; };
    for (int round = 0; round < 200; ++round) {
        const auto command = static_cast<std::uint8_t>(next() >> 16);
        Bytes payload(next() % 40);
        for (auto& b : payload) b = static_cast<std::uint8_t>(next() >> 16);
        const Bytes frame = MakeFrame(command, payload);
        const FrameView view(frame);
        ASSERT_TRUE(view.Whole());
        EXPECT_EQ(view.Command(), command);
        EXPECT_EQ(Bytes(view.Payload().begin(), view.Payload().end()), payload);
        EXPECT_EQ(view.LengthField(), payload.size() + 1);
        EXPECT_EQ(FrameView::SizeFor(view.LengthField()), frame.size());
        EXPECT_EQ(view.WithoutCrc().size(), frame.size() - 2);
        EXPECT_TRUE(FrameView::CrcMatches(frame));
        Bytes spoiled = frame;
        spoiled[next() % spoiled.size()] ^= static_cast<std::uint8_t>(1U << (next() % 8));
        EXPECT_FALSE(FrameView::CrcMatches(spoiled));

        // Read as a block request or answer: area, offset and length MSB first, then data.
        if (payload.size() >= 5) {
            EXPECT_EQ(view.Area(), payload[0]);
            EXPECT_EQ(view.BlockOffset(), payload[1] * 256 + payload[2]);
            EXPECT_EQ(view.BlockLength(), payload[3] * 256 + payload[4]);
            EXPECT_EQ(view.BlockData().size(), payload.size() - 5);
            EXPECT_EQ(view.BlockData().data(), view.Payload().data() + 5);
        } else {
            EXPECT_FALSE(view.BlockLength());
            EXPECT_TRUE(view.BlockData().empty());
        }
        EXPECT_EQ(view.Status().has_value(), !payload.empty());
        EXPECT_EQ(view.WriteStatus().has_value(), payload.size() >= 2);
    }
}

TEST(FrameView, ShortBytesHoldNoFields) {
    const Bytes frame = MakeFrame(CmdReadBlock, Bytes{1, 0, 16, 0, 255});
    for (std::size_t size = 0; size < kFrameOverhead; ++size) {
        const std::span<const std::uint8_t> bytes = std::span(frame).first(size);
        const FrameView view(bytes);
        EXPECT_FALSE(view.Whole());
        EXPECT_TRUE(view.Payload().empty());
        EXPECT_FALSE(view.Area());
        EXPECT_EQ(view.HasCommand(), size > 4);
        EXPECT_EQ(FrameView::LengthFieldOf(bytes).has_value(), size >= 4);
    }
}

// The connect request's code as the payload builder writes it, and the connect
// answer's result and device texts.
TEST(FrameView, ConnectRequestAndAnswer) {
    for (const std::int32_t code : {0, 1, 305419896, -1, -2147483647 - 1}) {
        TxPayload tx;
        tx.Clear();
        tx.Append(0x01);
        AppendLong(tx, static_cast<std::uint32_t>(code));
        const Bytes frame = MakeFrame(CmdConnect, tx.View());
        EXPECT_EQ(FrameView(frame).AuthCode(), code);
    }
    const Bytes answer = MakeFrame(CmdConnect, Bytes{1, 0, 9, 9, 9, 'F', 'W', ','});
    EXPECT_EQ(FrameView(answer).ConnectResult(), 0);
    const auto info = FrameView(answer).DeviceInfo();
    EXPECT_EQ(std::string(info.begin(), info.end()), "FW,");
    EXPECT_TRUE(FrameView(MakeFrame(CmdConnect, Bytes{1, 1, 9, 9, 9})).DeviceInfo().empty());
    EXPECT_FALSE(FrameView(MakeFrame(CmdConnect, Bytes{1})).ConnectResult());
}

}  // namespace
}  // namespace quorvane
