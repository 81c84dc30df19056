// GPRS, Main and Interface blocks: the bytes they send and what they read back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/memory_form.h"
#include "blocks/blocks.h"
#include "tests/blocks/answer_builder.h"
#include "tests/blocks/form_snapshot.h"

namespace quorvane {
namespace {

using test::AnswerFromWrite;
using test::Data;
using Bytes = std::vector<std::uint8_t>;

Bytes Header(const TxPayload& tx) { return {tx.bytes.begin(), tx.bytes.begin() + 5}; }

using test::ConversionError;

class GprsBlock : public ::testing::Test {
protected:
    GprsBlock() {
        form.SetItemIndex("BufferMode", 0);
    }
    MemoryForm form;
    TxPayload tx;
};

// Writing starts after the device identity: it is read but never written.
TEST_F(GprsBlock, EmptyBoxesAndItemZeroGiveAllZeroData) {
    form.SetText("DeviceID", "123456789012345");
    EncodeGprsBlock(form, tx);
    EXPECT_EQ(tx.length, 5 + 229);
    EXPECT_EQ(Header(tx), (Bytes{0x01, 0x00, 0x20, 0x00, 0xE5}));
    EXPECT_EQ(Data(tx), Bytes(229, 0));

    const std::string id = "3581234567890ABC";
    MemoryForm back;
    ASSERT_TRUE(DecodeGprsBlock(
        back, AnswerFromWrite(BlockId::Gprs, tx, Bytes(id.begin(), id.end())).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.Text("DeviceID"), id);
}

TEST_F(GprsBlock, BufferModeUnselectedGives255) {
    form.SetItemIndex("BufferMode", -1);
    EncodeGprsBlock(form, tx);
    Bytes expected(229, 0);
    expected[204 - 32] = 255;
    EXPECT_EQ(Data(tx), expected);
}

TEST_F(GprsBlock, TextsLongerThanTheirFieldsAreRefusedAndFullWidthIsKept) {
    const std::string apn40 = "internet.provider.example.com/abcdefghij";
    ASSERT_EQ(apn40.size(), 40U);
    form.SetText("APN", apn40);
    EXPECT_EQ(ConversionError([&] { EncodeGprsBlock(form, tx); }),
              "'" + apn40 + "' is too long for APN (at most 32 characters)");
    EXPECT_EQ(tx.length, 0);
    form.SetText("APN", apn40.substr(0, 32));
    form.SetText("Port", "123456");
    EXPECT_EQ(ConversionError([&] { EncodeGprsBlock(form, tx); }), "'123456' is too long for Port (at most 5 characters)");

    form.SetText("Port", "12345");
    form.SetText("Port3", "8080");
    EncodeGprsBlock(form, tx);
    const Bytes data = Data(tx);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 32), apn40.substr(0, 32));
    EXPECT_EQ(data[32], 0);  // APNName follows at once
    EXPECT_EQ(Bytes(data.begin() + 128, data.begin() + 133), (Bytes{'1', '2', '3', '4', '5'}));
    EXPECT_EQ(Bytes(data.begin() + 213, data.begin() + 218), (Bytes{'8', '0', '8', '0', 0}));

    MemoryForm back;
    ASSERT_TRUE(DecodeGprsBlock(back, AnswerFromWrite(BlockId::Gprs, tx).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.Text("APN"), apn40.substr(0, 32));
    EXPECT_EQ(back.Text("Port"), "12345");
    EXPECT_EQ(back.Text("Port3"), "8080");
}

TEST_F(GprsBlock, IntervalsBeyond16BitsAreRefused) {
    for (const char* beyond : {"65536", "-1", "99999999999"}) {
        form.SetText("TimeInterval", beyond);
        EXPECT_EQ(ConversionError([&] { EncodeGprsBlock(form, tx); }),
                  "'" + std::string(beyond) + "' is out of range for TimeInterval (0 to 65535)");
    }
    form.SetText("TimeInterval", "65535");
    form.SetText("TimeInterval2", "300");
    EncodeGprsBlock(form, tx);
    const Bytes data = Data(tx);
    EXPECT_EQ(data[205 - 32], 0xFF);
    EXPECT_EQ(data[206 - 32], 0xFF);
    EXPECT_EQ(data[253 - 32], 0x2C);
    EXPECT_EQ(data[254 - 32], 0x01);
    MemoryForm back;
    ASSERT_TRUE(DecodeGprsBlock(back, AnswerFromWrite(BlockId::Gprs, tx).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.Text("TimeInterval"), "65535");
    EXPECT_EQ(back.Text("TimeInterval2"), "300");
}

TEST(GprsBlockStart, AFreshWindowIsWrittenAndABadBoxIsNamed) {
    MemoryForm form;
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeGprsBlock(form, tx); }), "no error");
    form.SetText("RoamingInterval", "");
    EXPECT_EQ(ConversionError([&] { EncodeGprsBlock(form, tx); }), "'' is not a valid integer value");
    EXPECT_EQ(tx.length, 0);
    form.SetText("RoamingInterval", "0");
    form.SetText("StopInterval2", "5s");
    try {
        EncodeGprsBlock(form, tx);
        ADD_FAILURE() << "no conversion error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'5s' is not a valid integer value") << "the message stays as it is";
        EXPECT_EQ(e.Control(), "StopInterval2");
    }
    EXPECT_EQ(tx.length, 0);
}

TEST(MainBlock, AllDefaults) {
    MemoryForm form;
    TxPayload tx;
    EncodeMainBlock(form, tx);
    EXPECT_EQ(tx.length, 5 + 34);
    EXPECT_EQ(Header(tx), (Bytes{0x02, 0x00, 0x00, 0x00, 0x22}));
    Bytes expected{0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0, 0, 0x74, 0x04, 0x68, 0x01};
    expected.resize(34, 0);
    EXPECT_EQ(Data(tx), expected);

    MemoryForm back;
    back.SetText("LowExtBatAlarm", "1");
    ASSERT_TRUE(DecodeMainBlock(back, AnswerFromWrite(BlockId::Main, tx).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.Text("LowExtBatAlarm"), "11.40");
    EXPECT_EQ(back.Text("BatteryLowVolt"), "3.60");
    EXPECT_EQ(back.ItemIndex("SleepMode"), -1);
}

TEST(MainBlock, VoltagesAndNarrowFields) {
    MemoryForm form;
    TxPayload tx;
    form.SetText("Heading", "300");
    EXPECT_EQ(ConversionError([&] { EncodeMainBlock(form, tx); }), "'300' is out of range for Heading (0 to 255)");
    form.SetText("Heading", "255");
    form.SetText("LowExtBatAlarm", "11.456");
    EXPECT_EQ(ConversionError([&] { EncodeMainBlock(form, tx); }),
              "'11.456' does not fit LowExtBatAlarm (0.00 to 655.35, at most 2 decimals)");
    form.SetText("LowExtBatAlarm", "1.2.3");
    EXPECT_EQ(ConversionError([&] { EncodeMainBlock(form, tx); }),
              "'1.2.3' does not fit LowExtBatAlarm (0.00 to 655.35, at most 2 decimals)");
    form.SetText("LowExtBatAlarm", "-5");
    EXPECT_EQ(ConversionError([&] { EncodeMainBlock(form, tx); }),
              "'-5' is out of range for LowExtBatAlarm (0.00 to 655.35, at most 2 decimals)");
    EXPECT_EQ(tx.length, 0);

    form.SetText("LowExtBatAlarm", ".5");
    form.SetText("BatteryLowVolt", "123.4");  // every digit before the point counts
    form.SetItemIndex("SleepMode", 2);
    EncodeMainBlock(form, tx);
    const Bytes data = Data(tx);
    EXPECT_EQ(data[4], 255);
    EXPECT_EQ(data[9], 2);
    EXPECT_EQ(data[16], 50);
    EXPECT_EQ(data[17], 0);
    EXPECT_EQ(data[18], 0x34);  // 12340
    EXPECT_EQ(data[19], 0x30);

    MemoryForm back;
    ASSERT_TRUE(DecodeMainBlock(back, AnswerFromWrite(BlockId::Main, tx).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.Text("LowExtBatAlarm"), "0.50");
    EXPECT_EQ(back.Text("BatteryLowVolt"), "123.40");
    EXPECT_EQ(back.Text("Heading"), "255");
    EXPECT_EQ(back.ItemIndex("SleepMode"), 2);
}

TEST(MainBlock, BoxesWithoutAnInputRuleCanStopTheWrite) {
    MemoryForm form;
    form.SetText("GSMJammed", "");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeMainBlock(form, tx); }), "'' is not a valid integer value");
    EXPECT_EQ(tx.length, 0);
}

TEST(MainBlock, AMainReadLeavesTheExtensionControlsAlone) {
    MemoryForm form;
    form.SetItemIndex("Car_Type", 7);
    form.SetText("LowSpeed", "33");
    Bytes data(34, 0xFF);
    ASSERT_TRUE(DecodeMainBlock(form, test::ReadAnswer(BlockId::Main, data).View(), test::kLeadIn + 1));
    EXPECT_EQ(form.ItemIndex("Car_Type"), 7);
    EXPECT_EQ(form.Text("LowSpeed"), "33");
    EXPECT_EQ(form.ItemIndex("SleepMode"), -1);  // 255 selects nothing
    EXPECT_EQ(form.Text("GPSLogTM"), "65535");
}

TEST(MainExtBlock, EightBytesWithTheMakeAndLowSpeed) {
    MemoryForm form;
    form.SetItemIndex("Car_Type", 10);
    form.SetText("LowSpeed", "20");
    TxPayload tx;
    EncodeMainExtBlock(form, tx);
    EXPECT_EQ(Bytes(tx.View().begin(), tx.View().end()),
              (Bytes{0x02, 0x01, 0xDE, 0x00, 0x03, 0x00, 0x0A, 0x14}));

    MemoryForm back;
    ASSERT_TRUE(DecodeMainExtBlock(back, AnswerFromWrite(BlockId::MainExt, tx).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.ItemIndex("Car_Type"), 10);
    EXPECT_EQ(back.Text("Car_Type"), "0A00(Mercedes Benz)");
    EXPECT_EQ(back.Text("LowSpeed"), "20");
}

TEST(MainExtBlock, AMakeBeyondTheListSelectsNothing) {
    MemoryForm form;
    form.SetItemIndex("Car_Type", 3);
    ASSERT_TRUE(DecodeMainExtBlock(form, test::ReadAnswer(BlockId::MainExt, Bytes{0, 30, 5}).View(),
                                   test::kLeadIn + 1));
    EXPECT_EQ(form.ItemIndex("Car_Type"), -1);
    EXPECT_EQ(form.Text("LowSpeed"), "5");
}

TEST(InterfaceBlock, StartStateAndHeader) {
    MemoryForm form;
    TxPayload tx;
    EncodeInterfaceBlock(form, tx);
    EXPECT_EQ(tx.length, 5 + 156);
    EXPECT_EQ(Header(tx), (Bytes{0x02, 0x00, 0x22, 0x00, 0x9C}));
    Bytes expected(156, 0);
    for (int offset : {0, 3, 6, 9, 40, 41, 72, 73, 88, 96, 152, 153}) expected[offset] = 255;
    expected[12] = 2;  // In5Mode and In6Mode start at item 2
    expected[15] = 2;
    EXPECT_EQ(Data(tx), expected);
}

TEST(InterfaceBlock, HiddenRowsNamesAndNarrowFields) {
    MemoryForm form;
    ASSERT_FALSE(form.Visible("In5Mode"));
    form.SetItemIndex("In5Mode", 1);
    form.SetText("IN5ActiveTM", "513");
    form.SetItemIndex("In6Mode", 0);
    form.SetText("IN6ActiveTM", "65535");
    form.SetText("Out1Speed", "300");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeInterfaceBlock(form, tx); }), "'300' is out of range for Out1Speed (0 to 255)");
    form.SetText("Out1Speed", "44");
    form.SetText("Tank1Name", "ABCDEFGHIJKLMNOP");
    form.SetText("Tank2Name", "abcdefghijklmnopqrst");
    EXPECT_EQ(ConversionError([&] { EncodeInterfaceBlock(form, tx); }),
              "'abcdefghijklmnopqrst' is too long for Tank2Name (at most 16 characters)");
    form.SetText("Tank2Name", "abcdefghijklmnop");
    EncodeInterfaceBlock(form, tx);
    const Bytes data = Data(tx);
    EXPECT_EQ(Bytes(data.begin() + 12, data.begin() + 18), (Bytes{1, 0x01, 0x02, 0, 0xFF, 0xFF}));
    EXPECT_EQ(data[95], 44);
    EXPECT_EQ(std::string(data.begin() + 24, data.begin() + 40), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(data[40], 255);  // Tank1Type right after the unterminated name
    EXPECT_EQ(std::string(data.begin() + 56, data.begin() + 72), "abcdefghijklmnop");

    MemoryForm back;
    ASSERT_TRUE(DecodeInterfaceBlock(back, AnswerFromWrite(BlockId::Interface, tx).View(), test::kLeadIn + 1));
    EXPECT_EQ(back.Text("Tank1Name"), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(back.Text("Tank2Name"), "abcdefghijklmnop");
    EXPECT_EQ(back.Text("Out1Speed"), "44");
    EXPECT_EQ(back.ItemIndex("In5Mode"), 1);
    EXPECT_EQ(back.Text("IN5ActiveTM"), "513");
    EXPECT_EQ(back.ItemIndex("In1Mode"), -1);
}

TEST(TabBlocks, AShortAnswerIsRefusedWithoutChanges) {
    struct Case {
        BlockId id;
        bool (*decode)(Form&, std::span<const std::uint8_t>, std::size_t);
    };
    for (const Case& c : {Case{BlockId::Gprs, DecodeGprsBlock}, Case{BlockId::Main, DecodeMainBlock},
                          Case{BlockId::MainExt, DecodeMainExtBlock},
                          Case{BlockId::Interface, DecodeInterfaceBlock}}) {
        MemoryForm form;
        const auto before = test::Snapshot(form);
        test::Answer a = test::ReadAnswer(c.id, Bytes(Block(c.id).readLength, 0x31));
        a.bytes.resize(a.index + 4 + Block(c.id).dataUsed - 1);
        EXPECT_FALSE(c.decode(form, a.View(), a.index)) << static_cast<int>(c.id);
        EXPECT_FALSE(c.decode(form, a.View(), a.bytes.size() + 3));
        EXPECT_EQ(test::Changed(before, test::Snapshot(form)), "");
        // One byte more and the block is read, the unused tail need not be there.
        a.bytes.push_back(0x31);
        EXPECT_TRUE(c.decode(form, a.View(), a.index)) << static_cast<int>(c.id);
        EXPECT_NE(test::Changed(before, test::Snapshot(form)), "");
    }
}

}  // namespace
}  // namespace quorvane
