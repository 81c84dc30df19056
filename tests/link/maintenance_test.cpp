#include "link/maintenance.h"

#include <gtest/gtest.h>

#include <optional>

#include "blocks/convert.h"
#include "tests/link/engine_fixture.h"

namespace quorvane {
namespace {

using ::testing::ElementsAre;

struct Command {
    const char* handler;
    void (TransactionEngine::*click)();
    std::uint8_t command;
    OperationState state;
    std::uint8_t timeout;
    const char* startText;
    const char* timeoutPanel;
    const char* timeoutNotice;
};

const Command kCommands[] = {
    {"InitAllClick", &TransactionEngine::InitAllClick, CmdDefault, OperationState::OpDefault, 5, "Defaulting...",
     "Default Error", "Default Overtime!"},
    {"ClearSMSClick", &TransactionEngine::ClearSMSClick, CmdClearSms, OperationState::OpClearSms, 5, "Clear SMS...",
     "Clear SMS Buffer Error", "Clear SMS Buffer Overtime!"},
    {"ClearGPRS1Click", &TransactionEngine::ClearGPRS1Click, CmdClearGprs1, OperationState::OpClearGprs1, 5,
     "Clear GPRS-1...", "Clear GPRS-1 Buffer Error", "Clear GPRS-1 Buffer Overtime!"},
    {"ClearGPRS2Click", &TransactionEngine::ClearGPRS2Click, CmdClearGprs2, OperationState::OpClearGprs2, 5,
     "Clear GPRS-2...", "Clear GPRS-2 Buffer Error", "Clear GPRS-2 Buffer Overtime!"},
    {"ClearGPSLogClick", &TransactionEngine::ClearGPSLogClick, CmdClearGpsLog, OperationState::OpClearGpsLog, 5,
     "Clear GPS Log...", "Clear GPS Log Error", "Clear GPS Log Overtime!"},
    {"SetMileageClick", &TransactionEngine::SetMileageClick, CmdSetMileage, OperationState::OpSetMileage, 5,
     "Set Mileage...", "Set Mileage Error", "Set Mileage Overtime!"},
    {"SET_IDClick", &TransactionEngine::SET_IDClick, CmdAuthorizeId, OperationState::OpAuthorizeId, 10, "Auth ID...",
     "Auth ID Error", "Auth ID Overtime!"},
    {"DEL_IDClick", &TransactionEngine::DEL_IDClick, CmdDeleteId, OperationState::OpDeleteId, 10, "Deleting ID...",
     "Delete ID Error", "Delete ID Overtime!"},
    {"CHK_IDClick", &TransactionEngine::CHK_IDClick, CmdCheckId, OperationState::OpCheckId, 5, "Check ID...",
     "Check ID Error", "Check ID Overtime!"},
};

TEST_F(EngineTest, EveryMaintenanceStartAndItsTimeOut) {
    // With an empty ID list every command but the mileage one has an empty payload.
    form.SetText("RFID_Memo", "");
    form.SetText("Mileage", "0");
    for (const Command& c : kCommands) {
        SCOPED_TRACE(c.handler);
        sent.clear();
        ui.ClearLog();
        (engine.*c.click)();
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(CommandOf(LastSent()), c.command);
        EXPECT_EQ(PayloadOf(LastSent()), c.command == CmdSetMileage ? Bytes(4, 0x00) : Bytes{});
        EXPECT_EQ(S().OperationState, c.state);
        EXPECT_EQ(S().TimeoutCount, c.timeout);
        EXPECT_EQ(Panel1(), c.startText);
        Tick(c.timeout - 1);
        EXPECT_TRUE(ui.Notices().empty());
        Tick();
        EXPECT_EQ(Panel1(), c.timeoutPanel);
        EXPECT_THAT(ui.Notices(), ElementsAre(c.timeoutNotice));
        EXPECT_EQ(S().OperationState, OperationState::OpIdle);
        EXPECT_EQ(sent.size(), 1u);
    }
}

TEST_F(EngineTest, DefaultAndMileageFrames) {
    engine.InitAllClick();
    EXPECT_EQ(LastSent(), (Bytes{0x5A, 0xA5, 0x00, 0x01, 0xE5, 0x8A, 0x19}));

    form.SetText("Mileage", "0");
    engine.SetMileageClick();
    Bytes expected = {0x5A, 0xA5, 0x00, 0x05, 0xC4, 0x00, 0x00, 0x00, 0x00};
    const std::uint16_t crc = Crc16(expected);
    expected.push_back(static_cast<std::uint8_t>(crc >> 8));
    expected.push_back(static_cast<std::uint8_t>(crc));
    EXPECT_EQ(LastSent(), expected);

    form.SetText("Mileage", "100");
    engine.SetMileageClick();
    EXPECT_EQ(PayloadOf(LastSent()), (Bytes{0x64, 0x00, 0x00, 0x00}));
    form.SetText("Mileage", "-2");
    engine.SetMileageClick();
    EXPECT_EQ(PayloadOf(LastSent()), (Bytes{0xFE, 0xFF, 0xFF, 0xFF}));

    engine.GPRSReadClick();
    form.SetText("Mileage", "1e3");
    sent.clear();
    EXPECT_THROW(engine.SetMileageClick(), EConvertError);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(S().OperationState, OperationState::OpRead);
}

// The payload bytes for each AuthCode text are checked on the wire by the window's tests.
TEST(AuthCodePayload, TextThatIsNoNumberLeavesThePayload) {
    MemoryForm form;
    TxPayload tx;
    form.SetText("AuthCode", "1234");
    BuildAuthCodePayload(form, tx);
    form.SetText("AuthCode", "abc");
    EXPECT_THROW(BuildAuthCodePayload(form, tx), EConvertError);
    EXPECT_EQ(Bytes(tx.View().begin(), tx.View().end()), (Bytes{0x01, 0xD2, 0x04, 0x00, 0x00}));
}

TEST_F(EngineTest, RfidPayloadIsTheMemoAsItStands) {
    form.SetText("RFID_Memo", "0012345678\r\n0087654321");
    engine.SET_IDClick();
    EXPECT_EQ(PayloadOf(LastSent()), BytesOf("0012345678\r\n0087654321"));
    engine.DEL_IDClick();
    EXPECT_EQ(PayloadOf(LastSent()), BytesOf("0012345678\r\n0087654321"));
}

TEST_F(EngineTest, RfidListTooLongForOneFrameIsRefused) {
    form.SetText("RFID_Memo", std::string(kMaxPayloadLength, '7'));
    engine.CHK_IDClick();
    EXPECT_EQ(PayloadOf(LastSent()).size(), kMaxPayloadLength) << "the longest list that fits is sent";

    engine.GPRSReadClick();
    sent.clear();
    form.SetText("RFID_Memo", std::string(kMaxPayloadLength + 1, '7'));
    for (auto click : {&TransactionEngine::SET_IDClick, &TransactionEngine::DEL_IDClick,
                       &TransactionEngine::CHK_IDClick}) {
        EXPECT_THROW((engine.*click)(), ERfidListTooLong);
    }
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(S().OperationState, OperationState::OpRead);
    EXPECT_EQ(Panel1(), "Reading GPRS...");
}

// --- answers -------------------------------------------------------------------------

struct Answer {
    void (TransactionEngine::*click)();
    std::uint8_t command;
    std::uint8_t status;
    const char* panel;
    const char* notice;
};

TEST_F(EngineTest, AcceptedAnswersEndWithTextBoxAndThePoll) {
    const Answer answers[] = {
        {&TransactionEngine::InitAllClick, CmdDefault, 1, "Default OK", "Default Completed!"},
        {&TransactionEngine::ClearSMSClick, CmdClearSms, 1, "Clear SMS Buffer OK", "Clear SMS Buffer Completed!"},
        {&TransactionEngine::ClearGPRS1Click, CmdClearGprs1, 1, "Clear GPRS-1 Buffer OK",
         "Clear GPRS-1 Buffer Completed!"},
        {&TransactionEngine::ClearGPRS2Click, CmdClearGprs2, 1, "Clear GPRS-2 Buffer OK",
         "Clear GPRS-2 Buffer Completed!"},
        {&TransactionEngine::ClearGPSLogClick, CmdClearGpsLog, 1, "Clear GPS Log OK", "Clear GPS Log Completed!"},
        {&TransactionEngine::SetMileageClick, CmdSetMileage, 1, "Set Mileaga OK", "Set Mileaga Completed!"},
        {&TransactionEngine::SET_IDClick, CmdAuthorizeId, 1, "Auth ID OK", "Auth ID Completed!"},
        {&TransactionEngine::SET_IDClick, CmdAuthorizeId, 2, "Auth ID Error", "Auth ID Error!"},
        {&TransactionEngine::SET_IDClick, CmdAuthorizeId, 4, "Under Authorization...", "Under Authorization..."},
        {&TransactionEngine::DEL_IDClick, CmdDeleteId, 1, "Delete ID OK", "Delete ID Completed!"},
        {&TransactionEngine::DEL_IDClick, CmdDeleteId, 2, "Delete ID Error", "Delete ID Error!"},
        {&TransactionEngine::DEL_IDClick, CmdDeleteId, 5, "Deleting ID...", "Deleting ID..."},
        {&TransactionEngine::CHK_IDClick, CmdCheckId, 2, "Check ID Error", "Check ID Error!"},
    };
    for (const Answer& a : answers) {
        SCOPED_TRACE(a.notice);
        ui.ClearLog();
        engine.SetConnectPollCount(0);
        (engine.*a.click)();
        const OperationState started = S().OperationState;
        // While the box is open: time-out stopped, text shown, state and poll not yet reset.
        std::optional<OperationState> stateInBox;
        std::optional<std::uint8_t> timeoutInBox;
        std::optional<std::uint8_t> pollInBox;
        std::string panelInBox;
        ui.onNotice = [&](const std::string&) {
            stateInBox = S().OperationState;
            timeoutInBox = S().TimeoutCount;
            pollInBox = S().ConnectPollCount;
            panelInBox = Panel1();
        };
        Deliver(MakeFrame(a.command, Bytes{a.status}));
        ui.onNotice = nullptr;
        EXPECT_EQ(Panel1(), a.panel);
        EXPECT_THAT(ui.Notices(), ElementsAre(a.notice));
        EXPECT_EQ(stateInBox, started);
        EXPECT_EQ(timeoutInBox, 0);
        EXPECT_EQ(pollInBox, 0);
        EXPECT_EQ(panelInBox, a.panel);
        EXPECT_EQ(S().OperationState, OperationState::OpIdle);
        EXPECT_EQ(S().ConnectPollCount, kConnectPollReload);
    }
}

TEST_F(EngineTest, UnlistedStatusesAndOtherCommandsAreIgnored) {
    const struct {
        void (TransactionEngine::*click)();
        std::uint8_t command;
        std::uint8_t status;
    } ignored[] = {
        {&TransactionEngine::InitAllClick, CmdDefault, 0},      {&TransactionEngine::InitAllClick, CmdDefault, 2},
        {&TransactionEngine::InitAllClick, CmdClearSms, 1},     {&TransactionEngine::ClearSMSClick, CmdClearSms, 3},
        {&TransactionEngine::ClearGPRS2Click, CmdClearGprs1, 1}, {&TransactionEngine::SetMileageClick, CmdSetMileage, 0},
        {&TransactionEngine::SET_IDClick, CmdAuthorizeId, 3},   {&TransactionEngine::SET_IDClick, CmdAuthorizeId, 5},
        {&TransactionEngine::DEL_IDClick, CmdDeleteId, 4},      {&TransactionEngine::CHK_IDClick, CmdDeleteId, 1},
        {&TransactionEngine::Temp_PairClick, CmdCheckId, 1},    {&TransactionEngine::InitAllClick, CmdConnect, 1},
    };
    form.SetText("Temp_Index", "1");
    form.SetText("Temp_Name", "A");
    for (const auto& i : ignored) {
        (engine.*i.click)();
        const std::string text = Panel1();
        const EngineState before = S();
        Deliver(MakeFrame(i.command, Bytes{i.status}));
        EXPECT_EQ(S().OperationState, before.OperationState);
        EXPECT_EQ(S().TimeoutCount, before.TimeoutCount);
        EXPECT_EQ(Panel1(), text);
    }
    EXPECT_TRUE(ui.Notices().empty());
}

TEST_F(EngineTest, CheckIdAnswerReplacesTheMemoWithTheWholePayload) {
    std::string memoInBox;
    ui.onNotice = [&](const std::string&) { memoInBox = form.Text("RFID_Memo"); };
    form.SetText("RFID_Memo", "query");
    engine.CHK_IDClick();
    Deliver(MakeFrame(CmdCheckId, BytesOf("\x01" "0012345678\r\n0087654321")));
    EXPECT_EQ(memoInBox, "\x01" "0012345678\r\n0087654321") << "the list is in before the box";
    EXPECT_EQ(form.Text("RFID_Memo"), "\x01" "0012345678\r\n0087654321");
    EXPECT_EQ(engine.LastFrameLength() - 1, 23);
    EXPECT_EQ(Panel1(), "Check ID OK");
    EXPECT_THAT(ui.Notices(), ElementsAre("Check ID Completed!"));
    EXPECT_EQ(S().ConnectPollCount, kConnectPollReload);

    form.SetText("RFID_Memo", "query");
    engine.CHK_IDClick();
    Deliver(MakeFrame(CmdCheckId, BytesOf("\x02" "0012345678")));
    EXPECT_EQ(form.Text("RFID_Memo"), "query");
    EXPECT_THAT(ui.Notices(), ElementsAre("Check ID Completed!", "Check ID Error!"));
}

TEST_F(EngineTest, AnswerWithoutStatusIsNeverACompletion) {
    form.SetText("RFID_Memo", "0012345678");
    engine.CHK_IDClick();
    Deliver(MakeFrame(CmdCheckId, {}));
    EXPECT_EQ(form.Text("RFID_Memo"), "0012345678") << "the list is kept";
    EXPECT_EQ(Panel1(), "Check ID Error");
    EXPECT_EQ(S().OperationState, OperationState::OpIdle);

    form.SetText("Temp_Index", "1");
    form.SetText("Temp_Name", "Cab");
    engine.Temp_PairClick();
    Deliver(MakeFrame(CmdTemperaturePair, {}));
    form.SetText("Temp_Name", "");
    engine.Temp_PairClick();
    Deliver(MakeFrame(CmdTemperaturePair, {}));

    // The commands that complete only on status 1 wait on for their time-out.
    engine.InitAllClick();
    Deliver(MakeFrame(CmdDefault, {}));
    EXPECT_EQ(S().OperationState, OperationState::OpDefault);
    EXPECT_THAT(ui.Notices(), ElementsAre("Check ID Error!", "Temperature Pairing Error!",
                                          "Temperature Deleting Error!"));
}

// --- temperature sensors ---------------------------------------------------------------

TEST_F(EngineTest, TemperaturePairingPayloads) {
    form.SetText("Temp_Index", "12");
    form.SetText("Temp_Name", "AB");
    engine.Temp_PairClick();
    EXPECT_EQ(LastSent(), MakeFrame(CmdTemperaturePair, Bytes{0x31, 0x2C, 0x41, 0x42}));
    EXPECT_EQ(Panel1(), "Temperature Pairing...");
    EXPECT_EQ(S().OperationState, OperationState::OpTemperaturePair);
    EXPECT_EQ(S().TimeoutCount, 5);
    EXPECT_TRUE(ui.Questions().empty());

    form.SetText("Temp_Index", "3");
    form.SetText("Temp_Name", "ABCDEFGHIJKLMNOPQRST");
    engine.Temp_PairClick();
    EXPECT_EQ(PayloadOf(LastSent()), BytesOf("3,ABCDEFGHIJKLMNOP"));

    form.SetText("Temp_Name", "");
    ui.confirmAnswers = {true};
    engine.Temp_PairClick();
    EXPECT_THAT(ui.Questions(), ElementsAre("Really Delete Temperature?"));
    EXPECT_EQ(PayloadOf(LastSent()), BytesOf("3"));
    EXPECT_EQ(Panel1(), "Temperature Deleting...");

    form.SetText("Temp_Index", "");
    form.SetText("Temp_Name", "ignored");
    ui.confirmAnswers = {true};
    engine.Temp_PairClick();
    EXPECT_THAT(ui.Questions(), ElementsAre("Really Delete Temperature?", "Really Delete All Temperatures?"));
    EXPECT_EQ(Panel1(), "Temperature Deleting...");
    EXPECT_EQ(LastSent().size(), 7u);
    EXPECT_EQ(CommandOf(LastSent()), CmdTemperaturePair);
}

TEST_F(EngineTest, NoToTheQuestionSendsNothing) {
    engine.GPRSReadClick();
    sent.clear();
    for (const char* index : {"", "4"}) {
        form.SetText("Temp_Index", index);
        form.SetText("Temp_Name", "");
        ui.confirmAnswers = {false};
        engine.Temp_PairClick();
    }
    EXPECT_EQ(ui.Questions().size(), 2u);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(Panel1(), "Reading GPRS...");
    EXPECT_EQ(S().OperationState, OperationState::OpRead);
    EXPECT_EQ(S().TimeoutCount, 5);
}

TEST_F(EngineTest, PayloadIsBuiltAfterTheQuestionIsAnswered) {
    // The connect poll may send from the question's event loop, reusing the payload buffer.
    form.SetText("Temp_Index", "5");
    form.SetText("Temp_Name", "");
    ui.onConfirm = [&](const std::string&) { engine.SendConnectRequest(); };
    engine.Temp_PairClick();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(LastSent(), MakeFrame(CmdTemperaturePair, BytesOf("5")));
    EXPECT_EQ(S().OperationState, OperationState::OpTemperaturePair);
}

TEST_F(EngineTest, TemperatureAnswerResetsBeforeTheBoxAndKeepsThePoll) {
    std::optional<OperationState> stateInBox;
    ui.onNotice = [&](const std::string&) { stateInBox = S().OperationState; };

    form.SetText("Temp_Index", "1");
    form.SetText("Temp_Name", "Cab");
    engine.Temp_PairClick();
    Deliver(MakeFrame(CmdTemperaturePair, Bytes{1}));
    EXPECT_EQ(Panel1(), "Temperature Pairing OK");
    EXPECT_EQ(stateInBox, OperationState::OpIdle);
    EXPECT_EQ(S().ConnectPollCount, 0);

    // The texts follow the edits as they are when the answer comes.
    form.SetText("Temp_Name", "");
    engine.Temp_PairClick();
    form.SetText("Temp_Name", "Cab");
    Deliver(MakeFrame(CmdTemperaturePair, Bytes{2}));
    EXPECT_EQ(Panel1(), "Temperature Pairing Error");

    engine.Temp_PairClick();
    form.SetText("Temp_Name", "");
    Deliver(MakeFrame(CmdTemperaturePair, Bytes{0}));
    EXPECT_EQ(Panel1(), "Temperature Deleting OK");
    engine.Temp_PairClick();
    Deliver(MakeFrame(CmdTemperaturePair, Bytes{2}));
    EXPECT_EQ(Panel1(), "Temperature Deleting Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Temperature Pairing Completed!", "Temperature Pairing Error!",
                                          "Temperature Deleting Completed!", "Temperature Deleting Error!"));
    EXPECT_EQ(S().ConnectPollCount, 0);
}

TEST_F(EngineTest, TemperatureTimeOutTextsFollowTheEditsAtThatMoment) {
    form.SetText("Temp_Index", "1");
    form.SetText("Temp_Name", "Cab");
    engine.Temp_PairClick();
    form.SetText("Temp_Name", "");
    Tick(5);
    EXPECT_EQ(Panel1(), "Temperature Deleting Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Temperature Deleting Overtime!"));

    form.SetText("Temp_Name", "Cab");
    engine.Temp_PairClick();
    Tick(5);
    EXPECT_EQ(Panel1(), "Temperature Pairing Error");
    EXPECT_THAT(ui.Notices(), ElementsAre("Temperature Deleting Overtime!", "Temperature Pairing Overtime!"));
}

}  // namespace
}  // namespace quorvane
