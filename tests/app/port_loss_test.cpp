// The box shown when the port goes: what was in flight, named from the engine's state.
#include <gtest/gtest.h>

#include <string>

#include "app/port_loss.h"

namespace quorvane {
namespace {

EngineState Awaiting(OperationState op, std::uint8_t step = 0, bool all = false) {
    EngineState s;
    s.OperationState = op;
    s.ReadStep = step;
    s.WriteStep = step;
    s.ReadAllActive = all;
    s.WriteAllActive = all;
    s.TimeoutCount = kReplyTimeout;
    return s;
}

TEST(PortLoss, BoxNamesWhatWasInFlight) {
    EngineState polling;
    polling.ConnectPollCount = kConnectPollReload;
    EngineState ended = Awaiting(OpWrite, 1, true);
    ended.TimeoutCount = 0;  // its end is being shown

    const struct {
        EngineState state;
        bool connected;
        std::string during;
        std::string rest;
    } cases[] = {
        {EngineState{}, true, "", ""},
        {polling, false, "connecting", " while connecting to the tracker"},
        {polling, true, "", ""},
        {ended, true, "", ""},
        {Awaiting(OpRead, 0, true), true, "Read All",
         " during Read All; the groups read so far are in the window"},
        {Awaiting(OpWrite, 7, true), true, "Write All",
         " during Write All; the tracker may hold only the groups written before the loss"},
        {Awaiting(OpRead, 2), true, "Read Main", " during Read Main; the window keeps what it showed"},
        {Awaiting(OpWrite, 5), true, "Write Auth", " during Write Auth; the tracker may not have stored it"},
        {Awaiting(OpWrite, 4), true, "Write Temperature",
         " during Write Temperature; the tracker may not have stored it"},
        {Awaiting(OpRead, ReadStepDeviceId), true, "the Device ID read", " during the Device ID read"},
        {Awaiting(OpClearGprs2), true, "Clear GPRS-2 Buffer",
         " during Clear GPRS-2 Buffer; the tracker may not have done it"},
        {Awaiting(OpTemperaturePair), true, "Temperature Pairing",
         " during Temperature Pairing; the tracker may not have done it"},
        {Awaiting(OpAuthorizeId), true, "Auth ID", " during Auth ID; the tracker may not have done it"},
    };
    for (const auto& c : cases) {
        const InFlight f = InFlightOf(c.state, c.connected);
        EXPECT_EQ(InFlightName(f), c.during);
        EXPECT_EQ(PortLostText("ttyUSB0", f), "The port ttyUSB0 was lost" + c.rest) << c.during;
    }
    EXPECT_EQ(PortLostText("COM3", InFlight{InFlight::BackgroundRead}),
              "The port COM3 was lost during a background read (backup, verification or compare)");

    // Every group's read and write go by the names its own OK texts use.
    for (std::uint8_t step = 0; step < kBlockSteps; ++step) {
        const InFlight read = InFlightOf(Awaiting(OpRead, step), true);
        const InFlight write = InFlightOf(Awaiting(OpWrite, step), true);
        ASSERT_NE(read.group, nullptr);
        EXPECT_EQ(InFlightName(read) + " OK", read.group->readOk);
        EXPECT_EQ(InFlightName(write) + " OK", write.group->writeOk);
    }
}

}  // namespace
}  // namespace quorvane
