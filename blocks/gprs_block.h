// The GPRS block: area 1, the device identity (read only) and the two server
// connections of the GPRS tab.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "seams/form.h"
#include "blocks/block_layout.h"
#include "blocks/payload.h"

namespace quorvane {

const BlockLayout& GprsBlockLayout();
void EncodeGprsBlock(const Form& form, TxPayload& tx);
bool DecodeGprsBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
