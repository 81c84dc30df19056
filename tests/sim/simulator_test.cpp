#include "sim/simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

#include "sim_test_support.h"

namespace quorvane::sim::test {
namespace {

Bytes ReadRequest(int area, int offset, int length) {
    return B({area, offset >> 8, offset & 0xFF, length >> 8, length & 0xFF});
}

Bytes WriteRequest(int area, int offset, const Bytes& data) {
    const auto n = static_cast<int>(data.size());
    return B({area, offset >> 8, offset & 0xFF, n >> 8, n & 0xFF}) + data;
}

Bytes ConnectRequest(std::uint32_t code) {
    return B({0x01, static_cast<int>(code & 0xFF), static_cast<int>(code >> 8 & 0xFF),
              static_cast<int>(code >> 16 & 0xFF), static_cast<int>(code >> 24)});
}

const Bytes kNoCode = B({0x01, 0xFF, 0xFF, 0xFF, 0xFF});

class SimulatorTest : public ::testing::Test {
protected:
    Bytes Ask(std::uint8_t command, const Bytes& payload = {}) { return Exchange(sim, clock, command, payload); }
    Bytes AskPayload(std::uint8_t command, const Bytes& payload = {}) {
        return AnswerPayload(Ask(command, payload), command);
    }

    Simulator sim;
    FakeClock clock;
};

TEST_F(SimulatorTest, ConnectAnswerCarriesTheDeviceInformation) {
    const Bytes expected = B({0x01, 0x01, 0x00, 0x00, 0x00}) +
                           B("QV-KR420-V2.1.7,860123456789012,QV420A0012345,") +
                           B({0, 0, 0, 3, 0, 0, 0, 100}) +             // SMS 3/100
                           B({0, 0, 0, 12, 0, 0, 0x0B, 0xB8}) +        // GPRS-1 12/3000
                           B({0, 0, 0, 0, 0, 0, 0x0B, 0xB8}) +         // GPRS-2 0/3000
                           B({0, 0, 0x05, 0xF0, 0, 0, 0xEA, 0x60}) +   // GPS log 1520/60000
                           B({87}) +                                   // battery
                           B({0x00, 0x01, 0xE2, 0x40}) +               // mileage 123456
                           B({0x00, 0x00});                            // no RFID IDs
    EXPECT_EQ(Ask(CmdConnect, kNoCode), Frame(CmdConnect, expected));
}

TEST_F(SimulatorTest, ConnectIsRejectedOnlyForAWrongCode) {
    sim.Config().authCode = 1234;
    EXPECT_EQ(AskPayload(CmdConnect, B({0x01, 0xD2, 0x04, 0x00, 0x00})).at(1), 1);
    EXPECT_EQ(AskPayload(CmdConnect, ConnectRequest(1235)).at(1), 0);
    EXPECT_EQ(AskPayload(CmdConnect, kNoCode).at(1), 0);
    // A rejected connect still tells who the tracker is.
    const Bytes rejected = AskPayload(CmdConnect, kNoCode);
    EXPECT_EQ(std::string(rejected.begin() + 5, rejected.begin() + 20), "QV-KR420-V2.1.7");

    sim.Config().authCode.reset();
    EXPECT_EQ(AskPayload(CmdConnect, ConnectRequest(99)).at(1), 1);
    EXPECT_TRUE(Ask(CmdConnect, B({0x01, 0xFF})).empty());  // malformed
}

TEST_F(SimulatorTest, ConfiguredDeviceTextsAndCounters) {
    Simulator other({std::string(kKr310Firmware), "351234567890123", "SN-9", std::nullopt, 42});
    const Bytes p = AnswerPayload(Exchange(other, clock, CmdConnect, kNoCode), CmdConnect);
    const std::string texts(p.begin() + 5, p.begin() + 5 + 37);
    EXPECT_EQ(texts, "QV-KR310-V1.4.2,351234567890123,SN-9,");
    EXPECT_EQ(p.at(5 + 37 + 32), 42);
    // The device identity of a fresh tracker is its IMEI.
    EXPECT_EQ(DeviceIdentity(other.State()), "351234567890123");
}

TEST_F(SimulatorTest, ReadAnswersTheBlockAskedFor) {
    const Bytes answer = Ask(CmdReadBlock, ReadRequest(1, 16, 255));
    ASSERT_EQ(answer.size(), 7u + 5u + 255u);
    EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 10), B({0x5A, 0xA5, 0x01, 0x05, 0x59, 1, 0, 16, 0, 255}));
    const Bytes p = AnswerPayload(answer, CmdReadBlock);
    EXPECT_EQ(std::string(p.begin() + 5, p.begin() + 21), std::string("860123456789012\0", 16));
    EXPECT_EQ(std::string(p.begin() + 21, p.begin() + 29), "internet");
}

TEST_F(SimulatorTest, EventReadAnswersAllOf4096Bytes) {
    const Bytes answer = Ask(CmdReadBlock, ReadRequest(5, 0, 4096));
    ASSERT_EQ(answer.size(), 4108u);
    EXPECT_EQ(answer[2], 0x10);
    EXPECT_EQ(answer[3], 0x06);
    const Bytes p = AnswerPayload(answer, CmdReadBlock);
    ASSERT_EQ(p.size(), 4101u);
    EXPECT_EQ(std::string(p.begin() + 5, p.begin() + 13), "Interval");
    EXPECT_EQ(p[5 + 16], 0x03);  // interval tracking to both servers
}

TEST_F(SimulatorTest, WriteIsAcknowledgedAndReadsBack) {
    EXPECT_EQ(Ask(CmdWriteBlock, WriteRequest(1, 32, B("apn.test"))),
              Frame(CmdWriteBlock, B({1, 1})));
    // The acknowledgement as it is on the line.
    EXPECT_EQ(Frame(CmdWriteBlock, B({1, 1})), B({0x5A, 0xA5, 0x00, 0x03, 0x58, 0x01, 0x01, 0x05, 0x9D}));

    EXPECT_EQ(AskPayload(CmdWriteBlock, WriteRequest(2, 478, B({0x00, 0x0A, 0x14}))), B({2, 1}));
    EXPECT_EQ(AskPayload(CmdReadBlock, ReadRequest(2, 478, 32)),
              ReadRequest(2, 478, 32) + B({0x00, 0x0A, 0x14}) + Bytes(29, 0));

    Bytes events(1856);
    for (std::size_t k = 0; k < events.size(); ++k) events[k] = static_cast<std::uint8_t>(k * 7);
    EXPECT_EQ(AskPayload(CmdWriteBlock, WriteRequest(5, 0, events)), B({5, 1}));
    const Bytes back = AskPayload(CmdReadBlock, ReadRequest(5, 0, 4096));
    EXPECT_EQ(Bytes(back.begin() + 5, back.begin() + 5 + 1856), events);
}

TEST_F(SimulatorTest, RequestsOutsideTheAreasGetNoAnswer) {
    const std::uint64_t revision = sim.Revision();
    EXPECT_TRUE(Ask(CmdReadBlock, ReadRequest(1, 500, 20)).empty());
    EXPECT_TRUE(Ask(CmdReadBlock, ReadRequest(0, 0, 1)).empty());
    EXPECT_TRUE(Ask(CmdReadBlock, ReadRequest(6, 0, 1)).empty());
    EXPECT_TRUE(Ask(CmdReadBlock, ReadRequest(5, 1, 4096)).empty());
    EXPECT_TRUE(Ask(CmdWriteBlock, WriteRequest(4, 250, Bytes(7))).empty());
    EXPECT_TRUE(Ask(CmdWriteBlock, WriteRequest(3, 0, Bytes(4)) + B({0})).empty());  // length disagrees
    EXPECT_TRUE(Ask(CmdReadBlock, B({1, 0, 16})).empty());
    EXPECT_TRUE(Ask(0x77, B({1, 2, 3})).empty());
    EXPECT_EQ(sim.Revision(), revision);
    // The last byte of each area is still in reach.
    EXPECT_EQ(AskPayload(CmdReadBlock, ReadRequest(5, 4095, 1)), ReadRequest(5, 4095, 1) + B({0}));
}

TEST_F(SimulatorTest, RestoreDefaultsResetsTheAreasButKeepsTheIdentity) {
    AskPayload(CmdWriteBlock, WriteRequest(1, 16, B("999999999999999")));
    AskPayload(CmdWriteBlock, WriteRequest(1, 32, B("changed")));
    AskPayload(CmdWriteBlock, WriteRequest(4, 0, Bytes(256, 0x55)));
    AskPayload(CmdAuthorizeId, B("42"));

    EXPECT_EQ(Ask(CmdDefault), Frame(CmdDefault, B({1})));
    const auto factory = DefaultState("999999999999999");
    EXPECT_EQ(sim.State().areas, factory.areas);
    EXPECT_EQ(sim.State().rfidIds, std::vector<std::string>{"42"});
}

TEST_F(SimulatorTest, ClearCommandsEmptyTheirOwnBuffer) {
    const std::uint8_t commands[] = {CmdClearSms, CmdClearGprs1, CmdClearGprs2, CmdClearGpsLog};
    for (int k = 0; k < 4; ++k) {
        TrackerState state = DefaultState("1");
        for (auto& pair : state.buffers) pair = {7, 500};
        sim.SetState(state);
        EXPECT_EQ(Ask(commands[k]), Frame(commands[k], B({1})));
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(sim.State().buffers[static_cast<std::size_t>(j)],
                      (BufferPair{j == k ? 0u : 7u, 500u}))
                << "command " << CommandName(commands[k]) << ", buffer " << j;
        }
    }
}

TEST_F(SimulatorTest, SetMileageTakesFourBytesLeastSignificantFirst) {
    EXPECT_EQ(Ask(CmdSetMileage, B({0x64, 0, 0, 0})), Frame(CmdSetMileage, B({1})));
    EXPECT_EQ(sim.State().mileage, 100u);
    const Bytes info = AskPayload(CmdConnect, kNoCode);
    EXPECT_EQ(Bytes(info.end() - 6, info.end() - 2), B({0, 0, 0, 0x64}));
    EXPECT_TRUE(Ask(CmdSetMileage, B({1, 2, 3})).empty());
    EXPECT_EQ(sim.State().mileage, 100u);
}

TEST_F(SimulatorTest, RfidIdsAreAuthorizedCheckedAndDeleted) {
    EXPECT_EQ(Ask(CmdCheckId), Frame(CmdCheckId, B("\r\n")));  // none yet
    EXPECT_EQ(Ask(CmdAuthorizeId, B("0012345678\r\nABCDEF01")), Frame(CmdAuthorizeId, B({1})));
    EXPECT_EQ(AskPayload(CmdAuthorizeId, B(" 0012345678 \r\n\r\n77\r\n")), B({1}));  // one is new
    EXPECT_EQ(Ask(CmdCheckId, B("anything")), Frame(CmdCheckId, B("0012345678\r\nABCDEF01\r\n77")));

    const Bytes info = AskPayload(CmdConnect, kNoCode);
    EXPECT_EQ(Bytes(info.end() - 2, info.end()), B({0, 3}));

    EXPECT_EQ(Ask(CmdDeleteId, B("ABCDEF01\r\n55")), Frame(CmdDeleteId, B({1})));
    EXPECT_EQ(AskPayload(CmdCheckId), B("0012345678\r\n77"));
}

TEST_F(SimulatorTest, RfidRequestsWithoutValidIdsAreRefused) {
    AskPayload(CmdAuthorizeId, B("1"));
    EXPECT_EQ(AskPayload(CmdAuthorizeId), B({2}));
    EXPECT_EQ(AskPayload(CmdAuthorizeId, B("\r\n")), B({2}));
    EXPECT_EQ(AskPayload(CmdAuthorizeId, B("12 34")), B({2}));
    EXPECT_EQ(AskPayload(CmdAuthorizeId, B("22\r\n12345678901234567")), B({2}));  // 17 long
    EXPECT_EQ(AskPayload(CmdDeleteId), B({2}));
    EXPECT_EQ(sim.State().rfidIds, std::vector<std::string>{"1"});

    std::string many;
    for (int k = 0; k < 200; ++k) many += std::to_string(1000 + k) + "\r\n";
    EXPECT_EQ(AskPayload(CmdAuthorizeId, B(many)), B({2}));  // 201 with the one there
    EXPECT_EQ(sim.State().rfidIds.size(), 1u);
}

TEST_F(SimulatorTest, TemperatureSensorsArePairedIntoTheSensorTable) {
    auto record = [&](int n) {
        const auto& area = sim.State().Area(2);
        const auto at = area.begin() + 190 + 32 * static_cast<std::ptrdiff_t>(n - 1);
        return Bytes(at, at + 32);
    };
    EXPECT_EQ(Ask(CmdTemperaturePair, B("3,Freezer")), Frame(CmdTemperaturePair, B({1})));
    Bytes sensor = record(3);
    EXPECT_EQ(std::string(sensor.begin(), sensor.begin() + 8), std::string("Freezer\0", 8));
    EXPECT_LE(std::count(sensor.begin() + 16, sensor.begin() + 24, 0), 6);  // shown by the editor

    EXPECT_EQ(AskPayload(CmdTemperaturePair, B("3,A name longer than sixteen")), B({1}));
    sensor = record(3);
    EXPECT_EQ(std::string(sensor.begin(), sensor.begin() + 16), "A name longer th");

    EXPECT_EQ(AskPayload(CmdTemperaturePair, B("3")), B({1}));
    EXPECT_EQ(record(3), Bytes(24, 0) + Bytes(4, 0xFF) + Bytes(4, 0));

    EXPECT_EQ(AskPayload(CmdTemperaturePair), B({1}));
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(record(n), Bytes(24, 0) + Bytes(4, 0xFF) + Bytes(4, 0));

    EXPECT_EQ(AskPayload(CmdTemperaturePair, B("9,x")), B({2}));
    EXPECT_EQ(AskPayload(CmdTemperaturePair, B("0")), B({2}));
    EXPECT_EQ(AskPayload(CmdTemperaturePair, B("3;x")), B({2}));
    EXPECT_EQ(AskPayload(CmdTemperaturePair, B("3,")), B({2}));
}

TEST_F(SimulatorTest, DefaultsLookLikeAConfiguredTracker) {
    const auto& s = sim.State();
    auto text = [&](int area, std::size_t offset) {
        const auto& a = s.Area(area);
        return std::string(reinterpret_cast<const char*>(a.data() + offset));
    };
    EXPECT_EQ(text(1, 16), "860123456789012");
    EXPECT_EQ(text(1, 32), "internet");
    EXPECT_EQ(text(1, 128), "203.0.113.10");
    EXPECT_EQ(text(1, 160), "5001");
    EXPECT_EQ(s.Area(1)[205] | s.Area(1)[206] << 8, 30);  // report every 30 s
    EXPECT_EQ(text(3, 4).substr(0, 4), "6294");
    EXPECT_EQ(text(4, 0), "Depot");
    EXPECT_EQ(text(5, std::size_t{32} * 34), "Position");  // reply current
    for (int area = 1; area <= kAreaCount; ++area) {
        EXPECT_EQ(s.Area(area).size(), kAreaSizes[static_cast<std::size_t>(area - 1)]);
    }
}

// --- reassembly ---

TEST_F(SimulatorTest, RequestsAreReassembledFromAnyChunkingAndNoise) {
    const Bytes noise = B({0x00, 0x5A, 0x11, 0x5A, 0xA5, 0xFF, 0xFF,    // impossible length
                           0x5A, 0xA5, 0x00, 0x02, 0x59, 0x01, 0x00, 0x00,  // bad CRC
                           0x0D, 0x0A, 0x5A});
    const Bytes request = Frame(CmdReadBlock, ReadRequest(3, 0, 116));
    const Bytes stream = noise + request + B({0x42}) + Frame(CmdConnect, kNoCode);
    Simulator reference;
    const Bytes expected = Exchange(reference, clock, CmdReadBlock, ReadRequest(3, 0, 116)) +
                           Exchange(reference, clock, CmdConnect, kNoCode);

    for (std::size_t chunk = 1; chunk <= stream.size(); ++chunk) {
        Simulator fresh;
        Bytes answered;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            const std::size_t n = std::min(chunk, stream.size() - at);
            const Bytes part(stream.begin() + static_cast<std::ptrdiff_t>(at),
                             stream.begin() + static_cast<std::ptrdiff_t>(at + n));
            answered = answered + Flatten(fresh.Receive(part, clock.Tick()));
        }
        EXPECT_EQ(answered, expected) << "chunks of " << chunk;
        EXPECT_EQ(fresh.PendingBytes(), 0u);
        const auto requests = fresh.TakeRequests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0], (Request{CmdReadBlock, ReadRequest(3, 0, 116)}));
    }
}

TEST_F(SimulatorTest, APartialRequestIsDroppedAfterSilence) {
    const Bytes request = Frame(CmdReadBlock, ReadRequest(2, 0, 34));
    const Bytes head(request.begin(), request.begin() + 6);
    const Bytes tail(request.begin() + 6, request.end());

    EXPECT_TRUE(sim.Receive(head, clock.Tick()).empty());
    EXPECT_FALSE(sim.Receive(tail, clock.Tick(std::chrono::milliseconds(150))).empty());

    EXPECT_TRUE(sim.Receive(head, clock.Tick()).empty());
    EXPECT_TRUE(sim.Receive(tail, clock.Tick(std::chrono::milliseconds(500))).empty());
    EXPECT_FALSE(sim.Receive(request, clock.Tick()).empty());
}

TEST_F(SimulatorTest, SeveralRequestsInOneChunkAreAnsweredInOrder) {
    const Bytes both = Frame(CmdClearSms) + Frame(CmdReadBlock, ReadRequest(4, 0, 4));
    const auto out = sim.Receive(both, clock.Tick());
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].bytes, Frame(CmdClearSms, B({1})));
    EXPECT_EQ(out[1].bytes, Frame(CmdReadBlock, ReadRequest(4, 0, 4) + B("Depo")));
}

}  // namespace
}  // namespace quorvane::sim::test
