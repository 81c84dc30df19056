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
    {"gprs", "GPRS", "TabSheet2", "GPRSReadClick", "GPRSWriteClick", kGprs, "Reading GPRS...",
     "Writing GPRS...", "Read GPRS OK", "Write GPRS OK", "Read GPRS Completed!", "Write GPRS Completed!"},
    {"main", "Main", "TabSheet3", "MainSetReadClick", "MainSetWriteClick", kMain, "Reading Main...",
     "Writing Main...", "Read Main OK", "Write Main OK", "Read Main Completed!", "Write Main Completed!"},
    {"interface", "Interface", "TabSheet8", "InterfaceReadClick", "InterfaceWriteClick", kInterface,
     "Reading Interface...", "Writing Interface...", "Read Interface OK", "Write Interface OK",
     "Read Interface Completed!", "Write Interface Completed!"},
    {"temp", "Temperature", "TabSheet9", "Temp_ReadClick", "Temp_WriteClick", kTemperature, "Reading Temp...",
     "Writing Temp...", "Read Temperature OK", "Write Temperature OK", "Read Temperature Completed!",
     "Write Temperature Completed!"},
    {"auth", "Auth", "TabSheet5", "SMSReadClick", "SMSWriteClick", kSms, "Reading Auth...", "Writing Auth...",
     "Read Auth OK", "Write Auth OK", "Read Auth Completed!", "Write Auth Completed!"},
    {"geo", "GEO", "TabSheet4", "GEOFenceReadClick", "GEOFenceWriteClick", kGeoFence, "Reading GEO...",
     "Writing GEO...", "Read GEO OK", "Write GEO OK", "Read GEO Completed!", "Write GEO Completed!"},
    {"event", "Event", "TabSheet6", "EventReadClick", "EventWriteClick", kEvent, "Reading Event...",
     "Writing Event...", "Read Event OK", "Write Event OK", "Read Event Completed!", "Write Event Completed!"},
}};

constexpr Group kAllGroups{"all",           "All",           "",
                           "ReadAllClick",  "WriteAllClick", kAll,
                           "Reading All...", "Writing All...", "Read All OK",
                           "Write All OK",  "Read All Completed!", "Write All Completed!"};

struct OneShot {
    Operation op;
    const char* handler;
    const char* title;
};

constexpr std::array<OneShot, 10> kOneShots{{
    {Operation::Default, "InitAllClick", "Default"},
    {Operation::ClearSms, "ClearSMSClick", "Clear SMS Buffer"},
    {Operation::ClearGprs1, "ClearGPRS1Click", "Clear GPRS-1 Buffer"},
    {Operation::ClearGprs2, "ClearGPRS2Click", "Clear GPRS-2 Buffer"},
    {Operation::ClearGpsLog, "ClearGPSLogClick", "Clear GPS Log"},
    {Operation::SetMileage, "SetMileageClick", "Set Mileage"},
    {Operation::AuthorizeId, "SET_IDClick", "Auth ID"},
    {Operation::DeleteId, "DEL_IDClick", "Delete ID"},
    {Operation::CheckId, "CHK_IDClick", "Check ID"},
    {Operation::TemperaturePair, "Temp_PairClick", "Temperature Pairing"},
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

void EncodeEveryBlock(const Form& form, const Group& group) {
    TxPayload scratch;
    for (BlockId id : group.blocks) EncoderOf(id)(form, scratch);
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

const char* TitleOf(Operation op) {
    for (const OneShot& o : kOneShots) {
        if (o.op == op) return o.title;
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
