// The Main tab's two blocks in area 2: the Main block (offsets 0-33) and the Main
// extension (478-480: the vehicle make and the low-speed threshold).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "seams/form.h"
#include "blocks/block_layout.h"
#include "blocks/payload.h"

namespace quorvane {

const BlockLayout& MainBlockLayout();
void EncodeMainBlock(const Form& form, TxPayload& tx);
bool DecodeMainBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

const BlockLayout& MainExtBlockLayout();
void EncodeMainExtBlock(const Form& form, TxPayload& tx);
bool DecodeMainExtBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
