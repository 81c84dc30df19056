// A backup's own section of a settings file. A settings file has no key for some
// stored controls (the Temp tab's sensor table, IN4Moni1, FuelLowSMS3, FuelLowMoni3);
// a backup keeps them too, one key per control name, so that a backup loaded and
// written restores the tracker byte for byte. Which controls those are is the
// caller's list: the section only reads and writes them.
#pragma once

#include <span>
#include <string>

#include "seams/form.h"
#include "settings/settings_file.h"

namespace quorvane {

inline constexpr const char* kBackupSection = "Backup";

// One key of the section: the control's name and how its value is written (text, a
// combo box's index, a check box's 1 or 0).
struct BackupKey {
    std::string control;
    ValueForm form;
};

class ProfileFile;
// Sets the section's keys of `keys` in `file`, in memory.
void SetBackupSection(const Form& form, ProfileFile& file, std::span<const BackupKey> keys);
// Adds the section with every key of `keys` to the settings file at `path`, its other
// lines kept. Throws ESettingsFileError("Unable to write to <path>").
void WriteBackupSection(const Form& form, const std::string& path, std::span<const BackupKey> keys);
// Sets the controls of `keys` found in the section of the file at `path`; a file
// without the section (every ordinary settings file) or without a file changes nothing.
// An index outside 0..255 or not an integer selects no item; a flag checks for any
// integer but 0.
void ReadBackupSection(Form& form, const std::string& path, std::span<const BackupKey> keys);
// True when the file at `path` has a value for at least one of `keys` in the section.
bool HasBackupSection(const std::string& path, std::span<const BackupKey> keys);

}  // namespace quorvane
