// Trusting a write: the user's options, the check of what the tracker holds after a
// write against what was sent, and the backup taken before one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trust/compare.h"
#include "trust/stored_value.h"
#include "seams/form.h"
#include "blocks/memory_map.h"
#include "link/block_reader.h"
#include "platform/system.h"
#include "settings/backup_section.h"

namespace quorvane {

// The user's options; kept by the front end in the user's own configuration, never in
// a settings file. All off: every operation behaves and talks on the line as before.
struct WriteSafetyOptions {
    bool verifyAfterWrite = false;     // read back what a Write / Write All sent and compare
    bool backUpBeforeWriting = false;  // save the tracker's configuration before Write, Write All, Default
    std::string backupFolder;          // BACKUPDIR; backups go to BACKUPDIR/IMEI/YYYYMMDD-HHMMSS.ini
    std::size_t keepBackups = 20;      // per tracker; older backups are removed
};

// The data bytes of each block write request sent, by block.
using SentBlocks = std::map<BlockId, std::vector<std::uint8_t>>;

// The block a write request's payload (area, offset, length, data) belongs to, or
// nullopt. Used to note what a write sent.
std::optional<BlockId> WrittenBlock(std::span<const std::uint8_t> payload);

// The data bytes of a read answer (from area offset Block(id).readOffset); empty when
// the answer does not hold the block.
std::span<const std::uint8_t> AnswerData(BlockId id, std::span<const std::uint8_t> answer);

// Compares every byte sent with the byte read back at the same area offset and lists
// the controls that differ, with thisValue = the sent value and otherValue = the read
// value as the window would show them. A differing byte no control holds is listed as
// "area A offset N". Blocks sent but not read back count as differing.
// With `held` (the window's values, or a command's form, as written), each control
// read back must also mean the value `held` holds: a number by its exact value ("05"
// is 5, "11.4" is 11.40), a text letter for letter, a combo box by index. A value
// changed on the way (cut, wrapped, rounded) differs even when its bytes came back as
// sent; thisValue is then the held value and sentValue what was sent.
Comparison VerifyWrite(const SentBlocks& sent, const ReadAnswers& read, const Form* held = nullptr);

// True when the field bytes in `data` (from area offset `dataOffset`) mean the value
// `held` holds for the unit's control, as VerifyWrite judges it.
bool HoldsValueOf(const Form& held, std::span<const std::uint8_t> data, std::uint16_t dataOffset,
                  const StoredUnit& unit);

// Decodes read answers into `form` with the blocks' own decoders.
void DecodeAnswers(Form& form, const ReadAnswers& answers);

// The folder of one tracker's backups: BACKUPDIR/IMEI, IMEI reduced to letters,
// digits, '-' and '_' ("unknown" when nothing is left).
std::filesystem::path BackupFolderFor(const std::string& backupFolder, std::string_view imei);
// BACKUPDIR/IMEI/YYYYMMDD-HHMMSS.ini in local time; a name already taken gets "-2",
// "-3", ... before ".ini".
std::filesystem::path NewBackupPath(const std::string& backupFolder, std::string_view imei,
                                    std::chrono::system_clock::time_point when);
// Saves `form` as a settings file at `path` in one atomic save (the file is whole or
// absent, and its owner's only), creating its folder (the owner's only), then removes
// all but the newest `keep` backups (*.ini by name) of that folder. Throws
// ESettingsFileError, with the reason, when the folder or the file cannot be written.
// The backup's own section keeps the controls of BackupKeys() as well.
void SaveBackup(const Form& form, const std::filesystem::path& path, std::size_t keep,
                const ReplaceOptions& options = {});

// The stored controls a settings file has no key for, which a backup keeps in its own
// section (settings/backup_section.h).
std::span<const BackupKey> BackupKeys();

}  // namespace quorvane
