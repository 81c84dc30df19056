#include "blocks/gprs_block.h"

namespace quorvane {

// By area offset. The read starts at the device identity, the write right after it.
const BlockLayout& GprsBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout{
        {16, 16, K::ReadOnlyText, "DeviceID"},
        {32, 32, K::Text, "APN"},
        {64, 32, K::Text, "APNName"},
        {96, 32, K::Text, "APNPassword"},
        {128, 32, K::Text, "IP"},
        {160, 5, K::Text, "Port"},
        {165, 32, K::Text, "IP2"},
        {197, 5, K::Text, "Port2"},
        {202, 1, K::Index, "GPRSType"},
        {203, 1, K::Index, "ReportType"},
        {204, 1, K::Index, "BufferMode"},
        {205, 2, K::Word, "TimeInterval"},
        {207, 2, K::Word, "ACCOffInterval"},
        {209, 2, K::Word, "StopInterval"},
        {211, 2, K::Word, "RoamingInterval"},
        {213, 32, K::Text, "IP3"},
        {245, 5, K::Text, "Port3"},
        {250, 1, K::Index, "GPRSType2"},
        {251, 1, K::Index, "ReportType2"},
        {252, 1, K::Index, "BufferMode2"},
        {253, 2, K::Word, "TimeInterval2"},
        {255, 2, K::Word, "ACCOffInterval2"},
        {257, 2, K::Word, "StopInterval2"},
        {259, 2, K::Word, "RoamingInterval2"},
    };
    return layout;
}

void EncodeGprsBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::Gprs, GprsBlockLayout(), tx);
}

bool DecodeGprsBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::Gprs, GprsBlockLayout(), answer, index);
}

}  // namespace quorvane
