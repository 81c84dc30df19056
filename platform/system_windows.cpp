// The system seam on Windows. A save: a temporary written, flushed and put in the
// target's place by ReplaceFileW, which keeps the old file's access list and
// attributes; or the target rewritten in place where no temporary can be made.
// Owners are not carried over, and an abandoned temporary is removed when nothing
// holds it open any more. New files take the access list their folder gives them.
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/system.h"

namespace quorvane {

std::string ProgramDir(const char* argv0) {
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) break;
        if (length < name.size()) {
            name.resize(length);
            // Narrow text in the system's code page, as every other path the core handles.
            return std::filesystem::path(name).parent_path().string() + "\\";
        }
        if (name.size() >= 32768) break;
        name.resize(name.size() * 2);
    }
    std::error_code ec;
    return std::filesystem::absolute(argv0, ec).parent_path().string() + "\\";
}

bool LocalTime(std::time_t time, std::tm& local) { return ::localtime_s(&local, &time) == 0; }

namespace {

namespace fs = std::filesystem;

constexpr int kNameAttempts = 32;

bool Commit(std::FILE* f) {
    if (std::fflush(f) != 0 || std::ferror(f)) return false;
    return ::_commit(::_fileno(f)) == 0;
}

bool WriteAndClose(std::FILE* f, std::string_view data) {
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size() && Commit(f);
    return std::fclose(f) == 0 && written;
}

bool ReadFile(const fs::path& path, std::string& out) {
    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    if (!f) return false;
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

std::error_code LastErrno() { return {errno, std::generic_category()}; }

bool ReplaceInPlace(const fs::path& target, std::string_view data, std::error_code& error) {
    std::string old;
    if (!ReadFile(target, old)) {
        error = LastErrno();
        return false;
    }
    std::FILE* f = std::fopen(target.string().c_str(), "r+b");
    if (!f) {
        error = LastErrno();
        return false;
    }
    std::fclose(f);
    f = std::fopen(target.string().c_str(), "wb");
    if (!f) {
        error = LastErrno();
        return false;
    }
    if (WriteAndClose(f, data)) return true;
    error = LastErrno();
    if (std::FILE* undo = std::fopen(target.string().c_str(), "wb")) (void)WriteAndClose(undo, old);
    return false;
}

// The temporary put in the old file's place, keeping the old file's access list and
// attributes; a plain rename where that is refused.
bool PutInPlace(const fs::path& temporary, const fs::path& target, bool exists, std::error_code& error) {
    if (exists && ::ReplaceFileW(target.wstring().c_str(), temporary.wstring().c_str(), nullptr,
                                 REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    error.clear();
    fs::rename(temporary, target, error);
    return !error;
}

}  // namespace

bool ReplaceFileContents(const fs::path& target, std::string_view data, bool exists,
                         const ReplaceOptions& options, std::error_code* error) {
    std::error_code why;
    const bool done = [&] {
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        std::error_code ec;
        // A temporary still open in a live save cannot be removed on Windows.
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code ignored;
            if (IsSaveTemporaryName(it->path().filename().string())) fs::remove(it->path(), ignored);
        }

        fs::path temporary;
        std::FILE* out = nullptr;
        for (int attempt = 0; attempt < kNameAttempts && !out; ++attempt) {
            temporary = folder / SaveTemporaryName();
            if (!fs::exists(temporary, ec)) out = std::fopen(temporary.string().c_str(), "wb");
            if (!out && !fs::exists(temporary, ec)) break;
        }
        if (!out) {
            why = LastErrno();
            return exists && ReplaceInPlace(target, data, why);
        }
        if (!WriteAndClose(out, data)) {
            why = LastErrno();
            fs::remove(temporary, ec);
            return false;
        }
        if (options.beforeReplace) options.beforeReplace();
        if (!PutInPlace(temporary, target, exists, why)) {
            fs::remove(temporary, ec);
            return exists && ReplaceInPlace(target, data, why);
        }
        return true;
    }();
    if (!done && error != nullptr) *error = why;
    return done;
}

bool PreparePrivateFolder(const fs::path& folder, std::error_code& error) {
    error.clear();
    if (folder.empty()) return true;
    fs::create_directories(folder, error);
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    // A file where the folder should be.
    if (!error || error == std::errc::file_exists) error = std::make_error_code(std::errc::not_a_directory);
    return false;
}

bool ReadWholeFile(const fs::path& path, std::size_t maxBytes, std::string& out, std::error_code& error) {
    out.clear();
    error.clear();
    const fs::file_status status = fs::status(path, error);
    if (error) return false;
    if (status.type() == fs::file_type::not_found) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
        return false;
    }
    if (fs::is_directory(status)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    if (!fs::is_regular_file(status)) {
        error = MakeFileError(FileError::NotARegularFile);
        return false;
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) return false;
    if (size > maxBytes) {
        error = MakeFileError(FileError::TooLarge);
        return false;
    }
    std::FILE* f = std::fopen(path.string().c_str(), "rb");
    if (!f) {
        error = LastErrno();
        return false;
    }
    out.reserve(static_cast<std::size_t>(size));
    char buffer[1 << 16];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (out.size() + n > maxBytes) {
            std::fclose(f);
            out.clear();
            error = MakeFileError(FileError::TooLarge);
            return false;
        }
        out.append(buffer, n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) error = std::make_error_code(std::errc::io_error);
    return !failed;
}

std::FILE* OpenPrivateFile(const fs::path& path, PrivateOpen how, std::error_code& error) {
    error.clear();
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = std::make_error_code(std::errc::is_a_directory);
        return nullptr;
    }
    std::FILE* file = std::fopen(path.string().c_str(), how == PrivateOpen::Append ? "ab" : "wb");
    if (file == nullptr) error = LastErrno();
    return file;
}

}  // namespace quorvane
