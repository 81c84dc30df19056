#include "sim/fault.h"

#include <charconv>
#include <stdexcept>

namespace quorvane::sim {

const std::vector<FaultNameInfo>& FaultNames() {
    static const std::vector<FaultNameInfo> names = {
        {Fault::NoAnswer, "no-answer", "carry the request out, send no answer"},
        {Fault::CorruptCrc, "corrupt-crc", "send the answer with a wrong CRC"},
        {Fault::SplitAnswer, "split-answer", "send the answer in two parts, 60 ms apart"},
        {Fault::GarbageBefore, "garbage-before", "send line noise just before the answer"},
        {Fault::WrongCommand, "wrong-command", "answer with another command code"},
        {Fault::StatusZero, "status-zero", "fail the request: status 0 (connect: rejected)"},
        {Fault::Refused, "refused", "refuse the request: status 2 (connect: rejected)"},
        {Fault::BootText, "boot-text", "restart: send the boot banner instead of the answer"},
        {Fault::StoreWrong, "store-wrong", "acknowledge a write, store its first data byte one higher"},
        {Fault::RepeatAnswer, "repeat-answer", "send the answer, and again 50 ms later"},
        {Fault::StaleAnswer, "stale-answer", "send the previous answer again, this one 50 ms later"},
        {Fault::LateAnswer, "late-answer", "send the answer 900 ms late, the next one 60 ms after it"},
    };
    return names;
}

std::string_view FaultName(Fault fault) {
    for (const auto& entry : FaultNames()) {
        if (entry.fault == fault) return entry.name;
    }
    return "?";
}

std::optional<Fault> ParseFault(std::string_view name) {
    for (const auto& entry : FaultNames()) {
        if (entry.name == name) return entry.fault;
    }
    return std::nullopt;
}

namespace {

bool ParseUnsigned(std::string_view text, int base, unsigned long& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

FaultPlan ParseFaultPlan(std::string_view text) {
    FaultPlan plan;
    std::string_view rest = text;

    if (const auto plus = rest.find('+'); plus != std::string_view::npos) {
        std::string_view skip = rest.substr(plus + 1);
        rest = rest.substr(0, plus);
        unsigned long value = 0;
        if (!ParseUnsigned(skip, 10, value) || value > 1000000) {
            throw std::invalid_argument("bad skip '" + std::string(skip) + "' in fault '" +
                                        std::string(text) + "'");
        }
        plan.skip = static_cast<int>(value);
    }
    if (const auto at = rest.find('@'); at != std::string_view::npos) {
        std::string_view code = rest.substr(at + 1);
        rest = rest.substr(0, at);
        unsigned long value = 0;
        const bool hex = code.size() > 2 && code[0] == '0' && (code[1] == 'x' || code[1] == 'X');
        if (!ParseUnsigned(hex ? code.substr(2) : code, hex ? 16 : 10, value) || value > 0xFF) {
            throw std::invalid_argument("bad command code '" + std::string(code) + "' in fault '" +
                                        std::string(text) + "'");
        }
        plan.command = static_cast<std::uint8_t>(value);
    }
    if (const auto colon = rest.find(':'); colon != std::string_view::npos) {
        std::string_view count = rest.substr(colon + 1);
        rest = rest.substr(0, colon);
        unsigned long value = 0;
        if (count == "all") {
            plan.count = -1;
        } else if (ParseUnsigned(count, 10, value) && value >= 1 && value <= 1000000) {
            plan.count = static_cast<int>(value);
        } else {
            throw std::invalid_argument("bad count '" + std::string(count) + "' in fault '" +
                                        std::string(text) + "' (a number from 1, or all)");
        }
    }
    const auto fault = ParseFault(rest);
    if (!fault) throw std::invalid_argument("unknown fault '" + std::string(rest) + "'");
    plan.fault = *fault;
    return plan;
}

}  // namespace quorvane::sim
