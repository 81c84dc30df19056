// The tracker's 54 events: code, name, the Event tab's controls that hold their
// settings, and which groups of action flags each has. The Event tab, the Event
// block and the settings file all work from this one table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorvane {

// Action flag groups, in the order of an event record's flag bytes.
enum class FlagGroup : std::uint8_t { Gprs, Sms, Call, Moni, Out };
inline constexpr int kFlagGroupCount = 5;

struct EventFlag {
    FlagGroup group;
    int number;        // 1-based within the group; the bit is number - 1
    const char* name;  // "GPRS1", "SMS2", "Call3", "Moni1", "OUT2": appended to the prefix
};

struct EventDef {
    int code;                  // 0-57; 13-16 are not events
    std::string name;          // "Ext-power low"; the settings-file stem of most events
    std::string nameEdit;      // "ExtPowerLowName"; empty for an event without a name edit
    std::string prefix;        // "ExtLow": check box names are prefix + flag name
    std::uint8_t groups;       // bit (1 << FlagGroup) set for each group the event has
    std::string settingsStem;  // stem of the flag keys in the settings file ("Interval" for code 0)

    bool Has(FlagGroup g) const { return (groups >> static_cast<int>(g)) & 1U; }
};

// The 54 events in code order.
const std::vector<EventDef>& EventCatalogue();
// nullptr for codes without an event (13-16) and codes out of range.
const EventDef* FindEvent(int code);
// The 13 flags in window column order: GPRS1 GPRS2, then per authorised number
// SMS n, Call n, Moni n, then OUT1 OUT2.
const std::vector<EventFlag>& EventFlagsInColumnOrder();
// The check box names an event has, in column order.
std::vector<std::string> CheckBoxNames(const EventDef& event);

}  // namespace quorvane
