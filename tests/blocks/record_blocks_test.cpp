// Temperature, SMS and GEO-fence blocks: the bytes they send and what they read back.
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

Bytes Slice(const Bytes& data, std::size_t from, std::size_t count) {
    return {data.begin() + static_cast<std::ptrdiff_t>(from),
            data.begin() + static_cast<std::ptrdiff_t>(from + count)};
}

using test::ConversionError;

template <typename Decode>
void DecodeWritten(Decode decode, BlockId id, const TxPayload& tx, Form& into) {
    const test::Answer a = AnswerFromWrite(id, tx);
    ASSERT_TRUE(decode(into, a.View(), a.index));
}

TEST(TemperatureBlock, AllRowsEmpty) {
    MemoryForm form;
    TxPayload tx;
    EncodeTemperatureBlock(form, tx);
    EXPECT_EQ(tx.length, 5 + 256);
    EXPECT_EQ(Bytes(tx.bytes.begin(), tx.bytes.begin() + 5), (Bytes{0x02, 0x00, 0xBE, 0x01, 0x00}));
    Bytes record(32, 0);
    record[24] = record[25] = record[26] = record[27] = 0xFF;
    Bytes expected;
    for (int n = 0; n < 8; ++n) expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(Data(tx), expected);

    MemoryForm back;
    for (int n = 1; n <= 8; ++n)
        for (const char* column : {"_Name", "_ID", "_High", "_Low"})
            back.SetText("Temp" + std::to_string(n) + column, "1");
    DecodeWritten(DecodeTemperatureBlock, BlockId::Temperature, tx, back);
    for (int n = 1; n <= 8; ++n)
        for (const char* column : {"_Name", "_ID", "_High", "_Low"})
            EXPECT_EQ(back.Text("Temp" + std::to_string(n) + column), "") << n << column;
}

TEST(TemperatureBlock, IdentityAndAlarms) {
    MemoryForm form;
    form.SetText("Temp1_ID", "28FF4C1A0B0A1012");
    form.SetText("Temp2_ID", "28ff4c1a0b0a1012");
    form.SetText("Temp3_ID", "28FF4C1A0B0A101");
    form.SetText("Temp1_High", "-0");
    form.SetText("Temp1_Low", "-20");
    form.SetText("Temp8_High", "25.5");
    form.SetText("Temp8_Low", "37.25");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeTemperatureBlock(form, tx); }),
              "'37.25' does not fit Temp8_Low (-3276.6 to 3276.7, at most 1 decimal, empty for no alarm)");
    form.SetText("Temp8_Low", "-3276.7");  // would read back as no alarm
    EXPECT_EQ(ConversionError([&] { EncodeTemperatureBlock(form, tx); }),
              "'-3276.7' is out of range for Temp8_Low (-3276.6 to 3276.7, at most 1 decimal, empty for no alarm)");
    form.SetText("Temp8_Low", "37.20");
    EncodeTemperatureBlock(form, tx);
    const Bytes data = Data(tx);
    EXPECT_EQ(Slice(data, 16, 8), (Bytes{0x28, 0xFF, 0x4C, 0x1A, 0x0B, 0x0A, 0x10, 0x12}));
    EXPECT_EQ(Slice(data, 32 + 16, 8), Slice(data, 16, 8));
    EXPECT_EQ(Slice(data, 64 + 16, 8), Bytes(8, 0));
    EXPECT_EQ(Slice(data, 24, 4), (Bytes{0x00, 0x80, 0xC8, 0x80}));
    EXPECT_EQ(Slice(data, 224 + 24, 4), (Bytes{0xFF, 0x00, 0x74, 0x01}));

    MemoryForm back;
    DecodeWritten(DecodeTemperatureBlock, BlockId::Temperature, tx, back);
    EXPECT_EQ(back.Text("Temp1_ID"), "28FF4C1A0B0A1012");
    EXPECT_EQ(back.Text("Temp2_ID"), "28FF4C1A0B0A1012");
    EXPECT_EQ(back.Text("Temp3_ID"), "");
    EXPECT_EQ(back.Text("Temp1_High"), "-0.0");
    EXPECT_EQ(back.Text("Temp1_Low"), "-20.0");
    EXPECT_EQ(back.Text("Temp8_High"), "25.5");
    EXPECT_EQ(back.Text("Temp8_Low"), "37.2");
    form.SetText("Temp8_Low", "-");  // legacy "no alarm" spelt otherwise than empty
    EXPECT_EQ(ConversionError([&] { EncodeTemperatureBlock(form, tx); }),
              "'-' does not fit Temp8_Low (-3276.6 to 3276.7, at most 1 decimal, empty for no alarm)");
}

TEST(TemperatureBlock, IdentityWithSevenZeroBytesReadsBackEmpty) {
    Bytes data(256, 0);
    const Bytes seven{0, 0, 0, 0, 0, 0, 0, 0x12};
    const Bytes six{0, 0, 0, 0, 0, 0, 0x01, 0x12};
    std::copy(seven.begin(), seven.end(), data.begin() + 16);
    std::copy(six.begin(), six.end(), data.begin() + 32 + 16);
    MemoryForm form;
    form.SetText("Temp1_ID", "X");
    const test::Answer a = test::ReadAnswer(BlockId::Temperature, data);
    ASSERT_TRUE(DecodeTemperatureBlock(form, a.View(), a.index));
    EXPECT_EQ(form.Text("Temp1_ID"), "");
    EXPECT_EQ(form.Text("Temp2_ID"), "0000000000000112");
}

TEST(TemperatureBlock, ABadAlarmNamesItsDigitString) {
    MemoryForm form;
    form.SetText("Temp5_Low", "-1x.5");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeTemperatureBlock(form, tx); }), "'1x5' is not a valid integer value");
    EXPECT_EQ(tx.length, 0);
}

TEST(SmsBlock, TextsSwitchesAndTimeZone) {
    MemoryForm form;
    form.SetText("SIMPIN", "123");
    form.SetText("Password", "62945");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeSmsBlock(form, tx); }), "'62945' is too long for Password (at most 4 characters)");
    form.SetText("Password", "6294");
    form.SetText("SMSTimeZone", "35791395");
    EXPECT_EQ(ConversionError([&] { EncodeSmsBlock(form, tx); }),
              "'35791395' is out of range for SMSTimeZone (-35791394 to 35791394 minutes)");
    form.SetText("SMSTimeZone", "480");
    form.SetText("Auth2", "1234567890123456");
    form.SetChecked("Auth2Hangup", true);
    form.SetChecked("Auth2Position", true);
    EncodeSmsBlock(form, tx);
    EXPECT_EQ(tx.length, 5 + 116);
    EXPECT_EQ(Bytes(tx.bytes.begin(), tx.bytes.begin() + 5), (Bytes{0x03, 0x00, 0x00, 0x00, 0x74}));
    const Bytes data = Data(tx);
    EXPECT_EQ(Slice(data, 0, 8), (Bytes{'1', '2', '3', 0, '6', '2', '9', '4'}));
    EXPECT_EQ(Slice(data, 8, 4), (Bytes{0x80, 0x70, 0x00, 0x00}));
    EXPECT_EQ(std::string(data.begin() + 52, data.begin() + 68), "1234567890123456");
    EXPECT_EQ(Slice(data, 68, 2), (Bytes{0x0C, 0x00}));
    EXPECT_EQ(Slice(data, 36, 2), (Bytes{0x00, 0x00}));

    MemoryForm back;
    back.SetChecked("Auth2Answer", true);
    DecodeWritten(DecodeSmsBlock, BlockId::Sms, tx, back);
    EXPECT_EQ(back.Text("SIMPIN"), "123");
    EXPECT_EQ(back.Text("Password"), "6294");
    EXPECT_EQ(back.Text("SMSTimeZone"), "480");
    EXPECT_EQ(back.Text("Auth2"), "1234567890123456");
    EXPECT_FALSE(back.Checked("Auth2Answer"));
    EXPECT_FALSE(back.Checked("Auth2Monitor"));
    EXPECT_TRUE(back.Checked("Auth2Hangup"));
    EXPECT_TRUE(back.Checked("Auth2Position"));
}

TEST(SmsBlock, TimeZoneSigns) {
    MemoryForm form;
    TxPayload tx;
    EncodeSmsBlock(form, tx);
    EXPECT_EQ(Slice(Data(tx), 8, 4), Bytes(4, 0));
    form.SetText("SMSTimeZone", "-300");
    EncodeSmsBlock(form, tx);
    EXPECT_EQ(Slice(Data(tx), 8, 4), (Bytes{0xB0, 0xB9, 0xFF, 0xFF}));
    MemoryForm back;
    DecodeWritten(DecodeSmsBlock, BlockId::Sms, tx, back);
    EXPECT_EQ(back.Text("SMSTimeZone"), "-300");
    form.SetText("SMSTimeZone", "+60");
    EncodeSmsBlock(form, tx);
    DecodeWritten(DecodeSmsBlock, BlockId::Sms, tx, back);
    EXPECT_EQ(back.Text("SMSTimeZone"), "60");
}

TEST(SmsBlock, AnEmptyTimeZoneIsRefusedBeforeSending) {
    MemoryForm form;
    form.SetText("SMSTimeZone", "");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeSmsBlock(form, tx); }), "'' is not a valid integer value");
    EXPECT_EQ(tx.length, 0);
}

TEST(GeoFenceBlock, TheDepotFence) {
    MemoryForm form;
    form.SetText("No1Name", "Depot");
    form.SetChecked("No1In", true);
    form.SetText("No1Radius", "500");
    form.SetText("No1Lat", "22.5");
    form.SetText("No1Long", "-113.25");
    TxPayload tx;
    EncodeGeoFenceBlock(form, tx);
    EXPECT_EQ(tx.length, 5 + 256);
    EXPECT_EQ(Bytes(tx.bytes.begin(), tx.bytes.begin() + 5), (Bytes{0x04, 0x00, 0x00, 0x01, 0x00}));
    const Bytes data = Data(tx);
    Bytes depot{'D', 'e', 'p', 'o', 't', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                0x02, 0xF4, 0x01, 0x00, 0x00, 0xA0, 0x52, 0x57, 0x01, 0x30, 0xF1, 0x3F, 0xF9, 0, 0, 0};
    EXPECT_EQ(Slice(data, 0, 32), depot);
    // The other fences at their start values: radius 0 and 0.000000.
    EXPECT_EQ(Slice(data, 32, 224), Bytes(224, 0));

    MemoryForm back;
    back.SetChecked("No1Out", true);
    DecodeWritten(DecodeGeoFenceBlock, BlockId::GeoFence, tx, back);
    EXPECT_EQ(back.Text("No1Name"), "Depot");
    EXPECT_TRUE(back.Checked("No1In"));
    EXPECT_FALSE(back.Checked("No1Out"));
    EXPECT_EQ(back.Text("No1Radius"), "500");
    EXPECT_EQ(back.Text("No1Lat"), "22.500000");
    EXPECT_EQ(back.Text("No1Long"), "-113.250000");
}

TEST(GeoFenceBlock, FlagsRadiusAndDecimals) {
    MemoryForm form;
    form.SetChecked("No8In", true);
    form.SetChecked("No8Out", true);
    form.SetChecked("No7Out", true);
    form.SetText("No3Radius", "-1");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeGeoFenceBlock(form, tx); }),
              "'-1' is out of range for No3Radius (0 to 4294967295)");
    form.SetText("No3Radius", "4294967295");
    form.SetText("No2Lat", "22.1234567");
    EXPECT_EQ(ConversionError([&] { EncodeGeoFenceBlock(form, tx); }),
              "'22.1234567' does not fit No2Lat (-255.999999 to 255.999999, at most 6 decimals)");
    form.SetText("No2Lat", "256");  // whole degrees read back modulo 256
    EXPECT_EQ(ConversionError([&] { EncodeGeoFenceBlock(form, tx); }),
              "'256' is out of range for No2Lat (-255.999999 to 255.999999, at most 6 decimals)");
    form.SetText("No2Lat", "22.54");
    EncodeGeoFenceBlock(form, tx);
    const Bytes data = Data(tx);
    EXPECT_EQ(data[224 + 16], 0x03);
    EXPECT_EQ(data[192 + 16], 0x01);
    EXPECT_EQ(data[16], 0x00);
    MemoryForm back;
    DecodeWritten(DecodeGeoFenceBlock, BlockId::GeoFence, tx, back);
    EXPECT_EQ(back.Text("No3Radius"), "4294967295");
    EXPECT_EQ(back.Text("No2Lat"), "22.540000");
    EXPECT_TRUE(back.Checked("No8In"));
    EXPECT_FALSE(back.Checked("No7In"));
}

TEST(GeoFenceBlock, AnEmptyCoordinateIsRefusedBeforeSending) {
    for (const char* box : {"No2Lat", "No8Long"}) {
        MemoryForm form;
        form.SetText(box, "");
        TxPayload tx;
        EXPECT_EQ(ConversionError([&] { EncodeGeoFenceBlock(form, tx); }), "'' is not a valid integer value");
        EXPECT_EQ(tx.length, 0);
    }
    MemoryForm form;
    form.SetText("No4Long", "1.2.3");
    TxPayload tx;
    EXPECT_EQ(ConversionError([&] { EncodeGeoFenceBlock(form, tx); }), "'2.3000' is not a valid integer value");
}

TEST(RecordBlocks, AShortAnswerIsRefusedWithoutChanges) {
    struct Case {
        BlockId id;
        bool (*decode)(Form&, std::span<const std::uint8_t>, std::size_t);
    };
    for (const Case& c : {Case{BlockId::Temperature, DecodeTemperatureBlock}, Case{BlockId::Sms, DecodeSmsBlock},
                          Case{BlockId::GeoFence, DecodeGeoFenceBlock}}) {
        MemoryForm form;
        const auto before = test::Snapshot(form);
        test::Answer a = test::ReadAnswer(c.id, Bytes(Block(c.id).readLength, 0x31));
        a.bytes.resize(a.index + 4 + Block(c.id).dataUsed - 1);
        EXPECT_FALSE(c.decode(form, a.View(), a.index)) << static_cast<int>(c.id);
        a.bytes.resize(3);
        EXPECT_FALSE(c.decode(form, a.View(), a.index));
        EXPECT_EQ(test::Changed(before, test::Snapshot(form)), "");
    }
}

}  // namespace
}  // namespace quorvane
