#include "model/input_rules.h"

namespace quorvane {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlphanumeric(char c) { return IsDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

bool KeyPasses(const InputRule& rule, std::string_view currentText, char key) {
    if (key == kBackspace) return true;
    const auto length = static_cast<long long>(currentText.size());
    switch (rule.filter) {
        case KeyFilter::None:
            return true;
        case KeyFilter::Digits:
            return IsDigit(key);
        case KeyFilter::Decimal:
            return IsDigit(key) || key == '.';
        case KeyFilter::Signed:
            return IsDigit(key) || key == '-';
        case KeyFilter::Coordinate:
            return IsDigit(key) || key == '+' || key == '-' || key == '.';
        case KeyFilter::Alphanumeric:
            return IsAlphanumeric(key);
        case KeyFilter::LengthLimit:
            return length < rule.limit;
        case KeyFilter::AlphanumericLimit:
            return IsAlphanumeric(key) && length < rule.limit;
    }
    return false;
}

bool ApplyLeaveRule(const InputRule& rule, std::string& text) {
    if (!rule.hasLeaveRule || !text.empty()) return false;
    text = rule.replacement;
    return !text.empty();
}

const InputRule* FindInputRule(std::string_view control) {
    const ControlDef* c = FindControl(control);
    if (c == nullptr || (c->rule.filter == KeyFilter::None && !c->rule.hasLeaveRule)) return nullptr;
    return &c->rule;
}

}  // namespace quorvane
