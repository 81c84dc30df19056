#include "blocks/sms_block.h"

#include <string>

namespace quorvane {

// A 20-byte head, then three authorised-number records of 32 bytes.
const BlockLayout& SmsBlockLayout() {
    using K = FieldKind;
    static const BlockLayout layout = [] {
        BlockLayout l{
            {0, 4, K::Text, "SIMPIN"},
            {4, 4, K::Text, "Password"},
            {8, 4, K::TimeZone, "SMSTimeZone"},
            {12, 2, K::Word, "SMSTimeInterval"},
            {14, 2, K::Word, "SMSACCOffInterval"},
            {16, 2, K::Word, "SMSStopInterval"},
            {18, 2, K::Zero, ""},
        };
        for (int n = 1; n <= 3; ++n) {
            const auto base = static_cast<std::uint16_t>(20 + 32 * (n - 1));
            const std::string number = "Auth" + std::to_string(n);
            l.push_back({base, 16, K::Text, number});
            l.push_back({static_cast<std::uint16_t>(base + 16), 2, K::Switches, number});
            l.push_back({static_cast<std::uint16_t>(base + 18), 14, K::Zero, ""});
        }
        return l;
    }();
    return layout;
}

void EncodeSmsBlock(const Form& form, TxPayload& tx) {
    EncodeLayout(form, BlockId::Sms, SmsBlockLayout(), tx);
}

bool DecodeSmsBlock(Form& form, std::span<const std::uint8_t> answer, std::size_t index) {
    return DecodeLayout(form, BlockId::Sms, SmsBlockLayout(), answer, index);
}

}  // namespace quorvane
