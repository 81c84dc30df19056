#include "link/tracker_probe.h"

#include "blocks/device_info.h"
#include "link/commands.h"
#include "link/frame_assembler.h"
#include "link/maintenance.h"
#include "serial/comm.h"

namespace quorvane {

namespace {

constexpr std::uint32_t kBaudRate = 115200;
constexpr std::size_t kLongestText = 64;

}  // namespace

std::vector<std::uint8_t> ConnectRequestFrame(const Form& form) {
    TxPayload tx;
    BuildAuthCodePayload(form, tx);
    return MakeFrame(CmdConnect, tx.View());
}

std::optional<TrackerIdentity> IdentityOf(const FrameView& answer) {
    if (answer.Command() != CmdConnect || !answer.ConnectResult()) return std::nullopt;
    TrackerIdentity identity;
    identity.authAccepted = *answer.ConnectResult() != 0;
    std::string* fields[] = {&identity.firmware, &identity.imei, &identity.serialNumber};
    const DeviceTexts texts = SplitDeviceTexts(answer.DeviceInfo());
    for (std::size_t k = 0; k < texts.fields.size(); ++k) {
        const DeviceText& field = texts.fields[k];
        const std::size_t kept = PrintableLength(field.text, kLongestText);
        *fields[k] = field.text.substr(0, kept);
        if (kept < field.text.size() || !field.closed) break;
    }
    return identity;
}

struct TrackerProbe::Line {
    explicit Line(Mailbox& mailbox) : comm(mailbox) {}
    TComm comm;
    FrameAssembler rx;
};

TrackerProbe::TrackerProbe(Mailbox& mailbox) : line_(std::make_unique<Line>(mailbox)) {}

TrackerProbe::~TrackerProbe() {
    line_->comm.OnReceiveData = nullptr;
    line_->comm.OnRequestHangup = nullptr;
    line_->comm.CloseComm();
}

void TrackerProbe::Start(const std::string& port, const std::vector<std::uint8_t>& request) {
    TComm& comm = line_->comm;
    ApplyComm1Settings(comm);
    comm.SetBaudRate(kBaudRate);
    comm.SetCommName(port);
    try {
        comm.OpenComm();
    } catch (const ECommsError&) {
        finished_ = true;
        throw;
    }
    comm.OnReceiveData = [this](TComm&, const std::uint8_t* buffer, std::uint16_t length) {
        if (finished_) return;
        std::span<const std::uint8_t> rest(buffer, length);
        while (!rest.empty() && !finished_) {
            rest = rest.subspan(line_->rx.Append(rest));
            while (auto frame = line_->rx.NextFrame()) {
                answer_ = IdentityOf(FrameView(*frame));
                if (!answer_) continue;
                finished_ = true;
                break;
            }
        }
    };
    comm.OnRequestHangup = [this](TComm&) {
        if (finished_) return;
        lost_ = true;
        finished_ = true;
    };
    comm.WriteCommBytes(request.data(), static_cast<std::uint16_t>(request.size()));
}

void TrackerProbe::Stop() {
    finished_ = true;
    if (line_->comm.IsOpen()) line_->comm.CloseComm();
}

}  // namespace quorvane
