// The Temperature block: area 2, offsets 190-445, eight wireless sensor records of 32 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "seams/form.h"
#include "blocks/block_layout.h"
#include "blocks/payload.h"

namespace quorvane {

const BlockLayout& TemperatureBlockLayout();
void EncodeTemperatureBlock(const Form& form, TxPayload& tx);
bool DecodeTemperatureBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
