#include "sim/tracker_state.h"

#include <algorithm>

namespace quorvane::sim {

namespace {

// Writers for the block encodings: zero-filled text fields, integers LSB first.
class AreaWriter {
public:
    explicit AreaWriter(std::vector<std::uint8_t>& area) : area_(area) {}

    void Text(std::size_t offset, std::size_t width, std::string_view text) {
        const std::size_t n = std::min(width, text.size());
        std::copy_n(text.begin(), n, area_.begin() + static_cast<std::ptrdiff_t>(offset));
        std::fill_n(area_.begin() + static_cast<std::ptrdiff_t>(offset + n), width - n, 0);
    }
    void Byte(std::size_t offset, std::uint8_t value) { area_.at(offset) = value; }
    void Word(std::size_t offset, std::uint16_t value) {
        area_.at(offset) = static_cast<std::uint8_t>(value & 0xFF);
        area_.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
    }
    void Long(std::size_t offset, std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (std::size_t k = 0; k < 4; ++k) {
            area_.at(offset + k) = static_cast<std::uint8_t>(bits >> (8 * k));
        }
    }
    void Bytes(std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
        std::copy(bytes.begin(), bytes.end(), area_.begin() + static_cast<std::ptrdiff_t>(offset));
    }

private:
    std::vector<std::uint8_t>& area_;
};

constexpr std::uint16_t kNoAlarm = 0xFFFF;
constexpr std::uint16_t kBelowZero = 0x8000;

void FillGprs(AreaWriter w) {
    w.Text(32, 32, "internet");
    w.Text(64, 32, "");
    w.Text(96, 32, "");
    w.Text(128, 32, "203.0.113.10");
    w.Text(160, 5, "5001");
    w.Text(165, 32, "198.51.100.20");
    w.Text(197, 5, "5001");
    w.Byte(202, 1);  // TCP
    w.Byte(203, 0);  // no server confirmation
    w.Byte(204, 1);  // FIFO
    w.Word(205, 30);
    w.Word(207, 300);
    w.Word(209, 600);
    w.Word(211, 120);
    w.Text(213, 32, "fleet.example.net");
    w.Text(245, 5, "6001");
    w.Byte(250, 0);  // GPRS-2 closed
    w.Byte(251, 0);
    w.Byte(252, 1);
    w.Word(253, 60);
    w.Word(255, 600);
    w.Word(257, 900);
    w.Word(259, 300);
}

void FillMain(AreaWriter w) {
    w.Word(0, 60);     // GPS log interval, s
    w.Word(2, 0);      // distance interval, m
    w.Byte(4, 30);     // heading change, degrees
    w.Word(5, 10);     // heartbeat, min
    w.Word(7, 120);    // speeding, km/h
    w.Byte(9, 1);      // normal sleep
    w.Word(10, 300);   // before sleep, s
    w.Byte(12, 2);     // vibration sensitivity
    w.Byte(13, 30);    // tow time, s
    w.Byte(14, 0);     // ACC off and tremble
    w.Byte(15, 5);     // idle, min
    w.Word(16, 1140);  // low external battery, 11.40 V
    w.Word(18, 360);   // low internal battery, 3.60 V
    w.Word(20, 300);   // harsh acceleration, mg
    w.Word(22, 350);   // harsh braking, mg
    w.Byte(24, 40);    // harsh turning
    w.Byte(25, 5);     // impact
    w.Word(26, 240);   // fatigue driving, min
    w.Byte(28, 20);    // rest, min
    w.Word(29, 480);   // overtime driving, min
    w.Byte(31, 30);    // GSM jammed, s
}

void FillInterface(AreaWriter w) {
    const std::uint8_t modes[6] = {0, 1, 1, 2, 2, 2};
    for (std::size_t n = 0; n < 6; ++n) {
        w.Byte(34 + 3 * n, modes[n]);
        w.Word(35 + 3 * n, 100);
    }
    w.Text(58, 16, "Main tank");
    w.Byte(74, 2);  // ultrasonic, 100 cm
    w.Byte(75, 2);  // RS232-1
    w.Word(76, 1200);
    w.Word(78, 600);
    w.Word(80, 500);
    w.Byte(82, 10);
    w.Byte(83, 60);
    w.Byte(84, 30);
    w.Text(90, 16, "");
    w.Byte(106, 0);  // no sensor
    w.Byte(107, 1);  // AD2
    w.Byte(122, 0);  // output 1 open
    w.Word(123, 10);
    w.Word(125, 500);
    w.Word(127, 500);
    w.Byte(129, 0);
    w.Byte(130, 0);
    w.Byte(186, 1);  // RFID reader on RS232-1
    w.Byte(187, 0);
}

void FillTemperature(AreaWriter w) {
    for (int n = 0; n < kSensorCount; ++n) {
        const std::size_t r = kSensorTableOffset + kSensorRecordSize * static_cast<std::size_t>(n);
        w.Word(r + 24, kNoAlarm);
        w.Word(r + 26, kNoAlarm);
    }
    w.Text(kSensorTableOffset, 16, "Cargo");
    w.Bytes(kSensorTableOffset + 16, {0x28, 0xFF, 0x4C, 0x1A, 0x0B, 0x0A, 0x10, 0x12});
    w.Word(kSensorTableOffset + 24, 80);                // 8.0 degrees
    w.Word(kSensorTableOffset + 26, kBelowZero | 200);  // -20.0 degrees
}

void FillMainExtension(AreaWriter w) {
    w.Byte(478, 0);
    w.Byte(479, 0);   // standard vehicle
    w.Byte(480, 10);  // low speed, km/h
}

void FillSms(AreaWriter w) {
    w.Text(0, 4, "");
    w.Text(4, 4, "6294");
    w.Long(8, 0);
    w.Word(12, 60);
    w.Word(14, 0);
    w.Word(16, 0);
    w.Text(20, 16, "13900000001");
    w.Word(36, 0x09);  // auto answer, SMS position
    w.Text(52, 16, "13900000002");
    w.Word(68, 0x08);
}

void FillGeoFences(AreaWriter w) {
    w.Text(0, 16, "Depot");
    w.Byte(16, 0x02);  // alarm on entering
    w.Long(17, 500);
    w.Long(21, 22500000);
    w.Long(25, 113250000);
    w.Text(32, 16, "Yard");
    w.Byte(48, 0x01);  // alarm on leaving
    w.Long(49, 300);
    w.Long(53, 22543210);
    w.Long(57, 114057868);
}

struct EventDefault {
    std::size_t code;
    std::string_view name;
    std::uint8_t gprs, sms, call, moni, out;
};

void FillEvents(AreaWriter w) {
    static constexpr EventDefault events[] = {
        {0, "Interval", 0x03, 0x00, 0, 0, 0},
        {1, "Input1 on", 0x01, 0x01, 0, 0, 0},
        {2, "Input1 off", 0x01, 0x00, 0, 0, 0},
        {17, "Ext power low", 0x01, 0x01, 0, 0, 0},
        {18, "Power cut", 0x01, 0x01, 0x01, 0, 0},
        {21, "Antenna cut", 0x01, 0x01, 0, 0, 0},
        {22, "Speeding", 0x01, 0x01, 0, 0, 0},
        {25, "Exit fence", 0x01, 0x01, 0, 0, 0},
        {26, "Enter fence", 0x01, 0x01, 0, 0, 0},
        {31, "", 0x01, 0, 0, 0, 0},
        {34, "Position", 0x03, 0x07, 0, 0, 0},
        {35, "Tow alarm", 0x01, 0x01, 0x01, 0, 0},
        {42, "Impact", 0x01, 0x03, 0x01, 0, 0},
        {52, "Stealing", 0x01, 0x03, 0x01, 0x00, 0x01},
    };
    for (const auto& e : events) {
        const std::size_t r = 32 * e.code;
        w.Text(r, 16, e.name);
        w.Bytes(r + 16, {e.gprs, e.sms, e.call, e.moni, e.out});
    }
}

}  // namespace

std::array<std::vector<std::uint8_t>, kAreaCount> DefaultAreas(std::string_view identity) {
    std::array<std::vector<std::uint8_t>, kAreaCount> areas;
    for (std::size_t k = 0; k < areas.size(); ++k) areas[k].assign(kAreaSizes[k], 0);

    AreaWriter(areas[0]).Text(kIdentityOffset, kIdentityWidth, identity);
    FillGprs(AreaWriter(areas[0]));
    FillMain(AreaWriter(areas[1]));
    FillInterface(AreaWriter(areas[1]));
    FillTemperature(AreaWriter(areas[1]));
    FillMainExtension(AreaWriter(areas[1]));
    FillSms(AreaWriter(areas[2]));
    FillGeoFences(AreaWriter(areas[3]));
    FillEvents(AreaWriter(areas[4]));
    return areas;
}

TrackerState DefaultState(std::string_view identity) {
    TrackerState state;
    state.areas = DefaultAreas(identity);
    state.mileage = 123456;
    state.Counters(Buffer::Sms) = {3, 100};
    state.Counters(Buffer::Gprs1) = {12, 3000};
    state.Counters(Buffer::Gprs2) = {0, 3000};
    state.Counters(Buffer::GpsLog) = {1520, 60000};
    return state;
}

std::string DeviceIdentity(const TrackerState& state) {
    const auto& area = state.Area(1);
    std::string identity;
    for (std::size_t k = kIdentityOffset; k < kIdentityOffset + kIdentityWidth; ++k) {
        if (area[k] == 0) break;
        identity.push_back(static_cast<char>(area[k]));
    }
    return identity;
}

}  // namespace quorvane::sim
