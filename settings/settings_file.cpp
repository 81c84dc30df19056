#include "settings/settings_file.h"

#include <climits>

#include "blocks/event_catalogue.h"
#include "platform/system.h"
#include "settings/profile_file.h"

namespace quorvane {

namespace {

constexpr ValueForm T = ValueForm::Text;
constexpr ValueForm I = ValueForm::Index;
constexpr ValueForm F = ValueForm::Flag;

struct FixedKey {
    const char* key;
    const char* control;
    ValueForm form;
};

constexpr FixedKey kGprs[] = {
    {"APN", "APN", T},
    {"APN Name", "APNName", T},
    {"APN Password", "APNPassword", T},
    {"GPRS1 IP", "IP", T},
    {"GPRS1 Port", "Port", T},
    {"GPRS1 IP2", "IP2", T},
    {"GPRS1 Port2", "Port2", T},
    {"GPRS1 GPRS Mode", "GPRSType", I},
    {"GPRS1 Report Mode", "ReportType", I},
    {"GPRS1 Buffer Mode", "BufferMode", I},
    {"GPRS1 Time Interval", "TimeInterval", T},
    {"GPRS1 ACC Off Interval", "ACCOffInterval", T},
    {"GPRS1 Stop Interval", "StopInterval", T},
    {"GPRS1 Roaming Interval", "RoamingInterval", T},
    {"GPRS2 IP", "IP3", T},
    {"GPRS2 Port", "Port3", T},
    {"GPRS2 GPRS Mode", "GPRSType2", I},
    {"GPRS2 Report Mode", "ReportType2", I},
    {"GPRS2 Buffer Mode", "BufferMode2", I},
    {"GPRS2 Time Interval", "TimeInterval2", T},
    {"GPRS2 ACC Off Interval", "ACCOffInterval2", T},
    {"GPRS2 Stop Interval", "StopInterval2", T},
    {"GPRS2 Roaming Interval", "RoamingInterval2", T},
};

constexpr FixedKey kMain[] = {
    {"GPS Log Interval", "GPSLogTM", T},
    {"Distance Interval", "DistanceInterval", T},
    {"Heading Change", "Heading", T},
    {"Heartbeat Interval", "HeartBeatTM", T},
    {"Speeding", "Speed", T},
    {"Sleep Mode", "SleepMode", I},
    {"Period Time Enter Sleep", "PowerSavingTM", T},
    {"Vibration Sensitivity", "SensorSen", T},
    {"Tow Time", "TowTM", T},
    {"Tow Mode", "TowMode", I},
    {"Idle Time", "IdleTM", T},
    {"Low Ext-Bat", "LowExtBatAlarm", T},
    {"Harsh Accelerate", "Acceleration", T},
    {"Harsh Braking", "Deceleration", T},
    {"Harsh Turning", "HarshTurn", T},
    {"Impact Sensitivity", "Impact", T},
    {"Fatigue Driving", "FatigueTM", T},
    {"Fatigue Relieve", "RestTM", T},
    {"Overtime Driving", "TotalTM", T},
    {"GSM Jammed", "GSMJammed", T},
    {"Car Type", "Car_Type", I},
    {"Low Speed", "LowSpeed", T},
    {"Low Battery Alarm", "BatteryLowVolt", T},
};

constexpr FixedKey kInterface[] = {
    {"Input1", "In1Mode", I},
    {"Input1 Active Time", "IN1ActiveTM", T},
    {"Input2", "In2Mode", I},
    {"Input2 Active Time", "IN2ActiveTM", T},
    {"Input3", "In3Mode", I},
    {"Input3 Active Time", "IN3ActiveTM", T},
    {"Input4", "In4Mode", I},
    {"Input4 Active Time", "IN4ActiveTM", T},
    {"Input5", "In5Mode", I},
    {"Input5 Active Time", "IN5ActiveTM", T},
    {"Input6", "In6Mode", I},
    {"Input6 Active Time", "IN6ActiveTM", T},
    {"Tank1 Name", "Tank1Name", T},
    {"Tank1 Sensor Type", "Tank1Type", I},
    {"Tank1 Source", "Tank1Source", I},
    {"Tank1 Lenght", "Tank1Lenght", T},
    {"Tank1 Wide", "Tank1Wide", T},
    {"Tank1 High", "Tank1High", T},
    {"Tank1 Steal", "Tank1Steal", T},
    {"Tank1 Steal Time", "Tank1StealTM", T},
    {"Tank1 Low Fuel", "Tank1Low", T},
    {"Tank2 Name", "Tank2Name", T},
    {"Tank2 Sensor Type", "Tank2Type", I},
    {"Tank2 Source", "Tank2Source", I},
    {"Tank2 Lenght", "Tank2Lenght", T},
    {"Tank2 Wide", "Tank2Wide", T},
    {"Tank2 High", "Tank2High", T},
    {"Tank2 Steal", "Tank2Steal", T},
    {"Tank2 Steal Time", "Tank2StealTM", T},
    {"Tank2 Low Fuel", "Tank2Low", T},
    {"Out1 Mode", "Out1Mode", I},
    {"Out1 Active Time", "Out1TM", T},
    {"Out1 On Time", "Out1OnTM", T},
    {"Out1 Off Time", "Out1OffTM", T},
    {"Out1 Speed", "Out1Speed", T},
    {"Out2 Mode", "Out2Mode", I},
    {"Out2 Active Time", "Out2TM", T},
    {"Out2 On Time", "Out2OnTM", T},
    {"Out2 Off Time", "Out2OffTM", T},
    {"Out2 Speed", "Out2Speed", T},
    {"RS232-1", "RS232_1", I},
    {"RS232-2", "RS232_2", I},
};

constexpr FixedKey kAuth[] = {
    {"SIM Card PIN", "SIMPIN", T},
    {"SMS Password", "Password", T},
    {"SMS Time Zone", "SMSTimeZone", T},
    {"Time Interval", "SMSTimeInterval", T},
    {"ACC Off Interval", "SMSACCOffInterval", T},
    {"Stop Interval", "SMSStopInterval", T},
    {"Auth1 Number", "Auth1", T},
    {"Auth1 Auto Answer", "Auth1Answer", F},
    {"Auth1 Auto Monitor", "Auth1Monitor", F},
    {"Auth1 Auto Hangup", "Auth1Hangup", F},
    {"Auth1 SMS Position", "Auth1Position", F},
    {"Auth2 Number", "Auth2", T},
    {"Auth2 Auto Answer", "Auth2Answer", F},
    {"Auth2 Auto Monitor", "Auth2Monitor", F},
    {"Auth2 Auto Hangup", "Auth2Hangup", F},
    {"Auth2 SMS Position", "Auth2Position", F},
    {"Auth3 Number", "Auth3", T},
    {"Auth3 Auto Answer", "Auth3Answer", F},
    {"Auth3 Auto Monitor", "Auth3Monitor", F},
    {"Auth3 Auto Hangup", "Auth3Hangup", F},
    {"Auth3 SMS Position", "Auth3Position", F},
};

struct GeoColumn {
    const char* key;      // after "No.<n> "
    const char* control;  // after "No<n>"
    ValueForm form;
};

constexpr GeoColumn kGeoColumns[] = {
    {"Name", "Name", T},     {"Out Alarm", "Out", F}, {"In Alarm", "In", F},
    {"Radius", "Radius", T}, {"Latitude", "Lat", T},  {"Longitude", "Long", T},
};
constexpr int kGeoFences = 8;

void AddFixed(std::vector<SettingsKey>& keys, const char* section, const auto& table) {
    for (const FixedKey& k : table) keys.push_back({section, k.key, k.control, k.form});
}

// A flag's key suffix: the check box's flag name, with OUT written Out.
std::string KeySuffix(std::string_view flag) {
    if (flag.substr(0, 3) == "OUT") return "Out" + std::string(flag.substr(3));
    return std::string(flag);
}

// The stored flag keys follow the window's column order: GPRS1, GPRS2, then SMS n,
// Call n, Moni n for each authorised number, then Out1, Out2.
void AddEvent(std::vector<SettingsKey>& keys, const EventDef& event) {
    constexpr const char* kSection = "Event";
    constexpr int kInput4Active = 7;
    constexpr int kLowFuel = 49;

    if (!event.nameEdit.empty()) keys.push_back({kSection, event.name + " Name", event.nameEdit, T});
    for (const EventFlag& flag : EventFlagsInColumnOrder()) {
        if (!event.Has(flag.group)) continue;
        const std::string suffix = KeySuffix(flag.name);
        std::string control = event.prefix + flag.name;
        // Files in the field carry these irregular keys; they are kept as they are.
        if (event.code == kInput4Active) {
            if (suffix == "SMS2") continue;
            if (suffix == "Moni1") control = event.prefix + "SMS2";
        } else if (event.code == kLowFuel) {
            if (suffix == "SMS3") control = event.prefix + "SMS2";
            if (suffix == "Moni3") control = event.prefix + "Moni2";
        }
        keys.push_back({kSection, event.settingsStem + " " + suffix, std::move(control), F});
    }
}

std::vector<SettingsKey> BuildKeys() {
    std::vector<SettingsKey> keys;
    AddFixed(keys, "GPRS", kGprs);
    AddFixed(keys, "Main", kMain);
    AddFixed(keys, "Interface", kInterface);
    AddFixed(keys, "Auth", kAuth);
    for (int n = 1; n <= kGeoFences; ++n)
        for (const GeoColumn& c : kGeoColumns)
            keys.push_back({"GEO", "No." + std::to_string(n) + " " + c.key,
                            "No" + std::to_string(n) + c.control, c.form});
    for (const EventDef& event : EventCatalogue()) AddEvent(keys, event);
    return keys;
}

std::string WrittenValue(const Form& form, const SettingsKey& k) {
    switch (k.form) {
        case ValueForm::Text: return form.Text(k.control);
        case ValueForm::Index: return std::to_string(form.ItemIndex(k.control));
        case ValueForm::Flag: return form.Checked(k.control) ? "1" : "0";
    }
    return {};
}

void ApplyValue(Form& form, const SettingsKey& k, const std::optional<std::string>& value) {
    switch (k.form) {
        case ValueForm::Text:
            form.SetText(k.control, value ? *value : std::string());
            break;
        case ValueForm::Index: {
            const std::optional<long long> n = value ? ParseSettingsInteger(*value) : std::nullopt;
            // Any index outside the item list leaves no item selected.
            const int index = !n ? 0 : (*n < INT_MIN || *n > INT_MAX) ? -1 : static_cast<int>(*n);
            form.SetItemIndex(k.control, index);
            break;
        }
        case ValueForm::Flag: {
            const std::optional<long long> n = value ? ParseSettingsInteger(*value) : std::nullopt;
            form.SetChecked(k.control, n && *n != 0);
            break;
        }
    }
}

int DigitValue(char c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    return d < base ? d : -1;
}

}  // namespace

const std::vector<std::string>& SettingsSections() {
    static const std::vector<std::string> sections{"GPRS", "Main", "Interface", "Auth", "GEO", "Event"};
    return sections;
}

const std::vector<SettingsKey>& SettingsKeys() {
    static const std::vector<SettingsKey> keys = BuildKeys();
    return keys;
}

std::optional<long long> ParseSettingsInteger(std::string_view s) {
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return std::nullopt;
    // Accumulated as a negative number so that LLONG_MIN fits; saturates beyond.
    long long n = 0;
    for (char c : s) {
        const int d = DigitValue(c, base);
        if (d < 0) return std::nullopt;
        n = n < (LLONG_MIN + d) / base ? LLONG_MIN : n * base - d;
    }
    if (negative) return n;
    return n == LLONG_MIN ? LLONG_MAX : -n;
}

void SetSettingsKeys(const Form& form, ProfileFile& file) {
    for (const SettingsKey& k : SettingsKeys()) file.Set(k.section, k.key, WrittenValue(form, k));
}

void SaveSettingsFile(const Form& form, const std::string& path) {
    ProfileFile file;
    std::error_code why;
    if (file.Load(path, &why) == ProfileFile::LoadStatus::Unreadable) ThrowUnwritable(path, why);
    SetSettingsKeys(form, file);
    if (!file.Save(path, {}, &why)) ThrowUnwritable(path, why);
}

void ThrowUnwritable(const std::string& path, const std::error_code& why) {
    throw ESettingsFileError("Unable to write to " + path, FileErrorReason(why));
}

void ThrowUnreadable(const std::string& path, const std::error_code& why) {
    throw ESettingsFileError("Unable to read from " + path, FileErrorReason(why));
}

bool LoadSettingsFile(Form& form, const std::string& path) {
    ProfileFile file;
    std::error_code why;
    switch (file.Load(path, &why)) {
        case ProfileFile::LoadStatus::Missing: return false;
        case ProfileFile::LoadStatus::Unreadable: ThrowUnreadable(path, why);
        case ProfileFile::LoadStatus::Loaded: break;
    }
    for (const SettingsKey& k : SettingsKeys()) ApplyValue(form, k, file.Get(k.section, k.key));
    return true;
}

}  // namespace quorvane
