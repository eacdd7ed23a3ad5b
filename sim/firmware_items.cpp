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

uint32_t bigEndian(std::span<const uint8_t> bytes) {
    uint32_t v = 0;
    for (uint8_t b : bytes) v = (v << 8) | b;
    return v;
}

void appendWidth(std::vector<uint8_t>& out, uint32_t value, size_t width) {
    for (size_t i = width; i-- > 0;) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> singleItem(TargetBus& bus, std::span<const uint8_t> request) {
    auto item = itemOf(request.empty() ? 0 : request[0]);
    if (!item) return {kUnknownRequestAnswer};
    const size_t length = 1 + 4 + (item->write ? item->width : 0);
    if (request.size() != length) return {kUnknownRequestAnswer};

    const uint32_t address = readU32(request, 1);
    std::vector<uint8_t> answer{answerCode(item->width)};
    uint8_t back[4] = {};
    const std::span<uint8_t> value(back, item->width);
    if (item->write) {
        const std::span<const uint8_t> written = request.subspan(5);
        if (!bus.write(address, written)) {
            appendWidth(answer, ~bigEndian(written), item->width);
            return answer;
        }
        if (bus.touchesFlash(address, item->width)) {
            answer.insert(answer.end(), written.begin(), written.end());
            return answer;
        }
    }
    bus.read(address, value);  // zeros when not accessible
    answer.insert(answer.end(), value.begin(), value.end());
    return answer;
}

}  // namespace tov::sim
