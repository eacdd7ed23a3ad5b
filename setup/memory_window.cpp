// Navigation rules and display texts of the memory editor's window.
#include "setup/memory_window.h"

#include <cstdio>

namespace tov::setup {
namespace {

// Whether a window starting at `start` stays below 4 GiB.
bool fits(uint64_t start) {
    return start + kWindowBytes - 1 <= 0xFFFFFFFFull;
}

}  // namespace

uint32_t windowStartFor(uint32_t address) {
    const uint32_t start = address & ~(kRowBytes - 1);
    return start > kLastWindowStart ? kLastWindowStart : start;
}

uint32_t lineUp(uint32_t start) {
    return start >= kRowBytes ? start - kRowBytes : start;
}

uint32_t lineDown(uint32_t start) {
    return fits(uint64_t{start} + kRowBytes) ? start + kRowBytes : start;
}

uint32_t pageUp(uint32_t start) {
    return start >= kWindowBytes ? start - kWindowBytes : 0;
}

uint32_t pageDown(uint32_t start) {
    if (fits(uint64_t{start} + kWindowBytes)) return start + kWindowBytes;
    return start <= kLastWindowStart ? kLastWindowStart : start;
}

uint32_t thumbReleased(uint32_t start, int position) {
    const uint64_t target = (static_cast<uint64_t>(position) * kScrollScale) & ~uint64_t{15};
    if (fits(target)) return static_cast<uint32_t>(target);
    return start <= kLastWindowStart ? kLastWindowStart : start;
}

int scrollPosition(uint32_t start) {
    return static_cast<int>(start / kScrollScale);
}

uint32_t entryAddress(uint32_t start, uint32_t size, uint32_t i) {
    return start + kRowBytes * (i % kWindowRows) + size * (i / kWindowRows);
}

std::vector<std::string> windowEntries(std::span<const uint8_t> bytes, uint32_t size,
                                       bool bigEndian) {
    std::vector<std::string> entries;
    if (bytes.size() < kWindowBytes) return entries;
    const uint32_t count = kRowBytes / size * kWindowRows;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = entryAddress(0, size, i);
        unsigned long value = 0;
        for (uint32_t b = 0; b < size; ++b) {
            const uint8_t byte = bytes[at + (bigEndian ? b : size - 1 - b)];
            value = value << 8 | byte;
        }
        char text[16];
        std::snprintf(text, sizeof text,
                      size == 1   ? " %02lX"
                      : size == 2 ? " %04lX"
                                  : " %08lX",
                      value);
        entries.emplace_back(text);
    }
    return entries;
}

std::vector<std::string> rowAddresses(uint32_t start) {
    std::vector<std::string> rows;
    for (uint32_t r = 0; r < kWindowRows; ++r) {
        char text[16];
        std::snprintf(text, sizeof text, " %08lX",
                      static_cast<unsigned long>(start + kRowBytes * r));
        rows.emplace_back(text);
    }
    return rows;
}

}  // namespace tov::setup
