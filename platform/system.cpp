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
        std::FILE* f = std::fopen(probe.string().c_str(), "wb");
        if (!f) return false;
        std::fclose(f);
        std::filesystem::remove(probe, ec);
        return true;
    }
    return false;
}

bool PrepareFolder(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

}  // namespace quorvane
