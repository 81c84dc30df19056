// What the core asks of the operating system outside the serial line: the running
// program's folder, the local time, and writing a whole file so that it is either the
// old one or the new one. One implementation per system, picked by CMake:
// system_posix.cpp (Linux and the like) and system_windows.cpp; system.cpp holds
// what is plain C++. Apart from the serial component's backend and port list, no
// other product file includes a system header.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

// The folder of the running program, ending in a separator; from `argv0` when the
// system cannot tell.
std::string ProgramDir(const char* argv0);

// `time` as local calendar time, thread-safe; false when it cannot be converted.
bool LocalTime(std::time_t time, std::tm& local);

// Temporary files of a save are named ".qvsave-XXXXXXXX.tmp" in the target's folder:
// short whatever the target's name, hidden, and never "*.ini", so no settings dialog
// offers them and no start-up load reads them.
inline constexpr std::string_view kSaveTemporaryPrefix = ".qvsave-";
inline constexpr std::string_view kSaveTemporarySuffix = ".tmp";

// A fresh temporary name (no folder).
std::string SaveTemporaryName();
// True for a name SaveTemporaryName could have given.
bool IsSaveTemporaryName(std::string_view name);

// True when a new file can be made in `folder` (tried with a temporary that is
// removed again): the one answer that holds for permissions, access lists and
// read-only mounts alike.
bool CanCreateFileIn(const std::filesystem::path& folder);
// Makes `folder` and its parents where missing; true when it is there afterwards.
bool PrepareFolder(const std::filesystem::path& folder);

struct ReplaceOptions {
    // Called once the new contents are on disk, before they replace the old file
    // (tests stop a save there).
    std::function<void()> beforeReplace;
};

// Writes `data` as the contents of the regular file `target` (its links already
// followed), or creates it when `exists` is false. The new contents go into a
// temporary file in the same folder, are flushed to the disk, take the old file's
// owner, group and permissions, and are renamed over it. Temporaries left behind by
// a save that was killed are removed first. Where no temporary can be made or given
// the old owner (the folder is not writable, the file belongs to another user) an
// existing file is rewritten in place instead; see ReplaceInPlace. False, with the
// old file as it was, when the file cannot be written.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view data, bool exists,
                         const ReplaceOptions& options = {});

}  // namespace quorvane
