// The traffic on one serial line, as rows a technician can read: every frame sent
// and found, every frame that failed its CRC, and every run of bytes outside a frame.
//
// A TrafficRecorder keeps the last rows in a bounded ring. It is fed on its owner's
// thread (the engine's send path and the frame assembler), and read there too: a
// panel remembers the sequence number of the last row it showed and asks for the
// rows after it, or subscribes to be told of each row as it is recorded. A recorder
// that is not enabled records nothing and costs one test per frame.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

enum class TrafficDirection : std::uint8_t {
    Sent,      // "TX": written to the line by this side
    Received,  // "RX": read from the line
};

enum class TrafficKind : std::uint8_t {
    Frame,     // a complete frame with a valid CRC
    CrcError,  // a complete frame whose CRC does not match
    Stray,     // bytes belonging to no frame
};

struct TrafficRow {
    std::uint64_t sequence = 0;   // 1 for the first row ever recorded; never reused
    std::int64_t tenthsMs = 0;    // time since the port was opened, in 0.1 ms
    TrafficDirection direction = TrafficDirection::Sent;
    TrafficKind kind = TrafficKind::Frame;
    std::uint8_t commandCode = 0; // the frame's command byte (0 for stray bytes)
    std::string command;          // "Read Block", "Clear SMS", ...; "" for stray bytes
    std::string summary;          // "area 1, offset 0, length 512", "status 1", "CRC error", "stray bytes"
    std::vector<std::uint8_t> bytes;  // as on the line (a long run is cut, see kMaxRowBytes)
    std::size_t length = 0;       // bytes on the line, also when `bytes` was cut
    bool notSent = false;         // Sent only: the port did not take the frame

    double Milliseconds() const { return static_cast<double>(tenthsMs) / 10.0; }
};

// The name of a command code as rows show it ("Connect", "Read Block"), or "0x7F".
std::string TrafficCommandName(std::uint8_t command);
// "TX" or "RX".
std::string_view TrafficDirectionText(TrafficDirection direction);
// What a valid frame says, decoded: block requests and answers give area, offset and
// length; acknowledgements their status byte; the connect request its code and the
// connect answer its result and device texts. `frame` is the whole frame; `request`
// tells a request (the editor's) from an answer (the tracker's).
std::string SummarizeFrame(bool request, std::span<const std::uint8_t> frame);
// "5A A5 00 06 59": upper-case pairs separated by one space.
std::string HexBytes(std::span<const std::uint8_t> bytes);

// One row as one text line without its line break, fields separated by tabs:
//   time(ms, one decimal)  TX|RX  command|-  length  summary  hex
// The same line is written by --trace and by the panel's "save as text".
std::string FormatTrafficLine(const TrafficRow& row);
// The heading line of a saved or traced file (starts with '#').
std::string TrafficHeadingLine();

class TrafficRecorder {
public:
    using Clock = std::chrono::steady_clock;
    using Listener = std::function<void(const TrafficRow&)>;

    static constexpr std::size_t kDefaultCapacity = 10000;
    // Bytes kept per row; a longer stray run is kept cut (its length stays whole).
    static constexpr std::size_t kMaxRowBytes = 4200;

    explicit TrafficRecorder(std::size_t capacity = kDefaultCapacity);

    // The tracker's side of the line: what it sends are answers, what it receives
    // requests (the editor's side, the default, the other way round). Rows of both
    // sides of one exchange then match in everything but direction and time.
    void SetTrackerSide(bool trackerSide) { trackerSide_ = trackerSide; }

    // Off at first: nothing is recorded until enabled.
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }

    // Times of rows count from here; the owner calls it when the port opens.
    void MarkPortOpened();
    // Replaces the clock (tests).
    void SetClock(std::function<Clock::time_point()> clock);

    // Records one row each. `bytes` are the frame's or the run's bytes.
    void RecordFrame(TrafficDirection direction, std::span<const std::uint8_t> frame,
                     bool notSent = false);
    void RecordCrcError(TrafficDirection direction, std::span<const std::uint8_t> frame);
    // `totalLength`: the run's length on the line when `bytes` holds only its start.
    void RecordStray(TrafficDirection direction, std::span<const std::uint8_t> bytes,
                     std::size_t totalLength = 0);
    // Splits bytes as they went over the line into frame, CRC error and stray rows
    // (the simulated tracker's side, which has no assembler of its own).
    void RecordBytes(TrafficDirection direction, std::span<const std::uint8_t> bytes);

    // Rows kept, oldest first; at most Capacity().
    const std::deque<TrafficRow>& Rows() const { return rows_; }
    std::size_t Capacity() const { return capacity_; }
    // Sequence number of the newest row; 0 before the first.
    std::uint64_t LastSequence() const { return nextSequence_ - 1; }
    // Calls `visit` for every kept row with a sequence number above `after`, oldest
    // first, and returns the newest sequence number visited (or `after`).
    std::uint64_t ForEachAfter(std::uint64_t after, const std::function<void(const TrafficRow&)>& visit) const;
    // Rows dropped because the ring was full, since the last Clear.
    std::uint64_t Dropped() const { return dropped_; }
    // Forgets every kept row; sequence numbers keep counting.
    void Clear();

    // Listeners run on the recording thread right after each row is kept. A listener
    // must not record into this recorder. Returns an id for Unsubscribe.
    int Subscribe(Listener listener);
    void Unsubscribe(int id);

private:
    void Keep(TrafficRow row);
    TrafficRow NewRow(TrafficDirection direction, TrafficKind kind, std::span<const std::uint8_t> bytes);

    std::size_t capacity_;
    bool enabled_ = false;
    bool trackerSide_ = false;
    std::function<Clock::time_point()> clock_;
    Clock::time_point opened_;
    std::deque<TrafficRow> rows_;
    std::uint64_t nextSequence_ = 1;
    std::uint64_t dropped_ = 0;
    std::vector<std::pair<int, Listener>> listeners_;
    int nextListenerId_ = 1;
};

}  // namespace quorvane
