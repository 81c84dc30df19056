#include "blocks/geofence_block.h"

#include <string>

namespace quorvane {

// The 4-byte fields sit at odd record offsets; records are packed.
const BlockLayout& GeoFenceBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout = [] {
        BlockLayout l;
        for (int n = 1; n <= 8; ++n) {
            const auto base = static_cast<std::uint16_t>(32 * (n - 1));
            const std::string row = "No" + std::to_string(n);
            l.push_back({base, 16, K::Text, row + "Name"});
            l.push_back({static_cast<std::uint16_t>(base + 16), 1, K::GeoAlarm, row});
            l.push_back({static_cast<std::uint16_t>(base + 17), 4, K::Long, row + "Radius"});
            l.push_back({static_cast<std::uint16_t>(base + 21), 4, K::Coordinate, row + "Lat"});
            l.push_back({static_cast<std::uint16_t>(base + 25), 4, K::Coordinate, row + "Long"});
            l.push_back({static_cast<std::uint16_t>(base + 29), 3, K::Zero, ""});
        }
        return l;
    }();
    return layout;
}

void EncodeGeoFenceBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::GeoFence, GeoFenceBlockLayout(), tx);
}

bool DecodeGeoFenceBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::GeoFence, GeoFenceBlockLayout(), answer, index);
}

}  // namespace quorvane
