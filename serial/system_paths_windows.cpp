#include <windows.h>

#include <filesystem>
#include <string>

#include "serial/system_paths.h"

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

}  // namespace quorvane
