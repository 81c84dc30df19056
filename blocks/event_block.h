// The Event block: area 5, offsets 0-1855, one 32-byte record per event code 0-57
// (name, then one flag byte per group: GPRS, SMS, Call, Moni, OUT), laid out from
// the event catalogue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "seams/form.h"
#include "blocks/payload.h"

namespace quorvane {

inline constexpr int kEventCodeCount = 58;
inline constexpr std::size_t kEventRecordLength = 32;
inline constexpr std::size_t kEventNameWidth = 16;
// Record offset of the first flag byte; group g's byte follows at + g.
inline constexpr std::size_t kEventFlagsOffset = 16;
// Reply current: its check boxes are never changed by a read.
inline constexpr int kReplyCurrentCode = 34;

// Throws EDoesNotFit, `tx` left empty, for a name longer than its field.
void EncodeEventBlock(const Form& form, TxPayload& tx);
bool DecodeEventBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index);

}  // namespace quorvane
