// The difference between two forms by stored value: what the tracker would hold,
// not what the boxes show.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "seams/form.h"
#include "model/memory_form.h"

namespace quorvane {

struct ControlDifference {
    std::string tab;         // tab sheet name, "TabSheet2"
    std::string tabCaption;  // "GPRS"
    std::string control;     // "TimeInterval"
    std::string label;       // ControlLabel: "Time Interval", "(7) Ext-power low: Auth No.2 sms"
    std::string thisValue;   // as the user sees it, on the first form
    std::string otherValue;  // on the second form
    // A verification only: the value as sent, when it is not the window's (thisValue),
    // so the window's value was changed on the way (a text cut to its field, a number
    // beyond its field, a decimal the field cannot hold).
    std::optional<std::string> sentValue = std::nullopt;
};

struct Comparison {
    std::vector<ControlDifference> differences;  // in window order
    std::size_t equal = 0;                       // controls compared and found equal
    bool Same() const { return differences.empty(); }
};

// Which controls a comparison looks at.
enum class CompareScope {
    Tracker,       // every control a parameter block stores
    SettingsFile,  // of those, the ones a settings file keeps (a file has no Temp tab)
};

// Compares every control of `scope` between `a` and `b`. A box whose text does not
// convert is compared by its text.
Comparison CompareForms(const Form& a, const Form& b, CompareScope scope = CompareScope::Tracker);

// A settings file in a fresh headless form (a backup's own section included). Throws
// ESettingsFileError: "Unable to read from PATH" for a missing or unreadable file,
// "PATH is not a settings file" for a file holding none of the settings keys.
std::unique_ptr<MemoryForm> ReadSettingsFileForm(const std::string& path);
// The scope a comparison with the file at `path` can cover: Tracker for a backup,
// which keeps every stored control, SettingsFile for any other file.
CompareScope FileScope(const std::string& path);

// Compares `window` with the settings file at `path` in FileScope(path); throws as
// ReadSettingsFileForm. The window is never touched.
Comparison CompareWithSettingsFile(const Form& window, const std::string& path);

// The controls the settings file at `path` gives a value: those with a key in the file
// and, for a backup, those in its own section. Throws ESettingsFileError("Unable to
// read from PATH") when no file can be read there.
std::vector<std::string> ControlsInFile(const std::string& path);

// Copies the values of `controls` from `from` into `to` (text, check state, combo
// index). Names not of an edit, check box, combo box or memo are passed over.
void CopyControls(const Form& from, Form& to, const std::vector<std::string>& controls);

}  // namespace quorvane
