#include "link/frame_assembler.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "link/frame.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Text(std::string_view t) { return Bytes(t.begin(), t.end()); }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// Appends everything (in pieces when the buffer is full) and collects every frame.
// `bytes` is one received block.
std::vector<Bytes> Feed(FrameAssembler& a, const Bytes& bytes) {
    a.NoteBlock(bytes);
    std::vector<Bytes> frames;
    std::size_t at = 0;
    for (;;) {
        at += a.Append(std::span(bytes).subspan(at));
        auto f = a.NextFrame();
        if (f) {
            frames.push_back(*f);
            continue;
        }
        if (at == bytes.size()) return frames;
    }
}

const Bytes kAck = MakeFrame(0x58, Bytes{0x01, 0x01});
const Bytes kDefault = MakeFrame(0xE5, {});

TEST(ScanFrame, OneVerdictPerSituation) {
    EXPECT_EQ(ScanFrame(kAck).kind, ScanKind::Frame);
    EXPECT_EQ(ScanFrame(kAck).length, kAck.size());

    const auto noHeader = ScanFrame(Bytes{0x01, 0x02, 0x5A, 0xA5});
    EXPECT_EQ(noHeader.kind, ScanKind::Skip);
    EXPECT_EQ(noHeader.reason, ScanReason::NoHeader);
    EXPECT_EQ(noHeader.length, 2u) << "skips to the next possible header";

    EXPECT_EQ(ScanFrame(Bytes{0x5A, 0x00}).reason, ScanReason::NoHeader);
    EXPECT_EQ(ScanFrame(Bytes{0x5A, 0xA5, 0x00}).reason, ScanReason::PartialHeader);
    EXPECT_EQ(ScanFrame(Bytes{0x5A, 0xA5, 0x00}).kind, ScanKind::NeedMore);

    EXPECT_EQ(ScanFrame(Bytes{0x5A, 0xA5, 0x00, 0x00, 0x11, 0x22}).reason, ScanReason::BadLength);
    EXPECT_EQ(ScanFrame(Bytes{0x5A, 0xA5, 0x10, 0x07}).reason, ScanReason::BadLength)
        << "4103 + 6 bytes is one more than the largest frame";
    EXPECT_EQ(ScanFrame(Bytes{0x5A, 0xA5, 0x10, 0x06}).reason, ScanReason::Incomplete);

    const Bytes part(kAck.begin(), kAck.end() - 1);
    const auto incomplete = ScanFrame(part);
    EXPECT_EQ(incomplete.kind, ScanKind::NeedMore);
    EXPECT_EQ(incomplete.length, 1u);

    Bytes corrupt = kAck;
    corrupt.back() ^= 0x01;
    EXPECT_EQ(ScanFrame(corrupt).reason, ScanReason::CrcMismatch);
    EXPECT_EQ(ScanFrame(corrupt).length, 1u);
}

TEST(FrameAssembler, FrameSplitOverBlocksIsFoundOnceComplete) {
    FrameAssembler a;
    for (std::size_t i = 0; i + 1 < kAck.size(); ++i) {
        a.Append(std::span(kAck).subspan(i, 1));
        EXPECT_FALSE(a.NextFrame()) << "after byte " << i;
    }
    a.Append(std::span(kAck).last(1));
    const auto frame = a.NextFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, kAck);
    EXPECT_EQ(a.LastFrameLength(), 3);
    EXPECT_TRUE(a.Pending().empty());
    EXPECT_FALSE(a.NextFrame()) << "a frame is handed out once";
}

TEST(FrameAssembler, LargestFrameArrivesInPortSizedBlocks) {
    Bytes payload = {0x05, 0x00, 0x00, 0x10, 0x00};
    payload.resize(payload.size() + 4096, 0x5A);  // header-like bytes throughout the data
    const Bytes frame = MakeFrame(0x59, payload);
    ASSERT_EQ(frame.size(), kMaxFrameLength);

    FrameAssembler a;
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < frame.size(); at += kMaxReceiveBlock) {
        const std::size_t n = std::min(kMaxReceiveBlock, frame.size() - at);
        ASSERT_EQ(a.Append(std::span(frame).subspan(at, n)), n);
        while (auto f = a.NextFrame()) frames.push_back(*f);
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frame);
}

TEST(FrameAssembler, SeveralFramesAndStrayBytesInOneBlock) {
    FrameAssembler a;
    const auto frames = Feed(a, Cat({Text("xx"), kAck, Text("\r\n"), kDefault, Bytes{0x5A}}));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0], kAck);
    EXPECT_EQ(frames[1], kDefault);
    EXPECT_EQ(a.Pending().size(), 1u) << "a trailing 5A may still start a frame";
}

TEST(FrameAssembler, BadHeadersAreSkippedAndTheScanGoesOn) {
    Bytes corrupt = kAck;
    corrupt[6] ^= 0x40;
    const Bytes oversize = {0x5A, 0xA5, 0xFF, 0xFF, 0x01};
    const Bytes zeroLength = {0x5A, 0xA5, 0x00, 0x00};
    FrameAssembler a;
    const auto frames = Feed(a, Cat({corrupt, oversize, zeroLength, kDefault}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kDefault);
    EXPECT_TRUE(a.Pending().empty());
}

TEST(FrameAssembler, StrayHeaderDoesNotHoldBackALaterCompleteFrame) {
    // "5A A5 0F 00" claims 3840 bytes; the real answer inside them is taken at once.
    const Bytes stray = {0x5A, 0xA5, 0x0F, 0x00, 0x33};
    FrameAssembler a;
    auto frames = Feed(a, Cat({stray, kAck}));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kAck);

    // The same when the answer comes in a later block.
    FrameAssembler b;
    EXPECT_TRUE(Feed(b, stray).empty());
    frames = Feed(b, kAck);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kAck);
}

TEST(FrameAssembler, HundredsOfStrayHeadersStillYieldTheFrameBehindThem) {
    // Headers that claim long frames, nested inside each other, some complete with a
    // wrong checksum, then a real answer: line data a misbehaving device could send.
    Bytes line(2000, 0x11);
    for (int i = 0; i < 320; ++i) line.insert(line.end(), {0x5A, 0xA5, 0x10, 0x06});
    const std::size_t badEnd = 6080;
    for (int i = 0; i < 320; ++i) {
        const std::size_t claimed = badEnd - line.size() - 6;
        line.insert(line.end(), {0x5A, 0xA5, static_cast<std::uint8_t>(claimed >> 8),
                                 static_cast<std::uint8_t>(claimed & 0xFF)});
    }
    line.resize(badEnd, 0x22);
    line.insert(line.end(), kAck.begin(), kAck.end());

    FrameAssembler a;
    std::vector<Bytes> frames;
    for (std::size_t at = 0; at < line.size(); at += kMaxReceiveBlock) {
        const Bytes block(line.begin() + static_cast<std::ptrdiff_t>(at),
                          line.begin() + static_cast<std::ptrdiff_t>(std::min(line.size(), at + kMaxReceiveBlock)));
        for (const Bytes& f : Feed(a, block)) frames.push_back(f);
    }
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kAck);
}

TEST(FrameAssembler, IncompleteFrameWithoutLaterFrameWaits) {
    const Bytes frame = MakeFrame(0x59, Bytes(300, 0x00));
    FrameAssembler a;
    EXPECT_TRUE(Feed(a, Bytes(frame.begin(), frame.begin() + 100)).empty());
    EXPECT_EQ(a.Pending().size(), 100u);
    const auto frames = Feed(a, Bytes(frame.begin() + 100, frame.end()));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], frame);
}

TEST(FrameAssembler, MemoryStaysBoundedUnderEndlessGarbage) {
    FrameAssembler a;
    Bytes garbage;
    for (int i = 0; i < 1500; ++i) {
        for (std::uint8_t b : {0x5A, 0xA5, 0x0F, 0xF0, 0x00, 0x5A}) garbage.push_back(b);
    }
    for (std::size_t at = 0; at < garbage.size(); at += kMaxReceiveBlock) {
        const std::size_t n = std::min(kMaxReceiveBlock, garbage.size() - at);
        ASSERT_EQ(a.Append(std::span(garbage).subspan(at, n)), n) << "room for a whole block";
        EXPECT_FALSE(a.NextFrame());
        EXPECT_LT(a.Pending().size(), kMaxFrameLength);
    }
    // A valid frame after all that is still found.
    const auto frames = Feed(a, kAck);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], kAck);
}

TEST(FrameAssembler, ModelTextOutsideFramesOnly) {
    FrameAssembler a;
    Feed(a, Text("Model: QV-200\r\n"));
    EXPECT_TRUE(a.TakeModelSeen());
    EXPECT_FALSE(a.TakeModelSeen()) << "reported once";

    Feed(a, Text("..Mod"));
    EXPECT_FALSE(a.TakeModelSeen());
    Feed(a, Text("el.."));
    EXPECT_TRUE(a.TakeModelSeen()) << "split over two blocks";

    Feed(a, MakeFrame(0x59, Text("Model")));
    EXPECT_FALSE(a.TakeModelSeen()) << "inside a valid frame";

    Feed(a, Cat({Text("Mo"), kAck, Text("del")}));
    EXPECT_FALSE(a.TakeModelSeen()) << "a frame in between breaks the text";

    Feed(a, Text("Mod"));
    a.Clear();
    Feed(a, Text("el"));
    EXPECT_FALSE(a.TakeModelSeen()) << "discarded bytes do not join later ones";

    // Behind an unfinished frame's header the text still counts: the bytes it sits in
    // are claimed by the frame, but the block gave none.
    const Bytes event = MakeFrame(0x59, Bytes(4101, 0x11));
    Feed(a, Bytes(event.begin(), event.begin() + 2048));
    EXPECT_FALSE(a.TakeModelSeen());
    Feed(a, Cat({Bytes(event.begin() + 2048, event.begin() + 3000), Text("\r\nModel: KR420\r\n")}));
    EXPECT_TRUE(a.TakeModelSeen());
    EXPECT_FALSE(a.Pending().empty()) << "the header still waits for its bytes";

    // A block that completes a frame is handled by its frame alone.
    a.Clear();
    Feed(a, Bytes(event.begin(), event.begin() + 2048));
    Feed(a, Bytes(event.begin() + 2048, event.begin() + 4096));
    EXPECT_EQ(Feed(a, Cat({Bytes(event.begin() + 4096, event.end()), Text("Model")})).size(), 1u);
    EXPECT_FALSE(a.TakeModelSeen());
}

}  // namespace
}  // namespace quorvane
