// Single byte, word and long accesses of the simulated firmware.
#include "sim/firmware_items.h"

#include <optional>

#include "sim/wire.h"

namespace tov::sim {
namespace {

constexpr uint8_t kItemAnswerBase = 0x40;

// Width in bytes of a request code's item (1, 2 or 4), and whether it writes.
struct Item {
    size_t width;
    bool write;
};

std::optional<Item> itemOf(uint8_t code) {
    switch (code) {
        case kSetByte:
            return Item{1, true};
        case kSetWord:
            return Item{2, true};
        case kSetLong:
            return Item{4, true};
        case kGetByte:
            return Item{1, false};
        case kGetWord:
            return Item{2, false};
        case kGetLong:
            return Item{4, false};
        default:
            return std::nullopt;
    }
}

uint8_t answerCode(size_t width) {
    return static_cast<uint8_t>(kItemAnswerBase + (width == 4 ? 3 : width));
}

// The value of `bytes`, most significant first when `big`, else least significant first.
uint32_t valueOf(std::span<const uint8_t> bytes, bool big) {
    uint32_t v = 0;
    for (size_t i = 0; i < bytes.size(); ++i) v = (v << 8) | bytes[big ? i : bytes.size() - 1 - i];
    return v;
}

// `value` as `out.size()` bytes, most significant first when `big`.
void putValue(std::span<uint8_t> out, uint32_t value, bool big) {
    for (size_t i = 0; i < out.size(); ++i) {
        const size_t shift = big ? out.size() - 1 - i : i;
        out[i] = static_cast<uint8_t>(value >> (8 * shift));
    }
}

void appendWire(std::vector<uint8_t>& out, uint32_t value, size_t width) {
    uint8_t bytes[4] = {};
    putValue(std::span<uint8_t>(bytes, width), value, true);
    out.insert(out.end(), bytes, bytes + width);
}

}  // namespace

std::vector<uint8_t> singleItem(TargetBus& bus, std::span<const uint8_t> request,
                                bool bigEndianTarget) {
    auto item = itemOf(request.empty() ? 0 : request[0]);
    if (!item) return {kUnknownRequestAnswer};
    const size_t length = 1 + 4 + (item->write ? item->width : 0);
    if (request.size() != length) return {kUnknownRequestAnswer};

    const uint32_t address = readU32(request, 1);
    // The simulated flash banks carry a chip word most significant byte first on the bus
    // whatever the core's byte order, and flash command and status words are built on that.
    const bool big = bigEndianTarget || bus.touchesFlash(address, item->width);
    std::vector<uint8_t> answer{answerCode(item->width)};
    uint8_t held[4] = {};
    const std::span<uint8_t> memory(held, item->width);
    if (item->write) {
        const uint32_t written = valueOf(request.subspan(5), true);
        putValue(memory, written, big);
        if (!bus.write(address, memory)) {
            appendWire(answer, ~written, item->width);
            return answer;
        }
        if (bus.touchesFlash(address, item->width)) {
            appendWire(answer, written, item->width);
            return answer;
        }
    }
    bus.read(address, memory);  // zeros when not accessible
    appendWire(answer, valueOf(memory, big), item->width);
    return answer;
}

}  // namespace tov::sim
