#include "link/groups.h"

#include <array>

#include "blocks/blocks.h"

namespace quorvane {

namespace {

constexpr BlockId kGprs[] = {BlockId::Gprs};
// The Main group is always read and written as its two blocks.
constexpr BlockId kMain[] = {BlockId::Main, BlockId::MainExt};
constexpr BlockId kInterface[] = {BlockId::Interface};
constexpr BlockId kTemperature[] = {BlockId::Temperature};
constexpr BlockId kSms[] = {BlockId::Sms};
constexpr BlockId kGeoFence[] = {BlockId::GeoFence};
constexpr BlockId kEvent[] = {BlockId::Event};
constexpr BlockId kAll[] = {BlockId::Gprs,        BlockId::Main, BlockId::MainExt,  BlockId::Interface,
                            BlockId::Temperature, BlockId::Sms,  BlockId::GeoFence, BlockId::Event};

constexpr std::array<Group, 7> kGroups{{
    {"gprs", "TabSheet2", "GPRSReadClick", "GPRSWriteClick", kGprs, "Reading GPRS...", "Writing GPRS...",
     "Read GPRS OK", "Write GPRS OK", "Read GPRS Completed!", "Write GPRS Completed!"},
    {"main", "TabSheet3", "MainSetReadClick", "MainSetWriteClick", kMain, "Reading Main...", "Writing Main...",
     "Read Main OK", "Write Main OK", "Read Main Completed!", "Write Main Completed!"},
    {"interface", "TabSheet8", "InterfaceReadClick", "InterfaceWriteClick", kInterface, "Reading Interface...",
     "Writing Interface...", "Read Interface OK", "Write Interface OK", "Read Interface Completed!",
     "Write Interface Completed!"},
    {"temp", "TabSheet9", "Temp_ReadClick", "Temp_WriteClick", kTemperature, "Reading Temp...", "Writing Temp...",
     "Read Temperature OK", "Write Temperature OK", "Read Temperature Completed!", "Write Temperature Completed!"},
    {"auth", "TabSheet5", "SMSReadClick", "SMSWriteClick", kSms, "Reading Auth...", "Writing Auth...",
     "Read Auth OK", "Write Auth OK", "Read Auth Completed!", "Write Auth Completed!"},
    {"geo", "TabSheet4", "GEOFenceReadClick", "GEOFenceWriteClick", kGeoFence, "Reading GEO...", "Writing GEO...",
     "Read GEO OK", "Write GEO OK", "Read GEO Completed!", "Write GEO Completed!"},
    {"event", "TabSheet6", "EventReadClick", "EventWriteClick", kEvent, "Reading Event...", "Writing Event...",
     "Read Event OK", "Write Event OK", "Read Event Completed!", "Write Event Completed!"},
}};

constexpr Group kAllGroups{"all",          "",           "ReadAllClick", "WriteAllClick",
                           kAll,           "Reading All...", "Writing All...", "Read All OK",
                           "Write All OK", "Read All Completed!", "Write All Completed!"};

struct OneShot {
    Operation op;
    const char* handler;
};

constexpr std::array<OneShot, 10> kOneShots{{
    {Operation::Default, "InitAllClick"},
    {Operation::ClearSms, "ClearSMSClick"},
    {Operation::ClearGprs1, "ClearGPRS1Click"},
    {Operation::ClearGprs2, "ClearGPRS2Click"},
    {Operation::ClearGpsLog, "ClearGPSLogClick"},
    {Operation::SetMileage, "SetMileageClick"},
    {Operation::AuthorizeId, "SET_IDClick"},
    {Operation::DeleteId, "DEL_IDClick"},
    {Operation::CheckId, "CHK_IDClick"},
    {Operation::TemperaturePair, "Temp_PairClick"},
}};

}  // namespace

std::span<const Group> Groups() { return kGroups; }

const Group* FindGroup(std::string_view name) {
    for (const Group& g : kGroups) {
        if (name == g.name) return &g;
    }
    return nullptr;
}

const Group& GroupOf(BlockId block) {
    for (const Group& g : kGroups) {
        for (BlockId b : g.blocks) {
            if (b == block) return g;
        }
    }
    return kAllGroups;
}

const Group& AllGroups() { return kAllGroups; }

BlockEncoder EncoderOf(BlockId block) {
    switch (block) {
    case BlockId::Gprs: return EncodeGprsBlock;
    case BlockId::Main: return EncodeMainBlock;
    case BlockId::MainExt: return EncodeMainExtBlock;
    case BlockId::Interface: return EncodeInterfaceBlock;
    case BlockId::Temperature: return EncodeTemperatureBlock;
    case BlockId::Sms: return EncodeSmsBlock;
    case BlockId::GeoFence: return EncodeGeoFenceBlock;
    case BlockId::Event: return EncodeEventBlock;
    case BlockId::DeviceId: return nullptr;
    }
    return nullptr;
}

BlockDecoder DecoderOf(BlockId block) {
    switch (block) {
    case BlockId::Gprs: return DecodeGprsBlock;
    case BlockId::Main: return DecodeMainBlock;
    case BlockId::MainExt: return DecodeMainExtBlock;
    case BlockId::Interface: return DecodeInterfaceBlock;
    case BlockId::Temperature: return DecodeTemperatureBlock;
    case BlockId::Sms: return DecodeSmsBlock;
    case BlockId::GeoFence: return DecodeGeoFenceBlock;
    case BlockId::Event: return DecodeEventBlock;
    case BlockId::DeviceId: return nullptr;
    }
    return nullptr;
}

const char* HandlerOf(Operation op, const Group* group) {
    switch (op) {
    case Operation::ReadGroup: return group != nullptr ? group->readHandler : "";
    case Operation::WriteGroup: return group != nullptr ? group->writeHandler : "";
    case Operation::ReadAll: return kAllGroups.readHandler;
    case Operation::WriteAll: return kAllGroups.writeHandler;
    default: break;
    }
    for (const OneShot& o : kOneShots) {
        if (o.op == op) return o.handler;
    }
    return "";
}

std::optional<HandlerTarget> OperationOfHandler(std::string_view handler) {
    if (handler == kAllGroups.readHandler) return HandlerTarget{Operation::ReadAll, &kAllGroups};
    if (handler == kAllGroups.writeHandler) return HandlerTarget{Operation::WriteAll, &kAllGroups};
    for (const Group& g : kGroups) {
        if (handler == g.readHandler) return HandlerTarget{Operation::ReadGroup, &g};
        if (handler == g.writeHandler) return HandlerTarget{Operation::WriteGroup, &g};
    }
    for (const OneShot& o : kOneShots) {
        if (handler == o.handler) return HandlerTarget{o.op, nullptr};
    }
    return std::nullopt;
}

}  // namespace quorvane
