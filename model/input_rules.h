// The edit boxes' key filters and leave rules as pure functions over a box's text.
#pragma once

#include <string>
#include <string_view>

#include "model/window_model.h"

namespace quorvane {

inline constexpr char kBackspace = 8;

// Whether `key` typed into a box holding `currentText` is let through. Backspace
// always passes; the character kinds discard every character they do not list,
// control characters included; the length limits look at the current length.
// Editing shortcuts (select all, copy, cut, paste, undo) type no character and are
// never asked about; pasted text is asked about one character at a time.
bool KeyPasses(const InputRule& rule, std::string_view currentText, char key);

// The leave rule: an empty text gets the rule's replacement. Returns whether the
// text changed; a rule without a leave rule never changes it.
bool ApplyLeaveRule(const InputRule& rule, std::string& text);

// The rule of a control, or nullptr for an unknown control or one without a key
// filter and leave rule.
const InputRule* FindInputRule(std::string_view control);

}  // namespace quorvane
