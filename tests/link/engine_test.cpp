#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "blocks/blocks.h"
#include "link/tracker_probe.h"
#include "link/traffic.h"
#include "tests/link/engine_fixture.h"

namespace quorvane {
namespace {

using ::testing::ElementsAre;
using Kind = RecordingUi::Kind;

Bytes ReadRequest(BlockId id) {
    TxPayload tx;
    BuildReadRequest(id, tx);
    return Bytes(tx.View().begin(), tx.View().end());
}

// --- starting --------------------------------------------------------------------

struct BlockStart {
    const char* handler;
    void (TransactionEngine::*click)();
    bool write;
    std::uint8_t step;
    std::optional<bool> allFlag;  // the flag the start sets: ReadAllActive or WriteAllActive
    const char* text;
};

using Encoder = void (*)(const Form&, TxPayload&);
constexpr BlockId kStepBlocks[] = {BlockId::Gprs,        BlockId::Main, BlockId::MainExt,  BlockId::Interface,
                                   BlockId::Temperature, BlockId::Sms,  BlockId::GeoFence, BlockId::Event};
constexpr Encoder kStepEncoders[] = {EncodeGprsBlock,        EncodeMainBlock, EncodeMainExtBlock,  EncodeInterfaceBlock,
                                     EncodeTemperatureBlock, EncodeSmsBlock,  EncodeGeoFenceBlock, EncodeEventBlock};

TEST_F(EngineTest, EveryBlockStartSendsItsRequestAndSetsItsState) {
    const BlockStart starts[] = {
        {"ReadAllClick", &TransactionEngine::ReadAllClick, false, 0, true, "Reading All..."},
        {"WriteAllClick", &TransactionEngine::WriteAllClick, true, 0, true, "Writing All..."},
        {"GPRSWriteClick", &TransactionEngine::GPRSWriteClick, true, 0, false, "Writing GPRS..."},
        {"MainSetWriteClick", &TransactionEngine::MainSetWriteClick, true, 1, false, "Writing Main..."},
        {"InterfaceWriteClick", &TransactionEngine::InterfaceWriteClick, true, 3, false, "Writing Interface..."},
        {"Temp_WriteClick", &TransactionEngine::Temp_WriteClick, true, 4, false, "Writing Temp..."},
        {"SMSWriteClick", &TransactionEngine::SMSWriteClick, true, 5, false, "Writing Auth..."},
        {"GEOFenceWriteClick", &TransactionEngine::GEOFenceWriteClick, true, 6, false, "Writing GEO..."},
        {"EventWriteClick", &TransactionEngine::EventWriteClick, true, 7, false, "Writing Event..."},
        {"GPRSReadClick", &TransactionEngine::GPRSReadClick, false, 0, false, "Reading GPRS..."},
        {"MainSetReadClick", &TransactionEngine::MainSetReadClick, false, 1, false, "Reading Main..."},
        {"InterfaceReadClick", &TransactionEngine::InterfaceReadClick, false, 3, false, "Reading Interface..."},
        {"Temp_ReadClick", &TransactionEngine::Temp_ReadClick, false, 4, false, "Reading Temp..."},
        {"SMSReadClick", &TransactionEngine::SMSReadClick, false, 5, false, "Reading Auth..."},
        {"GEOFenceReadClick", &TransactionEngine::GEOFenceReadClick, false, 6, false, "Reading GEO..."},
        {"EventReadClick", &TransactionEngine::EventReadClick, false, 7, false, "Reading Event..."},
    };
    for (const BlockStart& s : starts) {
        SCOPED_TRACE(s.handler);
        sent.clear();
        (engine.*s.click)();
        ASSERT_EQ(sent.size(), 1u);
        if (s.write) {
            TxPayload expected;
            kStepEncoders[s.step](form, expected);
            EXPECT_EQ(CommandOf(LastSent()), CmdWriteBlock);
            EXPECT_EQ(LastSent(), MakeFrame(CmdWriteBlock, expected.View()));
            EXPECT_EQ(S().OperationState, OperationState::OpWrite);
            EXPECT_EQ(S().WriteStep, s.step);
            EXPECT_EQ(S().WriteAllActive, *s.allFlag);
        } else {
            EXPECT_EQ(LastSent(), MakeFrame(CmdReadBlock, ReadRequest(kStepBlocks[s.step])));
            EXPECT_EQ(S().OperationState, OperationState::OpRead);
            EXPECT_EQ(S().ReadStep, s.step);
            EXPECT_EQ(S().ReadAllActive, *s.allFlag);
        }
        EXPECT_EQ(S().TimeoutCount, 5);
        EXPECT_EQ(Panel1(), s.text);
    }
    EXPECT_TRUE(ui.Notices().empty());
}

TEST_F(EngineTest, ConversionErrorAtStartSendsNothingAndKeepsTheState) {
    form.SetText("TimeInterval", "12x");
    engine.GPRSReadClick();
    const EngineState before = S();
    sent.clear();
    EXPECT_THROW(engine.GPRSWriteClick(), EConvertError);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(S().OperationState, before.OperationState);
    EXPECT_EQ(S().ReadStep, before.ReadStep);
    EXPECT_EQ(S().TimeoutCount, before.TimeoutCount);
    EXPECT_EQ(Panel1(), "Reading GPRS...");
}

// --- chains ----------------------------------------------------------------------

TEST_F(EngineTest, ReadAllRunsEveryGroupInOrder) {
    engine.ReadAllClick();
    for (std::size_t step = 0; step < 8; ++step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(sent.size(), step + 1);
        EXPECT_EQ(LastSent(), MakeFrame(CmdReadBlock, ReadRequest(kStepBlocks[step])));
        EXPECT_EQ(S().TimeoutCount, 5);
        // The port cuts the Event answer (4108 bytes) into blocks of 2048.
        DeliverInBlocks(ReadAnswer(kStepBlocks[step]), kMaxReceiveBlock);
    }
    EXPECT_EQ(sent.size(), 8u);
    EXPECT_THAT(ui.StatusTexts(1),
                ElementsAre("Reading All...", "Read GPRS OK", "Read Main OK", "Read Interface OK",
                            "Read Temperature OK", "Read Auth OK", "Read GEO OK", "Read Event OK", "Read All OK"));
    EXPECT_THAT(ui.Notices(), ElementsAre("Read All Completed!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_FALSE(S().ReadAllActive);
    EXPECT_EQ(S().TimeoutCount, 0);
    EXPECT_THAT(ui.StatusTexts(0), ::testing::Each("Connected"));
}

TEST_F(EngineTest, WriteAllRunsEveryGroupInOrder) {
    engine.WriteAllClick();
    for (std::size_t step = 0; step < 8; ++step) {
        SCOPED_TRACE(step);
        ASSERT_EQ(sent.size(), step + 1);
        TxPayload expected;
        kStepEncoders[step](form, expected);
        EXPECT_EQ(LastSent(), MakeFrame(CmdWriteBlock, expected.View()));
        Deliver(WriteAck(Block(kStepBlocks[step]).area));
    }
    EXPECT_EQ(sent.size(), 8u);
    EXPECT_THAT(ui.StatusTexts(1),
                ElementsAre("Writing All...", "Write GPRS OK", "Write Main OK", "Write Interface OK",
                            "Write Temperature OK", "Write Auth OK", "Write GEO OK", "Write Event OK",
                            "Write All OK"));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write All Completed!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_FALSE(S().WriteAllActive);
}

TEST_F(EngineTest, MainGroupIsTwoBlocksEitherWay) {
    engine.MainSetReadClick();
    Deliver(ReadAnswer(BlockId::Main));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(PayloadOf(LastSent()), (Bytes{0x02, 0x01, 0xDE, 0x00, 0x20}));
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(Panel1(), "Reading Main...");
    Deliver(ReadAnswer(BlockId::MainExt));
    EXPECT_EQ(Panel1(), "Read Main OK");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Main Completed!"));
    EXPECT_EQ(sent.size(), 2u);

    ui.ClearLog();
    sent.clear();
    engine.MainSetWriteClick();
    Deliver(WriteAck(2));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(Bytes(LastSent().begin() + 5, LastSent().begin() + 10), (Bytes{0x02, 0x01, 0xDE, 0x00, 0x03}));
    EXPECT_TRUE(ui.Notices().empty());
    Deliver(WriteAck(2));
    EXPECT_EQ(Panel1(), "Write Main OK");
    EXPECT_THAT(ui.Notices(), ElementsAre("Write Main Completed!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
}

TEST_F(EngineTest, SingleGroupCompletesWithItsOwnTexts) {
    engine.EventReadClick();
    DeliverInBlocks(ReadAnswer(BlockId::Event), kMaxReceiveBlock);
    EXPECT_EQ(Panel1(), "Read Event OK");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Event Completed!"));

    engine.SMSWriteClick();
    Deliver(WriteAck(3));
    EXPECT_EQ(Panel1(), "Write Auth OK");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Event Completed!", "Write Auth Completed!"));
    EXPECT_EQ(sent.size(), 2u);
}

TEST_F(EngineTest, WriteEncodesEveryBlockBeforeSendingTheFirst) {
    form.SetText("SMSTimeInterval", "70000");  // in the sixth block
    EXPECT_THROW(engine.WriteAllClick(), EDoesNotFit);
    EXPECT_THROW(engine.SMSWriteClick(), EDoesNotFit);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_EQ(S().TimeoutCount, 0);
}

TEST_F(EngineTest, ConversionErrorInsideWriteAllStopsTheChainUntilItTimesOut) {
    engine.WriteAllClick();
    form.SetText("GPSLogTM", "abc");  // edited while the chain runs
    EXPECT_THROW(Deliver(WriteAck(1)), EConvertError);
    EXPECT_EQ(sent.size(), 1u);
    EXPECT_EQ(Panel1(), "Write GPRS OK");
    Tick(4);
    EXPECT_TRUE(ui.Notices().empty());
    Tick();
    EXPECT_EQ(Panel1(), "Write Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Write Overtime!"));
    EXPECT_FALSE(S().WriteAllActive);
}

// --- answers that do not fit -------------------------------------------------------

TEST_F(EngineTest, UnsuccessfulWriteStatusIsIgnoredUntilTheTimeOut) {
    engine.GPRSWriteClick();
    Deliver(WriteAck(1, 0));
    Deliver(WriteAck(2, 1));  // another area
    EXPECT_EQ(Panel1(), "Writing GPRS...");
    EXPECT_EQ(S().TimeoutCount, 5);
    Tick(4);
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(S().OperationState, OperationState::OpWrite);
    Tick();
    EXPECT_EQ(Panel1(), "Write Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Write Overtime!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    Tick(10);
    EXPECT_EQ(ui.Notices().size(), 1u) << "no retries, no further reports";
    EXPECT_EQ(sent.size(), 1u);
}

TEST_F(EngineTest, WrongCommandIsAnErrorAtOnce) {
    engine.ReadAllClick();
    Deliver(ConnectAnswer(true));
    EXPECT_EQ(Panel1(), "Read Error!");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Error!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_FALSE(S().ReadAllActive);
    EXPECT_EQ(S().TimeoutCount, 0);

    engine.WriteAllClick();
    Deliver(ReadAnswer(BlockId::Gprs));
    EXPECT_EQ(Panel1(), "Write Error!");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Error!", "Write Error!"));
    EXPECT_FALSE(S().WriteAllActive);
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
}

TEST_F(EngineTest, LateAnswerIsJudgedAgainstTheNewState) {
    engine.GPRSReadClick();
    engine.MainSetReadClick();
    Deliver(ReadAnswer(BlockId::Gprs));  // area 1 while area 2 is awaited
    EXPECT_EQ(Panel1(), "Reading Main...");
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(S().TimeoutCount, 5);

    engine.GPRSWriteClick();
    engine.GPRSReadClick();
    Deliver(WriteAck(1));
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Error!"));
}

// A read takes only the answer to the request it sent: the same area, offset and
// length, and as many data bytes as that length says. Anything else is set aside
// while the time-out runs, and the group goes on when the right answer comes.
TEST_F(EngineTest, ReadTakesOnlyTheAnswerToItsOwnRequest) {
    engine.GPRSReadClick();
    form.SetText("APN", "keep");
    Deliver(ReadAnswer(BlockId::Gprs, 10, 'x'));      // another length
    Deliver(ReadAnswer(BlockId::DeviceId, -1, 'x'));  // same area and offset, the Device ID's length
    Bytes claimsMore = {1, 0, 16, 0, 255};            // the right length, but 10 data bytes
    claimsMore.insert(claimsMore.end(), 10, 'x');
    Deliver(MakeFrame(CmdReadBlock, claimsMore));
    EXPECT_THAT(ui.StatusTexts(1), ElementsAre("Reading GPRS..."));
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(S().TimeoutCount, 5);
    EXPECT_EQ(form.Text("APN"), "keep");
    Tick(5);
    EXPECT_EQ(Panel1(), "Read Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Overtime!"));

    // The Main answer again while its extension is awaited (same area, another offset).
    ui.ClearLog();
    engine.MainSetReadClick();
    Deliver(ReadAnswer(BlockId::Main, -1, 9));
    ASSERT_EQ(sent.size(), 3u);
    Deliver(ReadAnswer(BlockId::Main, -1, 9));
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(sent.size(), 3u);
    Deliver(ReadAnswer(BlockId::MainExt, -1, 3));
    EXPECT_EQ(form.Text("LowSpeed"), "3");
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Main Completed!"));

}

// --- connect answer and Device ID --------------------------------------------------

TEST_F(EngineTest, ConnectAnswerShowsDeviceAndReadsTheDeviceId) {
    engine.SetConnectPollCount(20);
    Deliver(MakeFrame(CmdConnect, Bytes{0x01}));  // no authorization result: no connect answer
    EXPECT_EQ(S().ConnectPollCount, 20);
    EXPECT_TRUE(sent.empty());
    Deliver(ConnectAnswer(true, "QV200"));
    EXPECT_EQ(ui.StatusText(0), "Connected");
    EXPECT_EQ(S().ConnectPollCount, 0);
    EXPECT_EQ(form.Text("Firmware"), "QV200");
    EXPECT_EQ(form.Text("SMSBuffer"), "5/3000");
    EXPECT_EQ(form.Text("Mileage"), "123456");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(LastSent(), MakeFrame(CmdReadBlock, Bytes{0x01, 0x00, 0x10, 0x00, 0x0F}));
    EXPECT_EQ(S().OperationState, OperationState::OpRead);
    EXPECT_EQ(S().ReadStep, ReadStepDeviceId);
    EXPECT_EQ(S().TimeoutCount, 5);
    EXPECT_TRUE(S().DeviceIdPending);
    EXPECT_TRUE(ui.Notices().empty());

    Bytes idAnswer = {0x01, 0x00, 0x10, 0x00, 0x0F};
    for (char c : std::string_view("356938035643809")) idAnswer.push_back(static_cast<std::uint8_t>(c));
    Deliver(MakeFrame(CmdReadBlock, idAnswer));
    EXPECT_EQ(form.Text("DeviceID"), "356938035643809");
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_FALSE(S().DeviceIdPending);
    EXPECT_EQ(S().TimeoutCount, 0);
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_TRUE(ui.StatusTexts(1).empty()) << "the Device ID read shows no text";
}

TEST_F(EngineTest, RejectedAuthCodeStillShowsTheDeviceAndReadsTheId) {
    // The box comes first; the device information and the Device ID read follow it.
    std::optional<std::string> firmwareInBox;
    std::size_t sentInBox = 99;
    ui.onNotice = [&](const std::string&) {
        firmwareInBox = form.Text("Firmware");
        sentInBox = sent.size();
    };
    form.SetText("Firmware", "before");
    Deliver(ConnectAnswer(false, "QV100"));
    EXPECT_THAT(ui.Notices(), ElementsAre("Auth Code Error!"));
    EXPECT_EQ(firmwareInBox, "before");
    EXPECT_EQ(sentInBox, 0u);
    EXPECT_EQ(form.Text("Firmware"), "QV100");
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(S().DeviceIdPending);
}

TEST_F(EngineTest, DeviceIdTakesLeadingDigitsOfItsOwnAnswerOnly) {
    auto answer = [](std::string_view data, std::uint16_t claimed) {
        Bytes p = {0x01, 0x00, 0x10, static_cast<std::uint8_t>(claimed >> 8), static_cast<std::uint8_t>(claimed)};
        for (char c : data) p.push_back(static_cast<std::uint8_t>(c));
        return MakeFrame(CmdReadBlock, p);
    };
    // Fifteen digits whose frame CRC starts with an ASCII digit: the CRC is not part
    // of the Device ID.
    std::string digits;
    Bytes frame;
    for (int n = 0;; ++n) {
        digits = std::to_string(100000000000000LL + n);
        frame = answer(digits, 15);
        const std::uint8_t crcHigh = frame[frame.size() - 2];
        if (crcHigh >= '0' && crcHigh <= '9') break;
    }
    const struct {
        Bytes frame;
        std::optional<std::string> expected;  // nullopt: not the answer, the read waits on
    } cases[] = {
        {frame, digits},
        {answer("12A45678901234X", 15), "12"},
        {answer("X23456789012345", 15), ""},
        {answer(digits, 16), std::nullopt},
        {answer(digits.substr(0, 4), 4), std::nullopt},
        {answer("12345", 15), std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.value_or("set aside"));
        form.SetText("DeviceID", "old");
        engine.SendConnectRequest();
        Deliver(ConnectAnswer(true));
        Deliver(c.frame);
        EXPECT_EQ(form.Text("DeviceID"), c.expected.value_or("old"));
        EXPECT_EQ(S().DeviceIdPending, !c.expected);
    }
}

TEST_F(EngineTest, DeviceIdTimeOutIsSilent) {
    Deliver(ConnectAnswer(true));
    Tick(5);
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_TRUE(ui.StatusTexts(1).empty());
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_FALSE(S().DeviceIdPending);
}

// The poll sent its request twice before the tracker answered, so two answers come.
// The first connects; the second is not heard, whatever the engine awaits then.
TEST_F(EngineTest, ConnectAnswersAfterTheFirstAreNotHeard) {
    engine.SendConnectRequest();
    engine.SendConnectRequest();
    Deliver(ConnectAnswer(true, "FIRST"));
    ASSERT_EQ(sent.size(), 3u);
    Deliver(ConnectAnswer(true, "SECOND"));
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_TRUE(S().DeviceIdPending);
    EXPECT_EQ(form.Text("Firmware"), "FIRST");
    Bytes id = {0x01, 0x00, 0x10, 0x00, 0x0F};
    for (char c : std::string_view("356938035643809")) id.push_back(static_cast<std::uint8_t>(c));
    Deliver(MakeFrame(CmdReadBlock, id));
    EXPECT_EQ(form.Text("DeviceID"), "356938035643809");

    Deliver(ConnectAnswer(true, "IDLE"));  // nothing awaited: no second Device ID read
    engine.GPRSReadClick();
    Deliver(ConnectAnswer(true, "READ"));
    engine.GPRSWriteClick();
    Deliver(ConnectAnswer(true, "WRITE"));
    EXPECT_EQ(sent.size(), 5u);
    Deliver(WriteAck(1));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!"));
    EXPECT_EQ(form.Text("Firmware"), "FIRST");

    // A new request is answered as the first was; an answer to it during a read
    // that started after it is another command's, as ever.
    engine.SendConnectRequest();
    engine.GPRSReadClick();
    Deliver(ConnectAnswer(true));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!", "Read Error!"));
}

TEST_F(EngineTest, StartDuringDeviceIdReadGetsItsTimeOutReported) {
    const struct {
        void (TransactionEngine::*click)();
        const char* notice;
    } starts[] = {
        {&TransactionEngine::SMSReadClick, "Read Overtime!"},
        {&TransactionEngine::GPRSWriteClick, "Write Overtime!"},
        {&TransactionEngine::ClearSMSClick, "Clear SMS Buffer Overtime!"},
    };
    for (const auto& s : starts) {
        SCOPED_TRACE(s.notice);
        ui.ClearLog();
        engine.SendConnectRequest();
        Deliver(ConnectAnswer(true));
        (engine.*s.click)();
        EXPECT_FALSE(S().DeviceIdPending);
        Tick(5);
        EXPECT_THAT(ui.Notices(), ElementsAre(s.notice));
    }
}

TEST_F(EngineTest, TimeOutWithNothingAwaitedShowsNothing) {
    Tick(20);
    engine.GPRSReadClick();
    engine.SendConnectRequest();  // the poll abandons the read
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_EQ(S().TimeoutCount, 0);
    Tick(20);
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(Panel1(), "Reading GPRS...");
}

// --- the "Model" text ----------------------------------------------------------------

TEST_F(EngineTest, ModelTextOutsideAFrameRestartsThePoll) {
    Deliver(BytesOf("QV tracker\r\nModel: QV200\r\n"));
    EXPECT_EQ(S().ConnectPollCount, kConnectPollReload);
    EXPECT_TRUE(sent.empty());

    engine.SetConnectPollCount(0);
    Deliver(MakeFrame(0x59, BytesOf("Model")));  // a valid frame, ignored while idle
    EXPECT_EQ(S().ConnectPollCount, 0);
    EXPECT_EQ(ui.StatusText(0), "Connected");

    Deliver(BytesOf("..Mo"));
    Deliver(BytesOf("del"));
    EXPECT_EQ(S().ConnectPollCount, kConnectPollReload);
}

// A tracker that reboots while it sends the 4108-byte Event answer: the port has
// delivered the first 2048 bytes, then the banner comes.
TEST_F(EngineTest, RebootInsideALongAnswerRestartsThePoll) {
    const Bytes answer = ReadAnswer(BlockId::Event);
    ASSERT_EQ(answer.size(), 4108u);
    const Bytes head(answer.begin(), answer.begin() + 2048);
    const Bytes banner = BytesOf("\r\nQuorvane tracker boot\r\nModel: KR420\r\n");

    for (int laterBlock = 0; laterBlock < 2; ++laterBlock) {
        SCOPED_TRACE(laterBlock ? "the text in a later block" : "the text in the next block");
        engine.SetConnectPollCount(0);
        engine.EventReadClick();
        Deliver(head);
        if (laterBlock) Deliver(Bytes(700, 0x20));
        EXPECT_EQ(S().ConnectPollCount, 0);
        Deliver(banner);
        EXPECT_EQ(S().ConnectPollCount, kConnectPollReload) << "the poll restarts";
        // The poll's request abandons the read: no time-out is reported later.
        const std::size_t sentBefore = sent.size();
        engine.SendConnectRequest();
        EXPECT_EQ(sent.size(), sentBefore + 1);
        EXPECT_TRUE(engine.Receiver().Pending().empty());
        Tick(10);
        EXPECT_TRUE(ui.Notices().empty());
    }

    // The banner and a frame in one block: the frame alone counts.
    engine.SetConnectPollCount(0);
    engine.GPRSWriteClick();
    Deliver(Concat({banner, WriteAck(1)}));
    EXPECT_EQ(S().ConnectPollCount, 0);
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!"));
}

// The same text as an event's name inside the answer, cut where the port cuts it:
// once the frame is whole it was no start-up text.
TEST_F(EngineTest, ModelTextInsideALongAnswerDoesNotRestartThePoll) {
    Bytes answer = ReadAnswer(BlockId::Event);
    const Bytes name = BytesOf("Model A");
    std::copy(name.begin(), name.end(), answer.begin() + 1000);
    answer = MakeFrame(CmdReadBlock, PayloadOf(answer));
    engine.EventReadClick();
    Deliver(Bytes(answer.begin(), answer.begin() + 2048));
    EXPECT_EQ(S().ConnectPollCount, kConnectPollReload) << "as far as the block shows, a reboot";
    Deliver(Bytes(answer.begin() + 2048, answer.end()));
    EXPECT_EQ(S().ConnectPollCount, 0) << "the frame came whole: the poll is as it was";
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Event Completed!"));
}

TEST_F(EngineTest, TimeOutDropsAnUnfinishedFrame) {
    engine.EventReadClick();
    const Bytes answer = ReadAnswer(BlockId::Event);
    Deliver(Bytes(answer.begin(), answer.begin() + 2048));
    EXPECT_FALSE(engine.Receiver().Pending().empty());
    Tick(kReplyTimeout);
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Overtime!"));
    EXPECT_TRUE(engine.Receiver().Pending().empty());

    // A short answer right behind it is found at once, not after the stale header's
    // 4108 bytes have been filled.
    engine.GPRSWriteClick();
    Deliver(WriteAck(1));
    EXPECT_THAT(ui.Notices(), ElementsAre("Read Overtime!", "Write GPRS Completed!"));
}

// --- reassembly ----------------------------------------------------------------------

TEST_F(EngineTest, AnswerSplitOverBlocksIsFound) {
    engine.GPRSWriteClick();
    const Bytes ack = WriteAck(1);
    Deliver(Bytes(ack.begin(), ack.begin() + 4));
    EXPECT_TRUE(ui.Notices().empty());
    Deliver(Bytes(ack.begin() + 4, ack.end()));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!"));
}

TEST_F(EngineTest, EachFrameOfABlockIsActedOnOnce) {
    engine.GPRSWriteClick();
    Deliver(Concat({WriteAck(1, 0), WriteAck(1, 1), WriteAck(1, 1)}));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
    EXPECT_TRUE(engine.Receiver().Pending().empty());
}

TEST_F(EngineTest, BadHeadersBeforeTheAnswerAreSkipped) {
    Bytes corrupt = WriteAck(1);
    corrupt.back() ^= 0xFF;
    engine.GPRSWriteClick();
    Deliver(Concat({corrupt, Bytes{0x5A, 0xA5, 0xFF, 0xF0}, WriteAck(1)}));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!"));

    // A stray header claiming 3840 bytes does not hold the answer back.
    engine.GPRSWriteClick();
    Deliver(Bytes{0x5A, 0xA5, 0x0F, 0x00, 0x00});
    Deliver(WriteAck(1));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write GPRS Completed!", "Write GPRS Completed!"));
}

TEST_F(EngineTest, BytesPendingWhenARequestGoesOutAreDiscarded) {
    engine.GPRSReadClick();
    const Bytes answer = ReadAnswer(BlockId::Gprs);
    Deliver(Bytes(answer.begin(), answer.begin() + 100));
    EXPECT_FALSE(engine.Receiver().Pending().empty());
    engine.GPRSReadClick();
    EXPECT_TRUE(engine.Receiver().Pending().empty());
    Deliver(Bytes(answer.begin() + 100, answer.end()));
    EXPECT_TRUE(ui.Notices().empty()) << "the tail of the old answer is no frame";
    Deliver(answer);
    EXPECT_THAT(ui.Notices(), ElementsAre("Read GPRS Completed!"));

    // Bytes behind an answer that sends the next request are stale as well.
    ui.ClearLog();
    engine.MainSetReadClick();
    Deliver(Concat({ReadAnswer(BlockId::Main), ReadAnswer(BlockId::MainExt)}));
    EXPECT_TRUE(ui.Notices().empty());
    EXPECT_EQ(S().ReadStep, 2);
}

// --- message boxes with a running event loop ----------------------------------------

TEST_F(EngineTest, TicksWhileABoxIsOpenReportNothingMore) {
    ui.onNotice = [&](const std::string&) { Tick(10); };
    engine.GPRSWriteClick();
    Tick(5);
    EXPECT_THAT(ui.Notices(), ElementsAre("Write Overtime!"));

    engine.GPRSReadClick();
    Deliver(ReadAnswer(BlockId::Gprs));
    EXPECT_THAT(ui.Notices(), ElementsAre("Write Overtime!", "Read GPRS Completed!"));
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);
}

TEST_F(EngineTest, BlockDeliveredWhileABoxIsOpenDoesNotChangeTheFrameBeingHandled) {
    bool delivered = false;
    ui.onNotice = [&](const std::string& text) {
        if (text == "Auth Code Error!" && !delivered) {
            delivered = true;
            engine.SendConnectRequest();  // the poll goes on while the box is open
            Deliver(ConnectAnswer(true, "OTHER"));
        }
    };
    Deliver(ConnectAnswer(false, "FIRST"));
    EXPECT_EQ(form.Text("Firmware"), "FIRST");
    EXPECT_EQ(sent.size(), 3u) << "the request and both answers' Device ID reads";
    EXPECT_TRUE(S().DeviceIdPending);
}

// --- results ---------------------------------------------------------------------

// Each operation ends in exactly one result, whichever way it ends, with the blocks
// it got through and the notice the user saw.
TEST_F(EngineTest, EveryOperationEndsInOneResult) {
    std::vector<OperationResult> results;
    const int hook = engine.AddResultHook([&](const OperationResult& r) { results.push_back(r); });
    const auto last = [&] { return results.back(); };

    // Write All answered wrongly after three blocks (GPRS and the Main group's two).
    engine.WriteAllClick();
    for (BlockId id : {BlockId::Gprs, BlockId::Main, BlockId::MainExt}) Deliver(WriteAck(Block(id).area));
    Deliver(ReadAnswer(BlockId::Interface));
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(last().op, Operation::WriteAll);
    EXPECT_EQ(last().outcome, Outcome::AnswerError);
    EXPECT_EQ(last().blocksDone, 3);
    EXPECT_EQ(last().blocksTotal, 8);
    EXPECT_EQ(last().text, ui.Notices().back());

    // A group read that completes names its group.
    engine.MainSetReadClick();
    Deliver(ReadAnswer(BlockId::Main));
    EXPECT_EQ(results.size(), 1u);
    Deliver(ReadAnswer(BlockId::MainExt));
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(last().op, Operation::ReadGroup);
    EXPECT_STREQ(last().group->name, "main");
    EXPECT_EQ(last().outcome, Outcome::Completed);
    EXPECT_EQ(last().blocksDone, 2);
    EXPECT_EQ(last().text, "Read Main Completed!");

    // A read that times out half-way, and a one-shot command that times out.
    engine.ReadAllClick();
    Deliver(ReadAnswer(BlockId::Gprs));
    Tick(kReplyTimeout);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(last().outcome, Outcome::TimedOut);
    EXPECT_EQ(last().blocksDone, 1);
    EXPECT_EQ(last().text, "Read Overtime!");
    engine.ClearSMSClick();
    Tick(kReplyTimeout);
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(last().op, Operation::ClearSms);
    EXPECT_EQ(last().outcome, Outcome::TimedOut);
    EXPECT_EQ(last().text, "Clear SMS Buffer Overtime!");

    // The tracker still busy, refusing, and a command dropped without a report.
    form.SetText("RFID_Memo", "123");
    engine.SET_IDClick();
    Deliver(MakeFrame(CmdAuthorizeId, Bytes{4}));
    EXPECT_EQ(last().outcome, Outcome::Busy);
    engine.DEL_IDClick();
    Deliver(MakeFrame(CmdDeleteId, Bytes{2}));
    EXPECT_EQ(last().op, Operation::DeleteId);
    EXPECT_EQ(last().outcome, Outcome::Refused);
    EXPECT_EQ(last().text, "Delete ID Error!");
    const std::size_t notices = ui.Notices().size();
    engine.InitAllClick();
    engine.AbandonOperation();
    EXPECT_EQ(last().op, Operation::Default);
    EXPECT_EQ(last().outcome, Outcome::Abandoned);
    EXPECT_EQ(ui.Notices().size(), notices);
    ASSERT_EQ(results.size(), 7u);

    // Nothing under way: nothing to report; a removed hook hears nothing more.
    engine.AbandonOperation();
    Tick(kReplyTimeout);
    engine.RemoveResultHook(hook);
    engine.GPRSReadClick();
    Deliver(ReadAnswer(BlockId::Gprs));
    EXPECT_EQ(results.size(), 7u);
}

// The group table read both ways: every handler leads back to its group, every
// block belongs to one group, and "all" is the groups' blocks in order.
TEST(Groups, HandlersNamesAndBlocksLeadBackToTheirGroup) {
    std::vector<BlockId> all;
    for (const Group& g : Groups()) {
        EXPECT_EQ(FindGroup(g.name), &g);
        const auto read = OperationOfHandler(g.readHandler);
        const auto write = OperationOfHandler(g.writeHandler);
        ASSERT_TRUE(read && write);
        EXPECT_EQ(read->op, Operation::ReadGroup);
        EXPECT_EQ(read->group, &g);
        EXPECT_EQ(write->op, Operation::WriteGroup);
        EXPECT_STREQ(HandlerOf(Operation::WriteGroup, &g), g.writeHandler);
        for (BlockId b : g.blocks) {
            EXPECT_EQ(&GroupOf(b), &g);
            EXPECT_NE(EncoderOf(b), nullptr);
            all.push_back(b);
        }
    }
    EXPECT_EQ(all, std::vector<BlockId>(AllGroups().blocks.begin(), AllGroups().blocks.end()));
    EXPECT_EQ(AllGroups().blocks.size(), std::size_t{kBlockSteps})
        << "the engine numbers its block steps by this list";
    EXPECT_EQ(OperationOfHandler(HandlerOf(Operation::CheckId))->op, Operation::CheckId);
    EXPECT_FALSE(OperationOfHandler("OpenPortClick"));
}

// The device texts as the window, the probe and the traffic rows read them: the
// same texts where they are plain; where one is long or holds a control byte, the
// probe and the rows stop at it while the window shows it whole.
TEST(DeviceTexts, ReadTheSameByTheWindowTheProbeAndTheTrafficRows) {
    const auto readAll = [](const Bytes& frame) {
        MemoryForm form;
        DecodeDeviceInfo(form, FrameView(frame).DeviceInfo(), false);
        const auto identity = IdentityOf(FrameView(frame));
        return std::tuple(form.Text("Firmware") + "|" + form.Text("IMEI") + "|" + form.Text("SN"),
                          identity ? identity->firmware + "|" + identity->imei + "|" + identity->serialNumber
                                   : std::string("none"),
                          SummarizeFrame(false, frame));
    };
    const auto [window, probe, row] = readAll(ConnectAnswer(true, "QV-KR420"));
    EXPECT_EQ(window, "QV-KR420|860000000000001|SN42");
    EXPECT_EQ(probe, window);
    EXPECT_EQ(row, "accepted, firmware QV-KR420, IMEI 860000000000001, SN SN42");

    const std::string long50(50, 'x');
    const auto [window2, probe2, row2] = readAll(ConnectAnswer(false, long50));
    EXPECT_EQ(window2, long50 + "|860000000000001|SN42");
    EXPECT_EQ(probe2, window2);  // the probe keeps up to 64 characters
    EXPECT_EQ(row2, "auth code refused");  // a row up to 40

    const auto [window3, probe3, row3] = readAll(ConnectAnswer(true, std::string("FW\x01X")));
    EXPECT_EQ(window3, std::string("FW\x01X|860000000000001|SN42"));
    EXPECT_EQ(probe3, "FW||");
    EXPECT_EQ(row3, "accepted");
    EXPECT_FALSE(IdentityOf(FrameView(ReadAnswer(BlockId::Gprs))));
}

}  // namespace
}  // namespace quorvane
