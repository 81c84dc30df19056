// The engine on a fake link: frames it sends are recorded, answers are delivered
// as received blocks, and the one-second tick is called by hand.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/memory_form.h"
#include "blocks/memory_map.h"
#include "link/engine.h"
#include "link/frame.h"
#include "tests/support/recording_ui.h"

namespace quorvane {

using Bytes = std::vector<std::uint8_t>;
using test_support::RecordingUi;

inline Bytes BytesOf(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A read answer of block `id` holding `dataLength` data bytes (the whole block by
// default), each `fill`.
inline Bytes ReadAnswer(BlockId id, int dataLength = -1, std::uint8_t fill = 0) {
    const BlockInfo& b = Block(id);
    const std::size_t n = dataLength < 0 ? b.readLength : static_cast<std::size_t>(dataLength);
    Bytes payload = {b.area, static_cast<std::uint8_t>(b.readOffset >> 8), static_cast<std::uint8_t>(b.readOffset),
                     static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
    payload.insert(payload.end(), n, fill);
    return MakeFrame(CmdReadBlock, payload);
}

inline Bytes WriteAck(std::uint8_t area, std::uint8_t status = 1) {
    return MakeFrame(CmdWriteBlock, Bytes{area, status});
}

// A connect answer: result byte at payload offset 1, the device information from 5.
inline Bytes ConnectAnswer(bool accepted, std::string_view firmware = "FW1.0") {
    Bytes payload = {0x01, static_cast<std::uint8_t>(accepted ? 1 : 0), 0x00, 0x00, 0x00};
    const Bytes text = BytesOf(std::string(firmware) + ",860000000000001,SN42,");
    payload.insert(payload.end(), text.begin(), text.end());
    for (std::uint32_t v : {5u, 3000u, 1u, 2u, 3u, 4u, 0u, 0u}) {
        for (int s = 24; s >= 0; s -= 8) payload.push_back(static_cast<std::uint8_t>(v >> s));
    }
    payload.push_back(87);                                   // battery
    for (std::uint8_t b : {0x00, 0x01, 0xE2, 0x40}) payload.push_back(b);  // mileage 123456
    payload.push_back(0x00);
    payload.push_back(0x07);                                 // RFID count
    return MakeFrame(CmdConnect, payload);
}

inline std::uint8_t CommandOf(const Bytes& frame) { return FrameView(frame).Command(); }
inline Bytes PayloadOf(const Bytes& frame) {
    const auto payload = FrameView(frame).Payload();
    return Bytes(payload.begin(), payload.end());
}

class EngineTest : public ::testing::Test {
protected:
    MemoryForm form;
    RecordingUi ui;
    std::vector<Bytes> sent;
    bool settingsLoaded = false;
    TransactionEngine engine{form, ui,
                             [this](const std::uint8_t* data, std::uint16_t count) {
                                 sent.emplace_back(data, data + count);
                                 return true;
                             },
                             [this] { return settingsLoaded; }};

    const EngineState& S() const { return engine.State(); }

    void Deliver(const Bytes& block) {
        engine.Comm1ReceiveData(block.data(), static_cast<std::uint16_t>(block.size()));
    }
    // The bytes cut into blocks of at most `size`, as the port delivers a burst.
    void DeliverInBlocks(const Bytes& bytes, std::size_t size) {
        for (std::size_t at = 0; at < bytes.size(); at += size) {
            const std::size_t n = std::min(size, bytes.size() - at);
            engine.Comm1ReceiveData(bytes.data() + at, static_cast<std::uint16_t>(n));
        }
    }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) engine.Timer2Timer();
    }
    const Bytes& LastSent() const { return sent.back(); }
    std::string Panel1() const { return ui.StatusText(1); }
};

}  // namespace quorvane
