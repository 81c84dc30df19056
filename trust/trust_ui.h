// What the user is shown of the trust tools: the check after a write, the backup
// taken before one, and the changed marks. A front end that shows these its own way
// implements this beside its Ui; one that does not gets the plain boxes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "trust/compare.h"

namespace quorvane {

class WriteSafetyUi {
public:
    virtual ~WriteSafetyUi() = default;

    // The check after a write: `result` lists the controls whose read-back value
    // differs (thisValue sent or, with sentValue, the window's; otherValue read).
    // Called after the write's own box.
    virtual void ShowVerifyResult(const Comparison& result) = 0;
    // A backup was saved at `path` before a write started.
    virtual void BackupSaved(std::string_view path) { (void)path; }
    // The controls changed since the last read or write may have changed (after a
    // read, a write, a load or a take from a compare). The window refreshes its marks.
    virtual void ChangesUpdated() {}

    static std::string VerifyFailedText(std::size_t differing) {
        return "Verify failed: " + std::to_string(differing) + (differing == 1 ? " control differs" : " controls differ");
    }
    // The error box's text for a failed check: VerifyFailedText, then one line per
    // control, "APN (GPRS: APN): sent 'a', read 'b'", or for a value changed on the
    // way "APN (GPRS: APN): window 'a', sent 'b', read 'b'".
    static std::string VerifyFailedReport(const Comparison& result) {
        std::string text = VerifyFailedText(result.differences.size());
        for (const ControlDifference& d : result.differences) {
            text += "\n" + d.control + " (" + d.tabCaption + ": " + d.label + "): ";
            if (d.sentValue) text += "window '" + d.thisValue + "', sent '" + *d.sentValue + "'";
            else text += "sent '" + d.thisValue + "'";
            text += ", read '" + d.otherValue + "'";
        }
        return text;
    }
};

}  // namespace quorvane
