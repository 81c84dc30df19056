#include "app/find_tracker.h"

#include <algorithm>

#include "link/engine.h"
#include "link/frame.h"
#include "link/frame_assembler.h"
#include "link/maintenance.h"
#include "serial/comm.h"

namespace quorvane {

namespace {

constexpr std::size_t kCommandIndex = 4;
constexpr std::size_t kPayloadIndex = 5;  
constexpr std::size_t kDeviceTexts = 5;  // payload offset of the connect answer's texts
constexpr std::uint32_t kBaudRate = 115200;

}  // namespace

std::string FindResult::Text() const {
    std::string text = port.name;
    const std::string description = port.Description();
    if (!description.empty()) text += " (" + description + ")";
    switch (outcome) {
    case Outcome::Tracker:
        text += ": tracker, IMEI " + imei + ", serial " + serialNumber + ", firmware " + firmware;
        if (!authAccepted) text += ", authorization code refused";
        break;
    case Outcome::NoAnswer: text += reason.empty() ? ": no answer" : ": no answer (" + reason + ")"; break;
    case Outcome::OpenFailed: text += ": " + reason; break;
    }
    return text;
}

void ParseDeviceTexts(const std::vector<std::uint8_t>& payload, std::string& firmware, std::string& imei,
                      std::string& serialNumber) {
    std::string* fields[] = {&firmware, &imei, &serialNumber};
    std::size_t field = 0;
    for (std::size_t i = kDeviceTexts; i < payload.size() && field < 3; ++i) {
        const auto c = static_cast<char>(payload[i]);
        if (c == ',') {
            ++field;
        } else if (payload[i] >= 0x20 && payload[i] < 0x7F && fields[field]->size() < 64) {
            fields[field]->push_back(c);
        } else {
            break;  // binary bytes: the texts ended without their separator
        }
    }
}

struct TrackerFinder::Probe {
    explicit Probe(Mailbox& mailbox) : comm(mailbox) {}
    TComm comm;
    FrameAssembler rx;
    std::size_t result = 0;
    bool finished = false;
};

TrackerFinder::TrackerFinder(Mailbox& mailbox, const Form& form) : mailbox_(mailbox), form_(form) {}

TrackerFinder::~TrackerFinder() {
    for (auto& probe : probes_) {
        probe->comm.OnReceiveData = nullptr;
        probe->comm.OnRequestHangup = nullptr;
        probe->comm.CloseComm();
    }
}

void TrackerFinder::Start(const std::vector<PortInfo>& ports) {
    TxPayload tx;
    BuildAuthCodePayload(form_, tx);  // may throw EConvertError: nothing opened yet
    const std::vector<std::uint8_t> request = MakeFrame(CmdConnect, tx.View());

    probes_.clear();
    results_.clear();
    done_ = false;
    deadline_ = clock_() + kAnswerWindow;
    for (const PortInfo& port : ports) {
        FindResult result;
        result.port = port;
        results_.push_back(std::move(result));
        auto probe = std::make_unique<Probe>(mailbox_);
        probe->result = results_.size() - 1;
        Probe& p = *probe;
        ApplyComm1Settings(p.comm);
        p.comm.SetBaudRate(kBaudRate);
        p.comm.SetCommName(port.name);
        try {
            p.comm.OpenComm();
        } catch (const ECommsError& e) {
            FindResult& r = results_[p.result];
            r.outcome = FindResult::Outcome::OpenFailed;
            r.reason = e.what();
            if (!e.Detail().empty()) r.reason += ": " + e.Detail();
            p.finished = true;
            probes_.push_back(std::move(probe));
            continue;
        }
        p.comm.OnReceiveData = [this, &p](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
            if (p.finished) return;
            std::span<const std::uint8_t> rest(buffer, length);
            while (!rest.empty() && !p.finished) {
                rest = rest.subspan(p.rx.Append(rest));
                while (auto frame = p.rx.NextFrame()) {
                    if (frame->size() < kFrameOverhead + 2 || (*frame)[kCommandIndex] != CmdConnect) continue;
                    FindResult& r = results_[p.result];
                    r.outcome = FindResult::Outcome::Tracker;
                    r.authAccepted = (*frame)[kPayloadIndex + 1] != 0;
                    const std::vector<std::uint8_t> payload(frame->begin() + kPayloadIndex, frame->end() - 2);
                    ParseDeviceTexts(payload, r.firmware, r.imei, r.serialNumber);
                    p.finished = true;
                    break;
                }
            }
        };
        p.comm.OnRequestHangup = [this, &p](TComm&) {
            if (p.finished) return;
            results_[p.result].reason = "port lost";
            p.finished = true;
        };
        p.comm.WriteCommBytes(request.data(), static_cast<std::uint16_t>(request.size()));
        probes_.push_back(std::move(probe));
    }
    Poll();
}

bool TrackerFinder::Poll() {
    if (done_) return true;
    const bool expired = clock_() >= deadline_;
    bool all = true;
    for (auto& probe : probes_) {
        if (expired) probe->finished = true;
        if (probe->finished) {
            if (probe->comm.IsOpen()) probe->comm.CloseComm();
        } else {
            all = false;
        }
    }
    done_ = all;
    return done_;
}

}  // namespace quorvane
