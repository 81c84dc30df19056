// What the window's controls held when each group was last read from or written to
// the tracker, so the window can mark what has changed since.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "seams/form.h"
#include "blocks/memory_map.h"

namespace quorvane {

class Baseline {
public:
    // Takes the stored values of every control of `blocks` from `form` (after a read
    // or write of those blocks completed): their changes are cleared.
    void Take(const Form& form, const std::vector<BlockId>& blocks);
    // Forgets everything (a new tracker connected).
    void Clear();
    bool Empty() const { return values_.empty(); }

    // The controls whose stored value differs from the snapshot, in window order.
    // Controls of blocks never read or written are not changed.
    std::vector<std::string> ChangedControls(const Form& form) const;
    // The tab sheets holding at least one changed control, in window order.
    std::vector<std::string> ChangedTabs(const Form& form) const;
    bool Changed(const Form& form, const std::string& control) const;

private:
    // Control -> stored value (nullopt: a text that did not convert, kept as text).
    struct Value {
        std::optional<std::string> stored;
        std::string text;
    };
    std::map<std::string, Value, std::less<>> values_;
};

}  // namespace quorvane
