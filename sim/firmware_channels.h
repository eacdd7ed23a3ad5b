// The firmware's communication channels: read 0xC6 and write 0xC7 of byte streams between host
// and target. The simulated target loops every channel back to the host.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace tov::sim {

inline constexpr uint8_t kChannelRead = 0xC6;
inline constexpr uint8_t kChannelWrite = 0xC7;

// Channels 0..7, each a bounded queue: what the host writes to channel N it reads back from N.
class Channels {
public:
    static constexpr size_t kCount = 8;
    static constexpr size_t kCapacity = 64 * 1024;

    bool valid(uint16_t channel) const { return channel < kCount; }
    // Queues what fits; the number of bytes taken.
    size_t write(uint16_t channel, std::span<const uint8_t> data);
    // Removes and returns at most `max` bytes.
    std::vector<uint8_t> read(uint16_t channel, size_t max);
    size_t pending(uint16_t channel) const { return queues_[channel].size(); }
    void clear(uint16_t channel) { queues_[channel].clear(); }

private:
    std::array<std::deque<uint8_t>, kCount> queues_;
};

// 0xC6 channel u16, size u16 -> 0xC6 status, length u16, length bytes (length <= size; fewer
// when the channel holds less). A channel above 7 or a wrong length answers -2102 alone.
std::vector<uint8_t> channelRead(Channels& channels, std::span<const uint8_t> request);

// 0xC7 channel u16, size u16, size bytes -> 0xC7 status, accepted u16 (fewer than size when the
// channel's queue is full).
std::vector<uint8_t> channelWrite(Channels& channels, std::span<const uint8_t> request);

}  // namespace tov::sim
