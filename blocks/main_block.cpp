#include "blocks/main_block.h"

namespace quorvane {

const BlockLayout& MainBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout{
        {0, 2, K::Word, "GPSLogTM"},
        {2, 2, K::Word, "DistanceInterval"},
        {4, 1, K::Byte, "Heading"},
        {5, 2, K::Word, "HeartBeatTM"},
        {7, 2, K::Word, "Speed"},
        {9, 1, K::Index, "SleepMode"},
        {10, 2, K::Word, "PowerSavingTM"},
        {12, 1, K::Byte, "SensorSen"},
        {13, 1, K::Byte, "TowTM"},
        {14, 1, K::Index, "TowMode"},
        {15, 1, K::Byte, "IdleTM"},
        {16, 2, K::Voltage, "LowExtBatAlarm"},
        {18, 2, K::Voltage, "BatteryLowVolt"},
        {20, 2, K::Word, "Acceleration"},
        {22, 2, K::Word, "Deceleration"},
        {24, 1, K::Byte, "HarshTurn"},
        {25, 1, K::Byte, "Impact"},
        {26, 2, K::Word, "FatigueTM"},
        {28, 1, K::Byte, "RestTM"},
        {29, 2, K::Word, "TotalTM"},
        {31, 1, K::Byte, "GSMJammed"},
        {32, 2, K::Zero, ""},
    };
    return layout;
}

// Written as 3 bytes; read as 32, of which only the first three matter.
const BlockLayout& MainExtBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout{
        {478, 1, K::Zero, ""},
        {479, 1, K::Index, "Car_Type"},
        {480, 1, K::Byte, "LowSpeed"},
    };
    return layout;
}

void EncodeMainBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::Main, MainBlockLayout(), tx);
}

bool DecodeMainBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::Main, MainBlockLayout(), answer, index);
}

void EncodeMainExtBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::MainExt, MainExtBlockLayout(), tx);
}

bool DecodeMainExtBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::MainExt, MainExtBlockLayout(), answer, index);
}

}  // namespace quorvane
