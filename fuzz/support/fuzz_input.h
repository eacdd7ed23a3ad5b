// The fuzz input as a stream of choices taken from the front. An exhausted input gives zeros and
// empty runs, so every consumer of it ends.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tov::fuzz {

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data, size) {}

    bool empty() const { return at_ >= data_.size(); }
    size_t left() const { return data_.size() - at_; }

    // Big-endian. The bytes are taken in separate statements: the operands of one expression
    // may be evaluated in either order, and an input must mean the same to every compiler.
    uint8_t u8() { return empty() ? 0 : data_[at_++]; }
    uint16_t u16() {
        const uint16_t high = u8();
        return static_cast<uint16_t>(high << 8 | u8());
    }
    uint32_t u32() {
        const uint32_t high = u16();
        return high << 16 | u16();
    }
    bool flag() { return (u8() & 1) != 0; }
    // A number in [0, bound), bound > 0.
    uint32_t below(uint32_t bound) { return (bound <= 256 ? u8() : u32()) % bound; }

    // Up to `count` bytes; fewer when the input runs out.
    std::vector<uint8_t> bytes(size_t count) {
        const size_t n = std::min(count, left());
        std::vector<uint8_t> run(data_.begin() + static_cast<std::ptrdiff_t>(at_),
                                 data_.begin() + static_cast<std::ptrdiff_t>(at_ + n));
        at_ += n;
        return run;
    }
    // A text of at most `limit` characters, ended by a zero byte or the input.
    std::string text(size_t limit) {
        std::string out;
        while (out.size() < limit && !empty()) {
            const char c = static_cast<char>(u8());
            if (c == '\0') break;
            out.push_back(c);
        }
        return out;
    }

private:
    std::span<const uint8_t> data_;
    size_t at_ = 0;
};

}  // namespace tov::fuzz
