#include "blocks/convert.h"

#include <cstdio>

namespace quorvane {

EConvertError EConvertError::NotAnInteger(std::string_view text) {
    return EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

std::int32_t StrToInt(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) throw EConvertError::NotAnInteger(text);
    // Accumulated in 64 bits and refused as soon as it leaves the 32-bit range.
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') throw EConvertError::NotAnInteger(text);
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) throw EConvertError::NotAnInteger(text);
    }
    if (negative) value = -value;
    if (value > 2147483647LL) throw EConvertError::NotAnInteger(text);
    return static_cast<std::int32_t>(value);
}

std::optional<DecimalText> ReadDecimal(std::string_view text) {
    DecimalText number;
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        number.negative = text[i] == '-';
        ++i;
    }
    bool point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '.' && !point) {
            point = true;
        } else if (c >= '0' && c <= '9') {
            (point ? number.fraction : number.whole).push_back(c);
        } else {
            return std::nullopt;
        }
    }
    if (number.whole.empty() && number.fraction.empty()) return std::nullopt;
    return number;
}

std::optional<std::uint64_t> ScaledMagnitude(const DecimalText& number, int decimals) {
    std::string fraction = number.fraction;
    // Trailing zeros add no precision: "11.400" is 11.40.
    while (fraction.size() > static_cast<std::size_t>(decimals) && fraction.back() == '0') fraction.pop_back();
    if (fraction.size() > static_cast<std::size_t>(decimals)) return std::nullopt;
    fraction.resize(static_cast<std::size_t>(decimals), '0');
    constexpr std::uint64_t kCeiling = 1'000'000'000'000'000ULL;
    std::uint64_t value = 0;
    for (char c : number.whole + fraction) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        if (value >= kCeiling) return kCeiling;
    }
    return value;
}

std::uint8_t ByteFromText(std::string_view text) {
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(StrToInt(text)));
}

std::uint16_t WordFromText(std::string_view text) {
    return static_cast<std::uint16_t>(static_cast<std::uint32_t>(StrToInt(text)));
}

std::uint32_t LongFromText(std::string_view text) {
    return static_cast<std::uint32_t>(StrToInt(text));
}

void AppendWord(TxPayload& tx, std::uint16_t value) {
    tx.Append(static_cast<std::uint8_t>(value));
    tx.Append(static_cast<std::uint8_t>(value >> 8));
}

void AppendLong(TxPayload& tx, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) tx.Append(static_cast<std::uint8_t>(value >> shift));
}

void AppendZeros(TxPayload& tx, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) tx.Append(0);
}

std::uint16_t ReadWord(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t ReadLong(std::span<const std::uint8_t> bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = (value << 8) | bytes[at + k];
    return value;
}

void AppendTextField(TxPayload& tx, std::string_view text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        tx.Append(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

std::string TextFromField(std::span<const std::uint8_t> field) {
    std::string text;
    for (std::uint8_t b : field) {
        if (b == 0) break;
        text.push_back(static_cast<char>(b));
    }
    return text;
}

std::uint8_t IndexByte(int itemIndex) {
    return static_cast<std::uint8_t>(static_cast<unsigned>(itemIndex));
}

std::uint16_t VoltageFromText(std::string_view text) {
    std::string digits;
    bool pointSeen = false;
    int counter = 0;
    for (char c : text) {
        if (c == '.') {
            pointSeen = true;
            counter = 0;
            continue;
        }
        if (counter < 2) digits.push_back(c);
        ++counter;
    }
    auto value = static_cast<std::uint16_t>(static_cast<std::uint32_t>(StrToInt(digits)));
    if (!pointSeen || counter == 0)
        value = static_cast<std::uint16_t>(value * 100U);
    else if (counter == 1)
        value = static_cast<std::uint16_t>(value * 10U);
    return value;
}

std::string VoltageToText(std::uint16_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%02u", value / 100U, value % 100U);
    return text;
}

std::uint16_t TemperatureFromText(std::string_view text) {
    std::string digits;
    bool pointSeen = false;
    bool negative = false;
    int afterPoint = 0;
    for (char c : text) {
        if (c == '-') {
            negative = true;
        } else if (c == '+') {
        } else if (c == '.') {
            pointSeen = true;
            afterPoint = 0;
        } else if (!pointSeen) {
            digits.push_back(c);
        } else if (afterPoint == 0) {
            digits.push_back(c);
            ++afterPoint;
        }
    }
    if (digits.empty()) return kNoTemperature;
    auto value = static_cast<std::uint16_t>(static_cast<std::uint32_t>(StrToInt(digits)));
    if (!pointSeen || afterPoint == 0) value = static_cast<std::uint16_t>(value * 10U);
    if (negative) value ^= 0x8000U;
    return value;
}

std::string TemperatureToText(std::uint16_t value) {
    if (value == kNoTemperature) return {};
    std::string text;
    if (value & 0x8000U) {
        text = "-";
        value &= 0x7FFFU;
    }
    return text + std::to_string(value / 10U) + "." + std::to_string(value % 10U);
}

namespace {

unsigned IdCharValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'Z') return 10U + static_cast<unsigned>(c - 'A');
    if (c >= 'a' && c <= 'z') return 10U + static_cast<unsigned>(c - 'a');
    return 0;
}

}  // namespace

SensorId SensorIdFromText(std::string_view text) {
    SensorId id{};
    if (text.size() != 2 * id.size()) return id;
    for (std::size_t i = 0; i < id.size(); ++i)
        id[i] = static_cast<std::uint8_t>(IdCharValue(text[2 * i]) * 16U + IdCharValue(text[2 * i + 1]));
    return id;
}

std::string SensorIdToText(std::span<const std::uint8_t, 8> id) {
    int zeros = 0;
    for (std::uint8_t b : id) zeros += b == 0;
    if (zeros > 6) return {};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : id) {
        text.push_back(kHex[b >> 4]);
        text.push_back(kHex[b & 0x0F]);
    }
    return text;
}

std::int32_t CoordinateFromText(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::uint32_t value = static_cast<std::uint32_t>(StrToInt(text.substr(0, point))) * 1000000U;
    if (point != std::string_view::npos && point + 1 < text.size()) {
        std::string decimals(text.substr(point + 1, 6));
        decimals.resize(6, '0');
        value += static_cast<std::uint32_t>(StrToInt(decimals));
    }
    if (negative) value = 0U - value;
    return static_cast<std::int32_t>(value);
}

std::string CoordinateToText(std::int32_t value) {
    auto magnitude = static_cast<std::uint32_t>(value);
    std::string text;
    if (value < 0) {
        text = "-";
        magnitude = 0U - magnitude;
    }
    char rest[24];
    std::snprintf(rest, sizeof rest, "%u.%06u", (magnitude / 1000000U) % 256U, magnitude % 1000000U);
    return text + rest;
}

std::int32_t TimeZoneFromText(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint32_t seconds = static_cast<std::uint32_t>(StrToInt(text)) * 60U;
    if (negative) seconds = 0U - seconds;
    return static_cast<std::int32_t>(seconds);
}

std::string TimeZoneToText(std::int32_t seconds) {
    auto magnitude = static_cast<std::uint32_t>(seconds);
    std::string text;
    if (seconds < 0) {
        text = "-";
        magnitude = 0U - magnitude;
    }
    return text + std::to_string(magnitude / 60U);
}

std::uint16_t SwitchWord(const AuthSwitches& s) {
    return static_cast<std::uint16_t>(FlagBits(std::array{s.answer, s.monitor, s.hangup, s.position}));
}

AuthSwitches SwitchesFromWord(std::uint16_t word) {
    return {FlagBit(word, 0), FlagBit(word, 1), FlagBit(word, 2), FlagBit(word, 3)};
}

std::uint8_t GeoAlarmFlags(bool inAlarm, bool outAlarm) {
    return static_cast<std::uint8_t>((inAlarm ? 0x02 : 0) | (outAlarm ? 0x01 : 0));
}

}  // namespace quorvane
