// --json: what the command line writes as JSON objects, one per line: a control's
// value, a group's controls, a port that find asked.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "app/find_tracker.h"
#include "model/window_model.h"
#include "seams/form.h"

namespace quorvane {

// An edit's text as UTF-8 (from the tracker's Latin-1), a check box 0/1, a combo
// box's item index.
nlohmann::ordered_json ControlJson(const Form& form, const ControlDef& control);

// Adds each control by name to `object`.
void AddControls(nlohmann::ordered_json& object, const Form& form, const std::vector<const ControlDef*>& controls);

// {"port", "description", "result": "tracker" | "no-answer" | "not-opened", "imei",
// "serial", "firmware", "authorized", "message"}; what does not apply is null.
nlohmann::ordered_json FindResultJson(const FindResult& result);

}  // namespace quorvane
