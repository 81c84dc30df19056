// A parameter block described as data: one entry per field with its area offset,
// width, encoding and control. One encoder and one decoder walk such a table, so a
// block's two directions cannot disagree about its layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "seams/form.h"
#include "blocks/memory_map.h"
#include "blocks/payload.h"

namespace quorvane {

enum class FieldKind {
    Text,          // text field of `width` characters
    ReadOnlyText,  // as Text, decoded only (the device identity)
    Word,          // 16 bits, decoded unsigned
    Byte,          // 8 bits, decoded unsigned
    Long,          // 32 bits, decoded unsigned
    Index,         // combo box index, 255 for none
    Voltage,       // voltage word, hundredths of a volt
    Temperature,   // tenths of a degree, sign and magnitude
    SensorId,      // 8 bytes shown as 16 hexadecimal digits
    Coordinate,    // millionths of a degree, signed
    TimeZone,      // box in minutes, field in seconds, signed
    Switches,      // switch word of the boxes control + "Answer", "Monitor", "Hangup", "Position"
    GeoAlarm,      // alarm flags of the boxes control + "In" and control + "Out"
    Zero,          // written as zeros, ignored when read
};

struct FieldDef {
    std::uint16_t offset;  // area offset
    std::uint16_t width;
    FieldKind kind;
    std::string control;  // empty for Zero
};

using BlockLayout = std::vector<FieldDef>;

// The controls a field reads and writes: one, four for Switches, two for GeoAlarm,
// none for Zero.
std::vector<std::string> FieldControls(const FieldDef& field);

// One field: appends its bytes from the window to `tx` (EConvertError for a text that
// does not convert, EDoesNotFit for a value the field cannot hold), or sets its
// controls from the field's bytes.
void EncodeField(const Form& form, const FieldDef& field, TxPayload& tx);
void DecodeField(Form& form, const FieldDef& field, std::span<const std::uint8_t> bytes);

// Builds the block's whole write request from the window. On a conversion error
// `tx` is left empty and EConvertError propagates.
void EncodeLayout(const Form& form, BlockId id, const BlockLayout& layout, TxPayload& tx);

// Sets the window from a read answer (`index`: the answer's area-offset field).
// False, and nothing changed, when the answer is too short for the block.
bool DecodeLayout(Form& form, BlockId id, const BlockLayout& layout,
                  std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
