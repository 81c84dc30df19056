// The questions the window asks before a click that would lose something: quitting
// with values not yet written, restoring the factory settings, clearing a buffer.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/groups.h"
#include "seams/form.h"

namespace quorvane {

// Which questions are asked; both off for a front end that asks nothing (the
// command line, the station).
struct Questions {
    bool beforeQuit = false;         // quitting with controls changed since the last read or write
    bool beforeMaintenance = false;  // "Default" and the four buffer "Clear" buttons
};

// "2 controls on the tabs GPRS and Event were changed since the tracker was last read
// or written. Quit without writing them?" `tabs` are tab sheet names.
std::string QuitQuestion(std::size_t changed, const std::vector<std::string>& tabs);

// The question before the button with click handler `handler`, naming what the
// tracker loses (a buffer's counter from `form`); nullopt for a button that loses
// nothing.
std::optional<std::string> LossQuestion(std::string_view handler, const Form& form);

// The counter on the Info tab that a completed `op` empties ("SMSBuffer"); nullopt
// for other operations.
std::optional<std::string> CounterClearedBy(Operation op);

// A counter's text once its buffer is empty: "0/500" for "12/500".
std::string ClearedCounter(const std::string& counter);

}  // namespace quorvane
