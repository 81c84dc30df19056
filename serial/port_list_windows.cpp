// Serial ports from the registry: the values of the key
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, which every serial driver fills
// with its ports' names, in the order the registry keeps them. The key is only read.
// The registry tells nothing of the adapter behind a name, so a lost port is
// recognised again by its name.
#include <windows.h>

#include "serial/port_list.h"

namespace quorvane {
namespace {

constexpr wchar_t kSerialCommKey[] = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Text in the system's code page, as the port box and CommName take it.
std::string Narrow(const wchar_t* text, int length) {
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_ACP, 0, text, length, result.data(), size, nullptr, nullptr);
    }
    return result;
}

std::vector<std::string> PortsUnder(HKEY root, const wchar_t* path) {
    std::vector<std::string> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return ports;
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                           &longestName, &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
        std::wstring name(longestName + 1, L'\0');
        std::wstring data(longestData / sizeof(wchar_t) + 1, L'\0');
        for (DWORD index = 0;; ++index) {
            DWORD nameLength = static_cast<DWORD>(name.size());
            DWORD dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
            DWORD type = 0;
            const LONG result =
                ::RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type,
                                reinterpret_cast<BYTE*>(data.data()), &dataBytes);
            if (result == ERROR_NO_MORE_ITEMS) break;
            // A value added since the sizes were taken is skipped, not read cut short.
            if (result != ERROR_SUCCESS || type != REG_SZ) continue;
            int length = static_cast<int>(dataBytes / sizeof(wchar_t));
            while (length > 0 && data[static_cast<std::size_t>(length) - 1] == L'\0') --length;
            if (length > 0) ports.push_back(Narrow(data.data(), length));
        }
    }
    ::RegCloseKey(key);
    return ports;
}

}  // namespace

std::vector<std::string> ListSerialPorts() { return PortsUnder(HKEY_LOCAL_MACHINE, kSerialCommKey); }

std::vector<std::string> ListSerialPorts(const std::string& keyPath) {
    const std::wstring path(keyPath.begin(), keyPath.end());
    return PortsUnder(HKEY_CURRENT_USER, path.c_str());
}

// A COM port opens for one handle at a time, so no other program reads it beside
// this one; the adapter's latency lives in its driver's own settings.
std::vector<PortHolder> OtherPortHolders(const std::string&) { return {}; }

std::optional<int> LatencyTimerMs(const std::string&, const std::string&) { return std::nullopt; }

std::unique_ptr<PortSource> MakeSystemPortSource() {
    return std::make_unique<FunctionPortSource>([] { return BarePorts(ListSerialPorts()); });
}

}  // namespace quorvane
