#include "blocks/temperature_block.h"

#include <string>

namespace quorvane {

const BlockLayout& TemperatureBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout = [] {
        BlockLayout l;
        for (int n = 1; n <= 8; ++n) {
            const auto base = static_cast<std::uint16_t>(190 + 32 * (n - 1));
            const std::string row = "Temp" + std::to_string(n);
            l.push_back({base, 16, K::Text, row + "_Name"});
            l.push_back({static_cast<std::uint16_t>(base + 16), 8, K::SensorId, row + "_ID"});
            l.push_back({static_cast<std::uint16_t>(base + 24), 2, K::Temperature, row + "_High"});
            l.push_back({static_cast<std::uint16_t>(base + 26), 2, K::Temperature, row + "_Low"});
            l.push_back({static_cast<std::uint16_t>(base + 28), 4, K::Zero, ""});
        }
        return l;
    }();
    return layout;
}

void EncodeTemperatureBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::Temperature, TemperatureBlockLayout(), tx);
}

bool DecodeTemperatureBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::Temperature, TemperatureBlockLayout(), answer, index);
}

}  // namespace quorvane
