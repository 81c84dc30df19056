#include "model/window_model.h"

#include <functional>
#include <map>
#include <utility>

#include "blocks/event_catalogue.h"

namespace quorvane {

namespace {

using Items = std::vector<std::string>;

InputRule KeyOnly(KeyFilter filter, std::string keyHandler, int limit = 0) {
    InputRule r;
    r.filter = filter;
    r.limit = limit;
    r.keyHandler = std::move(keyHandler);
    return r;
}

InputRule KeyAndLeave(KeyFilter filter, std::string keyHandler, std::string exitHandler,
                      std::string replacement = "0") {
    InputRule r = KeyOnly(filter, std::move(keyHandler));
    r.hasLeaveRule = true;
    r.replacement = std::move(replacement);
    r.exitHandler = std::move(exitHandler);
    return r;
}

// Digits with an empty-becomes-"0" leave rule, handlers named after the box.
InputRule DigitsAndLeave(const std::string& stem) {
    return KeyAndLeave(KeyFilter::Digits, stem + "KeyPress", stem + "Exit");
}

// Appends controls in window order; the current tab and group are stamped on each.
class Builder {
public:
    void Tab(std::string name) {
        tab_ = std::move(name);
        group_.clear();
    }

    void Group(std::string name, std::string caption, ControlKind kind = ControlKind::GroupBox) {
        group_.clear();
        Add(name, kind).label = std::move(caption);
        group_ = std::move(name);
    }
    void EndGroup() { group_.clear(); }

    ControlDef& Edit(std::string name, std::string label, std::string unit = {}, std::string text = {}) {
        ControlDef& c = Add(std::move(name), ControlKind::Edit);
        c.label = std::move(label);
        c.unit = std::move(unit);
        c.text = std::move(text);
        return c;
    }

    ControlDef& Check(std::string name, std::string label = {}) {
        ControlDef& c = Add(std::move(name), ControlKind::CheckBox);
        c.label = std::move(label);
        return c;
    }

    // index >= 0 selects that item; -1 leaves none selected and shows `shown`.
    ControlDef& Combo(std::string name, std::string label, Items items, int index, std::string shown = {}) {
        ControlDef& c = Add(std::move(name), ControlKind::ComboBox);
        c.label = std::move(label);
        c.items = std::move(items);
        c.itemIndex = index;
        c.text = index >= 0 ? c.items.at(static_cast<std::size_t>(index)) : std::move(shown);
        return c;
    }

    ControlDef& Button(std::string name, std::string caption, std::string handler) {
        ControlDef& c = Add(std::move(name), ControlKind::Button);
        c.label = std::move(caption);
        c.handler = std::move(handler);
        return c;
    }

    ControlDef& Label(std::string name, std::string caption) {
        ControlDef& c = Add(std::move(name), ControlKind::Label);
        c.label = std::move(caption);
        return c;
    }

    ControlDef& Memo(std::string name) { return Add(std::move(name), ControlKind::Memo); }

    std::vector<ControlDef> Take() { return std::move(controls_); }

private:
    ControlDef& Add(std::string name, ControlKind kind) {
        ControlDef c;
        c.name = std::move(name);
        c.kind = kind;
        c.tab = tab_;
        c.group = group_;
        controls_.push_back(std::move(c));
        return controls_.back();
    }

    std::string tab_;
    std::string group_;
    std::vector<ControlDef> controls_;
};

void BuildInfo(Builder& b) {
    b.Tab("TabSheet1");
    b.Group("ComGroup", "Com");
    b.Combo("ComboBox1", "", {}, -1, "None").handler = "ComboBox1DropDown";
    b.Button("OpenPort", "Open", "OpenPortClick");
    b.Group("OperationGroup", "Operation");
    b.Edit("AuthCode", "Auth Code:");
    b.Button("ReadAll", "Read All", "ReadAllClick");
    b.Button("WriteAll", "Write All", "WriteAllClick");
    b.Button("InitAll", "Default", "InitAllClick");
    b.EndGroup();
    b.Edit("SN", "SN");
    b.Edit("IMEI", "IMEI");
    b.Edit("Firmware", "Firmware");
    b.Edit("Battery", "Int-Battery", "percent");
    b.Edit("GPRS1Buffer", "GPRS-1 Buffer", "pcs");
    b.Button("ClearGPRS1", "Clear", "ClearGPRS1Click");
    b.Edit("GPRS2Buffer", "GPRS-2 Buffer", "pcs");
    b.Button("ClearGPRS2", "Clear", "ClearGPRS2Click");
    b.Edit("SMSBuffer", "SMS Buffer", "pcs");
    b.Button("ClearSMS", "Clear", "ClearSMSClick");
    b.Edit("GPSLog", "GPS Log", "pcs");
    b.Button("ClearGPSLog", "Clear", "ClearGPSLogClick");
    b.Edit("Mileage", "Mileage", "m", "0");
    b.Button("SetMileage", "Set", "SetMileageClick");
}

void BuildGprs(Builder& b) {
    const Items gprsMode = {"Close", "TCP", "UDP"};
    const Items reportMode = {"No needs server's confirmation", "Needs server's confirmation"};
    const Items bufferMode = {"FILO", "FIFO"};

    b.Tab("TabSheet2");
    b.Edit("DeviceID", "Device ID").rule = KeyOnly(KeyFilter::AlphanumericLimit, "DeviceIDKeyPress", 14);
    b.Edit("APN", "APN").rule = KeyOnly(KeyFilter::LengthLimit, "APNKeyPress", 32);
    b.Edit("APNName", "APN Username").rule = KeyOnly(KeyFilter::LengthLimit, "APNNameKeyPress", 32);
    b.Edit("APNPassword", "APN Password").rule = KeyOnly(KeyFilter::LengthLimit, "APNPasswordKeyPress", 32);

    b.Group("GroupBox3", "GPRS-1");
    b.Edit("IP", "IP").rule = KeyOnly(KeyFilter::LengthLimit, "IPKeyPress", 32);
    b.Edit("Port", "Port").rule = KeyOnly(KeyFilter::Digits, "PortKeyPress");
    b.Edit("IP2", "Backup IP");
    b.Edit("Port2", "Backup Port").rule = KeyOnly(KeyFilter::Digits, "Port2KeyPress");
    b.Combo("GPRSType", "GPRS Mode", gprsMode, 0);
    b.Combo("ReportType", "Report Mode", reportMode, 0);
    b.Combo("BufferMode", "Buffer Mode", bufferMode, -1, "FILO");
    b.Edit("TimeInterval", "Time Interval", "s", "0").rule = DigitsAndLeave("TimeInterval");
    b.Edit("ACCOffInterval", "ACC Off Interval", "s", "0").rule = DigitsAndLeave("ACCOffInterval");
    b.Edit("StopInterval", "Stop Interval", "s", "0");
    b.Edit("RoamingInterval", "Roaming Interval", "s", "0").visible = false;

    b.Group("GroupBox5", "GPRS-2");
    b.Edit("IP3", "IP").rule = KeyOnly(KeyFilter::LengthLimit, "IPKeyPress", 32);
    b.Edit("Port3", "Port").rule = KeyOnly(KeyFilter::Digits, "Port3KeyPress");
    b.Combo("GPRSType2", "GPRS Mode", gprsMode, 0);
    b.Combo("ReportType2", "Report Mode", reportMode, 0).enabled = false;
    b.Combo("BufferMode2", "Buffer Mode", bufferMode, 0);
    b.Edit("TimeInterval2", "Time Interval", "s", "0").rule = DigitsAndLeave("TimeInterval");
    b.Edit("ACCOffInterval2", "ACC Off Interval", "s", "0").rule = DigitsAndLeave("ACCOffInterval");
    b.Edit("StopInterval2", "Stop Interval", "s", "0");
    b.Edit("RoamingInterval2", "Roaming Interval", "s", "0").visible = false;
    b.EndGroup();

    b.Button("GPRSRead", "Read", "GPRSReadClick");
    b.Button("GPRSWrite", "Write", "GPRSWriteClick");
}

void BuildMain(Builder& b) {
    const Items carTypes = {
        "0000(Standard)",        "0100(Volkswagen/Audi/SKODA)",
        "0200(Buick/Chevrolet/Cadillac)", "0300(Ford/Mazda)",
        "0400(Toyota/Lexus)",    "0500(Honda/Acura)",
        "0600(Nissan/Infiniti)", "0700(Kia)",
        "0800(Hyundai)",         "0900(BMW)",
        "0A00(Mercedes Benz)",   "0B00(Subaru)",
        "0C00(Mitsubishi)",      "0D00(Renault)",
        "0E00(Peugeot/Citroen)", "0F00(Land Rover/Jaguar)",
        "1000(Volvo)",           "1100(Ssangyong)",
        "1200(Chrysler)",        "1300(Chery)",
        "1400(Geely)",           "1500(BYD)",
        "1600(Great Wall)",      "1700(Seahorse)",
        "1800(Zhonghua)",        "1900(Trumpchi)",
        "1A00(MG)",              "1B00(Guan Zhi)",
        "1C00(CCAG)",            "1D00(BAIC)",
    };

    b.Tab("TabSheet3");
    b.Edit("GPSLogTM", "GPS Log Interval", "second", "0").rule = DigitsAndLeave("GPSLogTM");
    b.Edit("DistanceInterval", "Distance Interval", "meter", "0").rule = DigitsAndLeave("DistanceInterval");
    b.Edit("Heading", "Heading Change", "degree", "0").rule = DigitsAndLeave("Heading");
    b.Edit("HeartBeatTM", "Heartbeat Interval", "minute", "0").rule = DigitsAndLeave("HeartBeatTM");
    b.Edit("Speed", "Speeding", "km/h", "0").rule = DigitsAndLeave("Speed");
    b.Combo("SleepMode", "Sleep Mode", {"Close", "Normal Sleep", "Deep Sleep"}, -1, "Close");
    b.Edit("PowerSavingTM", "Period Time Enter Sleep", "second", "0").rule = DigitsAndLeave("PowerSavingTM");
    b.Edit("SensorSen", "Vibration Sensitivity", "", "0").rule =
        KeyAndLeave(KeyFilter::Digits, "SensorSenKeyPress", "SensorSenExit", "2");
    b.Edit("TowTM", "Tow Time", "second", "0");
    b.Combo("TowMode", "Tow Mode", {"ACC Off and Tremble", "Tremble"}, 0);
    b.Edit("IdleTM", "Idle Time", "minute", "0");
    b.Edit("LowExtBatAlarm", "Low Ext-Bat", "volt", "11.4").rule =
        KeyAndLeave(KeyFilter::Decimal, "LowExtBatAlarmKeyPress", "LowExtBatAlarmExit");
    b.Edit("Acceleration", "Harsh Accelerate", "mg", "0").rule = DigitsAndLeave("Acceleration");
    b.Edit("Deceleration", "Harsh Braking", "mg", "0").rule = DigitsAndLeave("Deceleration");
    b.Edit("HarshTurn", "Harsh Turning", "", "0").rule = DigitsAndLeave("HarshTurn");
    b.Edit("Impact", "Impact Sensitivity", "", "0");
    b.Edit("FatigueTM", "Fatigue Driving", "minute", "0");
    b.Edit("RestTM", "Fatigue Relieve", "minute", "0");
    b.Edit("TotalTM", "Overtime Driving", "minute", "0");
    b.Edit("GSMJammed", "GSM Jammed", "second", "0");
    b.Combo("Car_Type", "Car Type", carTypes, -1, "0000(Standard)");
    b.Edit("LowSpeed", "Low Speed", "km/h", "0").rule = DigitsAndLeave("Speed");
    b.Edit("BatteryLowVolt", "Low Battery Alarm", "volt", "3.60").visible = false;
    b.Button("MainRead", "Read", "MainSetReadClick");
    b.Button("MainWrite", "Write", "MainSetWriteClick");
}

void BuildInterface(Builder& b) {
    const Items inputModes = {"Low Active", "High Active", "AD Input"};
    struct InputRow {
        const char* rowLabel;
        const char* caption;
        const char* timeLabel;
        const char* unitLabel;
        int index;
        const char* shown;
        bool visible;
    };
    const InputRow rows[6] = {
        {"Label219", "Input1", "Label220", "Label221", -1, "Low Active", true},
        {"Label218", "Input2", "Label222", "Label223", -1, "High Active", true},
        {"Label214", "Input3(AD2)", "Label224", "Label225", -1, "High Active", true},
        {"Label215", "Input4(AD1)", "Label226", "Label227", -1, "AD Input", true},
        {"Label216", "Input5(AD1)", "Label228", "Label229", 2, "", false},
        {"Label217", "Input6(AD2)", "Label230", "Label231", 2, "", false},
    };

    b.Tab("TabSheet8");
    b.Group("GroupBox14", "Input Mode");
    for (int i = 0; i < 6; ++i) {
        const InputRow& r = rows[i];
        const std::string n = std::to_string(i + 1);
        auto place = [&](ControlDef& c, int column) {
            c.row = i;
            c.column = column;
            c.visible = r.visible;
        };
        place(b.Label(r.rowLabel, r.caption), 0);
        ControlDef& mode = b.Combo("In" + n + "Mode", r.caption, inputModes, r.index, r.shown);
        mode.labelControl = r.rowLabel;
        place(mode, 1);
        place(b.Label(r.timeLabel, "Active Time"), 2);
        ControlDef& time = b.Edit("IN" + n + "ActiveTM", "Active Time", "ms", "0");
        time.labelControl = r.timeLabel;
        time.unitControl = r.unitLabel;
        place(time, 3);
        place(b.Label(r.unitLabel, "ms"), 4);
    }

    const Items sources = {"AD1", "AD2", "RS232-1", "RS232-2"};
    const Items sensors = {"No Sensor", "Stick", "Ultrasonic(100cm)", "Ultrasonic(250cm)"};
    for (int t = 1; t <= 2; ++t) {
        const std::string p = "Tank" + std::to_string(t);
        b.Group(t == 1 ? "GroupBox12" : "GroupBox13", p);
        b.Edit(p + "Name", "Name");
        b.Combo(p + "Source", "Source", sources, -1, t == 1 ? "AD1" : "AD2");
        b.Edit(p + "Lenght", "Lenght", "mm", "0");
        b.Edit(p + "Wide", "Wide", "mm", "0");
        b.Edit(p + "High", "High", "mm", "0");
        b.Combo(p + "Type", "Sensor Type", sensors, -1, "No Sensor");
        b.Edit(p + "Steal", "Steal", "Liter", "0");
        b.Edit(p + "StealTM", "Steal Time", "s", "0");
        b.Edit(p + "Low", "Low Fuel", "Liter", "0");
    }

    for (int o = 1; o <= 2; ++o) {
        const std::string p = "Out" + std::to_string(o);
        b.Group(o == 1 ? "GroupBox16" : "GroupBox17", p + " Mode");
        b.Combo(p + "Mode", "Mode", {"Open", "Close", "Pulse"}, -1, "Open");
        b.Edit(p + "TM", "Active Time", "s", "0");
        b.Edit(p + "OnTM", "On Time", "ms", "0");
        b.Edit(p + "OffTM", "Off Time", "ms", "0");
        b.Edit(p + "Speed", "Speed", "km/h", "0");
    }

    const Items serial = {"None", "RFID Reader", "OBD Decoder", "Camera", "Ultrasonic Sensor"};
    b.Group("GroupBox18", "Serial Port");
    b.Combo("RS232_1", "RS232-1", serial, -1, "None");
    b.Combo("RS232_2", "RS232-2", serial, -1, "None");
    b.EndGroup();

    b.Button("InterfaceRead", "Read", "InterfaceReadClick");
    b.Button("InterfaceWrite", "Write", "InterfaceWriteClick");
}

void BuildRfid(Builder& b) {
    b.Tab("TabSheet7");
    b.Edit("RFID", "RFID/iButton", "pcs", "0");
    b.Memo("RFID_Memo");
    b.Button("SET_ID", "Auth ID", "SET_IDClick");
    b.Button("DEL_ID", "Delete ID", "DEL_IDClick");
    b.Button("CHK_ID", "Check ID", "CHK_IDClick");
}

void BuildTemp(Builder& b) {
    b.Tab("TabSheet9");
    b.Group("GroupBox19", "Temperature Sensor Pairing");
    b.Edit("Temp_Index", "Index");
    b.Edit("Temp_Name", "Name");
    b.Button("Temp_Pair", "Pair", "Temp_PairClick");

    b.Group("TempSensorGroup", "");
    for (int i = 0; i < 8; ++i) {
        const std::string p = "Temp" + std::to_string(i + 1);
        auto place = [i](ControlDef& c, int column) {
            c.row = i;
            c.column = column;
        };
        place(b.Edit(p + "_Name", "Name"), 0);
        ControlDef& id = b.Edit(p + "_ID", "Sensor ID");
        id.rule = KeyOnly(KeyFilter::Alphanumeric, "Temp_IDKeyPress");
        place(id, 1);
        ControlDef& high = b.Edit(p + "_High", "High Alarm(*C)");
        ControlDef& low = b.Edit(p + "_Low", "Low Alarm(*C)");
        // Only the first row filters its alarm boxes, with the latitude and longitude filters.
        if (i == 0) {
            high.rule = KeyOnly(KeyFilter::Coordinate, "No1LatKeyPress");
            low.rule = KeyOnly(KeyFilter::Coordinate, "No1LongKeyPress");
        }
        place(high, 2);
        place(low, 3);
    }
    b.EndGroup();

    b.Button("Temp_Read", "Read", "Temp_ReadClick");
    b.Button("Temp_Write", "Write", "Temp_WriteClick");
}

void BuildAuth(Builder& b) {
    b.Tab("TabSheet5");
    b.Edit("SIMPIN", "SIM Card PIN");
    b.Edit("Password", "SMS Password", "", "6294");
    b.Edit("SMSTimeZone", "SMS Time Zone", "minute", "0").rule =
        KeyAndLeave(KeyFilter::Signed, "SMSTimeZoneKeyPress", "SMSTimeZoneExit");
    b.Edit("SMSTimeInterval", "Time Interval", "minute", "0");
    b.Edit("SMSACCOffInterval", "ACC Off Interval", "minute", "0");
    b.Edit("SMSStopInterval", "Stop Interval", "minute", "0");

    b.Group("GroupBox4", "Auth Number");
    for (int n = 1; n <= 3; ++n) {
        ControlDef& c = b.Edit("Auth" + std::to_string(n), "Number");
        c.row = 0;
        c.column = n - 1;
    }
    const std::pair<const char*, const char*> boxes[] = {
        {"Answer", "Auto Answer"}, {"Monitor", "Auto Monitor"}, {"Hangup", "Auto Hangup"}, {"Position", "SMS Position"}};
    for (int r = 0; r < 4; ++r) {
        for (int n = 1; n <= 3; ++n) {
            ControlDef& c = b.Check("Auth" + std::to_string(n) + boxes[r].first, boxes[r].second);
            c.row = r + 1;
            c.column = n - 1;
        }
    }
    b.EndGroup();

    b.Button("SMSRead", "Read", "SMSReadClick");
    b.Button("SMSWrite", "Write", "SMSWriteClick");
}

void BuildGeo(Builder& b) {
    b.Tab("TabSheet4");
    b.Group("GeoFenceGroup", "");
    for (int i = 0; i < 8; ++i) {
        const std::string p = "No" + std::to_string(i + 1);
        const bool first = i == 0;
        auto place = [i](ControlDef& c, int column) {
            c.row = i;
            c.column = column;
        };
        place(b.Edit(p + "Name", "Name"), 0);
        place(b.Check(p + "Out", "Out Alarm"), 1);
        place(b.Check(p + "In", "In Alarm"), 2);
        ControlDef& radius = b.Edit(p + "Radius", "Radius(m)", "", "0");
        ControlDef& lat = b.Edit(p + "Lat", "Latitude", "", "0.000000");
        ControlDef& lon = b.Edit(p + "Long", "Longitude", "", "0.000000");
        // Only the first fence has input rules.
        if (first) {
            radius.rule = DigitsAndLeave("No1Radius");
            lat.rule = KeyAndLeave(KeyFilter::Coordinate, "No1LatKeyPress", "No1LatExit");
            lon.rule = KeyAndLeave(KeyFilter::Coordinate, "No1LongKeyPress", "No1LongExit");
        }
        place(radius, 3);
        place(lat, 4);
        place(lon, 5);
    }
    b.EndGroup();

    b.Button("GEOFenceRead", "Read", "GEOFenceReadClick");
    b.Button("GEOFenceWrite", "Write", "GEOFenceWriteClick");
}

void BuildEvent(Builder& b) {
    b.Tab("TabSheet6");
    b.Group("ScrollBox1", "", ControlKind::ScrollBox);
    const std::vector<EventFlag>& flags = EventFlagsInColumnOrder();
    int row = 0;
    for (const EventDef& e : EventCatalogue()) {
        ControlDef& label = b.Label(EventLabelName(e.code), "(" + std::to_string(e.code) + ") " + e.name);
        label.row = row;
        if (!e.nameEdit.empty()) b.Edit(e.nameEdit, "SMS Alarm Name").row = row;
        for (int column = 0; column < static_cast<int>(flags.size()); ++column) {
            const EventFlag& f = flags[static_cast<std::size_t>(column)];
            if (!e.Has(f.group)) continue;
            ControlDef& box = b.Check(e.prefix + f.name);
            box.row = row;
            box.column = column;
        }
        ++row;
    }
    b.EndGroup();

    b.Button("EventRead", "Read", "EventReadClick");
    b.Button("EventWrite", "Write", "EventWriteClick");
}

std::vector<ControlDef> BuildControls() {
    Builder b;
    BuildInfo(b);
    BuildGprs(b);
    BuildMain(b);
    BuildInterface(b);
    BuildRfid(b);
    BuildTemp(b);
    BuildAuth(b);
    BuildGeo(b);
    BuildEvent(b);
    std::vector<ControlDef> controls = b.Take();

    // Start states the form gives the Event tab's fixed boxes: the Interval tracking GPRS
    // boxes are checked and disabled, the Reply current boxes checked (FormCreate disables
    // them), and ReplyGPRS1 alone has the grayed third state.
    for (ControlDef& c : controls) {
        if (c.name == "IntervalGPRS1" || c.name == "IntervalGPRS2") {
            c.checked = true;
            c.enabled = false;
        } else if (c.name == "ReplyGPRS1" || c.name == "ReplyGPRS2" || c.name == "ReplySMS1" ||
                   c.name == "ReplySMS2" || c.name == "ReplySMS3") {
            c.checked = true;
            c.tristate = c.name == "ReplyGPRS1";
        }
    }
    return controls;
}

const std::map<std::string, const ControlDef*, std::less<>>& Index() {
    static const std::map<std::string, const ControlDef*, std::less<>> index = [] {
        std::map<std::string, const ControlDef*, std::less<>> m;
        for (const ControlDef& c : Controls()) m.emplace(c.name, &c);
        return m;
    }();
    return index;
}

}  // namespace

const std::vector<TabDef>& Tabs() {
    static const std::vector<TabDef> tabs = {
        {"TabSheet1", "Info"}, {"TabSheet2", "GPRS"}, {"TabSheet3", "Main"},
        {"TabSheet8", "Interface"}, {"TabSheet7", "RFID"}, {"TabSheet9", "Temp"},
        {"TabSheet5", "Auth"}, {"TabSheet4", "GEO"}, {"TabSheet6", "Event"},
    };
    return tabs;
}

const std::vector<ControlDef>& Controls() {
    static const std::vector<ControlDef> controls = BuildControls();
    return controls;
}

const ControlDef* FindControl(std::string_view name) {
    const auto& index = Index();
    auto it = index.find(name);
    return it == index.end() ? nullptr : it->second;
}

std::vector<const ControlDef*> DataControls(std::string_view tab) {
    std::vector<const ControlDef*> out;
    for (const ControlDef& c : Controls()) {
        if (c.tab != tab) continue;
        if (c.kind == ControlKind::Edit || c.kind == ControlKind::CheckBox || c.kind == ControlKind::ComboBox)
            out.push_back(&c);
    }
    return out;
}

const std::vector<TableHeadings>& Tables() {
    static const std::vector<TableHeadings> tables = [] {
        std::vector<TableHeadings> t;
        t.push_back({"TempSensorGroup", "Index", {}, {}, {"Name", "Sensor ID", "High Alarm(*C)", "Low Alarm(*C)"}, {}});
        t.push_back({"GroupBox4", "", {}, {}, {"1.", "2.", "3."},
                     {"Number", "Auto Answer", "Auto Monitor", "Auto Hangup", "SMS Position"}});
        t.push_back({"GeoFenceGroup", "No.", {}, {},
                     {"Name", "Out Alarm", "In Alarm", "Radius(m)", "Latitude", "Longitude"}, {}});

        TableHeadings events{"ScrollBox1", "", {"Event", "SMS Alarm Name"}, {}, {}, {}};
        for (const EventFlag& f : EventFlagsInColumnOrder()) {
            const std::string n = std::to_string(f.number);
            auto add = [&](std::string over, std::string under) {
                events.columnGroups.push_back(std::move(over));
                events.columns.push_back(std::move(under));
            };
            switch (f.group) {
                case FlagGroup::Gprs: add("GPRS", n); break;
                case FlagGroup::Sms: add("Auth No." + n, "sms"); break;
                case FlagGroup::Call: add("Auth No." + n, "call"); break;
                case FlagGroup::Moni: add("Auth No." + n, "moni"); break;
                case FlagGroup::Out: add("Output", n); break;
            }
        }
        t.push_back(std::move(events));
        return t;
    }();
    return tables;
}

const TableHeadings* FindTable(std::string_view group) {
    for (const TableHeadings& t : Tables())
        if (t.group == group) return &t;
    return nullptr;
}

const std::vector<std::string>& LinkButtons() {
    static const std::vector<std::string> buttons = {
        "ReadAll",       "WriteAll",       "InitAll",   "GPRSRead",   "GPRSWrite", "SMSRead", "SMSWrite",
        "GEOFenceRead",  "GEOFenceWrite",  "MainRead",  "MainWrite",  "EventRead", "EventWrite",
        "InterfaceRead", "InterfaceWrite", "Temp_Read", "Temp_Write", "Temp_Pair", "SET_ID", "DEL_ID", "CHK_ID",
    };
    return buttons;
}

const std::vector<std::string>& DisabledAtCreate() {
    static const std::vector<std::string> names = {
        "DeviceID", "BatteryLowVolt", "ReplyGPRS1", "ReplyGPRS2", "ReplySMS1", "ReplySMS2", "ReplySMS3",
    };
    return names;
}

std::string EventLabelName(int code) { return "EventLabel" + std::to_string(code); }

}  // namespace quorvane
