#include "link/traffic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frame.h"
#include "link/frame_assembler.h"

namespace quorvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = TrafficRecorder::Clock;

Bytes ReadRequest(std::uint8_t area, std::uint16_t offset, std::uint16_t length) {
    const Bytes payload = {area, static_cast<std::uint8_t>(offset >> 8), static_cast<std::uint8_t>(offset),
                           static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    return MakeFrame(0x59, payload);
}

struct Row {
    TrafficKind kind;
    std::string command;
    std::size_t length;
    std::string summary;
};

std::vector<Row> Rows(const TrafficRecorder& recorder) {
    std::vector<Row> rows;
    for (const TrafficRow& r : recorder.Rows()) rows.push_back({r.kind, r.command, r.length, r.summary});
    return rows;
}

void ExpectRows(const TrafficRecorder& recorder, const std::vector<Row>& expected) {
    const std::vector<Row> rows = Rows(recorder);
    ASSERT_EQ(rows.size(), expected.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i));
        EXPECT_EQ(rows[i].kind, expected[i].kind);
        EXPECT_EQ(rows[i].command, expected[i].command);
        EXPECT_EQ(rows[i].length, expected[i].length);
        EXPECT_EQ(rows[i].summary, expected[i].summary);
    }
}

TEST(TrafficRecorder, KeepsTheLastTenThousandRowsAndCountsTheDropped) {
    TrafficRecorder recorder;
    recorder.SetEnabled(true);
    const Bytes frame = ReadRequest(1, 0, 512);
    for (int i = 0; i < 10500; ++i) recorder.RecordFrame(TrafficDirection::Sent, frame);

    EXPECT_EQ(recorder.Rows().size(), 10000U);
    EXPECT_EQ(recorder.Rows().front().sequence, 501U);
    EXPECT_EQ(recorder.LastSequence(), 10500U);
    EXPECT_EQ(recorder.Dropped(), 500U);

    // A panel that fell behind the ring gets what is kept; one that is current, nothing.
    std::vector<std::uint64_t> seen;
    EXPECT_EQ(recorder.ForEachAfter(100, [&](const TrafficRow& r) { seen.push_back(r.sequence); }), 10500U);
    EXPECT_EQ(seen.size(), 10000U);
    seen.clear();
    EXPECT_EQ(recorder.ForEachAfter(10497, [&](const TrafficRow& r) { seen.push_back(r.sequence); }), 10500U);
    EXPECT_EQ(seen, (std::vector<std::uint64_t>{10498, 10499, 10500}));
    EXPECT_EQ(recorder.ForEachAfter(10500, [&](const TrafficRow&) { ADD_FAILURE(); }), 10500U);

    // Clearing keeps the numbering going, so a panel never confuses old and new rows.
    recorder.Clear();
    recorder.RecordFrame(TrafficDirection::Sent, frame);
    EXPECT_EQ(recorder.Rows().front().sequence, 10501U);
}

TEST(TrafficRecorder, RecordsNothingUntilEnabledAndTellsListeners) {
    TrafficRecorder recorder(5);
    const Bytes frame = ReadRequest(1, 0, 512);
    recorder.RecordFrame(TrafficDirection::Sent, frame);
    recorder.RecordStray(TrafficDirection::Received, frame);
    EXPECT_TRUE(recorder.Rows().empty());

    recorder.SetEnabled(true);
    std::vector<std::string> told;
    const int id = recorder.Subscribe([&](const TrafficRow& r) { told.push_back(r.command); });
    recorder.RecordFrame(TrafficDirection::Sent, frame);
    recorder.Unsubscribe(id);
    recorder.RecordFrame(TrafficDirection::Sent, frame);
    EXPECT_EQ(told, (std::vector<std::string>{"Read Block"}));
    EXPECT_EQ(recorder.Rows().size(), 2U);
}

TEST(TrafficRecorder, FormatsOneTabSeparatedLinePerRow) {
    Clock::time_point now{};
    TrafficRecorder recorder;
    recorder.SetEnabled(true);
    recorder.SetClock([&] { return now; });
    now += std::chrono::microseconds(12345);
    recorder.RecordFrame(TrafficDirection::Sent, ReadRequest(1, 0, 512));
    now += std::chrono::microseconds(100);
    recorder.RecordFrame(TrafficDirection::Sent, ReadRequest(2, 34, 156), true);
    recorder.RecordStray(TrafficDirection::Received, Bytes{'O', 'K', 0x0D});

    ASSERT_EQ(recorder.Rows().size(), 3U);
    const Bytes first = ReadRequest(1, 0, 512);
    EXPECT_EQ(FormatTrafficLine(recorder.Rows()[0]),
              "12.3\tTX\tRead Block\t12\tarea 1, offset 0, length 512\t5A A5 00 06 59 01 00 00 02 00 " +
                  HexBytes(std::span(first).last(2)));
    EXPECT_EQ(recorder.Rows()[1].summary, "area 2, offset 34, length 156 (not sent)");
    EXPECT_EQ(FormatTrafficLine(recorder.Rows()[2]), "12.4\tRX\t-\t3\tstray bytes\t4F 4B 0D");
}

TEST(TrafficSummary, DecodesBlocksAcknowledgementsAndTheConnectExchange) {
    const auto answer = [](std::uint8_t command, const Bytes& payload) {
        return SummarizeFrame(false, MakeFrame(command, payload));
    };
    const auto request = [](std::uint8_t command, const Bytes& payload) {
        return SummarizeFrame(true, MakeFrame(command, payload));
    };
    EXPECT_EQ(request(0x58, {3, 0, 0, 0, 2, 'a', 'b'}), "area 3, offset 0, length 2");
    EXPECT_EQ(answer(0x58, {3, 1}), "area 3, status 1");
    EXPECT_EQ(answer(0x59, {1, 0, 0, 0, 3, 7, 8, 9}), "area 1, offset 0, length 3, 3 data bytes");
    EXPECT_EQ(answer(0xC0, {2}), "status 2");
    EXPECT_EQ(request(0x50, {1, 0xFF, 0xFF, 0xFF, 0xFF}), "auth code -1");
    Bytes connect = {1, 1, 0, 0, 0};
    for (char c : std::string("QV-KR420-V2.1.7,860123456789012,QV420A0012345,")) connect.push_back(static_cast<std::uint8_t>(c));
    EXPECT_EQ(answer(0x50, connect), "accepted, firmware QV-KR420-V2.1.7, IMEI 860123456789012, SN QV420A0012345");
    EXPECT_EQ(TrafficCommandName(0xC2), "Clear GPRS-2");
    EXPECT_EQ(TrafficCommandName(0x7F), "0x7F");
}

// The assembler's view and the byte splitter's view of the same line agree: a stray
// run, a valid frame, a frame with a broken CRC (one row, its bytes not repeated as
// stray), and a tail that never became a frame.
TEST(TrafficAssembler, ReportsFramesCrcErrorsAndStrayRunsOnce) {
    const Bytes good = MakeFrame(0x59, Bytes{1, 0, 0, 0, 2, 0xAA, 0xBB});
    Bytes bad = MakeFrame(0x58, Bytes{1, 1});
    bad.back() ^= 0xFF;
    Bytes line = {'M', 'o', 'd', 'e', 'l', 0x5A, 0x00};
    line.insert(line.end(), good.begin(), good.end());
    line.insert(line.end(), bad.begin(), bad.end());
    line.insert(line.end(), {0x01, 0x02, 0x5A, 0xA5});

    const std::vector<Row> expected = {
        {TrafficKind::Stray, "", 7, "stray bytes"},
        {TrafficKind::Frame, "Read Block", good.size(), "area 1, offset 0, length 2, 2 data bytes"},
        {TrafficKind::CrcError, "Write Block", bad.size(), "CRC error"},
        {TrafficKind::Stray, "", 4, "stray bytes"},
    };

    TrafficRecorder split;
    split.SetEnabled(true);
    split.RecordBytes(TrafficDirection::Received, line);
    ExpectRows(split, expected);

    TrafficRecorder assembled;
    assembled.SetEnabled(true);
    FrameAssembler rx;
    rx.SetTraffic(&assembled);
    // Delivered in small pieces, as a port cuts them.
    for (std::size_t at = 0; at < line.size(); at += 3) {
        rx.Append(std::span(line).subspan(at, std::min<std::size_t>(3, line.size() - at)));
        while (rx.NextFrame()) {
        }
    }
    rx.Clear();  // the next request makes the unfinished tail stale
    ExpectRows(assembled, expected);
}

TEST(TrafficAssembler, FloodOfStrayBytesStaysBounded) {
    TrafficRecorder recorder(100);
    recorder.SetEnabled(true);
    FrameAssembler rx;
    rx.SetTraffic(&recorder);
    const Bytes block(2048, 0x33);
    for (int i = 0; i < 2000; ++i) {
        rx.Append(block);
        while (rx.NextFrame()) {
        }
        rx.FlushTraffic();
    }
    EXPECT_EQ(recorder.Rows().size(), 100U);
    for (const TrafficRow& row : recorder.Rows()) EXPECT_LE(row.bytes.size(), TrafficRecorder::kMaxRowBytes);
    EXPECT_EQ(recorder.Rows().back().length, 2048U);
}

}  // namespace
}  // namespace quorvane
