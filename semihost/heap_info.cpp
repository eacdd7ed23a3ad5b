// The text form of the heap info answer.
#include "semihost/heap_info.h"

#include <charconv>

namespace tov::semihost {
namespace {

std::optional<uint32_t> number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::optional<HeapInfo> parseHeapInfo(std::string_view text, std::string& problem) {
    uint32_t words[4] = {};
    for (size_t i = 0; i < 4; ++i) {
        const size_t comma = text.find(',');
        const std::string_view field = i < 3 ? text.substr(0, comma) : text;
        if ((i < 3 && comma == std::string_view::npos) ||
            (i == 3 && field.find(',') != field.npos)) {
            problem = "expected BASE,LIMIT,STACKBASE,STACKLIMIT: four numbers";
            return std::nullopt;
        }
        const std::optional<uint32_t> value = number(field);
        if (!value) {
            problem = "\"" + std::string(field) + "\" is not a number up to 0xFFFFFFFF";
            return std::nullopt;
        }
        words[i] = *value;
        if (i < 3) text.remove_prefix(comma + 1);
    }
    const HeapInfo info{words[0], words[1], words[2], words[3]};
    if (info.heapBase && info.heapLimit && info.heapLimit < info.heapBase) {
        problem = "the heap limit lies below the heap base";
        return std::nullopt;
    }
    if (info.stackBase && info.stackLimit && info.stackLimit > info.stackBase) {
        problem = "the stack limit lies above the stack base (the stack grows down)";
        return std::nullopt;
    }
    return info;
}

}  // namespace tov::semihost
