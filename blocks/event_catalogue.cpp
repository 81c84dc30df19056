#include "blocks/event_catalogue.h"

namespace quorvane {

namespace {

constexpr std::uint8_t Bit(FlagGroup g) { return static_cast<std::uint8_t>(1U << static_cast<int>(g)); }

constexpr std::uint8_t G = Bit(FlagGroup::Gprs);
constexpr std::uint8_t GS = G | Bit(FlagGroup::Sms);
constexpr std::uint8_t GSO = GS | Bit(FlagGroup::Out);
constexpr std::uint8_t GSCM = GS | Bit(FlagGroup::Call) | Bit(FlagGroup::Moni);
constexpr std::uint8_t GSCMO = GSCM | Bit(FlagGroup::Out);

struct Row {
    int code;
    const char* name;
    const char* nameEdit;
    const char* prefix;
    std::uint8_t groups;
};

// Codes 13 to 16 are not events.
constexpr Row kRows[] = {
    {0, "Interval tracking", "IntervalName", "Interval", GS},
    {1, "Input1 active", "IN1Name", "IN1", GSCMO},
    {2, "Input1 inactive", "IN1IName", "IN1I", GSCMO},
    {3, "Input2 active", "IN2Name", "IN2", GSCMO},
    {4, "Input2 inactive", "IN2IName", "IN2I", GSCMO},
    {5, "Input3 active", "IN3Name", "IN3", GSCMO},
    {6, "Input3 inactive", "IN3IName", "IN3I", GSCMO},
    {7, "Input4 active", "IN4Name", "IN4", GSCMO},
    {8, "Input4 inactive", "IN4IName", "IN4I", GSCMO},
    {9, "Input5 active", "IN5Name", "IN5", GSCMO},
    {10, "Input5 inactive", "IN5IName", "IN5I", GSCMO},
    {11, "Input6 active", "IN6Name", "IN6", GSCMO},
    {12, "Input6 inactive", "IN6IName", "IN6I", GSCMO},
    {17, "Ext-power low", "ExtPowerLowName", "ExtLow", GS},
    {18, "Ext-power lost", "ExtPowerLostName", "ExtLost", GSCMO},
    {19, "Ext-power connect", "ExtPowerConnectName", "ExtCon", GSCMO},
    {20, "Int-battery low", "BetLowName", "IntLow", GS},
    {21, "GPS antenna cut", "AntennaCutName", "GPSCut", GSCMO},
    {22, "Speeding alarm", "SpeedingName", "Speed", GSCMO},
    {23, "Enter sleep", "EnterSleepName", "EnterSleep", GS},
    {24, "Exit sleep", "ExitSleepName", "ExitSleep", GS},
    {25, "Exit geo-fence", "ExitGEOName", "ExitGEO", GSCMO},
    {26, "Enter geo-fence", "EnterGEOName", "EnterGEO", GSCMO},
    {27, "Lose GPS signal", "LoseGPSName", "LoseGPS", GS},
    {28, "Get GPS signal", "GetGPSName", "GetGPS", GS},
    {29, "Heading change", "HeadingName", "Head", GS},
    {30, "Distance tracking", "DistanceName", "Dist", GS},
    {31, "Heartbeat report", "", "Heart", G},
    {32, "Device power on", "PowerOnName", "PWROn", GS},
    {33, "Device power off", "PowerOffName", "PWROff", GS},
    {34, "Reply current", "CurrentName", "Reply", GS},
    {35, "Tow alarm", "TowName", "Tow", GSCMO},
    {36, "Stop moving", "StopName", "Stop", GS},
    {37, "Start moving", "StartName", "Start", GS},
    {38, "Idling alarm", "IdlingName", "Idle", GSO},
    {39, "Harsh accelerate", "AcceName", "Acce", GSCMO},
    {40, "Harsh braking", "BrakingName", "Brake", GSCMO},
    {41, "Harsh turning", "TurningName", "Turn", GSCMO},
    {42, "Impact alarm", "ImpactName", "Impact", GSCMO},
    {43, "Fatigue driving", "FatigueName", "Fatiguet", GSCMO},
    {44, "Fatigue relieve", "RelieveName", "Relieve", GSCMO},
    {45, "Overtime driving", "OvertimeName", "Overtime", GSCMO},
    {46, "Temperature high", "TempHighName", "TempHigh", GSCMO},
    {47, "Temperature low", "TempLowName", "TempLow", GSCMO},
    {48, "Fuel steal alarm", "FuelStealName", "FuelSteal", GSCMO},
    {49, "Low fuel alarm", "LowFuelName", "FuelLow", GSCMO},
    {50, "GSM jammed", "JammedName", "Jammed", GSCMO},
    {51, "GSM no jamming", "NoJammingName", "NoJammed", GSCMO},
    {52, "Stealing alarm", "StealingName", "Steal", GSCMO},
    {53, "Swiping card", "RFIDName", "RFID", GSO},
    {54, "Picture event", "", "Picture", G},
    {55, "Disassembly", "DisassemblyName", "Disassembly", GSCM},
    {56, "Trouble", "TroubleName", "Trouble", GSCMO},
    {57, "Low Speed", "LowSpeedName", "LowSpeed", GSCMO},
};

constexpr int kMaxCode = 57;

std::vector<EventDef> BuildCatalogue() {
    std::vector<EventDef> events;
    events.reserve(std::size(kRows));
    for (const Row& r : kRows) {
        // The flag keys of code 0 use a stem of their own; every other event's stem is its name.
        std::string stem = r.code == 0 ? "Interval" : r.name;
        events.push_back(EventDef{r.code, r.name, r.nameEdit, r.prefix, r.groups, std::move(stem)});
    }
    return events;
}

}  // namespace

const std::vector<EventDef>& EventCatalogue() {
    static const std::vector<EventDef> events = BuildCatalogue();
    return events;
}

const EventDef* FindEvent(int code) {
    static const std::vector<const EventDef*> byCode = [] {
        std::vector<const EventDef*> table(kMaxCode + 1, nullptr);
        for (const EventDef& e : EventCatalogue()) table[static_cast<std::size_t>(e.code)] = &e;
        return table;
    }();
    if (code < 0 || code > kMaxCode) return nullptr;
    return byCode[static_cast<std::size_t>(code)];
}

const std::vector<EventFlag>& EventFlagsInColumnOrder() {
    static const std::vector<EventFlag> flags = {
        {FlagGroup::Gprs, 1, "GPRS1"}, {FlagGroup::Gprs, 2, "GPRS2"},
        {FlagGroup::Sms, 1, "SMS1"},   {FlagGroup::Call, 1, "Call1"}, {FlagGroup::Moni, 1, "Moni1"},
        {FlagGroup::Sms, 2, "SMS2"},   {FlagGroup::Call, 2, "Call2"}, {FlagGroup::Moni, 2, "Moni2"},
        {FlagGroup::Sms, 3, "SMS3"},   {FlagGroup::Call, 3, "Call3"}, {FlagGroup::Moni, 3, "Moni3"},
        {FlagGroup::Out, 1, "OUT1"},   {FlagGroup::Out, 2, "OUT2"},
    };
    return flags;
}

std::vector<std::string> CheckBoxNames(const EventDef& event) {
    std::vector<std::string> names;
    for (const EventFlag& f : EventFlagsInColumnOrder()) {
        if (event.Has(f.group)) names.push_back(event.prefix + f.name);
    }
    return names;
}

}  // namespace quorvane
