// The commands of the tracker link: each code, the same in a request and in its
// answer, with the name the traffic rows show.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane {

inline constexpr std::uint8_t CmdConnect = 0x50;
inline constexpr std::uint8_t CmdWriteBlock = 0x58;
inline constexpr std::uint8_t CmdReadBlock = 0x59;
inline constexpr std::uint8_t CmdAuthorizeId = 0xB0;
inline constexpr std::uint8_t CmdDeleteId = 0xB1;
inline constexpr std::uint8_t CmdCheckId = 0xB2;
inline constexpr std::uint8_t CmdTemperaturePair = 0xB5;
inline constexpr std::uint8_t CmdClearSms = 0xC0;
inline constexpr std::uint8_t CmdClearGprs1 = 0xC1;
inline constexpr std::uint8_t CmdClearGprs2 = 0xC2;
inline constexpr std::uint8_t CmdClearGpsLog = 0xC3;
inline constexpr std::uint8_t CmdSetMileage = 0xC4;
inline constexpr std::uint8_t CmdDefault = 0xE5;

struct CommandName {
    std::uint8_t code;
    std::string_view name;
};

inline constexpr std::array<CommandName, 13> kCommandNames{{
    {CmdConnect, "Connect"},
    {CmdWriteBlock, "Write Block"},
    {CmdReadBlock, "Read Block"},
    {CmdAuthorizeId, "Auth ID"},
    {CmdDeleteId, "Delete ID"},
    {CmdCheckId, "Check ID"},
    {CmdTemperaturePair, "Temperature Pair"},
    {CmdClearSms, "Clear SMS"},
    {CmdClearGprs1, "Clear GPRS-1"},
    {CmdClearGprs2, "Clear GPRS-2"},
    {CmdClearGpsLog, "Clear GPS Log"},
    {CmdSetMileage, "Set Mileage"},
    {CmdDefault, "Default"},
}};

// The name of a known command code; nullopt for any other byte.
constexpr std::optional<std::string_view> NameOfCommand(std::uint8_t code) {
    for (const CommandName& c : kCommandNames) {
        if (c.code == code) return c.name;
    }
    return std::nullopt;
}

}  // namespace quorvane
