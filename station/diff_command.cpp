#include "station/diff_command.h"

#include <utility>

#include "station/escape.h"
#include "station/exit_status.h"
#include "trust/compare.h"
#include "settings/settings_file.h"

namespace quorvane {

bool DiffUsesTracker(const StationJob& job) {
    return job.diffA == kDiffTracker || job.diffB == kDiffTracker;
}

std::optional<DiffSides> ReadDiffFiles(const StationJob& job, std::ostream& err) {
    DiffSides sides;
    try {
        if (job.diffA != kDiffTracker) sides.a = ReadSettingsFileForm(job.diffA);
        if (job.diffB != kDiffTracker) sides.b = ReadSettingsFileForm(job.diffB);
    } catch (const ESettingsFileError& e) {
        err << "error: " << EscapeValue(e.what()) << '\n';
        return std::nullopt;
    }
    return sides;
}

DiffResult CompareDiffSides(const StationJob& job, DiffSides sides, const TrackerFormReader& readTracker,
                            std::ostream& out, std::ostream& err) {
    std::shared_ptr<MemoryForm>& a = sides.a;
    std::shared_ptr<MemoryForm>& b = sides.b;
    if (DiffUsesTracker(job)) {
        const std::shared_ptr<MemoryForm> tracker = readTracker ? readTracker() : nullptr;
        if (!tracker) return {kExitNoStart, std::nullopt};
        if (!a) a = tracker;
        if (!b) b = tracker;
    }
    // A settings file keeps fewer controls than the tracker stores (a backup keeps them
    // all); compare what both sides hold.
    auto complete = [](const std::string& side) {
        return side == kDiffTracker || FileScope(side) == CompareScope::Tracker;
    };
    const CompareScope scope =
        complete(job.diffA) && complete(job.diffB) ? CompareScope::Tracker : CompareScope::SettingsFile;
    const Comparison c = CompareForms(*a, *b, scope);
    for (const ControlDifference& d : c.differences) {
        out << d.control << " (" << d.tabCaption << ": " << EscapeValue(d.label) << "): " << EscapeValue(d.thisValue)
            << " -> " << EscapeValue(d.otherValue) << '\n';
    }
    err << "summary: " << c.differences.size() << " differ, " << c.equal << " equal\n";
    return {c.Same() ? kExitDone : kExitFailed, c.differences.size()};
}

int RunDiff(const StationJob& job, DiffSides sides, const TrackerFormReader& readTracker, std::ostream& out,
            std::ostream& err) {
    return CompareDiffSides(job, std::move(sides), readTracker, out, err).exitStatus;
}

}  // namespace quorvane
