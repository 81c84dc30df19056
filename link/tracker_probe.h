// Asking one port whether a tracker is there: the connect request goes out, and the
// first connect answer that comes back tells who answered.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "seams/form.h"
#include "link/frame.h"
#include "serial/mailbox.h"

namespace quorvane {

// Who answered a connect request.
struct TrackerIdentity {
    std::string firmware;
    std::string imei;
    std::string serialNumber;
    bool authAccepted = false;  // the tracker accepted the authorization code
};

// The connect request with the AuthCode box of `form`. Throws EConvertError for an
// AuthCode that is not an integer.
std::vector<std::uint8_t> ConnectRequestFrame(const Form& form);

// The identity a connect answer gives; nullopt when the frame is no connect answer.
// A text ends at its "," or at the first byte that is not printable; at most 64
// characters of each are kept, and a text cut short ends the texts.
std::optional<TrackerIdentity> IdentityOf(const FrameView& answer);

class TrackerProbe {
public:
    explicit TrackerProbe(Mailbox& mailbox);
    ~TrackerProbe();  // closes the port
    TrackerProbe(const TrackerProbe&) = delete;
    TrackerProbe& operator=(const TrackerProbe&) = delete;

    // Opens `port` at the link's speed and sends `request`. Throws ECommsError when
    // the port does not open; the probe is finished then.
    void Start(const std::string& port, const std::vector<std::uint8_t>& request);
    // True once a connect answer came, the port was lost, or Stop was called.
    bool Finished() const { return finished_; }
    // Finishes and closes the port.
    void Stop();

    const std::optional<TrackerIdentity>& Answer() const { return answer_; }
    bool PortLost() const { return lost_; }

private:
    struct Line;
    std::unique_ptr<Line> line_;
    std::optional<TrackerIdentity> answer_;
    bool finished_ = false;
    bool lost_ = false;
};

}  // namespace quorvane
