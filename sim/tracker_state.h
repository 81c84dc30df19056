// What the simulated tracker keeps: its five parameter areas, the RFID IDs it has
// authorized, its mileage and the counters of its four record buffers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::sim {

inline constexpr int kAreaCount = 5;
// Sizes of areas 1 to 5: each holds every block the editor reads from it.
inline constexpr std::array<std::size_t, kAreaCount> kAreaSizes = {512, 512, 128, 256, 4096};

// The device identity field of area 1 (offsets 16-31), which a restore of the
// defaults keeps.
inline constexpr std::size_t kIdentityOffset = 16;
inline constexpr std::size_t kIdentityWidth = 16;

// Area 2 holds the table of eight temperature sensors, 32 bytes each.
inline constexpr std::size_t kSensorTableOffset = 190;
inline constexpr std::size_t kSensorRecordSize = 32;
inline constexpr int kSensorCount = 8;

inline constexpr std::size_t kMaxRfidIds = 200;
inline constexpr std::size_t kMaxRfidIdLength = 16;

// A record buffer's counters as the device information shows them: records waiting
// to be sent, and the buffer's capacity. Clearing a buffer empties it.
struct BufferPair {
    std::uint32_t stored = 0;
    std::uint32_t capacity = 0;
    bool operator==(const BufferPair&) const = default;
};

enum class Buffer { Sms = 0, Gprs1 = 1, Gprs2 = 2, GpsLog = 3 };

struct TrackerState {
    std::array<std::vector<std::uint8_t>, kAreaCount> areas;  // index 0 is area 1
    std::vector<std::string> rfidIds;
    std::uint32_t mileage = 0;
    std::array<BufferPair, 4> buffers;

    std::vector<std::uint8_t>& Area(int area) { return areas.at(static_cast<std::size_t>(area - 1)); }
    const std::vector<std::uint8_t>& Area(int area) const {
        return areas.at(static_cast<std::size_t>(area - 1));
    }
    BufferPair& Counters(Buffer buffer) { return buffers.at(static_cast<std::size_t>(buffer)); }
    const BufferPair& Counters(Buffer buffer) const {
        return buffers.at(static_cast<std::size_t>(buffer));
    }
    bool operator==(const TrackerState&) const = default;
};

// Factory contents of the five areas: an APN and servers, intervals, alarm thresholds,
// two geo-fences, one paired temperature sensor and the alarms of a few events.
// `identity` goes into the device identity field (cut to 16 characters).
std::array<std::vector<std::uint8_t>, kAreaCount> DefaultAreas(std::string_view identity);

// A tracker fresh from the factory: default areas, no RFID IDs, a few records in its
// buffers and some mileage.
TrackerState DefaultState(std::string_view identity);

// The device identity text stored in area 1 (up to the first zero byte).
std::string DeviceIdentity(const TrackerState& state);

}  // namespace quorvane::sim
