// The memory editor's window of 128 bytes over the 4 GiB address space: where it starts after
// each navigation, how its bytes are shown as bytes, words or longs, and its scroll bar scale.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tov::setup {

inline constexpr uint32_t kWindowBytes = 128;
inline constexpr uint32_t kWindowRows = 8;
inline constexpr uint32_t kRowBytes = 16;
// The last start at which the whole window still lies below 4 GiB.
inline constexpr uint32_t kLastWindowStart = 0xFFFFFF80;
// The scroll bar runs 0..100 over the address space: 2^32 / 100, rounded down.
inline constexpr uint32_t kScrollScale = 42949672;
inline constexpr int kScrollMaximum = 100;

// The window start for an address: rounded down to a row, and never past the last start.
uint32_t windowStartFor(uint32_t address);

// The start after each scroll action, from the start S before it.
uint32_t lineUp(uint32_t start);
uint32_t lineDown(uint32_t start);
uint32_t pageUp(uint32_t start);
uint32_t pageDown(uint32_t start);
// The thumb released at `position` (0..100).
uint32_t thumbReleased(uint32_t start, int position);
// The scroll bar position that shows `start`.
int scrollPosition(uint32_t start);

// Element size in bytes of an access size index (0 byte, 1 word, 2 long).
inline uint32_t elementSize(uint32_t sizeIndex) {
    return 1u << sizeIndex;
}
// The address of data list entry `i`: the list fills column by column, 8 rows each.
uint32_t entryAddress(uint32_t start, uint32_t size, uint32_t i);
// The data list's entries of a window read as `bytes` (kWindowBytes of them), in list order,
// " %02X", " %04X" or " %08lX", words and longs in the target's byte order.
std::vector<std::string> windowEntries(std::span<const uint8_t> bytes, uint32_t size,
                                       bool bigEndian);
// The row address list: " %08lX" of each row's start.
std::vector<std::string> rowAddresses(uint32_t start);

}  // namespace tov::setup
