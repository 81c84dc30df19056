// What the core asks of the operating system outside the serial line: the running
// program's folder, the local time, and writing a whole file so that it is either the
// old one or the new one. One implementation per system, picked by CMake:
// system_posix.cpp (Linux and the like) and system_windows.cpp; system.cpp holds
// what is plain C++. Apart from the serial component's backend and port list, no
// other product file includes a system header.
#pragma once

#include <cstddef>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

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
// As PrepareFolder, each folder it makes the owner's only (0700); `error` says why not.
bool PreparePrivateFolder(const std::filesystem::path& folder, std::error_code& error);

// Why a file could not be read or written, in a technician's words ("the disk is
// full", "the file system is read-only", "it is a folder", "permission denied").
std::string FileErrorReason(const std::error_code& error);

// The bound of a text file this program reads whole (a settings or CSV file): far
// beyond any real one.
inline constexpr std::size_t kMaxTextFileBytes = std::size_t{16} * 1024 * 1024;

// Errors of this program's own about files, beside the system's.
enum class FileError {
    NotARegularFile = 1,  // a device, FIFO or socket where a file is expected
    TooLarge,             // beyond the bound given to ReadWholeFile
    ReadOnlyFile,         // a file without any write permission
};
const std::error_category& FileErrorCategory();
std::error_code MakeFileError(FileError e);

// Reads the regular file at `path` whole. Something else at the path (a folder, a
// device, a FIFO) is refused before any byte is read and never waited on; a file of
// more than `maxBytes` is refused without reading it all. False with `error` set
// (std::errc::no_such_file_or_directory when nothing is there).
bool ReadWholeFile(const std::filesystem::path& path, std::size_t maxBytes, std::string& out,
                   std::error_code& error);

enum class PrivateOpen { Truncate, Append };
// Opens `path` for writing in binary mode. A missing file is created readable and
// writable by its owner only from its first byte; an existing one keeps its mode.
// A FIFO without a reader is refused instead of waited on. Null with `error` set
// when it cannot be opened.
std::FILE* OpenPrivateFile(const std::filesystem::path& path, PrivateOpen how, std::error_code& error);

struct ReplaceOptions {
    // Called once the new contents are on disk, before they replace the old file
    // (tests stop a save there).
    std::function<void()> beforeReplace;
};

// Writes `data` as the contents of the regular file `target` (its links already
// followed), or creates it when `exists` is false. The new contents go into a
// temporary file in the same folder, created readable by its owner only, are flushed
// to the disk, take the old file's owner, group, permissions, access list and
// extended attributes (a new file stays the owner's only), and are renamed over it. Temporaries left behind by
// a save that was killed are removed first. Where no temporary can be made or given
// the old owner (the folder is not writable, the file belongs to another user) an
// existing file is rewritten in place instead; see ReplaceInPlace. False, with the
// old file as it was, when the file cannot be written; `error` then says why.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view data, bool exists,
                         const ReplaceOptions& options = {}, std::error_code* error = nullptr);

}  // namespace quorvane
