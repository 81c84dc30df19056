#include "sim/fault.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "sim/simulator.h"
#include "sim_test_support.h"

namespace quorvane::sim::test {
namespace {

const Bytes kRead = B({2, 0, 0, 0, 34});
const Bytes kNoCode = B({0x01, 0xFF, 0xFF, 0xFF, 0xFF});

bool Contains(const Bytes& bytes, const Bytes& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

class FaultTest : public ::testing::Test {
protected:
    std::vector<Transmission> Send(std::uint8_t command, const Bytes& payload = {}) {
        return sim.Receive(Frame(command, payload), clock.Tick());
    }
    Bytes Normal(std::uint8_t command, const Bytes& payload = {}) {
        return Exchange(reference, clock, command, payload);
    }

    Simulator sim;
    Simulator reference;  // the same tracker without faults
    FakeClock clock;
};

TEST_F(FaultTest, NoAnswerCarriesTheRequestOutSilently) {
    sim.InjectFault(Fault::NoAnswer);
    EXPECT_TRUE(Send(CmdWriteBlock, B({1, 0, 32, 0, 3}) + B("abc")).empty());
    EXPECT_EQ(sim.State().Area(1)[32], 'a');
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)), Normal(CmdReadBlock, kRead));  // used up
}

TEST_F(FaultTest, CorruptCrcSpoilsOnlyTheChecksum) {
    sim.InjectFault(Fault::CorruptCrc);
    const Bytes bad = Flatten(Send(CmdReadBlock, kRead));
    const Bytes good = Normal(CmdReadBlock, kRead);
    ASSERT_EQ(bad.size(), good.size());
    EXPECT_TRUE(std::equal(good.begin(), good.end() - 1, bad.begin()));
    EXPECT_EQ(ScanFrame(bad).reason, ScanReason::CrcMismatch);
    EXPECT_FALSE(FirstFrame(bad));
}

TEST_F(FaultTest, SplitAnswerComesInTwoPartsWithAPause) {
    sim.InjectFault(Fault::SplitAnswer);
    const auto out = Send(CmdReadBlock, kRead);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].pauseBefore.count(), 0);
    EXPECT_GT(out[1].pauseBefore.count(), 30);  // longer than the editor's port waits
    EXPECT_FALSE(out[0].bytes.empty());
    EXPECT_FALSE(out[1].bytes.empty());
    EXPECT_EQ(Flatten(out), Normal(CmdReadBlock, kRead));
}

TEST_F(FaultTest, GarbageBeforeLeavesTheFrameIntact) {
    sim.InjectFault(Fault::GarbageBefore);
    const Bytes bytes = Flatten(Send(CmdReadBlock, kRead));
    const Bytes good = Normal(CmdReadBlock, kRead);
    ASSERT_GT(bytes.size(), good.size());
    const Bytes garbage(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(good.size()));
    EXPECT_EQ(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(garbage.size()), bytes.end()), good);
    EXPECT_FALSE(Contains(garbage, B({0x5A, 0xA5})));
    EXPECT_FALSE(Contains(garbage, B("Model")));
    EXPECT_FALSE(Contains(garbage, B({0x11})) || Contains(garbage, B({0x13})));  // no flow control
    const auto frame = FirstFrame(bytes);
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->data() - bytes.data(), static_cast<std::ptrdiff_t>(garbage.size()));
}

TEST_F(FaultTest, WrongCommandIsAValidFrameOfAnotherCommand) {
    sim.InjectFault(Fault::WrongCommand, 3);
    const std::pair<std::uint8_t, Bytes> requests[] = {
        {CmdDefault, {}}, {CmdReadBlock, kRead}, {CmdWriteBlock, B({3, 0, 0, 0, 1, 9})}};
    for (const auto& [command, payload] : requests) {
        const Bytes bytes = Flatten(Send(command, payload));
        const auto frame = FirstFrame(bytes);
        ASSERT_TRUE(frame);
        ASSERT_EQ(frame->data(), bytes.data());
        EXPECT_NE(FrameView(*frame).Command(), command);
        const Bytes good = Normal(command, payload);
        EXPECT_EQ(Bytes(bytes.begin() + 5, bytes.end() - 2), Bytes(good.begin() + 5, good.end() - 2));
    }
    EXPECT_EQ(sim.State().Area(3)[0], 9);  // the write was carried out
}

TEST_F(FaultTest, StatusZeroReportsFailureAndChangesNothing) {
    sim.InjectFault(Fault::StatusZero, -1);
    EXPECT_EQ(AnswerPayload(Flatten(Send(CmdWriteBlock, B({3, 0, 0, 0, 1, 9}))), CmdWriteBlock), B({3, 0}));
    EXPECT_EQ(sim.State().Area(3), reference.State().Area(3));
    EXPECT_EQ(AnswerPayload(Flatten(Send(CmdClearSms)), CmdClearSms), B({0}));
    EXPECT_EQ(sim.State().buffers, reference.State().buffers);
    EXPECT_EQ(AnswerPayload(Flatten(Send(CmdConnect, kNoCode)), CmdConnect).at(1), 0);
    // Read answers carry no status.
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)), Normal(CmdReadBlock, kRead));
}

TEST_F(FaultTest, RefusedAnswersStatusTwo) {
    sim.InjectFault(Fault::Refused, 3);
    EXPECT_EQ(AnswerPayload(Flatten(Send(CmdAuthorizeId, B("77"))), CmdAuthorizeId), B({2}));
    EXPECT_TRUE(sim.State().rfidIds.empty());
    EXPECT_EQ(AnswerPayload(Flatten(Send(CmdCheckId)), CmdCheckId), B({2}));
    EXPECT_EQ(AnswerPayload(Flatten(Send(CmdTemperaturePair, B("2,Box"))), CmdTemperaturePair), B({2}));
    EXPECT_EQ(sim.State().Area(2), reference.State().Area(2));
}

TEST_F(FaultTest, BootTextReplacesTheAnswerAndTheRequestIsLost) {
    sim.InjectFault(Fault::BootText);
    const Bytes bytes = Flatten(Send(CmdSetMileage, B({1, 0, 0, 0})));
    EXPECT_TRUE(Contains(bytes, B("Model")));
    EXPECT_FALSE(Contains(bytes, B({0x5A, 0xA5})));
    EXPECT_EQ(sim.State().mileage, reference.State().mileage);
}

TEST_F(FaultTest, StoreWrongAcknowledgesAWriteButKeepsAnotherByte) {
    sim.InjectFault(Fault::StoreWrong, 2);
    // A read takes the plan's answer without any change.
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)), Normal(CmdReadBlock, kRead));
    const Bytes write = B({1, 0, 32, 0, 3}) + B("abc");
    EXPECT_EQ(Flatten(Send(CmdWriteBlock, write)), Normal(CmdWriteBlock, write));  // acknowledged as done
    EXPECT_EQ(sim.State().Area(1)[32], 'b');
    EXPECT_EQ(sim.State().Area(1)[33], 'b');
    EXPECT_EQ(sim.State().Area(1)[34], 'c');
    // The next write is stored as sent; 0xFF wraps to 0 under the fault.
    sim.InjectFault(Fault::StoreWrong);
    EXPECT_FALSE(Send(CmdWriteBlock, B({2, 0, 10, 0, 1, 0xFF})).empty());
    EXPECT_EQ(sim.State().Area(2)[10], 0);
    EXPECT_FALSE(Send(CmdWriteBlock, write).empty());
    EXPECT_EQ(sim.State().Area(1)[32], 'a');
}

// The answers that reach the editor twice or late, and the pauses around them.
TEST_F(FaultTest, RepeatedStaleAndLateAnswers) {
    const Bytes mainExt = B({2, 1, 0xDE, 0, 32});
    const Bytes main = Normal(CmdReadBlock, kRead);
    sim.InjectFault(Fault::StaleAnswer);  // nothing answered before: the answer alone
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)), main);

    sim.InjectFault(Fault::RepeatAnswer);
    sim.InjectFault(Fault::StaleAnswer);
    const auto repeated = Send(CmdReadBlock, kRead);
    const auto stale = Send(CmdReadBlock, mainExt);
    ASSERT_EQ(repeated.size(), 2u);
    ASSERT_EQ(stale.size(), 2u);
    EXPECT_EQ(Flatten(repeated), main + main);
    EXPECT_EQ(Flatten(stale), main + Normal(CmdReadBlock, mainExt));
    EXPECT_EQ(repeated[1].pauseBefore.count(), kRepeatPauseMs);
    EXPECT_EQ(stale[1].pauseBefore.count(), kRepeatPauseMs);

    // The request repeated while the late answer was held is answered after it, a
    // little later; then the tracker is back to its pace.
    sim.InjectFault(Fault::LateAnswer, 1, CmdConnect);
    std::vector<long> pauses;
    for (int k = 0; k < 3; ++k) {
        const auto out = Send(CmdConnect, kNoCode);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].bytes, Normal(CmdConnect, kNoCode));
        pauses.push_back(static_cast<long>(out[0].pauseBefore.count()));
    }
    EXPECT_EQ(pauses, (std::vector<long>{kLateAnswerMs, kSplitPauseMs, 0}));
}

TEST_F(FaultTest, PlansCountOnlyAnsweredRequestsOfTheirCommand) {
    sim.InjectFault(Fault::NoAnswer, 2, CmdReadBlock);
    EXPECT_FALSE(Send(CmdConnect, kNoCode).empty());          // another command
    EXPECT_TRUE(Send(CmdReadBlock, B({9, 0, 0, 0, 1})).empty());    // no answer anyway
    EXPECT_EQ(sim.PendingFaults(), 2);
    EXPECT_TRUE(Send(CmdReadBlock, kRead).empty());
    EXPECT_TRUE(Send(CmdReadBlock, kRead).empty());
    EXPECT_FALSE(Send(CmdReadBlock, kRead).empty());
    EXPECT_EQ(sim.PendingFaults(), 0);

    // Plans are tried in order; each answer takes one.
    sim.InjectFault(Fault::CorruptCrc, 1);
    sim.InjectFault(Fault::NoAnswer, 1);
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)).size(), Normal(CmdReadBlock, kRead).size());
    EXPECT_TRUE(Send(CmdReadBlock, kRead).empty());
    EXPECT_FALSE(Send(CmdReadBlock, kRead).empty());

    // A plan that skips lets its first answers through, also to later plans.
    sim.InjectFault(FaultPlan{Fault::NoAnswer, 1, CmdReadBlock, 2});
    sim.InjectFault(Fault::CorruptCrc, 1, CmdReadBlock);
    const Bytes good = Normal(CmdReadBlock, kRead);
    EXPECT_NE(Flatten(Send(CmdReadBlock, kRead)), good);  // corrupt, while the first skips
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)), good);
    EXPECT_TRUE(Send(CmdReadBlock, kRead).empty());
    EXPECT_EQ(Flatten(Send(CmdReadBlock, kRead)), good);

    sim.InjectFault(Fault::NoAnswer, -1);
    for (int k = 0; k < 5; ++k) EXPECT_TRUE(Send(CmdReadBlock, kRead).empty());
    EXPECT_EQ(sim.PendingFaults(), -1);
    sim.ClearFaults();
    EXPECT_FALSE(Send(CmdReadBlock, kRead).empty());
}

TEST(FaultNames, ParseEveryNameAndPlan) {
    for (const auto& entry : FaultNames()) {
        EXPECT_EQ(ParseFault(entry.name), entry.fault);
        EXPECT_EQ(FaultName(entry.fault), entry.name);
    }
    EXPECT_EQ(FaultNames().size(), 12u);
    EXPECT_FALSE(ParseFault("No-Answer"));

    const auto plan = ParseFaultPlan("split-answer:3@0x59");
    EXPECT_EQ(plan.fault, Fault::SplitAnswer);
    EXPECT_EQ(plan.count, 3);
    EXPECT_EQ(plan.command, 0x59);
    EXPECT_EQ(ParseFaultPlan("no-answer").count, 1);
    EXPECT_FALSE(ParseFaultPlan("no-answer").command);
    EXPECT_EQ(ParseFaultPlan("no-answer:all").count, -1);
    EXPECT_EQ(ParseFaultPlan("boot-text@229").command, 0xE5);
    const auto skipping = ParseFaultPlan("no-answer:2@0x59+3");
    EXPECT_EQ(skipping.count, 2);
    EXPECT_EQ(skipping.command, 0x59);
    EXPECT_EQ(skipping.skip, 3);
    EXPECT_EQ(ParseFaultPlan("no-answer+1").skip, 1);
    EXPECT_EQ(ParseFaultPlan("no-answer").skip, 0);

    for (const char* bad : {"", "nope", "no-answer:0", "no-answer:", "no-answer:x", "no-answer:-1",
                            "no-answer@0x100", "no-answer@", "no-answer@0x", "corrupt-crc:2@x", "no-answer+",
                            "no-answer+x", "no-answer+-2"}) {
        EXPECT_THROW(ParseFaultPlan(bad), std::invalid_argument) << bad;
    }
}

}  // namespace
}  // namespace quorvane::sim::test
