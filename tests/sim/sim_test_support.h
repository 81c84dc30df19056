// Helpers for driving a Simulator with frames and looking at what it answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "link/frame.h"
#include "link/frame_assembler.h"
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

// The first complete valid frame in `bytes`, as the editor's scanner finds it.
inline std::optional<std::span<const std::uint8_t>> FirstFrame(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ScanResult scan = ScanFrame(bytes.subspan(at));
        if (scan.kind == ScanKind::Frame) return bytes.subspan(at, scan.length);
        if (scan.kind == ScanKind::NeedMore) break;
        at += scan.length;
    }
    return std::nullopt;
}

// The payload of the one valid frame in `bytes`, checked to carry `command`.
inline Bytes AnswerPayload(const Bytes& bytes, std::uint8_t command) {
    const auto frame = FirstFrame(bytes);
    if (!frame || FrameView(*frame).Command() != command) return B({0xEE, 0xEE});  // never a valid answer here
    const auto payload = FrameView(*frame).Payload();
    return Bytes(payload.begin(), payload.end());
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
