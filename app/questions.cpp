#include "app/questions.h"

#include <array>

#include "model/window_model.h"

namespace quorvane {

namespace {

// The buffer each clear empties: its counter and how a question names it. The
// button's handler is the group table's.
struct BufferClear {
    Operation op;
    const char* counter;
    const char* what;
};

constexpr std::array<BufferClear, 4> kBufferClears = {{
    {Operation::ClearGprs1, "GPRS1Buffer", "GPRS-1 buffer"},
    {Operation::ClearGprs2, "GPRS2Buffer", "GPRS-2 buffer"},
    {Operation::ClearSms, "SMSBuffer", "SMS buffer"},
    {Operation::ClearGpsLog, "GPSLog", "GPS log"},
}};

std::string TabCaption(const std::string& tabSheet) {
    for (const TabDef& tab : Tabs())
        if (tab.name == tabSheet) return tab.caption;
    return tabSheet;
}

}  // namespace

std::string QuitQuestion(std::size_t changed, const std::vector<std::string>& tabs) {
    std::string text = std::to_string(changed) + (changed == 1 ? " control" : " controls");
    if (!tabs.empty()) {
        text += tabs.size() == 1 ? " on the tab " : " on the tabs ";
        for (std::size_t i = 0; i < tabs.size(); ++i) {
            if (i > 0) text += i + 1 == tabs.size() ? " and " : ", ";
            text += TabCaption(tabs[i]);
        }
    }
    text += changed == 1 ? " was" : " were";
    return text + " changed since the tracker was last read or written. Quit without writing them?";
}

std::optional<std::string> LossQuestion(std::string_view handler, const Form& form) {
    if (handler == "InitAllClick")
        return std::string("Restore the tracker's factory settings? Every parameter it holds now is replaced by "
                           "its factory value.");
    const auto target = OperationOfHandler(handler);
    for (const BufferClear& c : kBufferClears) {
        if (!target || target->op != c.op) continue;
        // The counter reads "stored/capacity".
        const std::string counter = form.Text(c.counter);
        const std::string stored = counter.substr(0, counter.find('/'));
        const bool known = !stored.empty() && stored.find_first_not_of("0123456789") == std::string::npos;
        std::string text = std::string("Clear the tracker's ") + c.what + "? ";
        if (!known) return text + "The records it holds are deleted.";
        return text + "The " + stored + (stored == "1" ? " record it holds is deleted." : " records it holds are deleted.");
    }
    return std::nullopt;
}

std::optional<std::string> CounterClearedBy(Operation op) {
    for (const BufferClear& c : kBufferClears)
        if (c.op == op) return std::string(c.counter);
    return std::nullopt;
}

std::string ClearedCounter(const std::string& counter) {
    const std::size_t slash = counter.find('/');
    return slash == std::string::npos ? std::string("0") : "0" + counter.substr(slash);
}

}  // namespace quorvane
