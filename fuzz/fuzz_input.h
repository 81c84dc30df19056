// Reads a fuzz input front to back: small numbers and byte runs, with zeros once
// the input runs out. Seeds are written in the same layout (fuzz/make_corpus.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

namespace quorvane::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }
    std::size_t Left() const { return size_ - at_; }

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t Word() {  // most significant byte first, as on the link
        const std::uint16_t hi = Byte();
        return static_cast<std::uint16_t>(hi << 8 | Byte());
    }
    bool Flag() { return (Byte() & 1) != 0; }

    // Up to `count` bytes, fewer when the input ends first.
    std::vector<std::uint8_t> Bytes(std::size_t count) {
        const std::size_t n = count < Left() ? count : Left();
        std::vector<std::uint8_t> out(data_ + at_, data_ + at_ + n);
        at_ += n;
        return out;
    }
    std::vector<std::uint8_t> Rest() { return Bytes(Left()); }
    std::string Text(std::size_t count) {
        const auto bytes = Bytes(count);
        return std::string(bytes.begin(), bytes.end());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// A broken property: print it and abort, so libFuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what, const std::string& detail = {}) {
    std::fprintf(stderr, "\n*** fuzz property broken: %s%s%s\n", what, detail.empty() ? "" : ": ",
                 detail.c_str());
    std::abort();
}

#define QV_CHECK(cond, ...)                                                      \
    do {                                                                         \
        if (!(cond)) ::quorvane::fuzz::Fail(#cond __VA_OPT__(, ) __VA_ARGS__);   \
    } while (0)

}  // namespace quorvane::fuzz
