#include "blocks/convert.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace quorvane {
namespace {

std::string ErrorOf(auto&& convert) {
    try {
        convert();
    } catch (const EConvertError& e) {
        return e.what();
    }
    return "no error";
}

TEST(StrToInt, AcceptsSignedDecimalsWithin32Bits) {
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("+17"), 17);
    EXPECT_EQ(StrToInt("-17"), -17);
    EXPECT_EQ(StrToInt("007"), 7);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), -2147483647 - 1);
}

TEST(StrToInt, RefusesEverythingElseNamingTheText) {
    for (std::string text : {"", "+", "-", " 1", "1 ", "1a", "0x10", "$10", "1.5", "--1", "2147483648",
                             "-2147483649", "99999999999999999999"}) {
        EXPECT_EQ(ErrorOf([&] { StrToInt(text); }), "'" + text + "' is not a valid integer value") << text;
    }
}

TEST(PlainNumbers, KeepTheLowBits) {
    EXPECT_EQ(WordFromText("65536"), 0);
    EXPECT_EQ(WordFromText("300"), 300);
    EXPECT_EQ(WordFromText("-1"), 0xFFFF);
    EXPECT_EQ(ByteFromText("300"), 44);
    EXPECT_EQ(LongFromText("-1"), 0xFFFFFFFFU);
}

TEST(LittleEndian, WordsAndLongsLeastSignificantByteFirst) {
    TxPayload tx;
    AppendWord(tx, 0x012C);
    AppendLong(tx, 22500000);
    const auto v = tx.View();
    ASSERT_EQ(v.size(), 6U);
    EXPECT_EQ(v[0], 0x2C);
    EXPECT_EQ(v[1], 0x01);
    EXPECT_EQ(ReadWord(v, 0), 0x012C);
    EXPECT_EQ(ReadLong(v, 2), 22500000U);
    EXPECT_EQ(v[2], 0xA0);
    EXPECT_EQ(v[3], 0x52);
    EXPECT_EQ(v[4], 0x57);
    EXPECT_EQ(v[5], 0x01);
}

TEST(TextField, CutPaddedAndUnterminatedAtFullWidth) {
    TxPayload tx;
    AppendTextField(tx, "abc", 5);
    AppendTextField(tx, "abcdefg", 4);
    const std::array<std::uint8_t, 9> expected{'a', 'b', 'c', 0, 0, 'a', 'b', 'c', 'd'};
    ASSERT_EQ(tx.length, expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), tx.bytes.begin()));

    const std::array<std::uint8_t, 4> full{0xFF, 'x', 0x80, 'y'};
    EXPECT_EQ(TextFromField(full), std::string("\xFFx\x80y"));
    const std::array<std::uint8_t, 4> stopped{'a', 0, 'b', 0};
    EXPECT_EQ(TextFromField(stopped), "a");
    EXPECT_EQ(TextFromField(std::array<std::uint8_t, 3>{}), "");
}

TEST(IndexAndFlags, NoSelectionIs255) {
    EXPECT_EQ(IndexByte(-1), 255);
    EXPECT_EQ(IndexByte(0), 0);
    EXPECT_EQ(IndexByte(29), 29);
    EXPECT_EQ(FlagBits(std::array{true, false, true}), 0x05U);
    EXPECT_TRUE(FlagBit(0x04, 2));
    EXPECT_FALSE(FlagBit(0x04, 1));
}

TEST(Voltage, WorkedExamples) {
    EXPECT_EQ(VoltageFromText("11.4"), 1140);
    EXPECT_EQ(VoltageFromText("12"), 1200);
    EXPECT_EQ(VoltageFromText("12."), 1200);
    EXPECT_EQ(VoltageFromText("11.45"), 1145);
    EXPECT_EQ(VoltageFromText("11.456"), 1145);
    EXPECT_EQ(VoltageFromText("123.4"), 1240);
    EXPECT_EQ(VoltageFromText(".5"), 50);
    EXPECT_EQ(VoltageFromText("5.05"), 505);
    EXPECT_EQ(VoltageFromText("3.60"), 360);
    // Only two digits count before the point, and the scaling is done in 16 bits.
    EXPECT_EQ(VoltageFromText("700"), 7000);
    EXPECT_EQ(VoltageFromText("-1"), static_cast<std::uint16_t>(-100));

    EXPECT_EQ(VoltageToText(1140), "11.40");
    EXPECT_EQ(VoltageToText(360), "3.60");
    EXPECT_EQ(VoltageToText(1105), "11.05");
    EXPECT_EQ(VoltageToText(0), "0.00");
    EXPECT_EQ(VoltageToText(50), "0.50");
    EXPECT_EQ(VoltageToText(65535), "655.35");
}

TEST(Voltage, RefusesTheDigitString) {
    EXPECT_EQ(ErrorOf([] { VoltageFromText(""); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { VoltageFromText("1x.5"); }), "'1x5' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { VoltageFromText("."); }), "'' is not a valid integer value");
}

TEST(Temperature, WorkedExamples) {
    EXPECT_EQ(TemperatureFromText("25.5"), 255);
    EXPECT_EQ(TemperatureFromText("-20"), 0x80C8);
    EXPECT_EQ(TemperatureFromText("37.25"), 372);
    EXPECT_EQ(TemperatureFromText("+5."), 50);
    EXPECT_EQ(TemperatureFromText("-0"), 0x8000);
    EXPECT_EQ(TemperatureFromText(""), kNoTemperature);
    EXPECT_EQ(TemperatureFromText("-+."), kNoTemperature);
    // 16-bit arithmetic, and the sign inverts bit 15 rather than setting it.
    EXPECT_EQ(TemperatureFromText("7000"), 70000 & 0xFFFF);
    EXPECT_EQ(TemperatureFromText("-3276.8"), 0x0000);

    EXPECT_EQ(TemperatureToText(255), "25.5");
    EXPECT_EQ(TemperatureToText(0x80C8), "-20.0");
    EXPECT_EQ(TemperatureToText(0), "0.0");
    EXPECT_EQ(TemperatureToText(0x8000), "-0.0");
    EXPECT_EQ(TemperatureToText(kNoTemperature), "");
}

TEST(Temperature, RefusesTheDigitString) {
    EXPECT_EQ(ErrorOf([] { TemperatureFromText("-2a.5"); }), "'2a5' is not a valid integer value");
}

TEST(SensorIdentity, HexPairsAndLettersBeyondF) {
    const SensorId id = SensorIdFromText("28FF4C1A0B0A1012");
    EXPECT_EQ(id, (SensorId{0x28, 0xFF, 0x4C, 0x1A, 0x0B, 0x0A, 0x10, 0x12}));
    EXPECT_EQ(SensorIdToText(id), "28FF4C1A0B0A1012");
    EXPECT_EQ(SensorIdToText(SensorIdFromText("28ff4c1a0b0a1012")), "28FF4C1A0B0A1012");
    // G is 16: 16 * 16 + 16 = 272, kept modulo 256; Z is 35.
    EXPECT_EQ(SensorIdFromText("GG0Z000000000000")[0], 272 % 256);
    EXPECT_EQ(SensorIdFromText("GG0Z000000000000")[1], 35);
    EXPECT_EQ(SensorIdFromText("..10000000000000")[0], 0);
    EXPECT_EQ(SensorIdFromText("28FF4C1A0B0A101"), SensorId{});
    EXPECT_EQ(SensorIdFromText("28FF4C1A0B0A10123"), SensorId{});
    EXPECT_EQ(SensorIdFromText(""), SensorId{});
}

TEST(SensorIdentity, MoreThanSixZeroBytesShowEmpty) {
    EXPECT_EQ(SensorIdToText(SensorId{0, 0, 0, 0, 0, 0, 0, 0x12}), "");
    EXPECT_EQ(SensorIdToText(SensorId{}), "");
    EXPECT_EQ(SensorIdToText(SensorId{0, 0, 0, 0, 0, 0, 0x01, 0x12}), "0000000000000112");
}

TEST(Coordinate, WorkedExamples) {
    EXPECT_EQ(CoordinateFromText("22.5"), 22500000);
    EXPECT_EQ(CoordinateFromText("-0.000001"), -1);
    EXPECT_EQ(CoordinateFromText("113.1234567"), 113123456);
    EXPECT_EQ(CoordinateFromText("12"), 12000000);
    EXPECT_EQ(CoordinateFromText("12."), 12000000);
    EXPECT_EQ(CoordinateFromText("+22.543210"), 22543210);
    EXPECT_EQ(CoordinateFromText("-113.25"), -113250000);
    // The whole degrees are scaled in 32 bits.
    EXPECT_EQ(CoordinateFromText("5000"), static_cast<std::int32_t>(5000U * 1000000U));

    EXPECT_EQ(CoordinateToText(22543210), "22.543210");
    EXPECT_EQ(CoordinateToText(-1), "-0.000001");
    EXPECT_EQ(CoordinateToText(22540000), "22.540000");
    EXPECT_EQ(CoordinateToText(0), "0.000000");
    // Whole degrees are shown modulo 256.
    EXPECT_EQ(CoordinateToText(300000001), "44.000001");
    EXPECT_EQ(CoordinateToText(-2147483647 - 1), "-99.483648");
}

TEST(Coordinate, RefusesTheOffendingPart) {
    EXPECT_EQ(ErrorOf([] { CoordinateFromText(""); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { CoordinateFromText("-"); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { CoordinateFromText(".5"); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { CoordinateFromText("1.2.3"); }), "'2.3000' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { CoordinateFromText("1x.5"); }), "'1x' is not a valid integer value");
}

TEST(TimeZone, MinutesToSecondsWithTheLeadingSign) {
    EXPECT_EQ(TimeZoneFromText("480"), 28800);
    EXPECT_EQ(TimeZoneFromText("+480"), 28800);
    EXPECT_EQ(TimeZoneFromText("-300"), -18000);
    EXPECT_EQ(TimeZoneFromText("0"), 0);

    EXPECT_EQ(TimeZoneToText(28800), "480");
    EXPECT_EQ(TimeZoneToText(-18000), "-300");
    EXPECT_EQ(TimeZoneToText(0), "0");
    // Not a whole number of minutes: truncated towards zero.
    EXPECT_EQ(TimeZoneToText(-119), "-1");
    EXPECT_EQ(TimeZoneToText(-2147483647 - 1), "-35791394");
}

TEST(TimeZone, AnEmptyTextIsRefused) {
    EXPECT_EQ(ErrorOf([] { TimeZoneFromText(""); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { TimeZoneFromText("-"); }), "'' is not a valid integer value");
    EXPECT_EQ(ErrorOf([] { TimeZoneFromText("-1-"); }), "'1-' is not a valid integer value");
}

TEST(SwitchesAndGeoFlags, OneBitPerBox) {
    EXPECT_EQ(SwitchWord({false, false, true, true}), 0x0C);
    EXPECT_EQ(SwitchWord({true, true, true, true}), 0x0F);
    const AuthSwitches s = SwitchesFromWord(0xFFF2);
    EXPECT_FALSE(s.answer);
    EXPECT_TRUE(s.monitor);
    EXPECT_FALSE(s.hangup);
    EXPECT_FALSE(s.position);

    EXPECT_EQ(GeoAlarmFlags(true, true), 0x03);
    EXPECT_EQ(GeoAlarmFlags(true, false), 0x02);
    EXPECT_EQ(GeoAlarmFlags(false, false), 0x00);
    EXPECT_TRUE(GeoInAlarm(0xFE));
    EXPECT_FALSE(GeoOutAlarm(0xFE));
}

}  // namespace
}  // namespace quorvane
