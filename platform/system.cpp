// The plain C++ part of the system seam: the names of a save's temporaries and the
// folder checks.
#include "platform/system.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace quorvane {

namespace {

constexpr std::size_t kTagLength = 8;

bool IsHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

std::string SaveTemporaryName() {
    // Unlikely to repeat, also across processes saving into one folder; a name that
    // exists already is skipped by the caller all the same.
    const auto now = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::uint32_t tag = static_cast<std::uint32_t>(std::random_device{}()) ^ now;
    char hex[kTagLength + 1];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(tag));
    return std::string(kSaveTemporaryPrefix) + hex + std::string(kSaveTemporarySuffix);
}

bool IsSaveTemporaryName(std::string_view name) {
    if (name.size() != kSaveTemporaryPrefix.size() + kTagLength + kSaveTemporarySuffix.size()) return false;
    if (name.substr(0, kSaveTemporaryPrefix.size()) != kSaveTemporaryPrefix) return false;
    if (name.substr(name.size() - kSaveTemporarySuffix.size()) != kSaveTemporarySuffix) return false;
    for (char c : name.substr(kSaveTemporaryPrefix.size(), kTagLength))
        if (!IsHexDigit(c)) return false;
    return true;
}

bool CanCreateFileIn(const std::filesystem::path& folder) {
    std::error_code ec;
    const std::filesystem::path base = folder.empty() ? std::filesystem::path(".") : folder;
    if (!std::filesystem::is_directory(base, ec)) return false;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const std::filesystem::path probe = base / SaveTemporaryName();
        if (std::filesystem::exists(probe, ec)) continue;
        std::error_code error;
        std::FILE* f = OpenPrivateFile(probe, PrivateOpen::Truncate, error);
        if (!f) return false;
        std::fclose(f);
        std::filesystem::remove(probe, ec);
        return true;
    }
    return false;
}

namespace {

class FileErrorCategoryImpl : public std::error_category {
public:
    const char* name() const noexcept override { return "quorvane-file"; }
    std::string message(int value) const override {
        switch (static_cast<FileError>(value)) {
            case FileError::NotARegularFile: return "it is not a regular file (a device or FIFO)";
            case FileError::TooLarge: return "it is larger than 16 MiB, far beyond any such file";
            case FileError::ReadOnlyFile: return "the file is read-only";
        }
        return "unknown file error";
    }
};

}  // namespace

const std::error_category& FileErrorCategory() {
    static const FileErrorCategoryImpl category;
    return category;
}

std::error_code MakeFileError(FileError e) { return {static_cast<int>(e), FileErrorCategory()}; }

std::string FileErrorReason(const std::error_code& error) {
    if (error.category() == FileErrorCategory()) return error.message();
    const std::error_condition c = error.default_error_condition();
    if (c == std::errc::no_space_on_device) return "the disk is full";
    if (c == std::errc::read_only_file_system) return "the file system is read-only";
    if (c == std::errc::is_a_directory) return "it is a folder";
    if (c == std::errc::permission_denied || c == std::errc::operation_not_permitted) return "permission denied";
    if (c == std::errc::no_such_file_or_directory) return "the file or its folder does not exist";
    if (c == std::errc::not_a_directory) return "a part of the path is not a folder";
    if (c == std::errc::file_too_large) return "the file is too large";
    if (c == std::errc::filename_too_long) return "the name is too long";
    if (c == std::errc::no_such_device_or_address) return "nothing reads at the other end";
    if (!error) return "unknown reason";
    return error.message();
}

bool PrepareFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

}  // namespace quorvane
