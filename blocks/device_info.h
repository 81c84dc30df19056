// The device information of the connect answer: firmware, IMEI and serial number
// as comma-separated texts, then the buffer counters, battery, mileage and the
// optional RFID count, all numbers most significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "app/form.h"

namespace quorvane {

// `answer` holds the received bytes up to the end of the connect answer's payload;
// `index` is the position of payload offset 5. Fields the answer does not hold
// leave their boxes unchanged. Also adapts the Interface tab's input rows to the
// firmware's model.
void DecodeDeviceInfo(Form& form, std::span<const std::uint8_t> answer, std::size_t index,
                      bool settingsLoaded);

}  // namespace quorvane
