#include "settings/backup_section.h"

#include <algorithm>
#include <optional>

#include "settings/profile_file.h"

namespace quorvane {

void SetBackupSection(const Form& form, ProfileFile& file, std::span<const BackupKey> keys) {
    for (const BackupKey& k : keys) {
        switch (k.form) {
        case ValueForm::Flag: file.Set(kBackupSection, k.control, form.Checked(k.control) ? "1" : "0"); break;
        case ValueForm::Index: file.Set(kBackupSection, k.control, std::to_string(form.ItemIndex(k.control))); break;
        case ValueForm::Text: file.Set(kBackupSection, k.control, form.Text(k.control)); break;
        }
    }
}

void WriteBackupSection(const Form& form, const std::string& path, std::span<const BackupKey> keys) {
    ProfileFile file;
    std::error_code why;
    if (file.Load(path, &why) != ProfileFile::LoadStatus::Loaded) ThrowUnwritable(path, why);
    SetBackupSection(form, file, keys);
    if (!file.Save(path, {}, &why)) ThrowUnwritable(path, why);
}

void ReadBackupSection(Form& form, const std::string& path, std::span<const BackupKey> keys) {
    ProfileFile file;
    if (file.Load(path) != ProfileFile::LoadStatus::Loaded) return;
    for (const BackupKey& k : keys) {
        const std::optional<std::string> value = file.Get(kBackupSection, k.control);
        if (!value) continue;
        switch (k.form) {
        case ValueForm::Flag: {
            const auto n = ParseSettingsInteger(*value);
            form.SetChecked(k.control, n && *n != 0);
            break;
        }
        case ValueForm::Index: {
            const auto n = ParseSettingsInteger(*value);
            form.SetItemIndex(k.control, n && *n >= -1 && *n < 256 ? static_cast<int>(*n) : -1);
            break;
        }
        case ValueForm::Text: form.SetText(k.control, *value); break;
        }
    }
}

bool HasBackupSection(const std::string& path, std::span<const BackupKey> keys) {
    ProfileFile file;
    if (file.Load(path) != ProfileFile::LoadStatus::Loaded) return false;
    return std::any_of(keys.begin(), keys.end(),
                       [&](const BackupKey& k) { return file.Get(kBackupSection, k.control).has_value(); });
}

}  // namespace quorvane
