#include "trust/compare.h"

#include <set>

#include "trust/stored_value.h"
#include "trust/write_safety.h"
#include "model/window_model.h"
#include "settings/backup_section.h"
#include "settings/profile_file.h"
#include "settings/settings_file.h"

namespace quorvane {

namespace {

const std::set<std::string, std::less<>>& FileControls() {
    static const std::set<std::string, std::less<>> controls = [] {
        std::set<std::string, std::less<>> s;
        for (const SettingsKey& k : SettingsKeys()) s.insert(k.control);
        return s;
    }();
    return controls;
}

bool InScope(const StoredUnit& unit, CompareScope scope) {
    if (scope == CompareScope::SettingsFile) return FileControls().contains(unit.control);
    return unit.readBack;
}

bool SameStoredValue(const Form& a, const Form& b, const StoredUnit& unit) {
    const std::optional<std::string> va = StoredValueOf(a, unit);
    const std::optional<std::string> vb = StoredValueOf(b, unit);
    if (va && vb) return *va == *vb;
    // A text that does not convert equals only the same text.
    if (!va && !vb) return a.Text(unit.control) == b.Text(unit.control);
    return false;
}

}  // namespace

Comparison CompareForms(const Form& a, const Form& b, CompareScope scope) {
    Comparison result;
    for (const ControlDef& c : Controls()) {
        const StoredUnit* unit = FindStoredUnit(c.name);
        if (unit == nullptr || !InScope(*unit, scope)) continue;
        if (SameStoredValue(a, b, *unit)) {
            ++result.equal;
            continue;
        }
        result.differences.push_back(
            {c.tab, TabCaption(c.tab), c.name, ControlLabel(c), ShownValue(a, c), ShownValue(b, c), std::nullopt});
    }
    return result;
}

std::unique_ptr<MemoryForm> ReadSettingsFileForm(const std::string& path) {
    ProfileFile file;
    if (file.Load(path) != ProfileFile::LoadStatus::Loaded) throw ESettingsFileError("Unable to read from " + path);
    bool anyKey = false;
    for (const SettingsKey& k : SettingsKeys()) {
        if (file.Get(k.section, k.key)) {
            anyKey = true;
            break;
        }
    }
    if (!anyKey) throw ESettingsFileError(path + " is not a settings file");
    auto form = std::make_unique<MemoryForm>();
    if (!LoadSettingsFile(*form, path)) throw ESettingsFileError("Unable to read from " + path);
    ReadBackupSection(*form, path, BackupKeys());
    return form;
}

CompareScope FileScope(const std::string& path) {
    return HasBackupSection(path, BackupKeys()) ? CompareScope::Tracker : CompareScope::SettingsFile;
}

Comparison CompareWithSettingsFile(const Form& window, const std::string& path) {
    const std::unique_ptr<MemoryForm> file = ReadSettingsFileForm(path);
    return CompareForms(window, *file, FileScope(path));
}

std::vector<std::string> ControlsInFile(const std::string& path) {
    ProfileFile file;
    if (file.Load(path) != ProfileFile::LoadStatus::Loaded) throw ESettingsFileError("Unable to read from " + path);
    std::vector<std::string> controls;
    std::set<std::string, std::less<>> seen;
    auto add = [&](const std::string& control) {
        if (seen.insert(control).second) controls.push_back(control);
    };
    for (const SettingsKey& k : SettingsKeys())
        if (file.Get(k.section, k.key)) add(k.control);
    for (const BackupKey& k : BackupKeys())
        if (file.Get(kBackupSection, k.control)) add(k.control);
    return controls;
}

void CopyControls(const Form& from, Form& to, const std::vector<std::string>& controls) {
    for (const std::string& name : controls) {
        const ControlDef* c = FindControl(name);
        if (c == nullptr) continue;
        switch (c->kind) {
        case ControlKind::Edit:
        case ControlKind::Memo:
            to.SetText(name, from.Text(name));
            break;
        case ControlKind::CheckBox:
            to.SetChecked(name, from.Checked(name));
            break;
        case ControlKind::ComboBox:
            to.SetItemIndex(name, from.ItemIndex(name));
            break;
        default:
            break;
        }
    }
}

}  // namespace quorvane
