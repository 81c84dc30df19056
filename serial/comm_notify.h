// What the worker threads hand to the owner. Each call posts to the owner's
// mailbox and returns at once; nothing runs on the calling thread.
#pragma once

#include <cstdint>
#include <vector>

namespace quorvane {

class CommNotify {
public:
    virtual ~CommNotify() = default;
    // `block` holds `length` received bytes and one zero byte after them.
    virtual void Data(std::vector<std::uint8_t> block, std::uint16_t length) = 0;
    virtual void Error(std::uint32_t errors) = 0;
    virtual void Hangup() = 0;
    virtual void Modem(std::uint32_t modemEvent) = 0;
    virtual void TxEmpty() = 0;
};

}  // namespace quorvane
