#include "blocks/field_fit.h"

#include <optional>
#include <utility>

#include "blocks/blocks.h"
#include "blocks/convert.h"
#include "blocks/event_catalogue.h"

namespace quorvane {

namespace {

constexpr std::uint16_t kLargestTemperature = 0x7FFF;
// Below zero one short of the magnitude's top: 0xFFFF is "no alarm".
constexpr std::uint16_t kLargestColdTemperature = 0x7FFE;
constexpr std::uint64_t kLargestCoordinate = 255'999'999;  // degrees are shown modulo 256
constexpr std::uint64_t kLargestTimeZone = 35'791'394;      // minutes whose seconds fit 32 bits

// The value as a message shows it; a zero byte would end the line early.
std::string Shown(std::string_view text) {
    std::string shown;
    for (char c : text) {
        if (c == '\0')
            shown += "\\x00";
        else
            shown.push_back(c);
    }
    return shown;
}

[[noreturn]] void OutOfRange(std::string_view control, std::string_view text, const std::string& fits) {
    throw EDoesNotFit("'" + Shown(text) + "' is out of range for " + std::string(control) + " (" + fits + ")");
}

[[noreturn]] void DoesNotFit(std::string_view control, std::string_view text, const std::string& fits) {
    throw EDoesNotFit("'" + Shown(text) + "' does not fit " + std::string(control) + " (" + fits + ")");
}

std::uint64_t MaxOf(const FieldDef& field) {
    switch (field.kind) {
    case FieldKind::Byte: return 0xFFU;
    case FieldKind::Word: return 0xFFFFU;
    default: return 0xFFFF'FFFFU;
    }
}

// A clean number of the field's decimals: its sign and scaled magnitude. A text that
// is not clean runs `described` first, so it fails with the described conversion error
// where it always did, and otherwise does not fit.
template <typename Described>
std::pair<bool, std::uint64_t> CleanNumber(const FieldDef& field, std::string_view text, int decimals,
                                           Described described) {
    const std::optional<DecimalText> number = ReadDecimal(text);
    const bool pointAllowed = decimals > 0;
    if (!number || (!pointAllowed && text.find('.') != std::string_view::npos)) {
        described();
        DoesNotFit(field.control, text, WhatFits(field));
    }
    const std::optional<std::uint64_t> magnitude = ScaledMagnitude(*number, decimals);
    if (!magnitude) DoesNotFit(field.control, text, WhatFits(field));
    return {number->negative && *magnitude != 0, *magnitude};
}

}  // namespace

std::string WhatFits(const FieldDef& field) {
    switch (field.kind) {
    case FieldKind::Byte:
    case FieldKind::Word:
    case FieldKind::Long:
        return "0 to " + std::to_string(MaxOf(field));
    case FieldKind::Voltage:
        return "0.00 to 655.35, at most 2 decimals";
    case FieldKind::Temperature:
        return "-3276.6 to 3276.7, at most 1 decimal, empty for no alarm";
    case FieldKind::Coordinate:
        return "-255.999999 to 255.999999, at most 6 decimals";
    case FieldKind::TimeZone:
        return "-35791394 to 35791394 minutes";
    case FieldKind::Text:
        return "at most " + std::to_string(field.width) + " characters";
    default:
        return {};
    }
}

std::uint32_t UnsignedThatFits(const FieldDef& field, std::string_view text) {
    const auto [negative, magnitude] = CleanNumber(field, text, 0, [&] { throw EConvertError::NotAnInteger(text); });
    if (negative || magnitude > MaxOf(field)) OutOfRange(field.control, text, WhatFits(field));
    return static_cast<std::uint32_t>(magnitude);
}

std::uint16_t VoltageThatFits(const FieldDef& field, std::string_view text) {
    const auto [negative, magnitude] = CleanNumber(field, text, 2, [&] { (void)VoltageFromText(text); });
    if (negative || magnitude > 0xFFFFU) OutOfRange(field.control, text, WhatFits(field));
    return static_cast<std::uint16_t>(magnitude);
}

std::uint16_t TemperatureThatFits(const FieldDef& field, std::string_view text) {
    if (text.empty()) return kNoTemperature;
    const auto [negative, magnitude] = CleanNumber(field, text, 1, [&] { (void)TemperatureFromText(text); });
    if (magnitude > (negative ? kLargestColdTemperature : kLargestTemperature))
        OutOfRange(field.control, text, WhatFits(field));
    // "-0" keeps its sign: it reads back as -0.0.
    const bool signBit = text.front() == '-';
    return static_cast<std::uint16_t>(magnitude | (signBit ? 0x8000U : 0U));
}

std::int32_t CoordinateThatFits(const FieldDef& field, std::string_view text) {
    const auto [negative, magnitude] = CleanNumber(field, text, 6, [&] { (void)CoordinateFromText(text); });
    if (magnitude > kLargestCoordinate) OutOfRange(field.control, text, WhatFits(field));
    const auto value = static_cast<std::int32_t>(magnitude);
    return negative ? -value : value;
}

std::int32_t TimeZoneThatFits(const FieldDef& field, std::string_view text) {
    const auto [negative, minutes] = CleanNumber(field, text, 0, [&] { (void)TimeZoneFromText(text); });
    if (minutes > kLargestTimeZone) OutOfRange(field.control, text, WhatFits(field));
    const auto seconds = static_cast<std::int32_t>(minutes * 60U);
    return negative ? -seconds : seconds;
}

void CheckTextFits(std::string_view control, std::string_view text, std::size_t width) {
    if (text.size() > width) {
        throw EDoesNotFit("'" + Shown(text) + "' is too long for " + std::string(control) + " (at most " +
                          std::to_string(width) + " characters)");
    }
    // The tracker's text ends at its first zero byte.
    if (text.find('\0') != std::string_view::npos)
        DoesNotFit(control, text, "at most " + std::to_string(width) + " characters, no zero byte");
}

void CheckIndexFits(std::string_view control, int index, std::size_t itemCount) {
    if (index >= -1 && index < static_cast<int>(itemCount)) return;
    OutOfRange(control, std::to_string(index), "-1 to " + std::to_string(static_cast<int>(itemCount) - 1));
}

void CheckControlFits(const Form& form, std::string_view control) {
    for (const EventDef& event : EventCatalogue()) {
        if (event.nameEdit != control) continue;
        ConvertBox(control, [&] { CheckTextFits(control, form.Text(control), kEventNameWidth); });
        return;
    }
    for (const BlockLayout* layout : {&GprsBlockLayout(), &MainBlockLayout(), &MainExtBlockLayout(),
                                      &InterfaceBlockLayout(), &TemperatureBlockLayout(), &SmsBlockLayout(),
                                      &GeoFenceBlockLayout()}) {
        for (const FieldDef& field : *layout) {
            if (field.control != control) continue;
            TxPayload scratch;
            try {
                ConvertBox(control, [&] { EncodeField(form, field, scratch); });
            } catch (const EDoesNotFit&) {
                throw;
            } catch (const EConvertError&) {  // reported by the write, as described
            }
        }
    }
}

}  // namespace quorvane
