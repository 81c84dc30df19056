#include "blocks/device_info.h"

#include <optional>
#include <string>

#include "blocks/interface_block.h"

namespace quorvane {

namespace {

// Reads the answer front to back; every read says whether the bytes were there.
class Cursor {
public:
    Cursor(std::span<const std::uint8_t> bytes, std::size_t at) : bytes_(bytes), at_(at) {}

    // The characters up to the next "," or the end of the answer, stepping past the
    // ","; nothing when no byte at all is left.
    std::optional<std::string> Field() {
        if (at_ >= bytes_.size()) return std::nullopt;
        std::string text;
        while (at_ < bytes_.size() && bytes_[at_] != ',') text.push_back(static_cast<char>(bytes_[at_++]));
        if (at_ < bytes_.size()) ++at_;
        else at_ = bytes_.size() + 1;  // no "," seen: nothing follows this field
        return text;
    }

    std::optional<std::uint32_t> Number(std::size_t width) {
        if (at_ > bytes_.size() || bytes_.size() - at_ < width) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t k = 0; k < width; ++k) value = (value << 8) | bytes_[at_++];
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_;
};

}  // namespace

void DecodeDeviceInfo(Form& form, std::span<const std::uint8_t> answer, std::size_t index,
                      bool settingsLoaded) {
    Cursor in(answer, index);
    const auto firmware = in.Field();
    if (!firmware) return;
    form.SetText("Firmware", *firmware);
    AdaptInputRowsToModel(form, *firmware, settingsLoaded);

    for (const char* box : {"IMEI", "SN"}) {
        const auto text = in.Field();
        if (!text) return;
        form.SetText(box, *text);
    }
    for (const char* box : {"SMSBuffer", "GPRS1Buffer", "GPRS2Buffer", "GPSLog"}) {
        const auto first = in.Number(4);
        const auto second = first ? in.Number(4) : std::nullopt;
        if (!second) return;
        form.SetText(box, std::to_string(*first) + "/" + std::to_string(*second));
    }
    const auto battery = in.Number(1);
    if (!battery) return;
    form.SetText("Battery", std::to_string(*battery));
    const auto mileage = in.Number(4);
    if (!mileage) return;
    form.SetText("Mileage", std::to_string(*mileage));
    if (const auto rfid = in.Number(2)) form.SetText("RFID", std::to_string(*rfid));
}

}  // namespace quorvane
