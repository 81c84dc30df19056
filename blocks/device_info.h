// The device information of the connect answer: firmware, IMEI and serial number
// as comma-separated texts, then the buffer counters, battery, mileage and the
// optional RFID count, all numbers most significant byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "seams/form.h"

namespace quorvane {

// One device text: the bytes up to the next "," or the end of the information.
struct DeviceText {
    std::string text;     // as received
    bool closed = false;  // a "," ended it
};

struct DeviceTexts {
    // Firmware, IMEI and serial number: those that start inside the information.
    std::vector<DeviceText> fields;
    // Where the numbers after the texts start; beyond the information when a text
    // was not closed.
    std::size_t end = 0;
};

// Splits the device information (the connect answer's payload from offset 5) into
// its texts.
DeviceTexts SplitDeviceTexts(std::span<const std::uint8_t> info);

// How many leading characters of `text` are printable ASCII, at most `limit`.
std::size_t PrintableLength(std::string_view text, std::size_t limit);

// `info` is the device information. Fields it does not hold leave their boxes
// unchanged. Also adapts the Interface tab's input rows to the firmware's model.
void DecodeDeviceInfo(Form& form, std::span<const std::uint8_t> info, bool settingsLoaded);

}  // namespace quorvane
