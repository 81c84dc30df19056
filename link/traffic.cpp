#include "link/traffic.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "blocks/device_info.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/frame_assembler.h"

namespace quorvane {

namespace {

// "area 1, offset 0, length 512" from a block header (area, offset, length).
std::string BlockHeader(const FrameView& frame) {
    const auto area = frame.Area();
    const auto offset = frame.BlockOffset();
    const auto length = frame.BlockLength();
    if (!area || !offset || !length) return "short block header";
    return "area " + std::to_string(*area) + ", offset " + std::to_string(*offset) + ", length " +
           std::to_string(*length);
}

// The device texts of a connect answer: ", firmware ..., IMEI ..., SN ..." for each
// text closed by its "," that is printable and at most 40 characters; the first
// that is not ends the list.
std::string DeviceTextsSummary(std::span<const std::uint8_t> info) {
    static constexpr const char* kNames[] = {"firmware ", "IMEI ", "SN "};
    constexpr std::size_t kLongest = 40;
    std::string out;
    const DeviceTexts texts = SplitDeviceTexts(info);
    for (std::size_t k = 0; k < texts.fields.size(); ++k) {
        const DeviceText& field = texts.fields[k];
        if (!field.closed || PrintableLength(field.text, kLongest) != field.text.size()) break;
        out += ", ";
        out += kNames[k];
        out += field.text;
    }
    return out;
}

std::string Summary(bool request, const FrameView& frame) {
    const std::span<const std::uint8_t> payload = frame.Payload();
    switch (frame.Command()) {
    case CmdConnect:
        if (request) {
            const auto code = frame.AuthCode();
            return code ? "auth code " + std::to_string(*code) : "";
        }
        if (!frame.ConnectResult()) return "short answer";
        return std::string(*frame.ConnectResult() != 0 ? "accepted" : "auth code refused") +
               DeviceTextsSummary(frame.DeviceInfo());
    case CmdReadBlock:
        return BlockHeader(frame) +
               (!request && frame.BlockLength() ? ", " + std::to_string(frame.BlockData().size()) + " data bytes" : "");
    case CmdWriteBlock:
        if (request) return BlockHeader(frame);
        if (!frame.WriteStatus()) return "short answer";
        return "area " + std::to_string(*frame.Area()) + ", status " + std::to_string(*frame.WriteStatus());
    case CmdCheckId:  // the answer is the list itself
        if (request) return "";
        return "ID list, " + std::to_string(payload.size()) + " bytes";
    default:
        if (request) {
            return payload.empty() ? "" : std::to_string(payload.size()) + " payload bytes";
        }
        if (!frame.Status()) return "no status";
        return "status " + std::to_string(*frame.Status());
    }
}

}  // namespace

std::string TrafficCommandName(std::uint8_t command) {
    if (const auto name = NameOfCommand(command)) return std::string(*name);
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", command);
    return text;
}

std::string_view TrafficDirectionText(TrafficDirection direction) {
    return direction == TrafficDirection::Sent ? "TX" : "RX";
}

std::string SummarizeFrame(bool request, std::span<const std::uint8_t> frame) {
    const FrameView view(frame);
    if (!view.Whole()) return "";
    return Summary(request, view);
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        if (!out.empty()) out.push_back(' ');
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

std::string FormatTrafficLine(const TrafficRow& row) {
    char time[32];
    std::snprintf(time, sizeof time, "%lld.%lld", static_cast<long long>(row.tenthsMs / 10),
                  static_cast<long long>(row.tenthsMs % 10));
    std::string line = time;
    line += '\t';
    line += TrafficDirectionText(row.direction);
    line += '\t';
    line += row.command.empty() ? "-" : row.command;
    line += '\t';
    line += std::to_string(row.length);
    line += '\t';
    line += row.summary;
    line += '\t';
    line += HexBytes(row.bytes);
    if (row.bytes.size() < row.length) line += " ...";
    return line;
}

std::string TrafficHeadingLine() { return "# ms\tdir\tcommand\tlength\tsummary\tbytes"; }

TrafficRecorder::TrafficRecorder(std::size_t capacity)
    : capacity_(std::max<std::size_t>(capacity, 1)), clock_([] { return Clock::now(); }), opened_(clock_()) {}

void TrafficRecorder::MarkPortOpened() { opened_ = clock_(); }

void TrafficRecorder::SetClock(std::function<Clock::time_point()> clock) {
    clock_ = std::move(clock);
    opened_ = clock_();
}

TrafficRow TrafficRecorder::NewRow(TrafficDirection direction, TrafficKind kind,
                                   std::span<const std::uint8_t> bytes) {
    TrafficRow row;
    const auto since = std::chrono::duration_cast<std::chrono::microseconds>(clock_() - opened_).count();
    row.tenthsMs = since / 100;
    row.direction = direction;
    row.kind = kind;
    row.length = bytes.size();
    row.bytes.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(bytes.size(), kMaxRowBytes)));
    return row;
}

void TrafficRecorder::RecordFrame(TrafficDirection direction, std::span<const std::uint8_t> frame, bool notSent) {
    if (!enabled_) return;
    TrafficRow row = NewRow(direction, TrafficKind::Frame, frame);
    if (const FrameView view(frame); view.HasCommand()) {
        row.commandCode = view.Command();
        row.command = TrafficCommandName(row.commandCode);
    }
    row.summary = SummarizeFrame((direction == TrafficDirection::Sent) != trackerSide_, frame);
    if (notSent) {
        row.notSent = true;
        row.summary += row.summary.empty() ? "not sent" : " (not sent)";
    }
    Keep(std::move(row));
}

void TrafficRecorder::RecordCrcError(TrafficDirection direction, std::span<const std::uint8_t> frame) {
    if (!enabled_) return;
    TrafficRow row = NewRow(direction, TrafficKind::CrcError, frame);
    if (const FrameView view(frame); view.HasCommand()) {
        row.commandCode = view.Command();
        row.command = TrafficCommandName(row.commandCode);
    }
    row.summary = "CRC error";
    Keep(std::move(row));
}

void TrafficRecorder::RecordStray(TrafficDirection direction, std::span<const std::uint8_t> bytes,
                                  std::size_t totalLength) {
    if (!enabled_ || bytes.empty()) return;
    TrafficRow row = NewRow(direction, TrafficKind::Stray, bytes);
    row.length = std::max(row.length, totalLength);
    row.summary = "stray bytes";
    Keep(std::move(row));
}

void TrafficRecorder::RecordBytes(TrafficDirection direction, std::span<const std::uint8_t> bytes) {
    if (!enabled_) return;
    std::size_t strayStart = 0;
    std::size_t at = 0;
    const auto flushStray = [&](std::size_t end) {
        if (end > strayStart) RecordStray(direction, bytes.subspan(strayStart, end - strayStart));
    };
    while (at < bytes.size()) {
        const ScanResult scan = ScanFrame(bytes.subspan(at));
        if (scan.kind == ScanKind::NeedMore) break;  // an unfinished frame is stray here
        if (scan.kind == ScanKind::Frame || scan.reason == ScanReason::CrcMismatch) {
            const std::size_t total =
                scan.kind == ScanKind::Frame ? scan.length
                                             : FrameView::SizeFor(*FrameView::LengthFieldOf(bytes.subspan(at)));
            flushStray(at);
            if (scan.kind == ScanKind::Frame) {
                RecordFrame(direction, bytes.subspan(at, total));
            } else {
                RecordCrcError(direction, bytes.subspan(at, total));
            }
            at += total;
            strayStart = at;
            continue;
        }
        at += std::max<std::size_t>(scan.length, 1);
    }
    flushStray(bytes.size());
}

std::uint64_t TrafficRecorder::ForEachAfter(std::uint64_t after,
                                            const std::function<void(const TrafficRow&)>& visit) const {
    if (rows_.empty() || rows_.back().sequence <= after) return after;
    // Sequence numbers are consecutive within the ring.
    const std::uint64_t first = rows_.front().sequence;
    std::size_t index = after < first ? 0 : static_cast<std::size_t>(after - first + 1);
    std::uint64_t last = after;
    for (; index < rows_.size(); ++index) {
        visit(rows_[index]);
        last = rows_[index].sequence;
    }
    return last;
}

void TrafficRecorder::Clear() {
    rows_.clear();
    dropped_ = 0;
}

int TrafficRecorder::Subscribe(Listener listener) {
    const int id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void TrafficRecorder::Unsubscribe(int id) {
    std::erase_if(listeners_, [id](const auto& entry) { return entry.first == id; });
}

void TrafficRecorder::Keep(TrafficRow row) {
    row.sequence = nextSequence_++;
    if (rows_.size() >= capacity_) {
        rows_.pop_front();
        ++dropped_;
    }
    rows_.push_back(std::move(row));
    if (listeners_.empty()) return;
    // A listener may unsubscribe itself: walk a copy.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) {
        if (listener) listener(rows_.back());
    }
}

}  // namespace quorvane
