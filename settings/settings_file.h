// The window's configuration as an INI settings file: the sections "GPRS", "Main",
// "Interface", "Auth", "GEO" and "Event", one key per stored control.
//
// Value forms:
// - text: the edit's text as it stands; a missing key reads as an empty text.
// - index: the combo box's selected index as a decimal integer, -1 for none. Read as an
//   integer (decimal, or hexadecimal after 0x / 0X, an optional sign in front); a
//   missing key or a value that is not an integer selects item 0; an integer outside
//   the item list leaves no item selected.
// - flag: 1 checked, 0 clear (a grayed box writes 0). Any integer other than 0 checks
//   the box; 0, a missing key or a value that is not an integer ("yes") clears it.
//
// Controls without a key (the Info, Temp and RFID tabs, DeviceID, IN4Moni1,
// FuelLowSMS3, FuelLowMoni3) are neither written nor touched by a load.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "seams/form.h"

namespace quorvane {

// "Unable to write to <path>" (or "Unable to read from <path>"); the window shows it
// in its error box. Reason() says why, where that is known ("the disk is full"), and
// is shown beside the message, never in its place.
class ESettingsFileError : public std::runtime_error {
public:
    explicit ESettingsFileError(const std::string& message, std::string reason = {})
        : std::runtime_error(message), reason_(std::move(reason)) {}
    const std::string& Reason() const { return reason_; }
    // The message, and the reason on a line of its own when there is one.
    std::string Full() const { return reason_.empty() ? std::string(what()) : std::string(what()) + "\n" + reason_; }

private:
    std::string reason_;
};

enum class ValueForm { Text, Index, Flag };

struct SettingsKey {
    std::string section;  // "GPRS"
    std::string key;      // "GPRS1 Buffer Mode"
    std::string control;  // "BufferMode"
    ValueForm form;
};

// The sections in writing and reading order.
const std::vector<std::string>& SettingsSections();
// Every key of every section in writing and reading order. A control may appear under
// two keys (FuelLowSMS2, FuelLowMoni2); the later key is the one that sets it last.
const std::vector<SettingsKey>& SettingsKeys();

// A settings value read as an integer: nullopt when it is not one. Values beyond the
// range of long long saturate.
std::optional<long long> ParseSettingsInteger(std::string_view value);

// Writes every key into `path` in one go: an existing file is updated in place with
// its other lines kept, a missing one is created. The file is replaced whole or not
// at all: on any failure the old file stays exactly as it was and
// ESettingsFileError("Unable to write to <path>") is thrown. A read-only file, a
// missing folder, a folder that does not let a file be created and an existing file
// that cannot be read (it could not be updated in place) all count as unwritable;
// the error's Reason() says which.
void SaveSettingsFile(const Form& form, const std::string& path);

class ProfileFile;
// Sets every key of every section in `file` from `form`, in key order.
void SetSettingsKeys(const Form& form, ProfileFile& file);
// ESettingsFileError "Unable to write to <path>" / "Unable to read from <path>", with
// the reason `why` gives.
[[noreturn]] void ThrowUnwritable(const std::string& path, const std::error_code& why);
[[noreturn]] void ThrowUnreadable(const std::string& path, const std::error_code& why);

// Reads the file at `path` once and sets every stored control from it in key order.
// False, with nothing changed, when no file exists at the path. True once the file
// was read: the caller sets its SettingsLoaded flag from this (the flag stands for
// "a file existing at the path was loaded"). Something at the path that cannot be
// read as a file (a folder, a device or FIFO, no permission, over 16 MiB) changes
// nothing and throws ESettingsFileError("Unable to read from <path>") with the reason.
bool LoadSettingsFile(Form& form, const std::string& path);

}  // namespace quorvane
