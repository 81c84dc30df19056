#include "app/find_tracker.h"

#include <algorithm>

#include "serial/comm.h"

namespace quorvane {

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

bool SamePortName(const std::string& a, const std::string& b) { return a == b || "/dev/" + a == b || a == "/dev/" + b; }

std::vector<PortInfo> PortsToAsk(std::vector<PortInfo> listed, const std::vector<std::string>& typed) {
    for (const std::string& name : typed) {
        if (name.find_first_not_of(" \t") == std::string::npos || name == "None") continue;
        const bool known = std::any_of(listed.begin(), listed.end(),
                                       [&](const PortInfo& p) { return SamePortName(p.name, name); });
        if (known) continue;
        PortInfo port;
        port.name = name;
        listed.push_back(std::move(port));
    }
    return listed;
}

TrackerFinder::TrackerFinder(Mailbox& mailbox, const Form& form) : mailbox_(mailbox), form_(form) {}

TrackerFinder::~TrackerFinder() = default;

void TrackerFinder::Start(const std::vector<PortInfo>& ports) {
    const std::vector<std::uint8_t> request = ConnectRequestFrame(form_);  // may throw: nothing opened yet

    probes_.clear();
    results_.clear();
    done_ = false;
    deadline_ = clock_() + kAnswerWindow;
    for (const PortInfo& port : ports) {
        FindResult result;
        result.port = port;
        auto probe = std::make_unique<TrackerProbe>(mailbox_);
        try {
            probe->Start(port.name, request);
        } catch (const ECommsError& e) {
            result.outcome = FindResult::Outcome::OpenFailed;
            result.reason = e.what();
            if (!e.Detail().empty()) result.reason += ": " + e.Detail();
        }
        results_.push_back(std::move(result));
        probes_.push_back(std::move(probe));
    }
    Poll();
}

bool TrackerFinder::Poll() {
    if (done_) return true;
    const bool expired = clock_() >= deadline_;
    bool all = true;
    for (std::size_t i = 0; i < probes_.size(); ++i) {
        TrackerProbe& probe = *probes_[i];
        FindResult& r = results_[i];
        if (const auto& identity = probe.Answer(); identity && r.outcome != FindResult::Outcome::Tracker) {
            r.outcome = FindResult::Outcome::Tracker;
            r.firmware = identity->firmware;
            r.imei = identity->imei;
            r.serialNumber = identity->serialNumber;
            r.authAccepted = identity->authAccepted;
        } else if (probe.PortLost() && r.reason.empty()) {
            r.reason = "port lost";
        }
        if (expired || probe.Finished()) {
            probe.Stop();
        } else {
            all = false;
        }
    }
    done_ = all;
    return done_;
}

}  // namespace quorvane
