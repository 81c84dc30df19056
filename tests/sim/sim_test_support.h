// Helpers for driving a Simulator with frames and looking at what it answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "link/frame.h"
#include "sim/simulator.h"

namespace quorvane::sim::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes B(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}
inline Bytes B(std::string_view text) { return Bytes(text.begin(), text.end()); }
inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Frame(std::uint8_t command, const Bytes& payload = {}) { return MakeFrame(command, payload); }

// A clock the test moves by hand.
struct FakeClock {
    Simulator::Clock::time_point now{std::chrono::hours(1)};
    Simulator::Clock::time_point Tick(std::chrono::milliseconds step = std::chrono::milliseconds(1)) {
        now += step;
        return now;
    }
};

inline Bytes Flatten(const std::vector<Transmission>& out) {
    Bytes bytes;
    for (const auto& t : out) bytes.insert(bytes.end(), t.bytes.begin(), t.bytes.end());
    return bytes;
}

// Sends one request and returns everything answered.
inline Bytes Exchange(Simulator& sim, FakeClock& clock, std::uint8_t command, const Bytes& payload = {}) {
    return Flatten(sim.Receive(Frame(command, payload), clock.Tick()));
}

// The payload of the one valid frame in `bytes`, checked to carry `command`.
inline Bytes AnswerPayload(const Bytes& bytes, std::uint8_t command) {
    std::uint16_t length = 0;
    const std::uint16_t at = FindFrame(bytes, 0, length);
    if (at == 0 || bytes[at] != command) return B({0xEE, 0xEE});  // never a valid answer here
    return Bytes(bytes.begin() + at + 1, bytes.begin() + at + length);
}

class TempDir {
public:
    TempDir() {
        path_ = std::filesystem::temp_directory_path() /
                ("quorvane-sim-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::filesystem::path path_;
};

}  // namespace quorvane::sim::test
