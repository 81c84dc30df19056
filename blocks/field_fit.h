// What each field of a block can hold. A value is written only when reading it back
// would show the same value: a number within its field's range and decimals, a text
// whose bytes fit its width, a combo box index among its items. The ranges follow
// from the field kinds of the block layouts, so nothing here repeats a layout.
//
// Each check throws EDoesNotFit naming the value, the control and what fits. A text
// that is no number at all keeps the described conversion error (EConvertError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "seams/form.h"
#include "blocks/block_layout.h"

namespace quorvane {

// What fits a field, as the error messages say it: "0 to 65535".
std::string WhatFits(const FieldDef& field);

// The value a text stores in its field; throws when the field would keep another.
std::uint32_t UnsignedThatFits(const FieldDef& field, std::string_view text);
std::uint16_t VoltageThatFits(const FieldDef& field, std::string_view text);
std::uint16_t TemperatureThatFits(const FieldDef& field, std::string_view text);
std::int32_t CoordinateThatFits(const FieldDef& field, std::string_view text);
std::int32_t TimeZoneThatFits(const FieldDef& field, std::string_view text);
void CheckTextFits(std::string_view control, std::string_view text, std::size_t width);
void CheckIndexFits(std::string_view control, int index, std::size_t itemCount);

// Checks the fields that carry `control`'s value, and nothing else of their blocks.
// Throws EDoesNotFit only: a text that does not convert is left to the write, which
// reports it as it always has. A control that no block carries passes.
void CheckControlFits(const Form& form, std::string_view control);

}  // namespace quorvane
