// The GEO-fence block: area 4, offsets 0-255, eight fence records of 32 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "seams/form.h"
#include "blocks/block_layout.h"
#include "blocks/payload.h"

namespace quorvane {

const BlockLayout& GeoFenceBlockLayout();
void EncodeGeoFenceBlock(const Form& form, TxPayload& tx);
bool DecodeGeoFenceBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
