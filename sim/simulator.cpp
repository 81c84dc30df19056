#include "sim/simulator.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

namespace quorvane::sim {

namespace {

constexpr std::uint8_t kStatusDone = 1;
constexpr std::uint8_t kStatusRefused = 2;
constexpr std::size_t kRequestLogLimit = 1024;

// Line noise for the garbage-before fault: header bytes apart, never the header pair,
// never the boot text's "Model", never XON or XOFF.
constexpr std::uint8_t kGarbage[] = {0x00, 0xFF, 0x7E, 0x5A, 0x37, 0xA5, 0x0D, 0x0A, 0x3C};

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
    for (int k = bytes - 1; k >= 0; --k) out.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
}

void PutText(std::vector<std::uint8_t>& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
}

// The block a read or write request names, when it lies inside its area.
std::optional<std::size_t> BlockStart(const TrackerState& state, std::uint8_t area,
                                      std::uint16_t offset, std::uint16_t length) {
    if (area < 1 || area > kAreaCount) return std::nullopt;
    if (std::size_t{offset} + length > state.Area(area).size()) return std::nullopt;
    return offset;
}

bool IsIdCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// The IDs of an RFID payload: one per line, blanks around them ignored, empty lines
// skipped. Nothing when an ID is not 1-16 letters and digits.
std::optional<std::vector<std::string>> ParseIds(std::span<const std::uint8_t> payload) {
    std::vector<std::string> ids;
    std::string line;
    auto finish = [&]() -> bool {
        const auto first = line.find_first_not_of(" \t");
        if (first != std::string::npos) {
            const auto last = line.find_last_not_of(" \t");
            std::string id = line.substr(first, last - first + 1);
            if (id.size() > kMaxRfidIdLength || !std::all_of(id.begin(), id.end(), IsIdCharacter)) {
                return false;
            }
            ids.push_back(std::move(id));
        }
        line.clear();
        return true;
    };
    for (std::uint8_t b : payload) {
        if (b == '\r' || b == '\n') {
            if (!finish()) return std::nullopt;
        } else {
            line.push_back(static_cast<char>(b));
        }
    }
    if (!finish()) return std::nullopt;
    return ids;
}

// A sensor identity for a newly paired sensor: a family byte, six bytes from the
// sensor's index and name, the index. Never more than six zero bytes, so the editor
// shows it.
std::array<std::uint8_t, 8> SensorIdentity(int index, std::span<const std::uint8_t> name) {
    std::array<std::uint8_t, 8> id{};
    id[0] = 0x28;
    std::uint16_t crc = Crc16(name, static_cast<std::uint16_t>(0xFFFF ^ index));
    for (std::size_t k = 1; k < 7; k += 2) {
        id[k] = static_cast<std::uint8_t>(crc >> 8);
        id[k + 1] = static_cast<std::uint8_t>(crc & 0xFF);
        crc = Crc16Update(crc, static_cast<std::uint8_t>(k));
    }
    id[7] = static_cast<std::uint8_t>(index);
    return id;
}

void ClearSensor(std::vector<std::uint8_t>& area2, int index) {
    const auto r = kSensorTableOffset + kSensorRecordSize * static_cast<std::size_t>(index - 1);
    std::fill_n(area2.begin() + static_cast<std::ptrdiff_t>(r), 24, 0);
    std::fill_n(area2.begin() + static_cast<std::ptrdiff_t>(r + 24), 4, 0xFF);  // no alarms
}

// The command code a wrong-command answer carries instead of the right one.
std::uint8_t OtherCommand(std::uint8_t command) {
    switch (command) {
        case CmdReadBlock: return CmdWriteBlock;
        case CmdWriteBlock:
        case CmdConnect: return CmdReadBlock;
        default: return CmdConnect;
    }
}

}  // namespace

std::string CommandName(std::uint8_t command) {
    switch (command) {
        case CmdConnect: return "connect";
        case CmdWriteBlock: return "write";
        case CmdReadBlock: return "read";
        case CmdAuthorizeId: return "auth-id";
        case CmdDeleteId: return "delete-id";
        case CmdCheckId: return "check-id";
        case CmdTemperaturePair: return "temperature";
        case CmdClearSms: return "clear-sms";
        case CmdClearGprs1: return "clear-gprs1";
        case CmdClearGprs2: return "clear-gprs2";
        case CmdClearGpsLog: return "clear-gps-log";
        case CmdSetMileage: return "set-mileage";
        case CmdDefault: return "defaults";
        default: {
            char text[8];
            std::snprintf(text, sizeof text, "0x%02X", command);
            return text;
        }
    }
}

Simulator::Simulator(DeviceConfig config, std::optional<TrackerState> state)
    : config_(std::move(config)),
      state_(state ? std::move(*state) : DefaultState(config_.imei)) {}

void Simulator::SetState(TrackerState state) {
    state_ = std::move(state);
    Changed();
}

void Simulator::InjectFault(const FaultPlan& plan) {
    if (plan.count != 0) faults_.push_back(plan);
}

int Simulator::PendingFaults() const {
    int total = 0;
    for (const auto& plan : faults_) {
        if (plan.count < 0) return -1;
        total += plan.count;
    }
    return total;
}

std::vector<Request> Simulator::TakeRequests() {
    std::vector<Request> taken(std::make_move_iterator(requests_.begin()),
                               std::make_move_iterator(requests_.end()));
    requests_.clear();
    return taken;
}

std::vector<Transmission> Simulator::Receive(std::span<const std::uint8_t> bytes,
                                             Clock::time_point now) {
    if (!pending_.empty() && now - lastReceived_ > kRequestGap) pending_.clear();
    lastReceived_ = now;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());

    std::vector<Transmission> out;
    while (auto request = NextFrame()) {
        const FrameView frame(*request);
        const auto payload = frame.Payload();
        requests_.push_back(Request{frame.Command(), {payload.begin(), payload.end()}});
        if (requests_.size() > kRequestLogLimit) requests_.pop_front();
        auto answer = Handle(frame);
        std::move(answer.begin(), answer.end(), std::back_inserter(out));
    }
    return out;
}

// Scans the pending bytes: a whole request with a good CRC is taken; a header whose
// length is impossible or whose CRC fails is skipped one byte on; a request not yet
// complete waits for more bytes.
std::optional<std::vector<std::uint8_t>> Simulator::NextFrame() {
    while (true) {
        auto isHeader = [this](std::size_t at) {
            return pending_[at] == kFrameHeader1 && pending_[at + 1] == kFrameHeader2;
        };
        std::size_t i = 0;
        while (i + 1 < pending_.size() && !isHeader(i)) ++i;
        if (i + 1 >= pending_.size()) {
            // No header pair; a last 0x5A may be the start of one.
            const bool keepLast = !pending_.empty() && pending_.back() == kFrameHeader1;
            pending_.erase(pending_.begin(), pending_.end() - (keepLast ? 1 : 0));
            return std::nullopt;
        }
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(i));
        const auto length = FrameView::LengthFieldOf(pending_);
        if (!length) return std::nullopt;
        if (*length == 0 || *length > kMaxRequestLength) {
            pending_.erase(pending_.begin());
            continue;
        }
        const std::size_t size = FrameView::SizeFor(*length);
        if (pending_.size() < size) return std::nullopt;
        if (!FrameView::CrcMatches(std::span<const std::uint8_t>(pending_.data(), size))) {
            pending_.erase(pending_.begin());
            continue;
        }
        const auto end = pending_.begin() + static_cast<std::ptrdiff_t>(size);
        std::vector<std::uint8_t> frame(pending_.begin(), end);
        pending_.erase(pending_.begin(), end);
        return frame;
    }
}

std::optional<FaultPlan> Simulator::TakeFault(std::uint8_t command) {
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (it->command && *it->command != command) continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        FaultPlan taken = *it;
        if (it->count > 0 && --it->count == 0) faults_.erase(it);
        return taken;
    }
    return std::nullopt;
}

std::vector<Transmission> Simulator::Handle(const FrameView& request) {
    auto out = Commit(request);
    if (out.empty()) return out;
    // The answer after a late one waits its turn behind it.
    if (lateBefore_) out.front().pauseBefore += std::chrono::milliseconds(kSplitPauseMs);
    lateBefore_ = lateNow_;
    lateNow_ = false;
    return out;
}

std::vector<Transmission> Simulator::Commit(const FrameView& request) {
    const TrackerState before = state_;
    const std::uint64_t revisionBefore = revision_;
    auto answer = Respond(request);
    if (!answer) return {};

    const auto plan = TakeFault(request.Command());
    if (!plan) return {{Sent(*answer), {}}};

    auto undo = [&] {
        state_ = before;
        revision_ = revisionBefore;
    };
    // The status an answer carries, for the faults that report a failure.
    auto setStatus = [&](std::uint8_t status) {
        switch (answer->command) {
            case CmdConnect: answer->payload.at(1) = 0; break;  // rejected
            case CmdWriteBlock: answer->payload.at(1) = status; break;
            case CmdReadBlock: break;  // a read answer carries no status
            case CmdCheckId:
                if (status == kStatusRefused) answer->payload = {status};
                break;
            default: answer->payload = {status}; break;
        }
    };
    constexpr std::chrono::milliseconds repeatPause(kRepeatPauseMs);

    switch (plan->fault) {
        case Fault::NoAnswer:
            return {};
        case Fault::CorruptCrc: {
            auto frame = Sent(*answer);
            frame.back() ^= 0xFF;
            return {{std::move(frame), {}}};
        }
        case Fault::SplitAnswer: {
            auto frame = Sent(*answer);
            const auto half = static_cast<std::ptrdiff_t>(frame.size() / 2);
            std::vector<std::uint8_t> tail(frame.begin() + half, frame.end());
            frame.resize(static_cast<std::size_t>(half));
            return {{std::move(frame), {}}, {std::move(tail), std::chrono::milliseconds(kSplitPauseMs)}};
        }
        case Fault::GarbageBefore: {
            std::vector<std::uint8_t> bytes(std::begin(kGarbage), std::end(kGarbage));
            const auto frame = Sent(*answer);
            bytes.insert(bytes.end(), frame.begin(), frame.end());
            return {{std::move(bytes), {}}};
        }
        case Fault::WrongCommand:
            answer->command = OtherCommand(answer->command);
            return {{Sent(*answer), {}}};
        case Fault::StatusZero:
            undo();
            setStatus(0);
            return {{Sent(*answer), {}}};
        case Fault::Refused:
            undo();
            setStatus(kStatusRefused);
            return {{Sent(*answer), {}}};
        case Fault::BootText:
            undo();
            return {{std::vector<std::uint8_t>(kBootText.begin(), kBootText.end()), {}}};
        case Fault::StoreWrong:
            if (request.Command() == CmdWriteBlock) StoreWrong(request);
            return {{Sent(*answer), {}}};
        case Fault::RepeatAnswer: {
            auto frame = Sent(*answer);
            return {{frame, {}}, {std::move(frame), repeatPause}};
        }
        case Fault::StaleAnswer: {
            if (previous_.empty()) return {{Sent(*answer), {}}};
            auto stale = previous_;
            return {{std::move(stale), {}}, {Sent(*answer), repeatPause}};
        }
        case Fault::LateAnswer:
            lateNow_ = true;
            return {{Sent(*answer), std::chrono::milliseconds(kLateAnswerMs)}};
    }
    return {};
}

std::vector<std::uint8_t> Simulator::Sent(const Answer& answer) {
    previous_ = MakeFrame(answer.command, answer.payload);
    return previous_;
}

std::optional<Simulator::Answer> Simulator::Respond(const FrameView& request) {
    const std::span<const std::uint8_t> p = request.Payload();
    const std::uint8_t cmd = request.Command();
    auto status = [cmd](std::uint8_t value) { return Answer{cmd, {value}}; };

    switch (cmd) {
        case CmdConnect:
            return Connect(request);
        case CmdReadBlock:
            return Read(request);
        case CmdWriteBlock:
            return Write(request);
        case CmdDefault: {
            const auto& area1 = state_.Area(1);
            const std::vector<std::uint8_t> identity(
                area1.begin() + kIdentityOffset, area1.begin() + kIdentityOffset + kIdentityWidth);
            state_.areas = DefaultAreas("");
            std::copy(identity.begin(), identity.end(), state_.Area(1).begin() + kIdentityOffset);
            Changed();
            return status(kStatusDone);
        }
        case CmdClearSms:
        case CmdClearGprs1:
        case CmdClearGprs2:
        case CmdClearGpsLog:
            state_.Counters(static_cast<Buffer>(cmd - CmdClearSms)).stored = 0;
            Changed();
            return status(kStatusDone);
        case CmdSetMileage:
            if (p.size() != 4) return std::nullopt;
            state_.mileage = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 |
                             std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
            Changed();
            return status(kStatusDone);
        case CmdAuthorizeId:
            return status(AuthorizeIds(p));
        case CmdDeleteId:
            return status(DeleteIds(p));
        case CmdCheckId:
            return Answer{cmd, IdList()};
        case CmdTemperaturePair:
            return status(Temperature(p));
        default:
            return std::nullopt;
    }
}

std::optional<Simulator::Answer> Simulator::Connect(const FrameView& request) const {
    // 01, then the code (4 bytes).
    const auto code = request.AuthCode();
    if (request.Payload().size() != 5 || !code) return std::nullopt;
    const bool accepted = !config_.authCode || *config_.authCode == static_cast<std::uint32_t>(*code);

    Answer answer{CmdConnect, {0x01, static_cast<std::uint8_t>(accepted ? 1 : 0), 0, 0, 0}};
    auto& out = answer.payload;
    PutText(out, config_.firmware);
    out.push_back(',');
    PutText(out, config_.imei);
    out.push_back(',');
    PutText(out, config_.serial);
    out.push_back(',');
    for (const auto& pair : state_.buffers) {
        PutBigEndian(out, pair.stored, 4);
        PutBigEndian(out, pair.capacity, 4);
    }
    out.push_back(config_.battery);
    PutBigEndian(out, state_.mileage, 4);
    PutBigEndian(out, static_cast<std::uint32_t>(state_.rfidIds.size()), 2);
    return answer;
}

std::optional<Simulator::Answer> Simulator::Read(const FrameView& request) const {
    const auto p = request.Payload();
    if (p.size() != kBlockHeaderLength) return std::nullopt;
    const std::uint8_t area = *request.Area();
    const std::uint16_t length = *request.BlockLength();
    const auto start = BlockStart(state_, area, *request.BlockOffset(), length);
    if (!start) return std::nullopt;
    Answer answer{CmdReadBlock, std::vector<std::uint8_t>(p.begin(), p.end())};
    const auto& data = state_.Area(area);
    answer.payload.insert(answer.payload.end(), data.begin() + static_cast<std::ptrdiff_t>(*start),
                          data.begin() + static_cast<std::ptrdiff_t>(*start + length));
    return answer;
}

std::optional<Simulator::Answer> Simulator::Write(const FrameView& request) {
    if (request.Payload().size() < kBlockHeaderLength) return std::nullopt;
    const std::uint8_t area = *request.Area();
    const std::uint16_t length = *request.BlockLength();
    const auto data = request.BlockData();
    if (data.size() != length) return std::nullopt;
    const auto start = BlockStart(state_, area, *request.BlockOffset(), length);
    if (!start) return std::nullopt;
    std::copy(data.begin(), data.end(), state_.Area(area).begin() + static_cast<std::ptrdiff_t>(*start));
    Changed();
    return Answer{CmdWriteBlock, {area, kStatusDone}};
}

void Simulator::StoreWrong(const FrameView& request) {
    // Write has accepted the request, so its block lies inside the area.
    const std::uint16_t length = *request.BlockLength();
    if (length == 0) return;
    const std::uint8_t area = *request.Area();
    const auto start = BlockStart(state_, area, *request.BlockOffset(), length);
    if (!start) return;
    std::uint8_t& stored = state_.Area(area)[*start];
    stored = static_cast<std::uint8_t>(request.BlockData()[0] + 1);
    Changed();
}

std::uint8_t Simulator::AuthorizeIds(std::span<const std::uint8_t> payload) {
    const auto ids = ParseIds(payload);
    if (!ids || ids->empty()) return kStatusRefused;
    std::vector<std::string> merged = state_.rfidIds;
    for (const auto& id : *ids) {
        if (std::find(merged.begin(), merged.end(), id) == merged.end()) merged.push_back(id);
    }
    if (merged.size() > kMaxRfidIds) return kStatusRefused;
    state_.rfidIds = std::move(merged);
    Changed();
    return kStatusDone;
}

std::uint8_t Simulator::DeleteIds(std::span<const std::uint8_t> payload) {
    const auto ids = ParseIds(payload);
    if (!ids || ids->empty()) return kStatusRefused;
    std::erase_if(state_.rfidIds, [&](const std::string& id) {
        return std::find(ids->begin(), ids->end(), id) != ids->end();
    });
    Changed();
    return kStatusDone;
}

std::vector<std::uint8_t> Simulator::IdList() const {
    std::vector<std::uint8_t> text;
    for (const auto& id : state_.rfidIds) {
        if (!text.empty()) PutText(text, "\r\n");
        PutText(text, id);
    }
    if (text.empty()) PutText(text, "\r\n");
    return text;
}

std::uint8_t Simulator::Temperature(std::span<const std::uint8_t> p) {
    auto& area2 = state_.Area(2);
    if (p.empty()) {
        for (int n = 1; n <= kSensorCount; ++n) ClearSensor(area2, n);
        Changed();
        return kStatusDone;
    }
    const int index = p[0] - '0';
    if (index < 1 || index > kSensorCount) return kStatusRefused;
    if (p.size() == 1) {
        ClearSensor(area2, index);
        Changed();
        return kStatusDone;
    }
    if (p.size() < 3 || p[1] != ',') return kStatusRefused;
    const auto name = p.subspan(2, std::min<std::size_t>(p.size() - 2, 16));
    const auto r = kSensorTableOffset + kSensorRecordSize * static_cast<std::size_t>(index - 1);
    std::fill_n(area2.begin() + static_cast<std::ptrdiff_t>(r), 16, 0);
    std::copy(name.begin(), name.end(), area2.begin() + static_cast<std::ptrdiff_t>(r));
    const auto id = SensorIdentity(index, name);
    std::copy(id.begin(), id.end(), area2.begin() + static_cast<std::ptrdiff_t>(r + 16));
    Changed();
    return kStatusDone;
}

}  // namespace quorvane::sim
