// The Interface block: area 2, offsets 34-189 (inputs, fuel tanks, outputs, RS232
// ports), and the input rows' adaptation to the tracker model.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "seams/form.h"
#include "blocks/block_layout.h"
#include "blocks/payload.h"

namespace quorvane {

const BlockLayout& InterfaceBlockLayout();
void EncodeInterfaceBlock(const Form& form, TxPayload& tx);
bool DecodeInterfaceBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

// The controls of input row 1-6: mode box, time box, row label, "Active Time"
// label, "ms" label.
struct InputRowControls {
    const char* mode;
    const char* time;
    const char* label;
    const char* activeTimeLabel;
    const char* msLabel;
};
const InputRowControls& InputRow(int row);

// Shows the input rows and names them after the model in the firmware text
// ("KR310", else "KR420", else any other); selects the model's default input modes
// unless a settings file has been loaded.
void AdaptInputRowsToModel(Form& form, std::string_view firmware, bool settingsLoaded);

}  // namespace quorvane
