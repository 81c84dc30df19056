// Value conversions between the window's texts and the bytes of parameter blocks.
// Integers inside blocks are least significant byte first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "blocks/payload.h"

namespace quorvane {

// A text that does not convert to a number. Raised before anything is sent.
// what() is the conversion's own message; Control() names the box the text came
// from, once a reader of the window has added it (empty until then).
class EConvertError : public std::runtime_error {
public:
    explicit EConvertError(const std::string& message) : std::runtime_error(message) {}
    // "'<text>' is not a valid integer value"
    static EConvertError NotAnInteger(std::string_view text);

    const std::string& Control() const { return control_; }
    // The first box named wins: an inner reader knows best.
    void NameControl(std::string_view control) {
        if (control_.empty()) control_ = control;
    }

private:
    std::string control_;
};

// A value that converts but that its field cannot hold as it is: the tracker would
// keep another value (wrapped, cut or rounded). Stops the encoding like a conversion
// error; what() names the value, the control and what fits.
class EDoesNotFit : public EConvertError {
public:
    using EConvertError::EConvertError;
};

// Runs `convert` and names `control` in any EConvertError it raises.
template <typename Convert>
auto ConvertBox(std::string_view control, Convert&& convert) -> decltype(convert()) {
    try {
        return convert();
    } catch (EConvertError& e) {
        e.NameControl(control);
        throw;
    }
}

// A decimal number with an optional "+" or "-", no blanks, within 32 bits signed.
// Anything else, an empty text included, throws EConvertError::NotAnInteger(text).
std::int32_t StrToInt(std::string_view text);

// A number as people write it: an optional sign, digits, an optional point and
// digits, at least one digit in all. Nothing else (no blanks, no second point).
struct DecimalText {
    bool negative = false;
    std::string whole;     // digits before the point
    std::string fraction;  // digits after it
};
std::optional<DecimalText> ReadDecimal(std::string_view text);
// The magnitude in units of 10^-decimals, or nullopt when the text has more decimals
// than that. Saturates far above any field's range.
std::optional<std::uint64_t> ScaledMagnitude(const DecimalText& number, int decimals);

// Plain numbers: the low 8, 16 or all 32 bits of StrToInt(text).
std::uint8_t ByteFromText(std::string_view text);
std::uint16_t WordFromText(std::string_view text);
std::uint32_t LongFromText(std::string_view text);

void AppendWord(TxPayload& tx, std::uint16_t value);
void AppendLong(TxPayload& tx, std::uint32_t value);
void AppendZeros(TxPayload& tx, std::size_t count);
// `at` must leave room for the value inside `bytes`.
std::uint16_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t ReadLong(std::span<const std::uint8_t> bytes, std::size_t at);

// Text field of width N: at most N characters, zero padded; no terminator at full width.
void AppendTextField(TxPayload& tx, std::string_view text, std::size_t width);
// The bytes up to the first zero byte, or all of `field`.
std::string TextFromField(std::span<const std::uint8_t> field);

// A combo box's selected index as one byte; no selection (-1) gives 255.
std::uint8_t IndexByte(int itemIndex);

// Bit n - 1 set for each ticked box n (boxes[0] is box 1).
template <std::size_t N>
constexpr std::uint32_t FlagBits(const std::array<bool, N>& boxes) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < N; ++i)
        if (boxes[i]) bits |= 1U << i;
    return bits;
}
constexpr bool FlagBit(std::uint32_t bits, int bit) { return (bits >> bit) & 1U; }

// Voltage word in hundredths of a volt: "11.4" -> 1140, "123.4" -> 1240, "11.456" -> 1145.
std::uint16_t VoltageFromText(std::string_view text);
// 1140 -> "11.40", 0 -> "0.00".
std::string VoltageToText(std::uint16_t value);

// Temperature in tenths of a degree, sign and magnitude (bit 15 = below zero);
// kNoTemperature for an empty box.
inline constexpr std::uint16_t kNoTemperature = 0xFFFF;
std::uint16_t TemperatureFromText(std::string_view text);
std::string TemperatureToText(std::uint16_t value);

// Sensor identity: 16 characters, two per byte; any other length gives 8 zero bytes.
using SensorId = std::array<std::uint8_t, 8>;
SensorId SensorIdFromText(std::string_view text);
// 16 upper-case hexadecimal digits, or empty when more than 6 bytes are zero.
std::string SensorIdToText(std::span<const std::uint8_t, 8> id);

// Coordinate in millionths of a degree: "22.5" -> 22500000, "-0.000001" -> -1.
std::int32_t CoordinateFromText(std::string_view text);
// Always 6 decimals; the whole degrees are shown modulo 256.
std::string CoordinateToText(std::int32_t value);

// Time zone: the box in minutes, the block in seconds.
std::int32_t TimeZoneFromText(std::string_view text);
std::string TimeZoneToText(std::int32_t seconds);

// Switch word of an authorised number.
struct AuthSwitches {
    bool answer = false;
    bool monitor = false;
    bool hangup = false;
    bool position = false;
};
std::uint16_t SwitchWord(const AuthSwitches& switches);
AuthSwitches SwitchesFromWord(std::uint16_t word);

// Alarm flags of a geo-fence: bit 1 on entering ("In Alarm"), bit 0 on leaving.
std::uint8_t GeoAlarmFlags(bool inAlarm, bool outAlarm);
constexpr bool GeoInAlarm(std::uint8_t flags) { return flags & 0x02; }
constexpr bool GeoOutAlarm(std::uint8_t flags) { return flags & 0x01; }

}  // namespace quorvane
