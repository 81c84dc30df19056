#include "blocks/device_info.h"

#include <optional>

#include "blocks/interface_block.h"

namespace quorvane {

namespace {

constexpr std::size_t kTextCount = 3;

// Reads the numbers after the texts; every read says whether the bytes were there.
class Numbers {
public:
    Numbers(std::span<const std::uint8_t> bytes, std::size_t at) : bytes_(bytes), at_(at) {}

    std::optional<std::uint32_t> Next(std::size_t width) {
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

DeviceTexts SplitDeviceTexts(std::span<const std::uint8_t> info) {
    DeviceTexts texts;
    std::size_t at = 0;
    while (texts.fields.size() < kTextCount && at < info.size()) {
        DeviceText field;
        while (at < info.size() && info[at] != ',') field.text.push_back(static_cast<char>(info[at++]));
        field.closed = at < info.size();
        // No "," seen: nothing follows this text.
        at = field.closed ? at + 1 : info.size() + 1;
        texts.fields.push_back(std::move(field));
    }
    texts.end = at;
    return texts;
}

std::size_t PrintableLength(std::string_view text, std::size_t limit) {
    std::size_t n = 0;
    while (n < text.size() && n < limit && text[n] >= 0x20 && text[n] < 0x7F) ++n;
    return n;
}

void DecodeDeviceInfo(Form& form, std::span<const std::uint8_t> info, bool settingsLoaded) {
    const DeviceTexts texts = SplitDeviceTexts(info);
    if (texts.fields.empty()) return;
    const std::string& firmware = texts.fields[0].text;
    form.SetText("Firmware", firmware);
    AdaptInputRowsToModel(form, firmware, settingsLoaded);

    const char* boxes[] = {"IMEI", "SN"};
    for (std::size_t k = 0; k < 2; ++k) {
        if (texts.fields.size() <= k + 1) return;
        form.SetText(boxes[k], texts.fields[k + 1].text);
    }
    Numbers in(info, texts.end);
    for (const char* box : {"SMSBuffer", "GPRS1Buffer", "GPRS2Buffer", "GPSLog"}) {
        const auto first = in.Next(4);
        const auto second = first ? in.Next(4) : std::nullopt;
        if (!second) return;
        form.SetText(box, std::to_string(*first) + "/" + std::to_string(*second));
    }
    const auto battery = in.Next(1);
    if (!battery) return;
    form.SetText("Battery", std::to_string(*battery));
    const auto mileage = in.Next(4);
    if (!mileage) return;
    form.SetText("Mileage", std::to_string(*mileage));
    if (const auto rfid = in.Next(2)) form.SetText("RFID", std::to_string(*rfid));
}

}  // namespace quorvane
