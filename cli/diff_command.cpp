#include "cli/diff_command.h"

#include "app/compare.h"
#include "cli/cli_runner.h"
#include "cli/escape.h"
#include "settings/settings_file.h"

namespace quorvane {

bool DiffUsesTracker(const CliOptions& options) {
    return options.diffA == kDiffTracker || options.diffB == kDiffTracker;
}

int RunDiff(const CliOptions& options, const TrackerFormReader& readTracker, std::ostream& out, std::ostream& err) {
    // Files first: a side that cannot be read stops the diff before the line is used.
    std::shared_ptr<MemoryForm> a, b;
    try {
        if (options.diffA != kDiffTracker) a = ReadSettingsFileForm(options.diffA);
        if (options.diffB != kDiffTracker) b = ReadSettingsFileForm(options.diffB);
    } catch (const ESettingsFileError& e) {
        err << "error: " << EscapeValue(e.what()) << '\n';
        return kExitNoStart;
    }
    if (DiffUsesTracker(options)) {
        const std::shared_ptr<MemoryForm> tracker = readTracker ? readTracker() : nullptr;
        if (!tracker) return kExitNoStart;
        if (!a) a = tracker;
        if (!b) b = tracker;
    }
    // A settings file keeps fewer controls than the tracker stores; compare what both hold.
    const bool bothTracker = options.diffA == kDiffTracker && options.diffB == kDiffTracker;
    const Comparison c = CompareForms(*a, *b, bothTracker ? CompareScope::Tracker : CompareScope::SettingsFile);
    for (const ControlDifference& d : c.differences) {
        out << d.control << " (" << d.tabCaption << ": " << EscapeValue(d.label) << "): " << EscapeValue(d.thisValue)
            << " -> " << EscapeValue(d.otherValue) << '\n';
    }
    err << "summary: " << c.differences.size() << " differ, " << c.equal << " equal\n";
    return c.Same() ? kExitDone : kExitFailed;
}

}  // namespace quorvane
