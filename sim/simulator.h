// The simulated tracker's logic: request frames in, answer frames out, no I/O and no
// clock of its own. Received bytes may come in any chunking; requests are reassembled
// from them and line noise between them is skipped.
//
// What it answers (payload offsets after the command byte):
//   0x50 connect      01 code(4, LSB first; FF FF FF FF = none)
//                     -> 01, result (1 accepted, 0 wrong code), 00 00 00, then the device
//                        information: firmware "," IMEI "," serial ",", four buffer pairs
//                        (stored, capacity; 32-bit MSB first), battery, mileage (32-bit
//                        MSB first), RFID count (16-bit MSB first)
//   0x59 read         area, offset(2), length(2) -> area, offset, length, data
//   0x58 write        area, offset(2), length N(2), N data bytes -> area, 1
//   0xE5 defaults     -> 1; the areas return to their factory contents, the device
//                        identity, RFID IDs, mileage and buffers stay as they are
//   0xC0-0xC3 clear   -> 1; the SMS, GPRS-1, GPRS-2 buffer or GPS log is emptied
//                        (stored count 0, capacity kept)
//   0xC4 mileage      mileage(4, LSB first) -> 1
//   0xB0 authorize    IDs as text, one per line (CR LF) -> 1 added, 2 refused (no ID,
//                        an ID not of 1-16 letters and digits, or more than 200 IDs)
//   0xB1 delete       IDs as text -> 1 deleted (unknown IDs are passed over), 2 refused
//   0xB2 check        (anything) -> the authorized IDs as text, CR LF between them, or a
//                        lone CR LF when there are none. The editor takes the whole
//                        payload as the list, so the answer has no status byte; its
//                        first byte is a letter, a digit or CR, never the refusal 2.
//   0xB5 temperature  "i,name" pairs sensor i (1-8), "i" deletes it, nothing deletes
//                        all -> 1 done, 2 refused. A paired sensor appears in the
//                        sensor table of area 2 with its name and a sensor identity.
// Requests that do not fit this (an unknown command, a wrong payload size, an area
// number other than 1-5, a block reaching past its area's end) get no answer, as a
// tracker ignores what it does not understand; the editor reports the time-out.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "blocks/memory_map.h"
#include "link/commands.h"
#include "link/frame.h"
#include "sim/fault.h"
#include "sim/tracker_state.h"

namespace quorvane::sim {

// A short name of a command for traces ("read", "clear-sms"), or its code in hex.
std::string CommandName(std::uint8_t command);

inline constexpr std::string_view kKr420Firmware = "QV-KR420-V2.1.7";
inline constexpr std::string_view kKr310Firmware = "QV-KR310-V1.4.2";

// What the tracker prints when it starts; it carries no frame.
inline constexpr std::string_view kBootText =
    "\r\nQuorvane tracker boot\r\nModel: KR420\r\nSelf test OK\r\n";

// A partly received request is dropped after this much silence on the line, as the
// tracker's receiver does; the editor sends each request in one burst.
inline constexpr std::chrono::milliseconds kRequestGap{200};

// The longest request accepted: an area-5 write of the whole area (length field value).
inline constexpr std::size_t kMaxRequestLength = 1 + kBlockHeaderLength + 4096;

struct DeviceConfig {
    std::string firmware{kKr420Firmware};
    std::string imei = "860123456789012";
    std::string serial = "QV420A0012345";
    std::optional<std::uint32_t> authCode;  // none: every connect request is accepted
    std::uint8_t battery = 87;              // percent
};

struct Request {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> payload;
    bool operator==(const Request&) const = default;
};

// Bytes to write to the line, after a pause of `pauseBefore` from the previous
// transmission (or from the request).
struct Transmission {
    std::vector<std::uint8_t> bytes;
    std::chrono::milliseconds pauseBefore{0};
};

class Simulator {
public:
    using Clock = std::chrono::steady_clock;

    // Starts from `state`, or from the factory state with the IMEI as device identity.
    explicit Simulator(DeviceConfig config = {}, std::optional<TrackerState> state = std::nullopt);

    // Takes bytes received at `now` and returns what to send back, in order.
    std::vector<Transmission> Receive(std::span<const std::uint8_t> bytes, Clock::time_point now);

    // Commits `plan.fault` on the next answers it matches, once `plan.skip` of them have
    // gone out untouched. Plans are tried in the order given; each answer takes at most
    // one fault, and only requests that get an answer count.
    void InjectFault(const FaultPlan& plan);
    void InjectFault(Fault fault, int count = 1, std::optional<std::uint8_t> command = std::nullopt) {
        InjectFault(FaultPlan{fault, count, command});
    }
    void ClearFaults() { faults_.clear(); }
    // How many answers the remaining plans still apply to (-1 when one applies to all).
    int PendingFaults() const;

    const DeviceConfig& Config() const { return config_; }
    DeviceConfig& Config() { return config_; }

    const TrackerState& State() const { return state_; }
    void SetState(TrackerState state);
    // Changes whenever the state changes (a write, a maintenance command, SetState).
    std::uint64_t Revision() const { return revision_; }

    // Requests received since the last call, oldest first (the newest 1024 are kept).
    std::vector<Request> TakeRequests();
    // Bytes of a request not yet complete.
    std::size_t PendingBytes() const { return pending_.size(); }

private:
    struct Answer {
        std::uint8_t command;
        std::vector<std::uint8_t> payload;
    };

    // The next whole request frame of the pending bytes.
    std::optional<std::vector<std::uint8_t>> NextFrame();
    std::vector<Transmission> Handle(const FrameView& request);
    // The answer to `request` with its fault committed, if one is due.
    std::vector<Transmission> Commit(const FrameView& request);
    // The frame of `answer`, kept as the answer sent last.
    std::vector<std::uint8_t> Sent(const Answer& answer);
    std::optional<Answer> Respond(const FrameView& request);
    std::optional<FaultPlan> TakeFault(std::uint8_t command);

    std::optional<Answer> Connect(const FrameView& request) const;
    std::optional<Answer> Read(const FrameView& request) const;
    std::optional<Answer> Write(const FrameView& request);
    void StoreWrong(const FrameView& request);
    std::uint8_t AuthorizeIds(std::span<const std::uint8_t> payload);
    std::uint8_t DeleteIds(std::span<const std::uint8_t> payload);
    std::vector<std::uint8_t> IdList() const;
    std::uint8_t Temperature(std::span<const std::uint8_t> payload);
    void Changed() { ++revision_; }

    DeviceConfig config_;
    TrackerState state_;
    std::uint64_t revision_ = 0;
    std::vector<FaultPlan> faults_;
    std::vector<std::uint8_t> pending_;
    Clock::time_point lastReceived_{};
    std::deque<Request> requests_;
    // The answer frame sent last, as meant (before a CRC or split fault), for stale-answer.
    std::vector<std::uint8_t> previous_;
    // The answer going out now is late, and the one sent before it was.
    bool lateNow_ = false;
    bool lateBefore_ = false;
};

}  // namespace quorvane::sim
