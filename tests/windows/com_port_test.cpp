// The component on a real COM port under Windows: the port is a pseudo-terminal
// mapped to a COM name, with the simulated tracker answering on its other end
// (tests/windows/com_port_tracker.sh). Connect requests go out through the
// transmit thread's overlapped writes and the answers come back through the
// outstanding overlapped read.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "link/engine.h"
#include "link/frame.h"
#include "link/frame_assembler.h"
#include "serial/comm.h"
#include "tests/serial/comm_wait.h"

namespace quorvane::test {
namespace {

// Connect request payload: 01, then the authorization code -1 (none set).
constexpr std::array<std::uint8_t, 5> kAnyCode{0x01, 0xFF, 0xFF, 0xFF, 0xFF};

// True once `received` holds a whole frame with a good CRC.
bool HasFrame(const Bytes& received) {
    std::span<const std::uint8_t> rest(received);
    while (!rest.empty()) {
        const ScanResult scan = ScanFrame(rest);
        if (scan.kind != ScanKind::Skip) return scan.kind == ScanKind::Frame;
        rest = rest.subspan(scan.length);
    }
    return false;
}

class ComPort : public ::testing::Test {
protected:
    void SetUp() override {
        ApplyComm1Settings(comm);
        comm.SetCommName(QUORVANE_TEST_PORT);
        recorder.Attach(comm);
    }

    // Sends a connect request and waits for the tracker's answer frame.
    void Exchange() {
        const Bytes request = MakeFrame(CmdConnect, kAnyCode);
        const std::size_t before = recorder.ReceivedBytes();
        ASSERT_TRUE(comm.WriteCommBytes(request.data(), static_cast<std::uint16_t>(request.size())));
        ASSERT_TRUE(WaitUntil(mailbox, [&] {
            const Bytes all = recorder.Received();
            return HasFrame(Bytes(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()));
        })) << "no answer frame; " << recorder.ReceivedBytes() - before << " bytes came";
    }

    QueueMailbox mailbox;
    TComm comm{mailbox};
    Recorder recorder;
};

TEST_F(ComPort, ConnectRequestsAreAnsweredAcrossReopens) {
    comm.OpenComm();
    ASSERT_TRUE(comm.IsOpen());
    // Heard once after the open, and again once the request has gone out.
    ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.sendDataEmpty == 1; }));
    Exchange();
    EXPECT_TRUE(WaitUntil(mailbox, [&] { return recorder.sendDataEmpty == 2; }));
    Exchange();
    EXPECT_TRUE(recorder.zeroAfterEveryBlock);
    comm.CloseComm();
    EXPECT_FALSE(comm.IsOpen());

    // The port was released: it opens again at once and still answers.
    comm.OpenComm();
    Exchange();
    comm.CloseComm();
    EXPECT_EQ(recorder.hangups, 0);
}

TEST_F(ComPort, ClosingWithAReadOutstandingEndsAtOnce) {
    for (int i = 0; i < 5; ++i) {
        comm.OpenComm();
        ASSERT_TRUE(WaitUntil(mailbox, [&] { return recorder.sendDataEmpty == i + 1; }));
        comm.CloseComm();  // the receive thread waits in its read: the close must end it
    }
    EXPECT_EQ(recorder.hangups, 0);
}

TEST_F(ComPort, ASecondOpenOfTheComponentIsRefused) {
    comm.OpenComm();
    EXPECT_THROW(comm.OpenComm(), ECommsError);
    EXPECT_TRUE(comm.IsOpen());
    Exchange();
}

}  // namespace
}  // namespace quorvane::test
