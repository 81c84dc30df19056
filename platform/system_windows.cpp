// The system seam on Windows. A save: a temporary written, flushed and renamed over
// the target, or the target rewritten in place where no temporary can be made.
// Owners are not carried over, and an abandoned temporary is removed when nothing
// holds it open any more.
#include <io.h>
#include <windows.h>

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

bool ReplaceInPlace(const fs::path& target, std::string_view data) {
    std::string old;
    if (!ReadFile(target, old)) return false;
    std::FILE* f = std::fopen(target.string().c_str(), "r+b");
    if (!f) return false;
    std::fclose(f);
    f = std::fopen(target.string().c_str(), "wb");
    if (!f) return false;
    if (WriteAndClose(f, data)) return true;
    if (std::FILE* undo = std::fopen(target.string().c_str(), "wb")) (void)WriteAndClose(undo, old);
    return false;
}

}  // namespace

bool ReplaceFileContents(const fs::path& target, std::string_view data, bool exists,
                         const ReplaceOptions& options) {
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
    if (!out) return exists && ReplaceInPlace(target, data);
    if (!WriteAndClose(out, data)) {
        fs::remove(temporary, ec);
        return false;
    }
    if (exists) fs::permissions(temporary, fs::status(target, ec).permissions(), ec);
    if (options.beforeReplace) options.beforeReplace();
    fs::rename(temporary, target, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return exists && ReplaceInPlace(target, data);
    }
    return true;
}

}  // namespace quorvane
