// What the tracker stores for each control: the block, the field and, for a check
// box sharing a field with others, the bits it sets. Two texts that store the same
// bytes ("05" and "5" in a number box) are the same value; a combo box's value is
// its index, whatever text is shown.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "seams/form.h"
#include "model/window_model.h"
#include "blocks/block_layout.h"
#include "blocks/memory_map.h"

namespace quorvane {

struct StoredUnit {
    std::string control;
    BlockId block;
    // The field holding the control (offset and width in the area). A check box of a
    // switch word, of a fence's alarm flags or of an event's flag byte has the whole
    // word or byte here and its own bits in `mask`.
    FieldDef field;
    std::uint32_t mask = 0;  // 0: the whole field is the control's
    // False for the Reply current event's boxes: a read never sets them, so only a
    // comparison of bytes (a verification) sees them.
    bool readBack = true;
};

// Every control a parameter block stores, block by block in the order of the reads;
// the read-only device identity is not among them.
const std::vector<StoredUnit>& StoredUnits();
// nullptr for a control no block stores (Info tab, port list, RFID, buttons).
const StoredUnit* FindStoredUnit(std::string_view control);

// The stored value of a control from a form: the field's bytes, or "1"/"0" for a
// masked check box. nullopt when the box's text does not convert (the write would
// refuse it).
std::optional<std::string> StoredValueOf(const Form& form, const StoredUnit& unit);
// The same from a block's bytes: `data` starts at area offset `dataOffset`. nullopt
// when `data` does not hold the field.
std::optional<std::string> StoredValueOf(std::span<const std::uint8_t> data, std::uint16_t dataOffset,
                                         const StoredUnit& unit);

// A control's value as the user sees it: an edit's text, a combo box's item text
// ("(none)" without a selection), "checked" or "clear" for a check box.
std::string ShownValue(const Form& form, const ControlDef& control);
// The value stored in `data` as the window would show it after a read.
std::string ShownValueOf(std::span<const std::uint8_t> data, std::uint16_t dataOffset, const StoredUnit& unit);

// A control's name for people: its label, with the row and column of the table it
// sits in ("No.3 Latitude", "(7) Ext-power low: Auth No.2 sms").
std::string ControlLabel(const ControlDef& control);
// The caption of a tab sheet ("GPRS" for "TabSheet2").
std::string TabCaption(std::string_view tabSheet);

}  // namespace quorvane
