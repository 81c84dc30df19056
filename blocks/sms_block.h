// The SMS block: area 3, offsets 0-115 (the Auth tab: PIN, password, time zone, SMS
// intervals, three authorised numbers with their switches).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "seams/form.h"
#include "blocks/block_layout.h"
#include "blocks/payload.h"

namespace quorvane {

const BlockLayout& SmsBlockLayout();
void EncodeSmsBlock(const Form& form, TxPayload& tx);
bool DecodeSmsBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
