#include "cli/json_output.h"

#include "station/people_text.h"

namespace quorvane {

nlohmann::ordered_json ControlJson(const Form& form, const ControlDef& control) {
    switch (control.kind) {
        case ControlKind::CheckBox: return form.Checked(control.name) ? 1 : 0;
        case ControlKind::ComboBox: return form.ItemIndex(control.name);
        default: return Latin1ToUtf8(form.Text(control.name));
    }
}

void AddControls(nlohmann::ordered_json& object, const Form& form, const std::vector<const ControlDef*>& controls) {
    for (const ControlDef* c : controls) object[c->name] = ControlJson(form, *c);
}

nlohmann::ordered_json FindResultJson(const FindResult& result) {
    const bool tracker = result.outcome == FindResult::Outcome::Tracker;
    const auto text = [tracker](const std::string& value) {
        return tracker ? nlohmann::ordered_json(Latin1ToUtf8(value)) : nlohmann::ordered_json(nullptr);
    };
    const char* outcome = "tracker";
    if (result.outcome == FindResult::Outcome::NoAnswer) outcome = "no-answer";
    if (result.outcome == FindResult::Outcome::OpenFailed) outcome = "not-opened";
    return {
        {"port", Latin1ToUtf8(result.port.name)},
        {"description", Latin1ToUtf8(result.port.Description())},
        {"result", outcome},
        {"imei", text(result.imei)},
        {"serial", text(result.serialNumber)},
        {"firmware", text(result.firmware)},
        {"authorized", tracker ? nlohmann::ordered_json(result.authAccepted) : nlohmann::ordered_json(nullptr)},
        {"message", result.reason.empty() ? nlohmann::ordered_json(nullptr)
                                          : nlohmann::ordered_json(Latin1ToUtf8(result.reason))},
    };
}

}  // namespace quorvane
